#pragma once
// The fractal both benchmark input makers start from: diamond-square midpoint displacement on
// a (side + 1)-sided grid, deterministic for a seed (the same heights on every machine, so the
// benchmark inputs are the same everywhere).
#include <cstddef>
#include <random>
#include <vector>

// side: a power of two. Row-major, (side + 1)^2 values around 0, roughly within -2..2.
inline std::vector<float> DiamondSquare(int side, unsigned seed)
{
    const int n = side + 1;
    std::vector<float> grid(std::size_t(n) * std::size_t(n), 0.0f);
    auto at = [&](int x, int y) -> float& { return grid[std::size_t(y) * std::size_t(n) + std::size_t(x)]; };
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    float amplitude = 1.0f;
    for (int step = side; step > 1; step /= 2, amplitude *= 0.55f)
    {
        const int half = step / 2;
        for (int y = half; y < n; y += step)
            for (int x = half; x < n; x += step)
                at(x, y) = (at(x - half, y - half) + at(x + half, y - half) + at(x - half, y + half) +
                            at(x + half, y + half)) * 0.25f + unit(random) * amplitude;
        for (int y = 0; y < n; y += half)
            for (int x = (y / half) % 2 == 0 ? half : 0; x < n; x += step)
            {
                float sum = 0.0f;
                int count = 0;
                if (x >= half) sum += at(x - half, y), ++count;
                if (x + half < n) sum += at(x + half, y), ++count;
                if (y >= half) sum += at(x, y - half), ++count;
                if (y + half < n) sum += at(x, y + half), ++count;
                at(x, y) = sum / float(count) + unit(random) * amplitude;
            }
    }
    return grid;
}

// The smallest diamond-square grid that covers a map of `size` x `size` samples, with its
// row-major look-up; the input makers crop it to the map.
struct FractalGrid
{
    int side = 2;
    std::vector<float> values;

    FractalGrid(int size, unsigned seed)
    {
        while (side + 1 < size)
            side *= 2;
        values = DiamondSquare(side, seed);
    }
    float at(int x, int y) const { return values[std::size_t(y) * std::size_t(side + 1) + std::size_t(x)]; }
};
