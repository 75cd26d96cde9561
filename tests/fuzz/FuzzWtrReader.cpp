// The water mask reader on arbitrary bytes: load either refuses the mask or accepts one whose
// blocks can all be asked for (decoding or refusing each), and the buffer mask answers point
// queries anywhere, inside the mask, beyond its edges and at non-finite positions.
#include "FuzzSupport.h"
#include "support/BufferMask.h"

#include <cmath>
#include <limits>

namespace
{
// Blocks above 1024 cells a side run the same code as smaller ones, but each load and decode
// touches up to 48 MB; only one such input in eight (by its hash) is run, which keeps the rate of
// executions up without leaving the large sizes out. Replays run them all.
bool SkipLargeBlock(const std::uint8_t* data, std::size_t size)
{
    return !fuzz::replaying && size >= 8 && (data[6] | data[7] << 8) > 1024 && fuzz::Hash(data, size) % 8 != 0;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (SkipLargeBlock(data, size))
        return 0;
    CBufferMask mask(256);
    // The reader the jobs use takes a stream; an empty input cannot be opened as one.
    std::FILE* stream = size > 0 ? ::fmemopen(const_cast<std::uint8_t*>(data), size, "rb") : nullptr;
    const bool loaded = stream != nullptr ? mask.load(stream) : mask.load(data, size);
    if (stream != nullptr)
        std::fclose(stream);
    if (!loaded)
    {
        if (mask.getXRes() != 0 || mask.getXBlocks() != 0 || mask.decodeBlock(0, 0) != nullptr ||
            mask.getInterpolated(1.5, 2.5) != 0.0f)
            __builtin_trap();
        return 0;
    }
    const long side = mask.m_blockSize;
    unsigned checksum = 0;
    for (long bz = 0; bz < mask.getZBlocks(); ++bz)
        for (long bx = 0; bx < mask.getXBlocks(); ++bx)
            if (const unsigned char* block = mask.decodeBlock(bx, bz))
                for (long i = 0; i < side * side; ++i)
                {
                    if (block[i] > 15)
                        __builtin_trap();
                    checksum += block[i];
                }
    if (mask.decodeBlock(-1, 0) != nullptr || mask.decodeBlock(mask.getXBlocks(), 0) != nullptr)
        __builtin_trap();

    fuzz::Random random(fuzz::Hash(data, size));
    const double xRes = double(mask.getXRes());
    const double zRes = double(mask.getZRes());
    const double specials[] = {-1e300, -2.5, -0.5, 0.0, 1e300, std::numeric_limits<double>::quiet_NaN(),
                               std::numeric_limits<double>::infinity(), xRes - 0.5, zRes + 3.0};
    for (int i = 0; i < 256; ++i)
    {
        double x = random.uniform(-4.0, xRes + 4.0);
        double z = random.uniform(-4.0, zRes + 4.0);
        if (i % 16 == 0)
            x = specials[random.next() % std::size(specials)];
        if (i % 16 == 8)
            z = specials[random.next() % std::size(specials)];
        const float value = mask.getInterpolated(x, z);
        if (!(value >= 0.0f && value <= 1.0f))
            __builtin_trap();
    }
    return checksum == 0xFFFFFFFFu ? 1 : 0;
}
