#pragma once
// The in-memory water mask: a CBitMask whose block cache is a square byte buffer owned here,
// answering point queries on full-resolution water values for the shore snapping.
#include "support/BitMask.h"

#include <memory>

class CBufferMask : public CBitMask
{
public:
    // The callers construct it with 256, the base's cache size.
    explicit CBufferMask(short cacheBlocks = 256) : CBitMask(cacheBlocks) {}
    ~CBufferMask() override = default;

    // Copies m_blockSize rows of m_blockSize bytes from `block` to buffer column x, row z.
    void storeBlock(short x, short z, unsigned char* block) override;
    // Calls the base's create() and allocates m_maskSide x m_maskSide bytes (uninitialised),
    // releasing a buffer of an earlier load first.
    void create(short blockSize, short maskSide, short slotsAcross, short slotsDown) override;

    // Water value at full-resolution pixel (x, z), 0..1: the cell times the float 1/15, computed
    // in double and rounded to float. Positions outside the mask take the nearest border pixel;
    // an absent block reads 0; an empty mask (nothing loaded) answers 0.
    float getValue(long x, long z);
    // Bilinear value at a real position in pixel units (integers at pixel centres) from the four
    // getValue() results around it, evaluated in double and rounded once to float. Positions
    // truncate toward zero, so between -1 and 0 both neighbours are pixel 0.
    float getInterpolated(double x, double z);

    // The cache buffer, m_maskSide x m_maskSide bytes row by row; null before load().
    const unsigned char* buffer() const { return m_buffer.get(); }

private:
    // A block getValue() asked for, valid while the base's cache generation is unchanged:
    // its first cell (x0, z0) in the mask, and whether and where it is in the buffer. Indexed
    // by (bx & 1, bz & 1), so a 2 x 2 neighbourhood of blocks fits.
    struct RecentBlock
    {
        long x0 = -(1L << 40); // far from every cell: matches nothing
        long z0 = -(1L << 40);
        long base = 0;
        bool present = false;
    };

    float cellValue(const RecentBlock& recent, long x, long z) const;
    void forgetRecent();

    std::unique_ptr<unsigned char[]> m_buffer;
    RecentBlock m_recent[4];
    std::uint64_t m_recentGeneration = ~std::uint64_t(0);
};
