#include "support/BitMask.h"

#include "support/WtrFormat.h"

#include <algorithm>
#include <cstring>

namespace
{
// The cache buffer stays at most this many cells along a side (16 MB), whatever the block size.
constexpr long kMaxCacheSide = 4096;

std::uint64_t GetLE(const std::uint8_t* bytes, int count)
{
    std::uint64_t value = 0;
    for (int i = count - 1; i >= 0; --i)
        value = (value << 8) | bytes[i];
    return value;
}
} // namespace

CBitMask::CBitMask(short cacheBlocks) : m_cacheBlocks(cacheBlocks) {}

CBitMask::~CBitMask() = default;

void CBitMask::storeBlock(short, short, unsigned char*) {}

bool CBitMask::load(const std::string& path)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return false;
    const bool loaded = load(file);
    std::fclose(file);
    return loaded;
}

bool CBitMask::load(std::FILE* file)
{
    reset();
    if (file == nullptr)
        return false;
    std::vector<std::uint8_t> bytes;
    constexpr std::size_t kChunk = 1 << 20;
    for (;;)
    {
        const std::size_t used = bytes.size();
        bytes.resize(used + kChunk);
        const std::size_t got = std::fread(bytes.data() + used, 1, kChunk, file);
        bytes.resize(used + got);
        if (got < kChunk)
            break;
    }
    if (std::ferror(file))
        return false;
    return adopt(std::move(bytes));
}

bool CBitMask::load(const std::uint8_t* data, std::size_t size)
{
    reset();
    if (data == nullptr && size > 0)
        return false;
    return adopt(std::vector<std::uint8_t>(data, data + size));
}

bool CBitMask::adopt(std::vector<std::uint8_t>&& bytes)
{
    const std::size_t size = bytes.size();
    if (size < kWtrHeaderSize || std::memcmp(bytes.data(), kWtrMagic, 4) != 0)
        return false;
    const std::uint8_t* header = bytes.data();
    if (GetLE(header + 4, 2) != kWtrVersion)
        return false;
    const std::uint64_t blockSize = GetLE(header + 6, 2);
    const std::uint64_t xRes = GetLE(header + 8, 4);
    const std::uint64_t zRes = GetLE(header + 12, 4);
    const std::uint64_t xBlocks = GetLE(header + 16, 4);
    const std::uint64_t zBlocks = GetLE(header + 20, 4);
    if (blockSize < 1 || blockSize > 4096 || xRes < 1 || zRes < 1)
        return false;
    // The grid must be exactly the mask rounded up to whole blocks.
    if (xBlocks != (xRes + blockSize - 1) / blockSize || zBlocks != (zRes + blockSize - 1) / blockSize)
        return false;
    if (xBlocks > kWtrMaxBlocksPerSide || zBlocks > kWtrMaxBlocksPerSide)
        return false;

    // Check the table against the file length before allocating anything for it.
    const std::uint64_t blockCount = xBlocks * zBlocks;
    const std::uint64_t tableBytes = (blockCount + 1) * 8;
    if (tableBytes > size - kWtrHeaderSize)
        return false;
    const std::uint64_t dataStart = kWtrHeaderSize + tableBytes;
    const std::uint64_t dataLength = size - dataStart;
    std::vector<std::uint64_t> offsets(static_cast<std::size_t>(blockCount + 1));
    const std::uint8_t* table = header + kWtrHeaderSize;
    std::uint64_t previous = 0;
    for (std::size_t i = 0; i < offsets.size(); ++i)
    {
        const std::uint64_t offset = GetLE(table + 8 * i, 8);
        if (offset < previous || offset > dataLength)
            return false;
        offsets[i] = dataStart + offset;
        previous = offset;
    }
    if (offsets.front() != dataStart || offsets.back() != size)
        return false;

    m_file = std::move(bytes);
    m_offsets = std::move(offsets);
    m_corrupt.assign(static_cast<std::size_t>(blockCount), 0);
    m_xRes = static_cast<long>(xRes);
    m_zRes = static_cast<long>(zRes);
    m_xBlocks = static_cast<long>(xBlocks);
    m_zBlocks = static_cast<long>(zBlocks);

    // Slots per side: the largest square within the requested count, within the buffer bound,
    // and no more than any square window of the grid needs.
    long slots = 1;
    while ((slots + 1) * (slots + 1) <= m_cacheBlocks)
        ++slots;
    slots = std::min(slots, kMaxCacheSide / static_cast<long>(blockSize));
    slots = std::min(slots, std::max(m_xBlocks, m_zBlocks));
    slots = std::max(slots, 1L);
    m_slotBlock.assign(static_cast<std::size_t>(slots * slots), -1);
    ++m_generation;
    create(static_cast<short>(blockSize), static_cast<short>(slots * static_cast<long>(blockSize)),
           static_cast<short>(slots), static_cast<short>(slots));
    return true;
}

bool CBitMask::blockIndex(long bx, long bz, std::size_t& index) const
{
    if (bx < 0 || bz < 0 || bx >= m_xBlocks || bz >= m_zBlocks)
        return false;
    index = static_cast<std::size_t>(bz) * static_cast<std::size_t>(m_xBlocks) + static_cast<std::size_t>(bx);
    return m_offsets[index] != m_offsets[index + 1] && m_corrupt[index] == 0;
}

unsigned char* CBitMask::decodeBlock(long bx, long bz)
{
    std::size_t index = 0;
    if (!blockIndex(bx, bz, index))
        return nullptr;
    // Scratch blocks are made on first use: a mask may be loaded only to be drawn or queried.
    m_scratch.resize(static_cast<std::size_t>(m_blockSize) * static_cast<std::size_t>(m_blockSize));
    return decodeInto(index, m_scratch.data()) ? m_scratch.data() : nullptr;
}

void CBitMask::create(short blockSize, short maskSide, short slotsAcross, short)
{
    m_blockSize = blockSize;
    m_maskSide = maskSide;
    m_slots = slotsAcross;
}

// The protocol brackets one block's update; the cache needs no work at either end.
void CBitMask::beginUpdate() {}

void CBitMask::endUpdate() {}

void CBitMask::requestUpdate(long bx, long bz)
{
    std::size_t index = 0;
    if (m_slots < 1 || !blockIndex(bx, bz, index))
        return;
    const long slotX = bx % m_slots;
    const long slotZ = bz % m_slots;
    long& resident = m_slotBlock[static_cast<std::size_t>(slotZ * m_slots + slotX)];
    if (resident == static_cast<long>(index))
        return;
    m_updateScratch.resize(static_cast<std::size_t>(m_blockSize) * static_cast<std::size_t>(m_blockSize));
    if (!decodeInto(index, m_updateScratch.data()))
        return;
    resident = static_cast<long>(index);
    ++m_generation;
    storeBlock(static_cast<short>(slotX * m_blockSize), static_cast<short>(slotZ * m_blockSize),
               m_updateScratch.data());
}

bool CBitMask::getBlockXY(long bx, long bz, long* x, long* z) const
{
    std::size_t index = 0;
    if (m_slots < 1 || !blockIndex(bx, bz, index))
        return false;
    const long slotX = bx % m_slots;
    const long slotZ = bz % m_slots;
    if (m_slotBlock[static_cast<std::size_t>(slotZ * m_slots + slotX)] != static_cast<long>(index))
        return false;
    *x = slotX * m_blockSize;
    *z = slotZ * m_blockSize;
    return true;
}

void CBitMask::close()
{
    reset();
}

CBitMask::BlockRead CBitMask::readBlock(long bx, long bz, std::uint8_t* cells) const
{
    std::size_t index = 0;
    if (!blockIndex(bx, bz, index))
        return BlockRead::absent;
    return decodeChecked(index, cells) ? BlockRead::cells : BlockRead::corrupt;
}

bool CBitMask::hasBlock(long bx, long bz) const
{
    std::size_t index = 0;
    return blockIndex(bx, bz, index);
}

void CBitMask::markCorrupt(long bx, long bz)
{
    std::size_t index = 0;
    if (blockIndex(bx, bz, index))
        markCorrupt(index);
}

void CBitMask::markCorrupt(std::size_t index)
{
    m_corrupt[index] = 1;
    ++m_corruptBlocks;
}

bool CBitMask::decodeInto(std::size_t index, std::uint8_t* cells)
{
    const bool ok = decodeChecked(index, cells);
    if (!ok)
        markCorrupt(index);
    return ok;
}

bool CBitMask::decodeChecked(std::size_t index, std::uint8_t* cells) const
{
    const std::size_t side = static_cast<std::size_t>(m_blockSize);
    const std::uint64_t begin = m_offsets[index];
    const std::uint64_t end = m_offsets[index + 1];
    bool ok = DecodeWtrRuns(m_file.data() + begin, static_cast<std::size_t>(end - begin), cells, side * side);

    // Cells beyond the mask's edge must be 0: callers draw whole blocks.
    const long bx = static_cast<long>(index % static_cast<std::size_t>(m_xBlocks));
    const long bz = static_cast<long>(index / static_cast<std::size_t>(m_xBlocks));
    const std::size_t columns = static_cast<std::size_t>(std::min<long>(m_blockSize, m_xRes - bx * m_blockSize));
    const std::size_t rows = static_cast<std::size_t>(std::min<long>(m_blockSize, m_zRes - bz * m_blockSize));
    if (ok && columns < side)
    {
        for (std::size_t r = 0; r < rows && ok; ++r)
        {
            const std::uint8_t* row = cells + r * side;
            ok = std::all_of(row + columns, row + side, [](std::uint8_t v) { return v == 0; });
        }
    }
    if (ok && rows < side)
        ok = std::all_of(cells + rows * side, cells + side * side, [](std::uint8_t v) { return v == 0; });
    return ok;
}

void CBitMask::reset()
{
    m_blockSize = 0;
    m_maskSide = 0;
    m_xRes = m_zRes = m_xBlocks = m_zBlocks = 0;
    m_slots = 0;
    m_file.clear();
    m_offsets.clear();
    m_corrupt.clear();
    m_slotBlock.clear();
    m_scratch.clear();
    m_updateScratch.clear();
    m_corruptBlocks = 0;
    ++m_generation;
}
