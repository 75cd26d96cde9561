// Writes a deterministic fractal terrain as a RAW 16-bit little-endian height map, for the
// benchmarks when no demo map is at hand: diamond-square midpoint displacement on a
// (2^k + 1)-sided grid, cropped to the asked size, with a flat sea below a quarter of the range.
//
//   altimo-bench-terrain OUT.raw SIZE [SEED]
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
        std::fprintf(stderr, "usage: altimo-bench-terrain OUT.raw SIZE [SEED]\n");
        return 2;
    }
    const int size = std::atoi(argv[2]);
    const unsigned seed = argc > 3 ? static_cast<unsigned>(std::atoi(argv[3])) : 1u;
    if (size < 2 || size > 20000)
    {
        std::fprintf(stderr, "SIZE must be 2..20000\n");
        return 2;
    }
    int side = 2;
    while (side + 1 < size)
        side *= 2;
    const int n = side + 1;
    const std::vector<float> grid = DiamondSquare(side, seed);
    auto at = [&](int x, int y) { return grid[std::size_t(y) * std::size_t(n) + std::size_t(x)]; };
    const auto [low, high] = std::minmax_element(grid.begin(), grid.end());
    const float sea = *low + (*high - *low) * 0.25f;
    std::vector<std::uint16_t> row(static_cast<std::size_t>(size));
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
            row[std::size_t(x)] = static_cast<std::uint16_t>((h - sea) / (*high - sea) * 40000.0f + 1000.0f);
        }
        std::fwrite(row.data(), 2, row.size(), out);
    }
    return std::fclose(out) == 0 ? 0 : 1;
}
