#pragma once
// Writer of compressed water masks (".wtr", layout in docs/FORMATS.md), read by CBitMask.
#include "base/JobFields.h"
#include "base/Status.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Block sizes the format allows.
inline constexpr int kMinWtrBlockSize = 1;
inline constexpr int kMaxWtrBlockSize = 4096;

struct WtrEncodeSettings
{
    int blockSize = 256;      // cells along a side of one block
    long resolutionScale = 5; // the blocks fit a map at this scale (support/MaskFit.h), when asked
};

inline constexpr JobField<WtrEncodeSettings> kWtrEncodeFields[] = {
    Field<&WtrEncodeSettings::blockSize>("blockSize", "block-size", kMinWtrBlockSize, kMaxWtrBlockSize,
                                         "side of one block in cells"),
    Field<&WtrEncodeSettings::resolutionScale>("resolutionScale", "scale", kResolutionScaleRange.min,
                                               kResolutionScaleRange.max,
                                               "blocks for a map at this scale: the block size nearest 256 that the "
                                               "scale divides and that divides the image's sides"),
};

// Codes a mask of width x height cells (values 0..15, row-major, row 0 = mask row 0) into the
// bytes of a ".wtr" file. All-zero blocks are stored as absent. `out` is replaced. Refuses a
// block size outside kMinWtrBlockSize .. kMaxWtrBlockSize or a side below 1 (invalidSettings), a
// grid of more than 32767 blocks along a side (tooLarge) and a cell above 15 (invalidInput); the
// messages name no file.
Status EncodeWtr(const std::uint8_t* cells, int width, int height, int blockSize, std::vector<std::uint8_t>& out);

// EncodeWtr() written atomically to `path`; false for any failure (nothing is left at `path`
// then, or the earlier file stays).
bool WriteWtr(const std::string& path, const std::uint8_t* cells, int width, int height, int blockSize = 256);
// The same with the reason of a failure (writeFailed: "cannot write the file").
Status WriteWtrFile(const std::string& path, const std::uint8_t* cells, int width, int height, int blockSize = 256);
