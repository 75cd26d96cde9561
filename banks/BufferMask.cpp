#include "banks/BufferMask.h"

void CBufferMask::storeBlock(short, short, unsigned char*) {}

void CBufferMask::create(short blockSize, short maskSide, short slotsAcross, short slotsDown)
{
    CBitMask::create(blockSize, maskSide, slotsAcross, slotsDown);
}

float CBufferMask::getValue(long, long)
{
    return 0.0f;
}

float CBufferMask::getInterpolated(double, double)
{
    return 0.0f;
}
