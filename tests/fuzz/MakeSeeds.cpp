// Writes the seed corpus of the fuzz targets with the project's own writers:
//   altimo_fuzz_seeds <folder>   (tests/fuzz/corpus; one subfolder per target)
// Seeds stay small (a few KB) so that the fuzzer mutates them quickly and the repository keeps
// them cheaply; each covers a distinct shape of valid input.
#include "codec/HeightDat.h"
#include "support/Bitmap.h"
#include "tools/Image.h"
#include "support/WtrWriter.h"
#include "tests/codec/CodecTestSupport.h"
#include "tests/common/TestBmp.h"
#include "tests/common/TestFiles.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace
{
namespace fs = std::filesystem;

fs::path g_root;

fs::path Folder(const char* target)
{
    fs::path folder = g_root / target;
    fs::create_directories(folder);
    return folder;
}

void Require(bool ok, const fs::path& path)
{
    if (!ok)
    {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::exit(1);
    }
}

void WriteBytes(const fs::path& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    Require(bool(out), path);
}

// A mask of `cells` in blocks of `block` cells a side, as the project's writer encodes it.
std::vector<std::uint8_t> EncodeMask(const std::vector<std::uint8_t>& cells, int width, int height, int block)
{
    std::vector<std::uint8_t> bytes;
    Require(EncodeWtr(cells.data(), width, height, block, bytes).ok(), "a mask");
    return bytes;
}

// Terraced terrain: long runs along the rows keep a tile's code to a few hundred bytes.
std::vector<std::uint16_t> Terrain(int width, int height, int seed)
{
    std::vector<std::uint16_t> samples(std::size_t(width) * std::size_t(height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            samples[std::size_t(y) * std::size_t(width) + std::size_t(x)] = static_cast<std::uint16_t>(
                30000 + 64 * std::floor(4 * std::sin(0.03 * (x + seed)) + 3 * std::cos(0.05 * y)));
    return samples;
}

// A mask with a lake and a river, values 0..15.
std::vector<std::uint8_t> WaterCells(int width, int height)
{
    return testcli::MaskCells(width, height, [&](int x, int z) {
        const double lake = std::hypot(x - width * 0.3, z - height * 0.6) / (0.25 * width);
        const double river = std::abs(x - width * 0.7 - 3 * std::sin(z * 0.2)) / 3.0;
        return std::clamp(std::max(1.0 - lake, 1.0 - river) * 20.0, 0.0, 15.0);
    });
}

void DatSeeds()
{
    const fs::path folder = Folder("dat_reader");
    const struct
    {
        int width, height;
        const char* name;
    } shapes[] = {{64, 64, "one-tile.dat"}, {1, 1, "one-sample.dat"}, {100, 30, "partial-tiles.dat"},
                  {130, 65, "three-by-two.dat"}};
    for (const auto& shape : shapes)
    {
        const std::vector<std::uint16_t> samples = Terrain(shape.width, shape.height, shape.width);
        const fs::path path = folder / shape.name;
        Require(WriteHeightDat(path.string(), {samples.data(), shape.width, shape.height}, 50.0f, 1), path);
    }
    // A flat map: the shortest codes, one run after another.
    const std::vector<std::uint16_t> flat(std::size_t(128) * 64, 4242);
    Require(WriteHeightDat((folder / "flat.dat").string(), {flat.data(), 128, 64}, 10.0f, 1), folder / "flat.dat");
}

void WtrSeeds(const char* target)
{
    const fs::path folder = Folder(target);
    const struct
    {
        int width, height, block;
        const char* name;
    } shapes[] = {{32, 32, 8, "lake-8.wtr"}, {40, 24, 16, "partial-blocks.wtr"}, {5, 3, 1, "tiny-block-1.wtr"},
                  {64, 48, 64, "one-block.wtr"}};
    for (const auto& shape : shapes)
        WriteBytes(folder / shape.name, EncodeMask(WaterCells(shape.width, shape.height), shape.width, shape.height,
                                                   shape.block));
    // No water at all: every block absent.
    WriteBytes(folder / "dry.wtr", EncodeMask(std::vector<std::uint8_t>(std::size_t(50) * 50, 0), 50, 50, 16));
}

// The BMP shapes SaveBitmap does not write (1, 4 and 32 bits, top-down rows, the 12-byte core
// header), so that the fuzzer starts from every branch of the reader. `pixel(x, y)` gives the
// palette index (or the 0xRRGGBB colour for 32 bits) of image row y (0 = top).
template <typename Pixel>
std::vector<std::uint8_t> HandMadeBmp(int width, int height, int bits, bool topDown, bool core, Pixel pixel)
{
    testbmp::Layout layout{width, height, bits, topDown, core ? 12u : 40u, 0, {}};
    const int colors = bits <= 8 ? 1 << bits : 0;
    for (int i = 0; i < colors; ++i)
    {
        const auto grey = static_cast<std::uint8_t>(i * 255 / (colors - 1));
        layout.palette.push_back({grey, static_cast<std::uint8_t>(255 - grey), grey});
    }
    return testbmp::MakeBmp(layout, pixel);
}

void BitmapSeeds()
{
    const fs::path folder = Folder("bitmap");
    for (const int bits : {8, 24})
    {
        BITMAP_ bitmap;
        InitBitmap(&bitmap, 13, 7, static_cast<unsigned char>(bits));
        for (int i = 0; i < bitmap.dataSize; ++i)
            bitmap.data[i] = static_cast<std::uint8_t>(i * 37);
        const fs::path path = folder / (bits == 8 ? "grey-8.bmp" : "colour-24.bmp");
        Require(SaveBitmap(&bitmap, path.c_str()), path);
        FreeBitmap(&bitmap);
    }
    const auto pattern = [](int x, int y) { return static_cast<std::uint32_t>((x + 2 * y) % 3 == 0); };
    WriteBytes(folder / "mono-1.bmp", HandMadeBmp(19, 6, 1, false, false, pattern));
    WriteBytes(folder / "topdown-4.bmp", HandMadeBmp(9, 5, 4, true, false, [](int x, int y) {
                   return static_cast<std::uint32_t>((x * 3 + y) & 15);
               }));
    WriteBytes(folder / "core-8.bmp", HandMadeBmp(6, 4, 8, false, true, [](int x, int y) {
                   return static_cast<std::uint32_t>(x * 40 + y);
               }));
    WriteBytes(folder / "colour-32.bmp", HandMadeBmp(5, 5, 32, false, false, [](int x, int y) {
                   return static_cast<std::uint32_t>(x * 0x330000 + y * 0x3300 + 0x11);
               }));
    std::vector<std::uint8_t> pixels(std::size_t(11) * 9 * 3);
    for (std::size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = static_cast<std::uint8_t>(i * 29);
    Require(SavePng((folder / "grey.png").string(), pixels.data(), 11, 9, 1), folder / "grey.png");
    Require(SavePng((folder / "colour.png").string(), pixels.data(), 11, 9, 3), folder / "colour.png");
}

void SampleSeeds()
{
    const fs::path folder = Folder("sample_decoder");
    const auto write = [&](const char* name, const std::vector<unsigned short>& samples) {
        WriteBytes(folder / name, FastEncode(samples));
    };
    std::vector<unsigned short> ramp(300), runs(600, 7), jumps(64);
    for (std::size_t i = 0; i < ramp.size(); ++i)
        ramp[i] = static_cast<unsigned short>(1000 + 3 * i);
    for (std::size_t i = 300; i < runs.size(); ++i)
        runs[i] = 65535;
    for (std::size_t i = 0; i < jumps.size(); ++i)
        jumps[i] = static_cast<unsigned short>(i % 2 == 0 ? 0 : 32768 + i);
    write("ramp.code", ramp);
    write("runs.code", runs); // runs longer than one token holds
    write("jumps.code", jumps); // the largest magnitudes
    write("empty.code", {});
}

void GenerateSeeds()
{
    const fs::path folder = Folder("generate");
    const struct
    {
        int width, height, block;
        std::uint8_t settings[6];
        const char* name;
    } seeds[] = {
        {120, 90, 16, {2, 0, 127, 4, 0, 0}, "lake-scale-1.gen"},   // settings: R 2, 10 m, level 0.5, T 4, scale 1
        {200, 160, 32, {1, 0, 127, 3, 1, 0}, "lake-scale-2.gen"},  // scale 2
        {64, 64, 64, {0, 3, 60, 8, 0, 0}, "river-r0.gen"},        // R 0, 2.5 m, low level, T 8
    };
    for (const auto& seed : seeds)
    {
        std::vector<std::uint8_t> bytes(seed.settings, seed.settings + 6);
        const std::vector<std::uint8_t> mask = EncodeMask(WaterCells(seed.width, seed.height), seed.width, seed.height, seed.block);
        bytes.insert(bytes.end(), mask.begin(), mask.end());
        WriteBytes(folder / seed.name, bytes);
    }
}

void ProcessSeeds()
{
    const fs::path folder = Folder("process");
    constexpr int kSide = 256;
    // A 1-bit lever as large as the map: small enough for a seed, and read like any lever.
    const std::vector<std::uint8_t> lever = HandMadeBmp(kSide, kSide, 1, false, false, [](int x, int y) {
        return static_cast<std::uint32_t>(std::hypot(x - 100, y - 120) < 50);
    });
    const auto seed = [&](const char* name, std::uint8_t scale, bool withLever, bool withWater) {
        // Settings: width, height, blur, sharpness, blur height, bank, hill size, sea level,
        // pixel size, scale, RAW choice, reserved; then the lever's length.
        std::vector<std::uint8_t> bytes = {0, 0, 2, 77, 1, 4, 27, 10, 49, static_cast<std::uint8_t>(scale - 1), 0, 0};
        bytes.resize(bytes.size() + 2);
        WriteLe16(bytes.data() + bytes.size() - 2, withLever ? static_cast<std::uint32_t>(lever.size()) : 0);
        if (withLever)
            bytes.insert(bytes.end(), lever.begin(), lever.end());
        if (withWater)
        {
            const int cells = kSide * scale;
            const std::vector<std::uint8_t> mask = EncodeMask(WaterCells(cells, cells), cells, cells, 64 * scale);
            bytes.insert(bytes.end(), mask.begin(), mask.end());
        }
        WriteBytes(folder / name, bytes);
    };
    seed("lever-and-water.proc", 1, true, true);
    seed("water-scale-2.proc", 2, false, true);
    seed("lever-only.proc", 1, true, false);
}
} // namespace

int main(int argc, char** argv)
{
    if (argc != 2)
    {
        std::fprintf(stderr, "usage: altimo_fuzz_seeds <corpus folder>\n");
        return 2;
    }
    g_root = argv[1];
    DatSeeds();
    WtrSeeds("wtr_reader");
    BitmapSeeds();
    SampleSeeds();
    GenerateSeeds();
    ProcessSeeds();
    std::printf("seeds written to %s\n", g_root.c_str());
    return 0;
}
