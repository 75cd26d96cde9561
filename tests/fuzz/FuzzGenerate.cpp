// The shoreline Generate job on a fuzzed water mask and fuzzed settings: it either refuses with
// one message or returns lines that keep their documented limits.
//
// Input: 6 bytes of settings, then the ".wtr" file. Lines that come out are written as a ".sl" file.
#include "FuzzSupport.h"
#include "banks/GenerateShorelines.h"
#include "banks/ShorelineFile.h"
#include "support/WtrFormat.h"

#include <cmath>
#include <limits>

namespace
{
class CountingMessages : public IMessageSink
{
public:
    void show(const std::string& text, const std::string& caption) override
    {
        if (text.empty() || caption.empty())
            __builtin_trap();
        ++count;
    }
    int count = 0;
};

// Masks whose water image would exceed this many pixels are legitimate but slow; they are
// skipped so that a single input cannot spend the fuzzer's time and memory.
constexpr double kMaxImagePixels = 1 << 22;
constexpr double kMaxMaskCells = 1 << 26;

bool TooLarge(const std::uint8_t* file, std::size_t size, long scale)
{
    if (size < kWtrHeaderSize)
        return false;
    fuzz::InputReader header(file + 8, 8);
    const double xRes = header.u32();
    const double zRes = header.u32();
    return xRes * zRes > kMaxMaskCells || (xRes / double(scale)) * (zRes / double(scale)) > kMaxImagePixels;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::InputReader input(data, size);
    BanksSettings settings;
    settings.minRiverSize = input.byte() % 40;
    const std::uint8_t pixelChoice = input.byte();
    const float pixelSizes[] = {10.0f, 1.0f, 0.5f, 2.5f, 100.0f, 1e6f, 3e7f};
    settings.waterPixelSize = pixelSizes[pixelChoice % std::size(pixelSizes)];
    const std::uint8_t level = input.byte();
    settings.shoreLevel = level == 255 ? 2.0f : level == 254 ? -1.0f : float(level) / 253.0f;
    settings.tesselation = input.byte() % 10; // 0, 1 and 9 are refused
    settings.resolutionScale = 1 + input.byte() % 50;
    if (input.byte() == 0xEE)
        settings.shoreLevel = std::numeric_limits<float>::quiet_NaN();
    if (TooLarge(input.rest(), input.restSize(), settings.resolutionScale))
        return 0;

    const std::string path = fuzz::WriteTempFile("input.wtr", input.rest(), input.restSize());
    CountingMessages messages;
    const BanksResult result = GenerateShorelines(path, settings, messages);
    if (!result.status)
    {
        if (messages.count != 1 || !result.lines.empty() || result.filtered.width != 0)
            __builtin_trap();
        return 0;
    }
    if (messages.count != 0 || result.lines.size() > 32767)
        __builtin_trap();
    for (const Shoreline& line : result.lines)
        if (line.size() <= 5 || line.size() > 32767)
            __builtin_trap();
    // The lines that came out can be written.
    if (!WriteShorelineFile(fuzz::TempFolder() + "/output.sl", result.lines))
        __builtin_trap();
    return 0;
}
