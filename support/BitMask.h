#pragma once
// Block bit mask: the reader of compressed water masks (".wtr", layout in docs/FORMATS.md).
//
// A mask is xRes x zRes cells, each a water value 0 (dry) .. 15 (full water), cut into square
// blocks of m_blockSize cells; blocks are numbered bx = 0 .. getXBlocks() - 1 from the left and
// bz = 0 .. getZBlocks() - 1 from the top (mask row 0). Cells of the last block column and row
// that lie beyond the mask are 0.
//
// Two ways to read the cells:
// - decodeBlock(bx, bz) decodes one block into a scratch block owned by the mask and returns it.
// - The block-update protocol feeds a block cache that lives in a subclass's square buffer of
//   m_maskSide x m_maskSide bytes: load() calls create(), which the subclass overrides to
//   allocate that buffer; beginUpdate(), requestUpdate(bx, bz), endUpdate() make the block
//   resident (decoding it through storeBlock() only when it is not resident yet), and then
//   getBlockXY() tells where its first cell lies in the buffer. The buffer is divided into
//   m_maskSide / m_blockSize slots per side; block (bx, bz) always goes to slot
//   (bx mod slots, bz mod slots), so any slots x slots window of blocks is resident at once.
//
// Bad input: load() returns false for anything that is not a well-formed mask (bad magic or
// version, a header that disagrees with itself or with the file length, an offset table that is
// not ascending inside the file) and leaves the mask empty (no blocks, all sizes 0). Block codes
// are checked when a block is decoded: a block whose code does not give exactly blockSize^2
// cells of 0..15 (with 0 beyond the mask's edge) counts as absent: decodeBlock() returns null,
// getBlockXY() false, and corruptBlocks() counts it. Nothing ever reads outside a buffer.
// Callers report a failed load with the path as text and "Invalid WTR file" as caption.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// Caption with which the front ends report a mask that load() refuses.
inline constexpr const char* kInvalidWtrCaption = "Invalid WTR file";
// The caption when the file cannot be opened at all (the text is the path).
inline constexpr const char* kCannotOpenWtrCaption = "Can not open WTR file";

class CBitMask
{
public:
    // cacheBlocks: how many blocks the block cache should hold (the callers pass 256); the
    // cache is the largest square of slots not above that, bounded so that the buffer stays at
    // most 4096 x 4096 bytes and no larger than the mask needs, and never less than one block.
    explicit CBitMask(short cacheBlocks);
    virtual ~CBitMask();
    CBitMask(const CBitMask&) = delete;
    CBitMask& operator=(const CBitMask&) = delete;

    // The block hook: the base hands a decoded block (m_blockSize rows of m_blockSize bytes, rows
    // one after another) that belongs at buffer column x, row z. The default stores nothing.
    virtual void storeBlock(short x, short z, unsigned char* block);

    // Reads a whole mask from a stream opened with "rb" (from its current position to its end).
    // False when the stream holds no well-formed mask; the mask is empty then and create() was
    // not called. Loading again replaces an earlier mask.
    bool load(std::FILE* file);
    // The same from bytes in memory (copied).
    bool load(const std::uint8_t* data, std::size_t size);
    // The same from the file at `path`; false also when it cannot be opened.
    bool load(const std::string& path);

    long getXRes() const { return m_xRes; }
    long getZRes() const { return m_zRes; }
    long getXBlocks() const { return m_xBlocks; }
    long getZBlocks() const { return m_zBlocks; }

    // Decodes block (bx, bz): a pointer to m_blockSize x m_blockSize cells, one byte each, rows
    // one after another, valid until the next decodeBlock() call or close(). Null for a block
    // outside the grid, an absent (all-zero) block or a corrupt block.
    unsigned char* decodeBlock(long bx, long bz);

    // What readBlock() found.
    enum class BlockRead
    {
        cells,   // `cells` holds the block
        absent,  // outside the grid, absent, or found corrupt before
        corrupt, // its code is damaged (not recorded: see markCorrupt)
    };
    // decodeBlock() into the caller's m_blockSize x m_blockSize bytes, changing nothing in the
    // mask, so that several threads may read blocks of one loaded mask at once.
    BlockRead readBlock(long bx, long bz, std::uint8_t* cells) const;
    // True when block (bx, bz) is in the grid, has a code and was not found corrupt.
    bool hasBlock(long bx, long bz) const;
    // Records block (bx, bz) as corrupt, as decodeBlock() does when it finds it so.
    void markCorrupt(long bx, long bz);

    // Called by load() once the header is known: records the block size, the buffer side and
    // the slots per side. Overrides call this first and then allocate maskSide x maskSide bytes.
    virtual void create(short blockSize, short maskSide, short slotsAcross, short slotsDown);

    virtual void beginUpdate();
    // Makes block (bx, bz) resident, delivering it through storeBlock() if it was not; absent,
    // corrupt and out-of-grid blocks are not delivered.
    virtual void requestUpdate(long bx, long bz);
    virtual void endUpdate();

    // True when block (bx, bz) is present and resident; then *x, *z are the buffer column and
    // row of its first cell. False for absent, corrupt, out-of-grid and non-resident blocks.
    bool getBlockXY(long bx, long bz, long* x, long* z) const;

    // Ends the use of the mask: drops the file's bytes and the cache table (not the subclass's
    // buffer). Afterwards the mask is empty as after a failed load.
    virtual void close();

    // How many distinct blocks were found corrupt so far.
    long corruptBlocks() const { return m_corruptBlocks; }
    // Increases whenever a block is delivered through storeBlock() or the mask is (re)loaded or
    // closed: a position obtained from getBlockXY() stays valid while this is unchanged.
    std::uint64_t cacheGeneration() const { return m_generation; }

    // Side of one square block in cells, and side of the square cache buffer in cells.
    std::int16_t m_blockSize = 0;
    std::int16_t m_maskSide = 0;

private:
    bool adopt(std::vector<std::uint8_t>&& bytes);
    // Index of block (bx, bz) in the table; false when it is outside the grid, absent or corrupt.
    bool blockIndex(long bx, long bz, std::size_t& index) const;
    // Decodes block `index` and checks it; a failure marks the block corrupt.
    bool decodeInto(std::size_t index, std::uint8_t* cells);
    // The same without marking.
    bool decodeChecked(std::size_t index, std::uint8_t* cells) const;
    void markCorrupt(std::size_t index);
    void reset();

    short m_cacheBlocks;
    long m_xRes = 0;
    long m_zRes = 0;
    long m_xBlocks = 0;
    long m_zBlocks = 0;
    short m_slots = 0; // slots per side of the cache

    std::vector<std::uint8_t> m_file;       // the whole file
    std::vector<std::uint64_t> m_offsets;   // xBlocks * zBlocks + 1 offsets into m_file
    std::vector<std::uint8_t> m_corrupt;    // per block: found corrupt
    std::vector<long> m_slotBlock;          // per slot: resident block index or -1
    std::vector<std::uint8_t> m_scratch;    // blockSize^2 cells returned by decodeBlock()
    std::vector<std::uint8_t> m_updateScratch; // blockSize^2 cells handed to storeBlock()
    long m_corruptBlocks = 0;
    std::uint64_t m_generation = 0;
};
