#include "support/WtrWriter.h"

#include "base/AtomicFile.h"
#include "support/Coder.h"
#include "support/WtrFormat.h"

#include <algorithm>
#include <cstring>

namespace
{
void PutLE(std::vector<std::uint8_t>& out, std::size_t at, std::uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
}

// Copies block (bx, bz) into `block` (B x B, zero beyond the mask); false when it is all zero.
bool GatherBlock(const std::uint8_t* cells, int width, int height, int blockSize, long bx, long bz,
                 std::uint8_t* block)
{
    const std::size_t side = static_cast<std::size_t>(blockSize);
    std::fill(block, block + side * side, std::uint8_t(0));
    const long x0 = bx * blockSize;
    const long z0 = bz * blockSize;
    const long columns = std::min<long>(blockSize, width - x0);
    const long rows = std::min<long>(blockSize, height - z0);
    bool any = false;
    for (long r = 0; r < rows; ++r)
    {
        const std::uint8_t* source = cells + static_cast<std::size_t>(z0 + r) * static_cast<std::size_t>(width) +
                                     static_cast<std::size_t>(x0);
        std::uint8_t* target = block + static_cast<std::size_t>(r) * side;
        std::memcpy(target, source, static_cast<std::size_t>(columns));
        if (!any)
            any = std::any_of(source, source + columns, [](std::uint8_t v) { return v != 0; });
    }
    return any;
}
} // namespace

Status EncodeWtr(const std::uint8_t* cells, int width, int height, int blockSize, std::vector<std::uint8_t>& out)
{
    out.clear();
    if (blockSize < kMinWtrBlockSize || blockSize > kMaxWtrBlockSize)
        return {StatusCode::invalidSettings, "block size must be 1 to 4096"};
    constexpr const char* kBadSize = "mask size out of range (at least 1 x 1 cells, at most 32767 blocks along a side)";
    if (width < 1 || height < 1)
        return {StatusCode::invalidSettings, kBadSize};
    const long xBlocks = (static_cast<long>(width) + blockSize - 1) / blockSize;
    const long zBlocks = (static_cast<long>(height) + blockSize - 1) / blockSize;
    if (xBlocks > kWtrMaxBlocksPerSide || zBlocks > kWtrMaxBlocksPerSide)
        return {StatusCode::tooLarge, kBadSize};
    const std::size_t cellCount = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    if (std::any_of(cells, cells + cellCount, [](std::uint8_t v) { return v > 15; }))
        return {StatusCode::invalidInput, "cell value above 15"};

    const std::size_t blockCount = static_cast<std::size_t>(xBlocks) * static_cast<std::size_t>(zBlocks);
    const std::size_t tableSize = (blockCount + 1) * 8;
    out.assign(kWtrHeaderSize + tableSize, 0);
    std::memcpy(out.data(), kWtrMagic, 4);
    PutLE(out, 4, kWtrVersion, 2);
    PutLE(out, 6, static_cast<std::uint64_t>(blockSize), 2);
    PutLE(out, 8, static_cast<std::uint64_t>(width), 4);
    PutLE(out, 12, static_cast<std::uint64_t>(height), 4);
    PutLE(out, 16, static_cast<std::uint64_t>(xBlocks), 4);
    PutLE(out, 20, static_cast<std::uint64_t>(zBlocks), 4);

    const std::size_t side = static_cast<std::size_t>(blockSize);
    std::vector<std::uint8_t> block(side * side);
    CCoder coder;
    std::size_t dataLength = 0;
    for (long bz = 0; bz < zBlocks; ++bz)
    {
        for (long bx = 0; bx < xBlocks; ++bx)
        {
            const std::size_t index = static_cast<std::size_t>(bz * xBlocks + bx);
            PutLE(out, kWtrHeaderSize + index * 8, dataLength, 8);
            if (!GatherBlock(cells, width, height, blockSize, bx, bz, block.data()))
                continue;
            coder.open(nullptr, 0);
            EncodeWtrRuns(coder, block.data(), block.size());
            coder.close();
            out.insert(out.end(), coder.data(), coder.data() + coder.size());
            dataLength += coder.size();
        }
    }
    PutLE(out, kWtrHeaderSize + blockCount * 8, dataLength, 8);
    return Ok();
}

Status WriteWtrFile(const std::string& path, const std::uint8_t* cells, int width, int height, int blockSize)
{
    std::vector<std::uint8_t> bytes;
    if (Status encoded = EncodeWtr(cells, width, height, blockSize, bytes); !encoded)
        return encoded;
    if (!WriteFileAtomically(path, bytes.data(), bytes.size()))
        return {StatusCode::writeFailed, "cannot write the file"};
    return Ok();
}

bool WriteWtr(const std::string& path, const std::uint8_t* cells, int width, int height, int blockSize)
{
    return WriteWtrFile(path, cells, width, height, blockSize).ok();
}
