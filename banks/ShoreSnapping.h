#pragma once
// The snapping walk of shoreline points, written once over any sampler of the interpolated
// water value, so that the fast sampler and the mask's own interpolation walk identically.
#include "banks/Shoreline.h"

#include <cmath>
#include <cstddef>
#include <cstdint>

namespace shore_walk
{
// The constant the shoreline stages add before truncating: the float 0.555, widened.
inline constexpr double kRounding = double(0.555f);

// Truncation of a coordinate in metres; the generation keeps every coordinate far inside the
// 32-bit range, so the conversion is exact truncation toward zero.
inline std::int32_t Truncate(double value)
{
    return static_cast<std::int32_t>(value);
}

inline float Difference(std::int32_t a, std::int32_t b)
{
    return static_cast<float>(std::int64_t(a) - b);
}

// The walk of every point, sampling through `sample(column, row)`.
template <typename Sample> void SnapLine(Shoreline& line, long zRes, float psize, float shore, Sample&& sample)
{
    const std::size_t n = line.size();
    if (n < 2)
        return;
    const float inv = 1.0f / psize;
    const double lastRow = double(zRes - 1);
    Shoreline snapped(n);
    for (std::size_t j = 0; j < n; ++j)
    {
        float a;
        float b;
        if (j == 0)
        {
            a = Difference(line[0].z, line[1].z);
            b = Difference(line[1].x, line[0].x);
        }
        else if (j == n - 1)
        {
            a = Difference(line[n - 2].z, line[n - 1].z);
            b = Difference(line[n - 1].x, line[n - 2].x);
        }
        else
        {
            a = static_cast<float>(0.5 *
                                   double(Difference(line[j - 1].z, line[j].z) + Difference(line[j].z, line[j + 1].z)));
            b = static_cast<float>(0.5 *
                                   double(Difference(line[j].x, line[j - 1].x) + Difference(line[j + 1].x, line[j].x)));
        }
        const float length = std::sqrt(a * a + b * b);
        if (length > 0.00001f)
        {
            a /= length;
            b /= length;
        }

        float px = static_cast<float>(line[j].x * double(inv));
        float pz = static_cast<float>(lastRow - line[j].z * double(inv));
        b = -b;
        float v = sample(px, pz);
        const double stepX = 0.1 * double(a);
        const double stepZ = 0.1 * double(b);
        // 501 steps at most: the countdown from 500 is tested after each step.
        int countdown = 500;
        if (v < shore)
        {
            do
            {
                px = static_cast<float>(double(px) - stepX);
                pz = static_cast<float>(double(pz) - stepZ);
                v = sample(double(px) - 0.5, double(pz) + 0.5);
            } while (v < shore && countdown-- > 0);
        }
        else
        {
            do
            {
                px = static_cast<float>(double(px) + stepX);
                pz = static_cast<float>(double(pz) + stepZ);
                v = sample(double(px) - 0.5, double(pz) + 0.5);
            } while (v > shore && countdown-- > 0);
        }
        snapped[j] = {Truncate(double(px) * double(psize) + kRounding),
                      Truncate((lastRow - double(pz)) * double(psize) + kRounding)};
    }
    line = std::move(snapped);
}
} // namespace shore_walk
