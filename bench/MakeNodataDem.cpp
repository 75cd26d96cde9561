// Writes a DEM with nodata as a RAW of 32-bit little-endian floats, for the fill benchmark: the
// fractal of the other inputs as heights of 0..2000 m inside a wobbly footprint, -9999 outside it
// and in 400 round voids of 2..40 cells across within it, so that about a third of the raster
// is nodata, as a DEM cut at a border is. Prints the nodata share.
//
//   altimo-bench-nodata OUT.raw SIZE [SEED]
#include "Fractal.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

int main(int argc, char** argv)
{
    if (argc < 3)
    {
        std::fprintf(stderr, "usage: altimo-bench-nodata OUT.raw SIZE [SEED]\n");
        return 2;
    }
    const int size = std::atoi(argv[2]);
    const unsigned seed = argc > 3 ? static_cast<unsigned>(std::atoi(argv[3])) : 1u;
    if (size < 64 || size > 20000)
    {
        std::fprintf(stderr, "SIZE must be 64..20000\n");
        return 2;
    }
    const FractalGrid fractal(size, seed);
    const std::vector<float>& grid = fractal.values;
    const auto [low, high] = std::minmax_element(grid.begin(), grid.end());
    std::vector<float> heights(std::size_t(size) * std::size_t(size));
    const double centre = size / 2.0;
    // A disc of two thirds of the square, its rim wobbling as a border does.
    const double radius = size * std::sqrt(2.0 / (3.0 * M_PI));
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
        {
            const double dx = x - centre;
            const double dy = y - centre;
            const double angle = std::atan2(dy, dx);
            const double rim = radius * (1 + 0.06 * std::sin(5 * angle) + 0.03 * std::sin(13 * angle + 1));
            const float h = (fractal.at(x, y) - *low) / (*high - *low) * 2000.0f;
            heights[std::size_t(y) * std::size_t(size) + std::size_t(x)] = std::hypot(dx, dy) > rim ? -9999.0f : h;
        }
    std::mt19937 random(seed + 7);
    std::uniform_real_distribution<double> where(-0.6 * radius, 0.6 * radius);
    std::uniform_real_distribution<double> across(1.0, 20.0 * size / 4097.0);
    for (int v = 0; v < 400; ++v)
    {
        const double cx = centre + where(random);
        const double cy = centre + where(random);
        const double r = across(random);
        for (int y = std::max(0, int(cy - r)); y <= std::min(size - 1, int(cy + r)); ++y)
            for (int x = std::max(0, int(cx - r)); x <= std::min(size - 1, int(cx + r)); ++x)
                if (std::hypot(x - cx, y - cy) <= r)
                    heights[std::size_t(y) * std::size_t(size) + std::size_t(x)] = -9999.0f;
    }
    const auto nodata = std::count(heights.begin(), heights.end(), -9999.0f);
    std::FILE* out = std::fopen(argv[1], "wb");
    if (out == nullptr)
    {
        std::perror(argv[1]);
        return 1;
    }
    std::fwrite(heights.data(), sizeof(float), heights.size(), out);
    std::printf("%.1f%% nodata\n", 100.0 * double(nodata) / double(heights.size()));
    return std::fclose(out) == 0 ? 0 : 1;
}
