// The height file reader on arbitrary bytes: init either refuses the file or accepts one whose
// every sample can be read, so after a successful init the whole map is walked, and readAll
// must agree with getElevation.
#include "FuzzSupport.h"
#include "codec/DATElevationDB.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string path = fuzz::WriteTempFile("input.dat", data, size);
    CDATElevationDB db;
    if (!db.init(path.c_str()))
    {
        if (db.getWidth() != 0 || db.getHeight() != 0 || db.getElevation(0, 0) != 0.0f)
            __builtin_trap(); // a refused file must leave the reader empty
        return 0;
    }
    const long width = db.getWidth();
    const long height = db.getHeight();
    if (width <= 0 || height <= 0)
        __builtin_trap();
    double sum = 0;
    for (long y = 0; y < height; ++y)
        for (long x = 0; x < width; ++x)
            sum += db.getElevation(x, y);
    // Positions beyond the map clamp to the edge.
    if (db.getElevation(-5, -5) != db.getElevation(0, 0) ||
        db.getElevation(width + 7, height + 7) != db.getElevation(width - 1, height - 1))
        __builtin_trap();
    std::vector<std::uint16_t> raster;
    if (!db.readAll(raster) || raster.size() != std::size_t(width) * std::size_t(height))
        __builtin_trap();
    for (long y = 0; y < height; y += 17)
        for (long x = 0; x < width; x += 13)
            if (raster[std::size_t(y) * std::size_t(width) + std::size_t(x)] != db.getSample(x, y))
                __builtin_trap();
    return sum < 0 ? 1 : 0;
}
