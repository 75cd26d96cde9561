#include "support/MaskFit.h"

#include "support/WtrWriter.h"

#include <cstdlib>
#include <numeric>

namespace
{
constexpr long kPreferredBlock = 256;
}

long MaskSideForMap(long mapSide, long scale)
{
    return (mapSide - 1) * scale;
}

int FittingBlockSize(long width, long height, long scale)
{
    if (scale < 1 || width < 1 || height < 1 || width % scale != 0 || height % scale != 0)
        return 0;
    const long common = std::gcd(width, height);
    long best = 0;
    for (long block = scale; block <= kMaxWtrBlockSize && block <= common; block += scale)
    {
        if (common % block != 0)
            continue;
        const long distance = std::labs(block - kPreferredBlock);
        if (best == 0 || distance <= std::labs(best - kPreferredBlock))
            best = block;
    }
    return static_cast<int>(best);
}

Status MaskSideProblem(long width, long height, long scale)
{
    std::string problem;
    for (const long side : {width, height})
    {
        if (side % scale == 0 || (side == height && width == height && !problem.empty()))
            continue;
        const long lower = side / scale * scale;
        problem += std::string(problem.empty() ? "" : "; ") + std::to_string(side) + " is not a multiple of scale " +
                   std::to_string(scale) + ": " +
                   (lower > 0 ? std::to_string(lower) + " or " : std::string()) + std::to_string(lower + scale) +
                   " cells fit";
    }
    if (problem.empty())
        return Ok();
    return {StatusCode::invalidInput, "a mask of " + std::to_string(width) + " x " + std::to_string(height) +
                                          " cells has no blocks that are whole samples: " + problem +
                                          " (a map of M samples takes (M - 1) x " + std::to_string(scale) + " cells)"};
}

Status MaskMapProblem(long width, long height, long mapWidth, long mapHeight, long scale)
{
    const long fitWidth = MaskSideForMap(mapWidth, scale);
    const long fitHeight = MaskSideForMap(mapHeight, scale);
    if (width == fitWidth && height == fitHeight)
        return Ok();
    return {StatusCode::invalidInput, "a mask of " + std::to_string(width) + " x " + std::to_string(height) +
                                          " cells does not fit the map: " + "its " + std::to_string(mapWidth) + " x " +
                                          std::to_string(mapHeight) + " samples take " + std::to_string(fitWidth) +
                                          " x " + std::to_string(fitHeight) + " cells at scale " +
                                          std::to_string(scale) + " ((M - 1) x " + std::to_string(scale) + ")"};
}
