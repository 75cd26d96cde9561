#include "tests/oracles/CliffReference.h"

#include <cmath>

namespace
{
// Below this normal length a slope counts as flat (n = 1), as in the export itself.
constexpr double kMinLength = 0.0001;
} // namespace

void ComputeCliffMaskReference(IElevationDB& heights, const CliffSettings& settings, RasterView<std::uint8_t> image)
{
    const CliffConstants c = MakeCliffConstants(settings);
    const float k = c.heightFactor;
    for (long y = 0; y < heights.getHeight(); ++y)
    {
        for (long x = 0; x < heights.getWidth(); ++x)
        {
            const float eDown = heights.getElevation(x, y + 1) * k;
            const float eHere = heights.getElevation(x, y) * k;
            const float eRight = heights.getElevation(x + 1, y) * k;
            const double dX = double(eHere) - double(eRight);
            const double dZ = double(eDown) - double(eHere);
            const double p = heights.getPixelSize();
            const auto length = static_cast<float>(std::sqrt(double(static_cast<float>(p * p + dX * dX + dZ * dZ))));
            const double n = double(length) > kMinLength ? p / double(length) : 1.0;
            const auto s = static_cast<float>(std::acos(n));
            image.at(static_cast<int>(x), static_cast<int>(y)) = CliffPixelFromAngle(s, c);
        }
    }
}
