// The process pipeline on a fuzzed lever bitmap and water mask over a small height map: the run
// either refuses an input with a message or writes height files that read back at the map's
// size. The RAW map itself is made here (its only failure is its size, which the command line
// tests cover), so the fuzzer spends its effort on the two files that come from outside.
//
// Input: 12 bytes of settings, 2 bytes of lever length L, L bytes of lever bitmap (none when L
// is 0), then the ".wtr" file (none when empty).
#include "FuzzSupport.h"
#include "heightproc/Process.h"
#include "codec/DATElevationDB.h"
#include "support/WtrFormat.h"

#include <cmath>
#include <vector>

namespace
{
class CheckedMessages : public IMessageSink
{
public:
    void show(const std::string& text, const std::string& caption) override
    {
        if (text.empty() || caption.empty())
            __builtin_trap();
    }
};

// A map with hills, a valley below every sea level and a plateau, so that levering, sea fill,
// bank smoothing and water fill all have work.
std::vector<std::uint8_t> MakeRaw(int width, int height)
{
    std::vector<std::uint8_t> bytes(std::size_t(width) * std::size_t(height) * 2);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
        {
            const double hill = 20000 + 15000 * std::sin(x * 0.05) * std::cos(y * 0.04);
            const double valley = std::abs(x - width / 2) < 6 ? 0 : hill;
            const auto sample = static_cast<std::uint16_t>(y < 8 ? 60000 : valley);
            const std::size_t i = 2 * (std::size_t(y) * std::size_t(width) + std::size_t(x));
            bytes[i] = static_cast<std::uint8_t>(sample);
            bytes[i + 1] = static_cast<std::uint8_t>(sample >> 8);
        }
    return bytes;
}

// Water masks far beyond the map's need are legitimate and slow; they are skipped.
bool TooLarge(const std::uint8_t* file, std::size_t size)
{
    if (size < kWtrHeaderSize)
        return false;
    fuzz::InputReader header(file + 8, 8);
    return double(header.u32()) * double(header.u32()) > double(1 << 24);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::InputReader input(data, size);
    ProcessSettings settings;
    // The smallest maps the ranges allow, and a few odd sizes above.
    settings.rawWidth = 256 + input.byte() % 5;
    settings.rawHeight = 256 + input.byte() % 5;
    settings.blur = 1 + input.byte() % 4; // up to 20 is allowed; more passes only cost time here
    settings.sharpness = float(input.byte()) / 255.0f;
    settings.blurHeight = input.byte() & 1;
    settings.bank = 1 + input.byte() % 10;
    settings.hillSize = 3 + input.byte() % 18; // larger hills only cost time here
    settings.seaLevel = long(input.byte()) - 1;
    settings.pixelSize = 1.0f + float(input.byte() % 200);
    settings.resolutionScale = 1 + input.byte() % 8;
    const std::uint8_t rawChoice = input.byte();
    input.byte(); // reserved
    const std::size_t leverLength = input.u16();
    const std::uint8_t* lever = nullptr;
    const std::size_t leverSize = input.take(leverLength, &lever);
    if (TooLarge(input.rest(), input.restSize()))
        return 0;

    std::vector<std::uint8_t> raw = MakeRaw(settings.rawWidth, settings.rawHeight);
    if (rawChoice == 0xFF)
        raw.pop_back(); // one byte short: refused
    const std::string rawPath = fuzz::WriteTempFile("map.raw", raw.data(), raw.size());
    if (leverSize > 0)
        settings.leverPath = fuzz::WriteTempFile("lever.bmp", lever, leverSize);
    else
        fuzz::RemoveTempFile("lever.bmp");
    if (input.restSize() > 0)
        settings.waterPath = fuzz::WriteTempFile("water.wtr", input.rest(), input.restSize());
    fuzz::RemoveTempFile("map.dat");
    fuzz::RemoveTempFile("map_w.dat");

    NullProgress progress;
    CheckedMessages messages;
    const ProcessResult result = RunProcess(rawPath, settings, progress, messages);
    if (rawChoice == 0xFF)
    {
        if (result.success)
            __builtin_trap();
        return 0;
    }
    if (!result.success || !result.heightWritten)
        __builtin_trap();
    for (const std::string* path : {&result.heightDatPath, &result.waterDatPath})
    {
        if (path->empty())
            continue;
        CDATElevationDB db;
        if (!db.init(path->c_str()) || db.getWidth() != settings.rawWidth || db.getHeight() != settings.rawHeight)
            __builtin_trap();
    }
    return 0;
}
