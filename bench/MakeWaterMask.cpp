// Writes a deterministic water mask picture as an 8-bit grey BMP (grey = water value * 17), for
// the water-mask benchmark: a fractal terrain on a coarse grid, interpolated to the full size,
// with the lowest ~40% under water and a soft shore a few cells wide, like a real mask.
//
//   altimo-bench-watermask OUT.bmp SIZE [SEED]
#include "Fractal.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

namespace
{
void Put(std::uint8_t* at, std::uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}
} // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
    {
        std::fprintf(stderr, "usage: altimo-bench-watermask OUT.bmp SIZE [SEED]\n");
        return 2;
    }
    const int size = std::atoi(argv[2]);
    const unsigned seed = argc > 3 ? static_cast<unsigned>(std::atoi(argv[3])) : 1u;
    if (size < 2 || size > 40000)
    {
        std::fprintf(stderr, "SIZE must be 2..40000\n");
        return 2;
    }

    // Coarse fractal grid: one node per 8 cells.
    int side = 2;
    while (side * 8 < size)
        side *= 2;
    const int n = side + 1;
    const std::vector<float> grid = DiamondSquare(side, seed);
    auto at = [&](int x, int y) { return grid[std::size_t(y) * std::size_t(n) + std::size_t(x)]; };
    std::vector<float> sorted(grid);
    std::nth_element(sorted.begin(), sorted.begin() + std::ptrdiff_t(sorted.size() * 4 / 10), sorted.end());
    const float level = sorted[sorted.size() * 4 / 10];
    // Shore width: the height change over about three cells.
    const float sharpness = 15.0f * float(side) / float(size) / 0.002f;

    const std::uint32_t rowBytes = (std::uint32_t(size) + 3u) & ~3u;
    const std::uint32_t dataSize = rowBytes * std::uint32_t(size);
    std::uint8_t head[14 + 40 + 1024] = {};
    head[0] = 'B';
    head[1] = 'M';
    Put(head + 2, std::uint32_t(sizeof head) + dataSize, 4);
    Put(head + 10, std::uint32_t(sizeof head), 4);
    Put(head + 14, 40, 4);
    Put(head + 18, std::uint32_t(size), 4);
    Put(head + 22, std::uint32_t(size), 4);
    Put(head + 26, 1, 2);
    Put(head + 28, 8, 2);
    Put(head + 34, dataSize, 4);
    Put(head + 46, 256, 4);
    for (int i = 0; i < 256; ++i)
        head[54 + 4 * i] = head[55 + 4 * i] = head[56 + 4 * i] = static_cast<std::uint8_t>(i);

    std::FILE* file = std::fopen(argv[1], "wb");
    if (file == nullptr)
    {
        std::perror(argv[1]);
        return 1;
    }
    std::fwrite(head, 1, sizeof head, file);
    std::vector<std::uint8_t> row(rowBytes, 0);
    const float scale = float(side) / float(size);
    // Bottom-up rows: the file's first row is the picture's last.
    for (int y = size - 1; y >= 0; --y)
    {
        const float gy = float(y) * scale;
        const int y0 = std::min(int(gy), side - 1);
        const float ty = gy - float(y0);
        for (int x = 0; x < size; ++x)
        {
            const float gx = float(x) * scale;
            const int x0 = std::min(int(gx), side - 1);
            const float tx = gx - float(x0);
            const float h = (at(x0, y0) * (1 - tx) + at(x0 + 1, y0) * tx) * (1 - ty) +
                            (at(x0, y0 + 1) * (1 - tx) + at(x0 + 1, y0 + 1) * tx) * ty;
            const float water = std::clamp((level - h) * sharpness + 7.5f, 0.0f, 15.0f);
            row[std::size_t(x)] = static_cast<std::uint8_t>(int(water) * 17);
        }
        std::fwrite(row.data(), 1, rowBytes, file);
    }
    return std::fclose(file) == 0 ? 0 : 1;
}
