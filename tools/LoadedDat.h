#pragma once
// A height or water file decoded whole, for the commands that turn one into a picture.
#include "base/LargeBuffer.h"
#include "base/RasterView.h"
#include "base/Status.h"
#include "codec/DATElevationDB.h"

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

// Reads and decodes the file on every core. Refused with "<path>: <why>" when it cannot: missing
// (cannotOpen), not a height file or a corrupt tile (invalidInput), not enough memory (tooLarge).
Status LoadDatFile(const std::string& path, LoadedDat& dat);

// Reads, checks and decodes the whole file into `db`'s header, handing the map to `sink` in
// bands of rows. Refused with "<path>: <why>" when it cannot; a sink that fails ends it with
// writeFailed and no message, the sink's reason being its caller's to give.
Status LoadDatInBands(const std::string& path, CDATElevationDB& db, const CDATElevationDB::BandSink& sink);

// The height file as a RAW 16-bit little-endian map, each band written to its place while the
// next decodes (or in order to a stream), atomically. `written` counts the bytes. Refused with
// "<path>: <why>"; an older file of that name is then left as it was.
Status DecodeDatToRaw(const std::string& dat, const std::string& raw, CDATElevationDB& db, std::uint64_t& written);
