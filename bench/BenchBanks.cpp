// Helpers of the shoreline benchmark (bench/bench_banks.sh):
//
//   altimo-bench-banks mask OUT.wtr OUT.raw SIZE [SEED]
//       A deterministic SIZE x SIZE water mask, about 30% water: a sea in the south-west corner
//       behind a wavy coast, and a few thousand lakes with soft shores. Writes the ".wtr" file
//       and the same cells as an 8-bit grey raw image (grey = value * 17, with an ENVI header
//       OUT.hdr) that GDAL reads without decoding.
//
//   altimo-bench-banks chain IN.wtr SCALE [MIN_RIVER_SIZE] [BUDGET_SECONDS]
//       Draws and filters the mask as the Generate job does, scans the boundary, and times the
//       chaining against its straightforward form (linear search of the boundary list) on
//       growing top-left crops of the filtered image until the straightforward chaining takes
//       longer than the budget; checks the outlines are identical on every crop.
#include "support/BufferMask.h"
#include "tests/oracles/ShoreReference.h"
#include "banks/ShoreTracing.h"
#include "banks/WaterImage.h"
#include "support/WtrWriter.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace
{
using Clock = std::chrono::steady_clock;

double Since(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

struct Lake
{
    float x, y, radius, phase;
};

// Water value from a signed distance to the shore in cells (positive under water): 7.5 at the
// shore, 0 and 15 two cells out, like the soft edge of a real mask.
std::uint8_t SoftValue(float inside)
{
    const float value = 7.5f + inside * 3.75f;
    return static_cast<std::uint8_t>(std::clamp(value + 0.5f, 0.0f, 15.0f));
}

int MakeMask(const std::string& wtrPath, const std::string& rawPath, int size, unsigned seed)
{
    std::vector<std::uint8_t> cells(std::size_t(size) * std::size_t(size), 0);
    const float scale = float(size) / 8192.0f;
    // The coast: a quarter circle about the south-west corner with waves, short enough that its
    // traced outline stays within the 32767 points a line may have after tessellation.
    const float coast = 3600.0f * scale;
    auto coastRadius = [&](float angle)
    { return coast + 140.0f * scale * std::sin(7.0f * angle) + 50.0f * scale * std::sin(23.0f * angle + 1.0f); };
    for (int y = 0; y < size; ++y)
    {
        std::uint8_t* row = &cells[std::size_t(y) * std::size_t(size)];
        const float dy = float(size - y);
        const int reach = int(coast + 300.0f * scale);
        for (int x = 0; x < std::min(size, reach); ++x)
        {
            const float d = std::hypot(float(x), dy);
            if (d > coast + 250.0f * scale)
                continue;
            row[x] = SoftValue(coastRadius(std::atan2(dy, float(x))) - d);
        }
    }

    std::mt19937 random(seed);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    const int lakeCount = int(4000.0f * scale * scale);
    std::vector<Lake> lakes;
    while (int(lakes.size()) < lakeCount)
    {
        Lake lake{unit(random) * float(size), unit(random) * float(size), (8.0f + 36.0f * unit(random)) * scale,
                  6.2831853f * unit(random)};
        if (std::hypot(lake.x, float(size) - lake.y) < coast + 300.0f * scale + lake.radius)
            continue;
        lakes.push_back(lake);
    }
    for (const Lake& lake : lakes)
    {
        const int reach = int(lake.radius * 1.3f) + 3;
        for (int y = std::max(0, int(lake.y) - reach); y < std::min(size, int(lake.y) + reach); ++y)
            for (int x = std::max(0, int(lake.x) - reach); x < std::min(size, int(lake.x) + reach); ++x)
            {
                const float dx = float(x) + 0.5f - lake.x;
                const float dy = float(y) + 0.5f - lake.y;
                const float angle = std::atan2(dy, dx);
                const float shore = lake.radius * (1.0f + 0.18f * std::sin(3.0f * angle + lake.phase) +
                                                   0.07f * std::sin(7.0f * angle + 2.0f * lake.phase));
                std::uint8_t& cell = cells[std::size_t(y) * std::size_t(size) + std::size_t(x)];
                cell = std::max(cell, SoftValue(shore - std::hypot(dx, dy)));
            }
    }

    std::size_t water = 0;
    for (std::uint8_t cell : cells)
        water += cell >= 8;
    if (!WriteWtr(wtrPath, cells.data(), size, size, 256))
    {
        std::fprintf(stderr, "cannot write %s\n", wtrPath.c_str());
        return 1;
    }
    for (std::uint8_t& cell : cells)
        cell = static_cast<std::uint8_t>(cell * 17);
    std::FILE* raw = std::fopen(rawPath.c_str(), "wb");
    const std::string headerPath = rawPath.substr(0, rawPath.rfind('.')) + ".hdr";
    std::FILE* header = std::fopen(headerPath.c_str(), "w");
    if (raw == nullptr || header == nullptr || std::fwrite(cells.data(), 1, cells.size(), raw) != cells.size())
    {
        std::fprintf(stderr, "cannot write %s\n", rawPath.c_str());
        return 1;
    }
    std::fprintf(header,
                 "ENVI\nsamples = %d\nlines = %d\nbands = 1\nheader offset = 0\nfile type = ENVI Standard\n"
                 "data type = 1\ninterleave = bsq\nbyte order = 0\n",
                 size, size);
    std::fclose(raw);
    std::fclose(header);
    std::printf("mask %d x %d: %zu lakes, %.1f%% water\n", size, size, lakes.size(),
                100.0 * double(water) / double(cells.size()));
    return 0;
}

int TimeChaining(const std::string& wtrPath, int scale, int R, double budget)
{
    CBufferMask mask(256);
    std::FILE* file = std::fopen(wtrPath.c_str(), "rb");
    if (file == nullptr || !mask.load(file))
    {
        std::fprintf(stderr, "cannot read %s\n", wtrPath.c_str());
        return 1;
    }
    std::fclose(file);
    const int width = int(mask.getXRes() / scale);
    const int height = int(mask.getZRes() / scale);
    WaterImage water(width, height);
    const float step = float(mask.m_blockSize) / float(scale);
    float ypos = float(double(height) - double(mask.getZBlocks()) * double(step));
    for (long zb = 0; zb < mask.getZBlocks(); ++zb, ypos += step)
    {
        float xpos = 0.0f;
        for (long xb = 0; xb < mask.getXBlocks(); ++xb, xpos += step)
            if (const unsigned char* block = mask.decodeBlock(xb, zb))
                DrawMaskBlock(water.view(), int(xpos), int(ypos), block, mask.m_blockSize, scale);
    }
    WaterImage filtered(width, height);
    FilterNarrowWater(water.constView(), filtered.view(), R);
    const float f = 10.0f * float(scale);

    WaterImage scanned = filtered;
    const std::vector<BoundaryPixel> all = ScanBoundary(scanned.view(), R);
    Clock::time_point start = Clock::now();
    const ShorelineSet whole = ChainBoundary(all, width, height, f);
    std::printf("chain %d x %d: %zu boundary pixels, %zu outlines, %.3f s\n", width, height, all.size(), whole.size(),
                Since(start));

    // Top-left crops (the list's scan order makes them cheap to cut), doubling the boundary.
    for (int side = std::min({width, height, 256});; side = std::min(std::min(width, height), side * 3 / 2))
    {
        WaterImage crop(side, side);
        for (int m = 0; m < side; ++m)
            std::copy_n(filtered.view().row(height - side + m), side, crop.view().row(m));
        const std::vector<BoundaryPixel> boundary = ScanBoundary(crop.view(), R);
        start = Clock::now();
        const ShorelineSet fast = ChainBoundary(boundary, side, side, f);
        const double fastSeconds = Since(start);
        start = Clock::now();
        const ShorelineSet reference = ChainBoundaryReference(boundary, f);
        const double referenceSeconds = Since(start);
        std::printf("crop %5d: %8zu boundary pixels, straightforward %8.3f s, fast %.4f s, speed-up %.0fx, %s\n", side,
                    boundary.size(), referenceSeconds, fastSeconds, referenceSeconds / std::max(fastSeconds, 1e-6),
                    fast == reference ? "identical" : "DIFFERENT");
        if (fast != reference)
            return 1;
        if (referenceSeconds > budget || side == std::min(width, height))
        {
            // The straightforward chaining grows with the square of the boundary.
            const double ratio = double(all.size()) / double(std::max<std::size_t>(boundary.size(), 1));
            std::printf("whole image, straightforward (quadratic extrapolation): about %.0f s\n",
                        referenceSeconds * ratio * ratio);
            break;
        }
    }
    return 0;
}
} // namespace

int main(int argc, char** argv)
{
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "mask" && argc >= 5)
        return MakeMask(argv[2], argv[3], std::atoi(argv[4]), argc > 5 ? unsigned(std::atoi(argv[5])) : 1u);
    if (command == "chain" && argc >= 4)
        return TimeChaining(argv[2], std::atoi(argv[3]), argc > 4 ? std::atoi(argv[4]) : 8,
                            argc > 5 ? std::atof(argv[5]) : 10.0);
    std::fprintf(stderr, "usage: altimo-bench-banks mask OUT.wtr OUT.raw SIZE [SEED]\n"
                         "       altimo-bench-banks chain IN.wtr SCALE [MIN_RIVER_SIZE] [BUDGET_SECONDS]\n");
    return 2;
}
