#pragma once
// A height or water file decoded whole, for the commands that turn one into a picture.
#include "base/LargeBuffer.h"
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
