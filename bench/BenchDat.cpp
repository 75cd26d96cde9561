// The sample coder alone, on one core, without file input and output:
//
//   altimo-bench-dat RAW SIZE [ROUNDS]
//       Cuts the SIZE x SIZE 16-bit little-endian map into 64 x 64 tiles as the DAT writer
//       does, then codes every tile and decodes every code ROUNDS times (default 3) and prints
//       the least CPU time of each in nanoseconds per sample, with the bits per sample: decoding
//       one tile at a time, and two at once as the DAT reader does. Fails when a tile does not
//       come back as it was.
#include "codec/EncoderFELICS.h"
#include "codec/HeightDat.h"

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace
{
// CPU time of this thread: on a shared machine it leaves out the time other work held the core.
double CpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}
} // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
    {
        std::fprintf(stderr, "usage: altimo-bench-dat RAW SIZE [ROUNDS]\n");
        return 2;
    }
    const int size = std::atoi(argv[2]);
    const int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;
    std::vector<std::uint16_t> raster(std::size_t(size) * std::size_t(size));
    std::FILE* file = std::fopen(argv[1], "rb");
    if (file == nullptr || std::fread(raster.data(), 2, raster.size(), file) != raster.size())
    {
        std::fprintf(stderr, "%s: cannot read %d x %d samples\n", argv[1], size, size);
        return 1;
    }
    std::fclose(file);
    const ConstRasterView<std::uint16_t> view{raster.data(), size, size};
    const int across = (size + kTileSide - 1) / kTileSide;
    const std::size_t tiles = std::size_t(across) * std::size_t(across);
    std::vector<std::uint16_t> samples(tiles * kTileSamples);
    for (std::size_t t = 0; t < tiles; ++t)
        ExtractTile(int(t % std::size_t(across)), int(t / std::size_t(across)), view, samples.data() + t * kTileSamples);

    CEncoderFELICS<unsigned short, unsigned long> coder;
    std::vector<std::vector<std::uint8_t>> codes(tiles);
    double encodeBest = 1e9;
    for (int round = 0; round < rounds; ++round)
    {
        const double start = CpuSeconds();
        for (std::size_t t = 0; t < tiles; ++t)
        {
            coder.open(nullptr, 0);
            coder.encode(samples.data() + t * kTileSamples, kTileSamples);
            coder.close();
            codes[t].assign(coder.data(), coder.data() + coder.size());
        }
        encodeBest = std::min(encodeBest, CpuSeconds() - start);
    }
    std::size_t bytes = 0;
    for (const auto& code : codes)
        bytes += code.size();

    std::vector<std::uint16_t> decoded(tiles * kTileSamples);
    CEncoderFELICS<unsigned short, unsigned long> second;
    auto decodeTimed = [&](bool pairs) {
        double best = 1e9;
        for (int round = 0; round < rounds; ++round)
        {
            std::fill(decoded.begin(), decoded.end(), std::uint16_t(0));
            bool whole = true;
            const double start = CpuSeconds();
            for (std::size_t t = 0; t < tiles; t += pairs ? 2 : 1)
            {
                coder.open(codes[t].data(), static_cast<long>(codes[t].size()));
                unsigned long produced = 0;
                unsigned long producedSecond = kTileSamples;
                if (pairs && t + 1 < tiles)
                {
                    second.open(codes[t + 1].data(), static_cast<long>(codes[t + 1].size()));
                    CEncoderFELICS<unsigned short, unsigned long>::decodePair(
                        coder, decoded.data() + t * kTileSamples, kTileSamples, produced, second,
                        decoded.data() + (t + 1) * kTileSamples, kTileSamples, producedSecond);
                    whole = whole && !second.failed();
                }
                else
                {
                    produced = coder.decode(decoded.data() + t * kTileSamples, kTileSamples);
                }
                whole = whole && produced == kTileSamples && producedSecond == kTileSamples && !coder.failed();
            }
            best = std::min(best, CpuSeconds() - start);
            if (!whole || decoded != samples)
            {
                std::fprintf(stderr, "a tile did not decode to its samples\n");
                std::exit(1);
            }
        }
        return best;
    };
    const double decodeBest = decodeTimed(false);
    const double pairBest = decodeTimed(true);
    const double n = double(tiles) * kTileSamples;
    std::printf("%zu tiles, %.2f bits/sample: encode %.2f ns/sample, decode %.2f ns/sample, two tiles at once %.2f "
                "ns/sample (CPU time of one core, best of %d)\n",
                tiles, double(bytes) * 8.0 / n, encodeBest * 1e9 / n, decodeBest * 1e9 / n, pairBest * 1e9 / n, rounds);
    return 0;
}
