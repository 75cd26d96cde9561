// Inputs and stage timings for the levering and water benchmark (bench/bench_water.sh).
//
//   altimo-bench-water inputs DIR [SIZE] [SCALE]   demo terrain RAW, lever BMP and water mask
//   altimo-bench-water stages DIR [SIZE] [SCALE]   times each stage in isolation on those inputs
//   altimo-bench-water lever DIR [SIZE]            levering alone
//   altimo-bench-water water DIR HILL [SIZE] [SCALE]  the passes of the water stage alone
//   altimo-bench-water fill [SIZE]                 the water fill alone: one lake fills a dry map
//   altimo-bench-water lake OUT.bil [SIZE]         that map for GDAL's fill, as a comparison
//   altimo-bench-water speedup [SIZE]              fast against plain versions on a smaller map
//
// The water mask follows the demo's own water (sea, lakes, river) and, where that covers less
// than 40% of the map, the lowest ground too, so the water stage sees about 40% water.
#include "demo/DemoTerrain.h"
#include "heightproc/Lever.h"
#include "tests/oracles/LeverReference.h"
#include "heightproc/Water.h"
#include "tests/oracles/WaterReference.h"
#include "base/AtomicFile.h"
#include "support/BitMask.h"
#include "support/WtrWriter.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace
{

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Wall time and processor time of all threads (to tell the work from waiting on a busy
// machine), printed as "1.23 s (cpu 2.34 s)".
struct Stopwatch
{
    Clock::time_point wall = Clock::now();
    std::clock_t cpu = std::clock();

    std::string text() const
    {
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%.2f s (cpu %.2f s)", Since(wall),
                      double(std::clock() - cpu) / CLOCKS_PER_SEC);
        return buffer;
    }
};

struct Paths
{
    std::string raw, lever, water;
};

Paths InputPaths(const std::string& dir, int size, int scale)
{
    const std::string n = std::to_string(size);
    return {dir + "/demo_" + n + ".raw", dir + "/lever_" + n + ".bmp",
            dir + "/water_" + n + "_s" + std::to_string(scale) + ".wtr"};
}

bool ReadRaw(const std::string& path, std::vector<std::uint16_t>& heights, std::size_t samples)
{
    heights.assign(samples, 0);
    std::ifstream in(path, std::ios::binary);
    return static_cast<bool>(in.read(reinterpret_cast<char*>(heights.data()), std::streamsize(samples * 2)));
}

// Per sample: under water (the demo's water surface above the ground, or among the lowest 40%).
std::vector<std::uint8_t> WaterSamples(const DemoTerrain& terrain)
{
    const int n = terrain.size;
    std::vector<std::uint8_t> wet(std::size_t(n) * std::size_t(n), 0);
    std::vector<std::uint16_t> sorted = terrain.heights;
    std::nth_element(sorted.begin(), sorted.begin() + std::ptrdiff_t(sorted.size() * 4 / 10), sorted.end());
    const std::uint16_t low = sorted[sorted.size() * 4 / 10];
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x)
        {
            const std::size_t i = std::size_t(y) * std::size_t(n) + std::size_t(x);
            const std::uint16_t h = terrain.heights[i];
            wet[i] = h < low || float(h) < DemoWaterSurface(terrain, float(x), float(y)) ? 1 : 0;
        }
    return wet;
}

// A mask of ((size - 1) * scale)^2 cells, so that a (2^k + 1)-sided map is covered from its top
// row: each sample's scale x scale square of cells is full water or dry.
std::vector<std::uint8_t> MaskCells(const std::vector<std::uint8_t>& wet, int size, int scale, int& side)
{
    side = (size - 1) * scale;
    std::vector<std::uint8_t> cells(std::size_t(side) * std::size_t(side));
    for (int z = 0; z < side; ++z)
        for (int x = 0; x < side; ++x)
            cells[std::size_t(z) * std::size_t(side) + std::size_t(x)] =
                wet[std::size_t(z / scale) * std::size_t(size) + std::size_t(x / scale)] ? 15 : 0;
    return cells;
}

// A runway and a round plateau, each painted at the ground's height at its centre.
bool WriteLever(const std::string& path, const DemoTerrain& terrain)
{
    const int n = terrain.size;
    BITMAP_ lever;
    InitBitmap(&lever, n, n, 24);
    const auto paint = [&](int x, int y, int red) {
        std::uint8_t* p = lever.data + std::ptrdiff_t(n - 1 - y) * lever.bytesPerRow + 3 * x;
        p[2] = static_cast<std::uint8_t>(red);
    };
    const auto ground = [&](int x, int y) { return std::max(1, terrain.heights[std::size_t(y) * std::size_t(n) + std::size_t(x)] / 256); };
    const int rx = n / 3, ry = n / 4, rw = std::max(2, n / 200), rl = std::max(8, n / 12);
    const int runway = ground(rx, ry + rl / 2);
    for (int y = ry; y < ry + rl; ++y)
        for (int x = rx; x < rx + rw; ++x)
            paint(x, y, runway);
    const int cx = 2 * n / 3, cy = n / 3, r = std::max(4, n / 50);
    const int plateau = ground(cx, cy);
    for (int y = cy - r; y <= cy + r; ++y)
        for (int x = cx - r; x <= cx + r; ++x)
            if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r)
                paint(x, y, plateau);
    const bool ok = SaveBitmap(&lever, path.c_str());
    FreeBitmap(&lever);
    return ok;
}

int MakeInputs(const std::string& dir, int size, int scale)
{
    std::filesystem::create_directories(dir);
    const Paths paths = InputPaths(dir, size, scale);
    if (std::filesystem::exists(paths.raw) && std::filesystem::exists(paths.lever) &&
        std::filesystem::exists(paths.water))
        return 0;
    const auto start = Clock::now();
    const DemoTerrain terrain = SynthesizeDemoTerrain(size);
    if (!WriteFileAtomically(paths.raw, terrain.heights.data(), terrain.heights.size() * 2))
        return 1;
    if (!WriteLever(paths.lever, terrain))
        return 1;
    std::vector<std::uint8_t> wet = WaterSamples(terrain);
    const double fraction = double(std::count(wet.begin(), wet.end(), 1)) / double(wet.size());
    int side = 0;
    const std::vector<std::uint8_t> cells = MaskCells(wet, size, scale, side);
    if (!WriteWtr(paths.water, cells.data(), side, side, 256))
        return 1;
    std::printf("inputs: %d x %d demo terrain, lever, %d x %d cell mask at scale %d with %.1f%% water (%.1f s)\n",
                size, size, side, side, scale, 100.0 * fraction, Since(start));
    return 0;
}

// One lake of radius 40 in the middle of a dry map.
std::vector<std::uint16_t> OneLake(int size)
{
    std::vector<std::uint16_t> water(std::size_t(size) * std::size_t(size), 0);
    const int c = size / 2;
    for (int y = c - 40; y <= c + 40; ++y)
        for (int x = c - 40; x <= c + 40; ++x)
            if ((x - c) * (x - c) + (y - c) * (y - c) <= 1600)
                water[std::size_t(y) * std::size_t(size) + std::size_t(x)] = 21000;
    return water;
}

// The whole water stage, then (unless wholeStage is false) its passes one by one on the same input.
bool WaterStage(const Paths& paths, ProcessSettings settings, const std::vector<std::uint16_t>& heights, int hill,
                bool wholeStage)
{
    const int size = settings.rawWidth;
    const int scale = static_cast<int>(settings.resolutionScale);
    NullProgress progress;
    NullMessages messages;
    settings.hillSize = hill;
    std::string total = "-";
    std::vector<std::uint16_t> work = heights;
    if (wholeStage)
    {
        Stopwatch whole;
        const WaterResult result = ProcessWater(settings, paths.water, {work.data(), size, size}, true, progress, messages);
        total = whole.text();
        if (result.water.empty())
            return false;
    }
    CBitMask mask(256);
    std::FILE* file = std::fopen(paths.water.c_str(), "rb");
    if (file == nullptr)
        return false;
    const bool loaded = mask.load(file);
    std::fclose(file);
    if (!loaded)
        return false;
    work = heights;
    std::vector<std::uint16_t> water(work.size(), 0);
    RasterView<std::uint16_t> ground(work.data(), size, size);
    RasterView<std::uint16_t> waterView(water.data(), size, size);
    const int sea = SeaHeight(settings.seaLevel);
    Stopwatch place;
    PlaceWaterBlocks(mask, AsConst(ground), waterView, scale, sea);
    FillSea(AsConst(ground), waterView, sea);
    const std::string placeText = place.text();
    Stopwatch smooth;
    SmoothBanks(ground, AsConst(waterView), settings.bank, hill, sea, progress);
    const std::string smoothText = smooth.text();
    Stopwatch fill;
    FillWater(waterView, progress);
    std::printf("water stage (bank %d, hill %d): %s\n  blocks and sea %s, smoothing %s, fill %s\n", settings.bank,
                hill, total.c_str(), placeText.c_str(), smoothText.c_str(), fill.text().c_str());
    return true;
}

int Stages(const std::string& dir, int size, int scale)
{
    const Paths paths = InputPaths(dir, size, scale);
    std::vector<std::uint16_t> heights;
    if (!ReadRaw(paths.raw, heights, std::size_t(size) * std::size_t(size)))
    {
        std::fprintf(stderr, "cannot read %s (run `inputs` first)\n", paths.raw.c_str());
        return 1;
    }
    NullProgress progress;
    NullMessages messages;
    ProcessSettings settings;
    settings.rawWidth = size;
    settings.rawHeight = size;
    settings.resolutionScale = scale;

    std::vector<std::uint16_t> work = heights;
    Stopwatch lever;
    if (!ApplyLever(settings, paths.lever, {work.data(), size, size}, progress, messages).ok())
        return 1;
    std::printf("levering (blur 10, loading the bitmap included): %s\n", lever.text().c_str());

    for (const int hill : {30, 100})
        if (!WaterStage(paths, settings, heights, hill, true))
            return 1;

    std::vector<std::uint16_t> lake = OneLake(size);
    Stopwatch fill;
    FillWater({lake.data(), size, size}, progress);
    std::printf("fill of a dry %d x %d map from one lake: %s\n", size, size, fill.text().c_str());
    return 0;
}

template <typename Run>
double Time(Run&& run)
{
    const auto start = Clock::now();
    run();
    return Since(start);
}

int Speedup(int size)
{
    const DemoTerrain terrain = SynthesizeDemoTerrain(size);
    const std::vector<std::uint8_t> wet = WaterSamples(terrain);
    std::vector<std::uint16_t> water(wet.size());
    for (std::size_t i = 0; i < wet.size(); ++i)
        water[i] = wet[i] ? std::max<std::uint16_t>(1, terrain.heights[i]) : 0;
    NullProgress progress;
    NullMessages messages;
    bool same = true;

    const std::string dir = (std::filesystem::temp_directory_path() / "altimo_bench_speedup").string();
    std::filesystem::create_directories(dir);
    const std::string leverPath = dir + "/lever.bmp";
    if (!WriteLever(leverPath, terrain))
        return 1;
    ProcessSettings settings;
    settings.rawWidth = size;
    settings.rawHeight = size;
    std::vector<std::uint16_t> fast = terrain.heights;
    std::vector<std::uint16_t> slow = terrain.heights;
    const auto lever = [&](auto apply, std::vector<std::uint16_t>& heights) {
        return Time([&] { (void)apply(settings, leverPath, {heights.data(), size, size}, progress, messages); });
    };
    const double leverFast = lever(ApplyLever, fast);
    const double leverSlow = lever(reference::ApplyLever, slow);
    same = same && fast == slow;
    std::printf("levering %d x %d, blur 10: fast %.3f s, plain %.3f s, %.1fx\n", size, size, leverFast, leverSlow,
                leverSlow / leverFast);

    for (const int hill : {30, 100})
    {
        // The plain version needs (2 x hill)^2 additions a sample: hill 100 runs on a corner of
        // the map, the one with the most water.
        const int n = hill == 30 ? size : std::min(size, 257);
        int bestX = 0;
        int bestY = 0;
        long bestWet = -1;
        for (const int cy : {0, size - n})
            for (const int cx : {0, size - n})
            {
                long wetCount = 0;
                for (int y = cy; y < cy + n; ++y)
                    for (int x = cx; x < cx + n; ++x)
                        wetCount += water[std::size_t(y) * std::size_t(size) + std::size_t(x)] != 0 ? 1 : 0;
                if (wetCount > bestWet)
                {
                    bestWet = wetCount;
                    bestX = cx;
                    bestY = cy;
                }
            }
        std::vector<std::uint16_t> ground(std::size_t(n) * std::size_t(n));
        std::vector<std::uint16_t> wetArea(ground.size());
        for (int y = 0; y < n; ++y)
            for (int x = 0; x < n; ++x)
            {
                const std::size_t from = std::size_t(bestY + y) * std::size_t(size) + std::size_t(bestX + x);
                ground[std::size_t(y * n + x)] = terrain.heights[from];
                wetArea[std::size_t(y * n + x)] = water[from];
            }
        fast = ground;
        slow = ground;
        const ConstRasterView<std::uint16_t> wetView(wetArea.data(), n, n);
        const double smoothFast = Time([&] { SmoothBanks({fast.data(), n, n}, wetView, 5, hill, -257, progress); });
        const double smoothSlow =
            Time([&] { reference::SmoothBanks({slow.data(), n, n}, wetView, 5, hill, -257, progress); });
        same = same && fast == slow;
        std::printf("bank smoothing %d x %d (%.0f%% water), hill %d: fast %.3f s, plain %.3f s, %.1fx\n", n, n,
                    100.0 * double(bestWet) / double(n) / double(n), hill, smoothFast, smoothSlow,
                    smoothSlow / smoothFast);
    }

    std::vector<std::uint16_t> lakeFast = OneLake(size);
    std::vector<std::uint16_t> lakeSlow = lakeFast;
    const double fillFast = Time([&] { FillWater({lakeFast.data(), size, size}, progress); });
    const double fillSlow = Time([&] { reference::FillWater({lakeSlow.data(), size, size}, progress); });
    same = same && lakeFast == lakeSlow;
    std::printf("fill from one lake %d x %d: fast %.3f s, plain %.3f s, %.0fx\n", size, size, fillFast, fillSlow,
                fillSlow / fillFast);
    std::printf("results identical: %s\n", same ? "yes" : "NO");
    return same ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "inputs" && argc > 2)
        return MakeInputs(argv[2], argc > 3 ? std::atoi(argv[3]) : 8193, argc > 4 ? std::atoi(argv[4]) : 2);
    if (mode == "stages" && argc > 2)
        return Stages(argv[2], argc > 3 ? std::atoi(argv[3]) : 8193, argc > 4 ? std::atoi(argv[4]) : 2);
    if (mode == "water" && argc > 3)
    {
        // altimo-bench-water water DIR HILL [SIZE] [SCALE]: the passes of the water stage alone.
        const int size = argc > 4 ? std::atoi(argv[4]) : 8193;
        const int scale = argc > 5 ? std::atoi(argv[5]) : 2;
        const Paths paths = InputPaths(argv[2], size, scale);
        std::vector<std::uint16_t> heights;
        if (!ReadRaw(paths.raw, heights, std::size_t(size) * std::size_t(size)))
            return 1;
        ProcessSettings settings;
        settings.rawWidth = size;
        settings.rawHeight = size;
        settings.resolutionScale = scale;
        return WaterStage(paths, settings, heights, std::atoi(argv[3]), false) ? 0 : 1;
    }
    if (mode == "lever" && argc > 2)
    {
        // altimo-bench-water lever DIR [SIZE]: levering alone, blur 10.
        const int size = argc > 3 ? std::atoi(argv[3]) : 8193;
        const Paths paths = InputPaths(argv[2], size, 2);
        std::vector<std::uint16_t> heights;
        if (!ReadRaw(paths.raw, heights, std::size_t(size) * std::size_t(size)))
            return 1;
        ProcessSettings settings;
        settings.rawWidth = size;
        settings.rawHeight = size;
        NullProgress progress;
        NullMessages messages;
        Stopwatch lever;
        const Status levered = ApplyLever(settings, paths.lever, {heights.data(), size, size}, progress, messages);
        std::printf("levering (blur 10, loading the bitmap included): %s\n", lever.text().c_str());
        return levered.ok() ? 0 : 1;
    }
    if (mode == "lake" && argc > 2)
    {
        // altimo-bench-water lake OUT.bil [SIZE]: the one-lake map as an ESRI .bil/.hdr pair
        // (0 = no data), for GDAL's fill as a comparison.
        const std::string out = argv[2];
        const int size = argc > 3 ? std::atoi(argv[3]) : 2049;
        const std::vector<std::uint16_t> lake = OneLake(size);
        const std::string header = out.substr(0, out.rfind('.')) + ".hdr";
        std::ofstream(header) << "BYTEORDER I\nLAYOUT BIL\nNROWS " << size << "\nNCOLS " << size
                              << "\nNBANDS 1\nNBITS 16\nPIXELTYPE UNSIGNEDINT\nNODATA 0\n";
        return WriteFileAtomically(out, lake.data(), lake.size() * 2) ? 0 : 1;
    }
    if (mode == "fill")
    {
        const int size = argc > 2 ? std::atoi(argv[2]) : 8193;
        std::vector<std::uint16_t> lake = OneLake(size);
        NullProgress progress;
        Stopwatch fill;
        FillWater({lake.data(), size, size}, progress);
        std::printf("fill of a dry %d x %d map from one lake: %s\n", size, size, fill.text().c_str());
        return 0;
    }
    if (mode == "speedup")
        return Speedup(argc > 2 ? std::atoi(argv[2]) : 1025);
    std::fprintf(stderr, "usage: altimo-bench-water inputs|stages|lever DIR [SIZE] [SCALE] | water DIR HILL [SIZE] [SCALE] | "
                         "fill|speedup [SIZE] | lake OUT.bil [SIZE]\n");
    return 2;
}
