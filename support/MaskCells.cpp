#include "support/MaskCells.h"

#include <algorithm>

MaskCells::MaskCells(const CBitMask& mask, std::size_t budget)
    : m_mask(mask), m_blockBytes(std::size_t(std::max<long>(mask.m_blockSize, 0)) *
                                 std::size_t(std::max<long>(mask.m_blockSize, 0))),
      m_blocksPerChunk(m_blockBytes == 0 ? 1 : std::max<std::size_t>(1, large_block::kHugePage / m_blockBytes)),
      m_budgetBlocks(m_blockBytes == 0 ? 0 : budget / m_blockBytes),
      m_entries(new Entry[std::size_t(mask.getXBlocks()) * std::size_t(mask.getZBlocks())])
{
}

void MaskCells::decode(Entry& entry, long bx, long bz)
{
    if (!m_mask.hasBlock(bx, bz))
        return;
    std::uint8_t* cells = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_keptBlocks >= m_budgetBlocks)
        {
            entry.kept = false;
            return;
        }
        if (m_chunks.empty() || m_used == m_blocksPerChunk)
        {
            m_chunks.emplace_back(m_blocksPerChunk * m_blockBytes);
            m_used = 0;
        }
        cells = m_chunks.back().data() + m_used * m_blockBytes;
        ++m_used;
        ++m_keptBlocks;
    }
    if (m_mask.readBlock(bx, bz, cells) == CBitMask::BlockRead::cells)
        entry.cells = cells;
}

const std::uint8_t* MaskCells::block(long bx, long bz, std::vector<std::uint8_t>& spare)
{
    if (bx < 0 || bz < 0 || bx >= m_mask.getXBlocks() || bz >= m_mask.getZBlocks())
        return nullptr;
    Entry& entry = m_entries[std::size_t(bz) * std::size_t(m_mask.getXBlocks()) + std::size_t(bx)];
    std::call_once(entry.decoded, [&] { decode(entry, bx, bz); });
    if (entry.kept)
        return entry.cells;
    spare.resize(m_blockBytes);
    return m_mask.readBlock(bx, bz, spare.data()) == CBitMask::BlockRead::cells ? spare.data() : nullptr;
}
