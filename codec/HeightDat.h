#pragma once
// The tiled, compressed height file (".dat"): header, tile offset table, one coded record per
// 64 x 64 tile. The layout is in docs/FORMATS.md.
#include "base/RasterView.h"

#include <cstdint>
#include <functional>
#include <string>

inline constexpr int kTileSide = 64;
inline constexpr int kTileSamples = kTileSide * kTileSide;

// Fills the 4096-sample tile (tx, ty) of the raster; positions outside the raster hold 0.
void ExtractTile(int tx, int ty, ConstRasterView<std::uint16_t> raster, std::uint16_t* tile);

// Writes the raster atomically; false when the file could not be created or written (the
// desktop application passes over that silently; the command line warns). Tiles are coded on
// `threads` threads (0: every core); the bytes written do not depend on the number of threads.
// Besides the caller's raster it holds the offset table and the codes of two tile rows.
bool WriteHeightDat(const std::string& path, ConstRasterView<std::uint16_t> raster, float pixelSize,
                    unsigned threads = 0);

// The rows of tile row `tileRow` for the writer: a view whose row 0 is sample row 64 x tileRow,
// 64 rows (fewer at the bottom) of the whole width. The writer asks for the tile rows in order
// and uses a view until it asks for the tile row two further on, so a source that reads a file
// can get by with two bands of rows. False when the rows cannot be had: the write stops and no
// file is left.
using TileRowSource = std::function<bool(int tileRow, ConstRasterView<std::uint16_t>& rows)>;

// The same file as WriteHeightDat of the whole raster, made from a width x height raster
// handed over a tile row at a time.
bool WriteHeightDat(const std::string& path, int width, int height, const TileRowSource& source, float pixelSize,
                    unsigned threads = 0);
