#pragma once
// Layout of ".wtr" files shared by the writer (WtrWriter.cpp) and the reader (BitMask.cpp).
// docs/FORMATS.md describes it for people; this header is its one definition in code.
//
// All fields little-endian.
//   0  4  magic "AWTR"
//   4  2  version (1)
//   6  2  block size B, 1..4096
//   8  4  mask width in cells (xRes), >= 1
//  12  4  mask height in cells (zRes), >= 1
//  16  4  blocks across = ceil(xRes / B), 1..32767
//  20  4  blocks down = ceil(zRes / B), 1..32767
//  24     offset table: blocks across * blocks down + 1 unsigned 64-bit offsets, relative to the
//         first byte after the table, ascending; block (bx, bz) with i = bz * across + bx spans
//         [offset[i], offset[i + 1]); an empty span is an absent (all-zero) block; the first
//         offset is 0 and the last is the length of the data that follows the table.
//         Then the block codes.
//
// Block code: the B x B cells of the block (cells beyond the mask are 0) in row order as runs
// of equal values, each run as two CCoder codes: the value change, then the run length - 1
// (Exp-Golomb order kWtrRunOrder). The value change d = ((v - previous + 8) mod 16) - 8, previous
// starting at 0, is zig-zag mapped (0, -1, 1, -2, 2, ... -> 0, 1, 2, 3, 4, ...) to z; the first
// run writes z, later runs (whose change is never 0) write z - 1 (Exp-Golomb order 0). The runs
// cover exactly B x B cells, and the code ends in the last byte of the span (zero padding).
#include <cstddef>
#include <cstdint>
#include <vector>

class CCoder;

inline constexpr std::uint8_t kWtrMagic[4] = {'A', 'W', 'T', 'R'};
inline constexpr std::uint16_t kWtrVersion = 1;
inline constexpr std::size_t kWtrHeaderSize = 24;
inline constexpr long kWtrMaxBlocksPerSide = 32767;
inline constexpr int kWtrRunOrder = 3;
inline constexpr int kWtrValueOrder = 0;

// Appends the runs of `count` cells (each 0..15) to an open write coder.
void EncodeWtrRuns(CCoder& coder, const std::uint8_t* cells, std::size_t count);
// Decodes exactly `count` cells from `size` bytes of code; false when the code is truncated,
// overlong, has a run past `count`, a value change out of range, bytes left over or padding
// bits that are not 0.
bool DecodeWtrRuns(const std::uint8_t* code, std::size_t size, std::uint8_t* cells, std::size_t count);
