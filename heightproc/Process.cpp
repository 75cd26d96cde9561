#include "heightproc/Process.h"

#include "base/ByteOrder.h"
#include "base/JobFiles.h"

#include "codec/HeightDat.h"
#include "heightproc/Lever.h"
#include "heightproc/Water.h"
#include "base/LargeBuffer.h"
#include "base/ParallelRead.h"

#include <algorithm>
#include <array>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <new>

namespace
{

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

using FilePtr = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

// The file's size, leaving the position at the start; -1 when it cannot be told.
long long FileSizeOf(std::FILE* file)
{
    if (std::fseek(file, 0, SEEK_END) != 0)
        return -1;
    const long size = std::ftell(file);
    if (std::fseek(file, 0, SEEK_SET) != 0)
        return -1;
    return size;
}

// The raster as one block, uninitialised: the read fills every sample. False when there is no
// memory for it.
bool AllocateRaster(LargeBuffer<std::uint16_t>& raster, std::size_t samples)
{
    try
    {
        raster.allocate(samples);
        return true;
    }
    catch (const std::bad_alloc&)
    {
        return false;
    }
}

// Writes one DAT file through `write`; the desktop application passes over a failure, the
// result keeps it.
template <typename Write> bool WriteDat(const std::string& path, ProcessResult& result, Write&& write)
{
    if (write(path))
        return true;
    (path == result.heightDatPath ? result.heightProblem : result.warnings.emplace_back()) = OutputFailure(path);
    return false;
}

// The RAW map a tile row at a time, for a run that changes no sample: two bands of rows are
// reused, so the map is never whole in memory and no fresh pages have to be zeroed for it,
// which was a sixth of such a run's time.
class RawTileRows
{
public:
    RawTileRows(int fd, int width, int height, bool bigEndian) : m_fd(fd), m_width(width), m_height(height), m_bigEndian(bigEndian)
    {
        for (auto& band : m_bands)
            band.resize(std::size_t(width) * std::size_t(std::min(height, kTileSide)));
    }

    bool operator()(int tileRow, ConstRasterView<std::uint16_t>& rows)
    {
        const int y0 = tileRow * kTileSide;
        const int count = std::min(kTileSide, m_height - y0);
        std::uint16_t* band = m_bands[std::size_t(tileRow) % 2].data();
        const std::size_t samples = std::size_t(m_width) * std::size_t(count);
        if (!ReadFileRange(m_fd, band, samples * 2, std::uint64_t(y0) * std::uint64_t(m_width) * 2))
            return !(m_failed = true);
        SamplesToHostOrder(band, samples, m_bigEndian);
        rows = {band, m_width, count};
        return true;
    }
    bool failed() const { return m_failed; }

private:
    int m_fd;
    int m_width;
    int m_height;
    bool m_bigEndian;
    std::array<std::vector<std::uint16_t>, 2> m_bands;
    bool m_failed = false;
};

} // namespace

std::string BaseName(const std::string& path)
{
    const std::size_t dot = path.rfind('.');
    return dot == std::string::npos ? path : path.substr(0, dot);
}

unsigned long long SquareSideWithin(unsigned long long bytes)
{
    auto side = static_cast<unsigned long long>(std::sqrt(double(bytes / 2)));
    while (2 * (side + 1) * (side + 1) <= bytes)
        ++side;
    while (side > 0 && 2 * side * side > bytes)
        --side;
    return side;
}

ProcessResult RunProcess(const std::string& rawPath, const ProcessSettings& settings, IProgressSink& progress,
                         IMessageSink& messages, const std::string& outputBase)
{
    ProcessResult result;
    const std::string base = outputBase.empty() ? BaseName(rawPath) : outputBase;
    FilePtr file(std::fopen(rawPath.c_str(), "rb"), &std::fclose);
    if (!file)
    {
        messages.show("Can not open RAW file", kAppName);
        progress.setPos(0);
        return result;
    }
    const long long fileSize = FileSizeOf(file.get());
    progress.setPos(0);

    // Widened: the product stays below 800,000,000 within the ranges, and cannot wrap outside them.
    const long long expectedSize = static_cast<long long>(settings.rawHeight) * settings.rawWidth * 2;
    if (settings.rawWidth <= 0 || settings.rawHeight <= 0 || expectedSize != fileSize)
    {
        messages.show("Incorrect file size for the given WIDTH x HEIGHT, 16 BIT RAW", kAppName);
        progress.setPos(0);
        return result;
    }
    // Replacing an input would destroy it. The RAW's own messages come first; then nothing at
    // all is written, not even the water file before a height file that is the RAW.
    const std::vector<std::string> outputs =
        settings.waterPath.empty() ? std::vector{base + ".dat"} : std::vector{base + "_w.dat", base + ".dat"};
    if (const Status same = SameFileProblem({rawPath, settings.leverPath, settings.waterPath}, outputs); !same)
    {
        messages.show(same.message, kAppName);
        progress.setPos(0);
        return result;
    }

    auto start = Clock::now();
    const std::size_t samples = static_cast<std::size_t>(expectedSize / 2);
    if (settings.leverPath.empty() && settings.waterPath.empty())
    {
        // Nothing changes the samples: they go from the file to the coder a band at a time (the
        // reading is counted in the writing time).
        progress.setPos(100);
        progress.setPos(200);
        result.heightDatPath = base + ".dat";
        RawTileRows rows(::fileno(file.get()), settings.rawWidth, settings.rawHeight, settings.bigEndianRaw);
        result.heightWritten = WriteDat(result.heightDatPath, result, [&](const std::string& path) {
            return WriteHeightDat(path, settings.rawWidth, settings.rawHeight, std::ref(rows), settings.pixelSize);
        });
        result.writeHeightSeconds = Since(start);
        if (rows.failed())
        {
            messages.show("Can not read RAW file", kAppName);
            progress.setPos(0);
            return result;
        }
        result.success = true;
        progress.setPos(0);
        return result;
    }
    LargeBuffer<std::uint16_t> height;
    if (!AllocateRaster(height, samples))
    {
        messages.show("Not enough memory for the height map", kAppName);
        progress.setPos(0);
        return result;
    }
    if (!ReadFileInParallel(::fileno(file.get()), height.data(), samples * 2))
    {
        messages.show("Can not read RAW file", kAppName);
        progress.setPos(0);
        return result;
    }
    SamplesToHostOrder(height.data(), samples, settings.bigEndianRaw);
    result.readSeconds = Since(start);
    RasterView<std::uint16_t> heightView(height.data(), settings.rawWidth, settings.rawHeight);

    if (!settings.leverPath.empty())
    {
        start = Clock::now();
        if (const Status levered = ApplyLever(settings, settings.leverPath, heightView, progress, messages);
            levered.code == StatusCode::cannotOpen)
            result.warnings.push_back(levered.message + "; no levering");
        result.leverSeconds = Since(start);
    }
    progress.setPos(100);

    if (!settings.waterPath.empty())
    {
        start = Clock::now();
        WaterResult water =
            ProcessWater(settings, settings.waterPath, heightView, settings.blurHeight != 0, progress, messages);
        result.waterSeconds = Since(start);
        result.smoothing = water.smoothing;
        if (water.water.size() == samples)
        {
            start = Clock::now();
            result.waterDatPath = base + "_w.dat";
            result.waterWritten = WriteDat(result.waterDatPath, result, [&](const std::string& path) {
                return WriteHeightDat(path, {water.water.data(), settings.rawWidth, settings.rawHeight}, settings.pixelSize);
            });
            result.writeWaterSeconds = Since(start);
        }
        else
        {
            result.warnings.push_back(water.failure.empty() ? "no water raster; " + base + "_w.dat not written"
                                                            : water.failure + "; " + base + "_w.dat not written");
        }
    } // the water raster is released here, before the height file is written
    progress.setPos(200);

    start = Clock::now();
    result.heightDatPath = base + ".dat";
    result.heightWritten = WriteDat(result.heightDatPath, result, [&](const std::string& path) {
        return WriteHeightDat(path, {height.data(), settings.rawWidth, settings.rawHeight}, settings.pixelSize);
    });
    result.writeHeightSeconds = Since(start);
    result.success = true;
    progress.setPos(0);
    return result;
}
