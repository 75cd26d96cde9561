#include "banks/ShoreRefinement.h"

#include "banks/BufferMask.h"

#include <cassert>
#include <cmath>
#include <cstdint>

namespace
{
// The constant the shoreline stages add before truncating: the float 0.555, widened.
constexpr double kRounding = double(0.555f);

// Truncation of a coordinate in metres; the generation keeps every coordinate far inside the
// 32-bit range, so the conversion is exact truncation toward zero.
std::int32_t Truncate(double value)
{
    return static_cast<std::int32_t>(value);
}

float Difference(std::int32_t a, std::int32_t b)
{
    return static_cast<float>(std::int64_t(a) - b);
}
} // namespace

BanksStatus TessellateLine(Shoreline& line, int T)
{
    assert(T >= 1);
    const std::size_t n = line.size();
    if (n < 2)
    {
        line.clear();
        return BanksStatus::ok;
    }
    if ((n - 1) * std::size_t(T) > std::size_t(kMaxShoreCount))
        return BanksStatus::lineTooLong;

    // Every operation in single precision, as the stored shorelines expect.
    const float inverse = 1.0f / static_cast<float>(T);
    Shoreline result;
    result.reserve((n - 1) * std::size_t(T));
    for (std::size_t j = 0; j + 1 < n; ++j)
    {
        const float ax = static_cast<float>(line[j].x);
        const float az = static_cast<float>(line[j].z);
        const float dx = static_cast<float>(line[j + 1].x) - ax;
        const float dz = static_cast<float>(line[j + 1].z) - az;
        for (int k = 0; k < T; ++k)
        {
            const float x = ax + (dx * static_cast<float>(k)) * inverse;
            const float z = az + (dz * static_cast<float>(k)) * inverse;
            result.push_back({Truncate(double(x) + kRounding), Truncate(double(z) + kRounding)});
        }
    }
    line = std::move(result);
    return BanksStatus::ok;
}

void SnapLineToShore(Shoreline& line, CBufferMask& mask, float psize, float shore)
{
    const std::size_t n = line.size();
    if (n < 2)
        return;
    const float inv = 1.0f / psize;
    const double lastRow = double(mask.getZRes() - 1);
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
            a = static_cast<float>(0.5 * double(Difference(line[j - 1].z, line[j].z) + Difference(line[j].z, line[j + 1].z)));
            b = static_cast<float>(0.5 * double(Difference(line[j].x, line[j - 1].x) + Difference(line[j + 1].x, line[j].x)));
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
        float v = mask.getInterpolated(px, pz);
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
                v = mask.getInterpolated(double(px) - 0.5, double(pz) + 0.5);
            } while (v < shore && countdown-- > 0);
        }
        else
        {
            do
            {
                px = static_cast<float>(double(px) + stepX);
                pz = static_cast<float>(double(pz) + stepZ);
                v = mask.getInterpolated(double(px) - 0.5, double(pz) + 0.5);
            } while (v > shore && countdown-- > 0);
        }
        snapped[j] = {Truncate(double(px) * double(psize) + kRounding),
                      Truncate((lastRow - double(pz)) * double(psize) + kRounding)};
    }
    line = std::move(snapped);
}

namespace
{
struct Direction
{
    float x;
    float z;
    float length;
};

// The segment from a to b as floats, normalised when it has a length.
Direction UnitDirection(const ShorePoint& a, const ShorePoint& b)
{
    Direction d{Difference(b.x, a.x), Difference(b.z, a.z), 0.0f};
    d.length = std::sqrt(d.x * d.x + d.z * d.z);
    if (d.length > 0.0f)
    {
        d.x /= d.length;
        d.z /= d.length;
    }
    return d;
}
} // namespace

BanksStatus SplitLine(const Shoreline& line, ShorelineSet& output, int T)
{
    assert(T >= 1);
    const std::size_t n = line.size();
    if (n == 0)
        return BanksStatus::ok;
    const double threshold = 100.0 / double(T);
    const std::size_t shortest = 5 * std::size_t(T) + 1;
    auto keep = [&](const Shoreline& piece) {
        if (piece.size() < shortest)
            return true;
        if (output.size() >= std::size_t(kMaxShoreCount))
            return false;
        output.push_back(piece);
        return true;
    };

    Shoreline piece{line[0]};
    for (std::size_t j = 1; j + 1 < n; ++j)
    {
        piece.push_back(line[j]);
        const Direction before = UnitDirection(line[j - 1], line[j]);
        const Direction after = UnitDirection(line[j], line[j + 1]);
        const float dot = before.x * after.x + before.z * after.z;
        // acos of a dot product above 1 is NaN, which compares false: no cut.
        if (double(after.length) > threshold || std::acos(double(dot)) > double(0.7f))
        {
            if (!keep(piece))
                return BanksStatus::tooManyLines;
            piece.clear();
        }
    }
    if (!keep(piece))
        return BanksStatus::tooManyLines;
    return BanksStatus::ok;
}
