#pragma once
// Helpers shared by the levering and water tests: bitmaps, rasters, temporary files.
#include "support/Bitmap.h"
#include "base/RasterView.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace testing_support
{

// A temporary directory, emptied on creation.
inline std::filesystem::path FreshDir(const std::string& name)
{
    static std::vector<std::filesystem::path> made;
    std::string pattern = (std::filesystem::temp_directory_path() / ("altimo-" + name + "-XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr)
        return {};
    if (made.empty())
        std::atexit([] {
            for (const auto& dir : made)
                std::filesystem::remove_all(dir);
        });
    made.emplace_back(pattern);
    return pattern;
}

// A 24-bit bitmap record that frees itself.
struct OwnedBitmap
{
    BITMAP_ bitmap;
    OwnedBitmap(int width, int height) { InitBitmap(&bitmap, width, height, 24); }
    OwnedBitmap(const OwnedBitmap& other) : OwnedBitmap(other.bitmap.width, other.bitmap.height)
    {
        std::memcpy(bitmap.data, other.bitmap.data, static_cast<std::size_t>(bitmap.dataSize));
    }
    OwnedBitmap& operator=(const OwnedBitmap&) = delete;
    ~OwnedBitmap() { FreeBitmap(&bitmap); }

    // Pixel at column x of stored row y (bottom row first): blue, green, red.
    std::uint8_t* pixel(int x, int storedRow) const
    {
        return bitmap.data + static_cast<std::ptrdiff_t>(storedRow) * bitmap.bytesPerRow + 3 * x;
    }
    void set(int x, int storedRow, std::uint8_t blue, std::uint8_t red) const
    {
        pixel(x, storedRow)[0] = blue;
        pixel(x, storedRow)[2] = red;
    }
};

struct Raster
{
    int width;
    int height;
    std::vector<std::uint16_t> samples;

    Raster(int w, int h, std::uint16_t value = 0)
        : width(w), height(h), samples(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), value)
    {
    }
    std::uint16_t& at(int x, int y) { return samples[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)]; }
    RasterView<std::uint16_t> view() { return {samples.data(), width, height}; }
    ConstRasterView<std::uint16_t> constView() const { return {samples.data(), width, height}; }
};

inline Raster RandomRaster(int width, int height, std::mt19937& rng, int low = 0, int high = 65535)
{
    Raster raster(width, height);
    std::uniform_int_distribution<int> value(low, high);
    for (std::uint16_t& s : raster.samples)
        s = static_cast<std::uint16_t>(value(rng));
    return raster;
}

// Water in a few round blobs (and scattered single samples) with values in [low, high]; the
// rest 0.
inline Raster RandomWater(int width, int height, std::mt19937& rng, int low, int high, int blobs, int scattered = 0)
{
    Raster water(width, height);
    std::uniform_int_distribution<int> column(0, width - 1);
    std::uniform_int_distribution<int> row(0, height - 1);
    std::uniform_int_distribution<int> radius(1, std::max(2, std::min(width, height) / 5));
    std::uniform_int_distribution<int> value(low, high);
    for (int b = 0; b < blobs; ++b)
    {
        const int cx = column(rng);
        const int cy = row(rng);
        const int r = radius(rng);
        for (int y = std::max(0, cy - r); y < std::min(height, cy + r + 1); ++y)
            for (int x = std::max(0, cx - r); x < std::min(width, cx + r + 1); ++x)
                if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r)
                    water.at(x, y) = static_cast<std::uint16_t>(value(rng));
    }
    for (int s = 0; s < scattered; ++s)
        water.at(column(rng), row(rng)) = static_cast<std::uint16_t>(value(rng));
    return water;
}

} // namespace testing_support
