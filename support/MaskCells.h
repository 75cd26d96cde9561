#pragma once
// The cells of a loaded mask for several threads at once: each block is decoded on its first
// use into memory that stays until the end, so that the shore snapping of many lines can run
// side by side without a shared block cache to take turns on. Blocks are only read, never
// evicted; a byte budget bounds what is kept, and a block asked for beyond it is decoded into
// the caller's own spare block instead (as a cache that holds it no longer would).
#include "base/LargeBuffer.h"
#include "support/BitMask.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

class MaskCells
{
public:
    // `mask` stays loaded and unchanged while this is used. At most `budget` bytes of cells are
    // kept (rounded to whole blocks).
    MaskCells(const CBitMask& mask, std::size_t budget);

    // The cells of block (bx, bz), m_blockSize rows of m_blockSize bytes: null for a block
    // outside the grid, absent or corrupt (all its cells read as 0). A kept block stays where
    // it is; one beyond the budget is decoded into `spare` (resized as needed) and valid until
    // `spare` is used again. Any number of threads may call this at once, each with its own
    // spare.
    const std::uint8_t* block(long bx, long bz, std::vector<std::uint8_t>& spare);

    const CBitMask& mask() const { return m_mask; }

private:
    struct Entry
    {
        std::once_flag decoded;
        const std::uint8_t* cells = nullptr;
        bool kept = true; // false: beyond the budget, decoded on every request
    };
    void decode(Entry& entry, long bx, long bz);

    const CBitMask& m_mask;
    std::size_t m_blockBytes;
    std::size_t m_blocksPerChunk;
    std::size_t m_budgetBlocks;
    std::unique_ptr<Entry[]> m_entries;

    std::mutex m_lock; // guards what follows
    std::vector<LargeBuffer<std::uint8_t>> m_chunks;
    std::size_t m_used = 0; // blocks handed out from the last chunk
    std::size_t m_keptBlocks = 0;
};
