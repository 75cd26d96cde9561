#pragma once
// A height or water file decoded whole, for the commands that turn one into a picture.
#include "base/LargeBuffer.h"
#include "codec/DATElevationDB.h"
#include "base/RasterView.h"

#include <cstdint>
#include <string>

struct LoadedDat
{
    LargeBuffer<std::uint16_t> samples; // row-major, row 0 the top row
    int width = 0;
    int height = 0;
    float pixelSize = 0;

    ConstRasterView<std::uint16_t> view() const { return {samples.data(), width, height}; }
};

// Reads and decodes the file on every core. False with "<path>: <why>" in `error` when it cannot
// (missing, not a height file, corrupt tile, not enough memory).
bool LoadDatFile(const std::string& path, LoadedDat& dat, std::string& error);

// Reads, checks and decodes the whole file into `db`'s header, handing the map to `sink` in
// bands of rows. False with "<path>: <why>" in `error` when it cannot; a sink that fails sets
// `error` itself.
bool LoadDatInBands(const std::string& path, CDATElevationDB& db, const CDATElevationDB::BandSink& sink,
                    std::string& error);

// The height file as a RAW 16-bit little-endian map, each band written to its place while the
// next decodes (or in order to a stream), atomically. `written` counts the bytes. False with
// "<path>: <why>" in `error`; an older file of that name is then left as it was.
bool DecodeDatToRaw(const std::string& dat, const std::string& raw, CDATElevationDB& db, std::uint64_t& written,
                    std::string& error);
