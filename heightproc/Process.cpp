#include "heightproc/Process.h"

#include "base/ByteOrder.h"
#include "base/JobFiles.h"

#include "codec/HeightDat.h"
#include "heightproc/Lever.h"
#include "heightproc/Water.h"
#include "base/LargeBuffer.h"
#include "base/ParallelRead.h"

#include <bit>
#include <chrono>
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

// Writes one DAT file; the desktop application passes over a failure, the result keeps it. An
// output that is one of the run's inputs is not written: replacing it would destroy the input,
// and whoever started the run learns of it as of any file that could not be created.
bool WriteDat(const std::string& path, ConstRasterView<std::uint16_t> raster, float pixelSize,
              const std::vector<std::string>& inputs, ProcessResult& result)
{
    if (const std::string problem = SameFileProblem(inputs, {path}); !problem.empty())
    {
        result.warnings.push_back(problem);
        return false;
    }
    if (WriteHeightDat(path, raster, pixelSize))
        return true;
    result.warnings.push_back("could not write " + path);
    return false;
}

} // namespace

std::string BaseName(const std::string& path)
{
    const std::size_t dot = path.rfind('.');
    return dot == std::string::npos ? path : path.substr(0, dot);
}

ProcessResult RunProcess(const std::string& rawPath, const ProcessSettings& settings, IProgressSink& progress,
                         IMessageSink& messages, const std::string& outputBase)
{
    ProcessResult result;
    const std::string base = outputBase.empty() ? BaseName(rawPath) : outputBase;
    const std::vector<std::string> inputs{rawPath, settings.leverPath, settings.waterPath};
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

    auto start = Clock::now();
    const std::size_t samples = static_cast<std::size_t>(expectedSize / 2);
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
        if (ApplyLever(settings, settings.leverPath, heightView, progress, messages) == LeverStatus::BitmapUnreadable)
            result.warnings.push_back("could not read the lever bitmap " + settings.leverPath + "; no levering");
        result.leverSeconds = Since(start);
    }
    progress.setPos(100);

    if (!settings.waterPath.empty())
    {
        start = Clock::now();
        WaterResult water =
            ProcessWater(settings, settings.waterPath, heightView, settings.blurHeight != 0, progress, messages);
        result.waterSeconds = Since(start);
        if (water.water.size() == samples)
        {
            start = Clock::now();
            result.waterDatPath = base + "_w.dat";
            result.waterWritten =
                WriteDat(result.waterDatPath, {water.water.data(), settings.rawWidth, settings.rawHeight},
                         settings.pixelSize, inputs, result);
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
    result.heightWritten = WriteDat(result.heightDatPath, {height.data(), settings.rawWidth, settings.rawHeight},
                                    settings.pixelSize, inputs, result);
    result.writeHeightSeconds = Since(start);
    result.success = true;
    progress.setPos(0);
    return result;
}
