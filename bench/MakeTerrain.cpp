// Writes a deterministic fractal terrain as a RAW 16-bit little-endian height map, for the
// benchmarks when no demo map is at hand: diamond-square midpoint displacement on a
// (2^k + 1)-sided grid, cropped to the asked size, with a flat sea below a quarter of the range.
// NOISE > 0 adds to every land sample a uniform integer in -NOISE..NOISE: the surveyed detail
// (vegetation, sensor noise) that a smooth fractal lacks and that real maps cost in bits.
//
//   altimo-bench-terrain OUT.raw SIZE [SEED] [NOISE]
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
        std::fprintf(stderr, "usage: altimo-bench-terrain OUT.raw SIZE [SEED] [NOISE]\n");
        return 2;
    }
    const int size = std::atoi(argv[2]);
    const unsigned seed = argc > 3 ? static_cast<unsigned>(std::atoi(argv[3])) : 1u;
    const int noise = argc > 4 ? std::atoi(argv[4]) : 0;
    if (size < 2 || size > 20000 || noise < 0 || noise > 1000)
    {
        std::fprintf(stderr, "SIZE must be 2..20000 and NOISE 0..1000\n");
        return 2;
    }
    const FractalGrid fractal(size, seed);
    const std::vector<float>& grid = fractal.values;
    auto at = [&](int x, int y) { return fractal.at(x, y); };
    const auto [low, high] = std::minmax_element(grid.begin(), grid.end());
    const float sea = *low + (*high - *low) * 0.25f;
    std::vector<std::uint16_t> row(static_cast<std::size_t>(size));
    // A generator of its own, so that the fractal is the same with and without noise.
    std::mt19937 random(seed + 1);
    std::uniform_int_distribution<int> jitter(-noise, noise);
    std::FILE* out = std::fopen(argv[1], "wb");
    if (out == nullptr)
    {
        std::perror(argv[1]);
        return 1;
    }
    for (int y = 0; y < size; ++y)
    {
        for (int x = 0; x < size; ++x)
        {
            const float h = std::max(at(x, y), sea);
            const int sample = static_cast<int>((h - sea) / (*high - sea) * 40000.0f + 1000.0f);
            row[std::size_t(x)] = static_cast<std::uint16_t>(noise > 0 && h > sea ? sample + jitter(random) : sample);
        }
        std::fwrite(row.data(), 2, row.size(), out);
    }
    return std::fclose(out) == 0 ? 0 : 1;
}
