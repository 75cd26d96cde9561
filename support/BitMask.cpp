#include "support/BitMask.h"

CBitMask::CBitMask(short cacheBlocks) : m_cacheBlocks(cacheBlocks) {}

CBitMask::~CBitMask() = default;

void CBitMask::storeBlock(short, short, unsigned char*) {}

bool CBitMask::load(std::FILE*)
{
    reset();
    return false;
}

bool CBitMask::load(const std::uint8_t*, std::size_t)
{
    reset();
    return false;
}

unsigned char* CBitMask::decodeBlock(long, long)
{
    return nullptr;
}

void CBitMask::create(short blockSize, short maskSide, short slotsAcross, short)
{
    m_blockSize = blockSize;
    m_maskSide = maskSide;
    m_slots = slotsAcross;
}

void CBitMask::beginUpdate() {}

void CBitMask::requestUpdate(long, long) {}

void CBitMask::endUpdate() {}

bool CBitMask::getBlockXY(long, long, long*, long*) const
{
    return false;
}

void CBitMask::close()
{
    reset();
}

bool CBitMask::decodeInto(long, std::uint8_t*)
{
    return false;
}

void CBitMask::reset()
{
    m_xRes = m_zRes = m_xBlocks = m_zBlocks = 0;
    m_file.clear();
    m_offsets.clear();
    m_corrupt.clear();
    m_slotBlock.clear();
    m_scratch.clear();
    m_corruptBlocks = 0;
    ++m_generation;
}
