#include "tools/RawMap.h"

#include "base/JobFiles.h"
#include "heightproc/Process.h"
#include "tools/EnviHeader.h"
#include "tools/MapSidecar.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace
{
std::string Number(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}

bool Exists(const std::string& path)
{
    struct stat info{};
    return ::stat(path.c_str(), &info) == 0;
}

// The size of the map an ENVI header describes; false with `problem` set when it does not
// describe a 16-bit unsigned map.
bool SizeFromHeader(const std::string& path, RawMapSize& size)
{
    EnviHeader header;
    if (!ReadEnviHeader(path, header, size.problem))
        return false;
    if (header.dataType != 12 || header.bands != 1 || header.headerOffset != 0)
    {
        size.problem = path + ": the ENVI header describes data type " + std::to_string(header.dataType) + ", " +
                       std::to_string(header.bands) + " band(s), header offset " +
                       std::to_string(header.headerOffset) +
                       "; a RAW map is data type 12 (16-bit unsigned), 1 band, offset 0";
        return false;
    }
    if (header.samples <= 0 || header.lines <= 0 || header.samples > 1000000 || header.lines > 1000000)
    {
        size.problem = path + ": the ENVI header gives no valid samples and lines";
        return false;
    }
    size.width = int(header.samples);
    size.height = int(header.lines);
    size.bigEndian = header.byteOrder == 1;
    size.source = "the ENVI header " + path;
    return true;
}

// Reads up to 256 rows of the map: the warning when they look byte-swapped, or empty.
std::string ByteSwapWarning(const std::string& raw, const ProcessSettings& settings)
{
    const long long count = std::min<long long>(256, settings.rawHeight) * settings.rawWidth;
    std::vector<unsigned short> samples(static_cast<std::size_t>(count));
    std::FILE* file = std::fopen(raw.c_str(), "rb");
    if (file == nullptr)
        return {};
    const std::size_t got = std::fread(samples.data(), 2, samples.size(), file);
    std::fclose(file);
    for (unsigned short& v : samples)
    {
        const auto* bytes = reinterpret_cast<const unsigned char*>(&v);
        v = settings.bigEndianRaw ? static_cast<unsigned short>(bytes[0] << 8 | bytes[1])
                                  : static_cast<unsigned short>(bytes[1] << 8 | bytes[0]);
    }
    if (got != samples.size() || !LooksByteSwapped(samples.data(), count, settings.rawWidth))
        return {};
    return raw + ": the samples look byte-swapped (neighbouring samples differ ten times less with their "
                 "bytes exchanged); if the result is noise, try --byte-order " +
           std::string(settings.bigEndianRaw ? "little" : "big");
}
} // namespace

RawMapSize FindRawMapSize(const std::string& rawPath, unsigned long long fileBytes)
{
    RawMapSize size;
    const std::size_t dot = rawPath.rfind('.');
    const std::size_t slash = rawPath.rfind('/');
    std::string candidates[2] = {rawPath + ".hdr"};
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
        candidates[1] = rawPath.substr(0, dot) + ".hdr";
    for (const std::string& header : candidates)
        if (!header.empty() && std::ifstream(header).good())
        {
            SizeFromHeader(header, size);
            return size;
        }
    const unsigned long long side = SquareSideWithin(fileBytes);
    if (side > 0 && 2 * side * side == fileBytes)
    {
        size.width = size.height = int(side);
        size.source = "the file size (" + std::to_string(fileBytes) + " bytes, a square map)";
        return size;
    }
    std::ostringstream problem;
    problem << rawPath << ": no --width/--height, no ENVI header (" << candidates[0]
            << (candidates[1].empty() ? "" : " or " + candidates[1]) << ") and the file's " << fileBytes
            << " bytes are not 2 n^2 bytes of a square map (" << side << " x " << side << " takes "
            << 2 * side * side << "); give --width and --height";
    size.problem = problem.str();
    return size;
}

bool ReadMapSize(const std::string& path, int& width, int& height, std::string& source, std::string& error)
{
    if (!Exists(path))
    {
        error = path + ": cannot open the file";
        return false;
    }
    if (path.ends_with(".dat"))
    {
        source = "the height file " + path;
        if (ReadDatSize(path, width, height))
            return true;
        error = path + ": not a valid height file (cannot read its header)";
        return false;
    }
    RawMapSize size;
    if (path.ends_with(".hdr"))
        SizeFromHeader(path, size);
    else
        size = FindRawMapSize(path, FileSize(path));
    error = size.problem;
    width = size.width;
    height = size.height;
    source = size.source;
    return size.problem.empty();
}

bool LooksByteSwapped(const unsigned short* samples, long long count, int width)
{
    double asRead = 0;
    double swapped = 0;
    for (long long i = 1; i < count; ++i)
    {
        if (i % width == 0)
            continue;
        const auto swap = [](unsigned short v) { return int((v << 8 | v >> 8) & 0xFFFF); };
        asRead += std::abs(int(samples[i]) - int(samples[i - 1]));
        swapped += std::abs(swap(samples[i]) - swap(samples[i - 1]));
    }
    return swapped * 10 < asRead;
}

RawGeoReference ApplyRawGeoReference(const std::string& raw, ProcessSettings& settings, bool pixelSizeGiven)
{
    RawGeoReference found;
    found.header = raw + ".hdr";
    EnviHeader header;
    std::string error;
    if (!std::ifstream(found.header).good())
        return found;
    // A header written by hand for the size alone is no mistake; one that does not fit the map is.
    const bool read = ReadEnviHeader(found.header, header, error);
    if (read && !header.nodata.mask.empty())
    {
        if (Exists(header.nodata.mask))
            found.nodata = header.nodata;
        else
            found.warnings.push_back(found.header + ": the nodata mask it names, " + header.nodata.mask +
                                     ", is not there; the height file's sidecar does not name it");
    }
    if (read && !header.hasMapInfo)
        return found;
    if (!read || !ReadMapGeoReference(found.header, settings.rawWidth, settings.rawHeight, found.geo, error))
    {
        found.warnings.push_back(error + "; the height file gets no georeference sidecar");
        return found;
    }
    found.found = true;
    std::string note;
    const double metres = MapPixelSizeMetres(found.geo, settings.rawWidth, settings.rawHeight, note);
    const JobField<ProcessSettings>& field = ProcessField("pixelSize");
    // A map whose pixels have no one size is stretched whichever size the files get.
    if (metres <= 0)
        found.warnings.push_back(found.header + ": " + note + "; the files get " + Number(settings.pixelSize) +
                                 (pixelSizeGiven ? " m from --pixel-size" : " m (the default)"));
    if (pixelSizeGiven || metres <= 0)
        return found;
    if (!SetField(field, settings, Number(metres)))
        found.warnings.push_back(found.header + ": its pixel size " + Number(metres) + " m is outside " +
                                 RangeText(field) + " m that the files hold; they get " +
                                 Number(settings.pixelSize) + " m, --pixel-size gives another");
    else if (!note.empty())
        found.warnings.push_back(found.header + ": " + note);
    return found;
}

void AttachRawMapHeader(ProcessJob& job, RawMapHeader& header, std::function<void()> announce)
{
    header.used = job.settings;
    const std::string raw = job.raw;
    job.prepare = [&header, raw](ProcessSettings& settings)
    {
        if (header.inferSize && Exists(raw))
        {
            const RawMapSize size = FindRawMapSize(raw, FileSize(raw));
            if (!size.problem.empty())
                return JobFailure(JobStatus::failed, size.problem);
            for (const auto& [field, value] :
                 {std::pair{&ProcessField("rawWidth"), size.width}, {&ProcessField("rawHeight"), size.height}})
                if (const Status status = SetField(*field, settings, std::to_string(value)); !status)
                    return JobFailure(JobStatus::failed, raw + ": the size from " + size.source + ": " + status.message);
            settings.bigEndianRaw = size.bigEndian;
            header.sizeSource = size.source;
        }
        if (!header.byteOrder.empty())
            settings.bigEndianRaw = header.byteOrder == "big";
        header.geo = ApplyRawGeoReference(raw, settings, header.pixelSizeGiven);
        std::string problem;
        header.mapping = FindRawMapping(raw, problem);
        if (header.seaLevelMetres)
        {
            const std::string option = "--sea-level " + Number(*header.seaLevelMetres) + "m: ";
            if (!header.mapping)
                return JobFailure(JobStatus::refused, option + problem + "; give the sea level as a level N (a sea "
                                                                         "height of N x 257 samples) instead");
            const std::optional<int> sample = SeaSampleAtOrBelow(*header.mapping, *header.seaLevelMetres, problem);
            if (!sample)
                return JobFailure(JobStatus::refused, option + problem);
            settings.seaSample = *sample;
        }
        return JobResult{};
    };
    job.ready = [&header, raw, announce = std::move(announce)](const ProcessSettings& settings)
    {
        header.used = settings;
        if (std::string swapped = ByteSwapWarning(raw, settings); !swapped.empty())
            header.early.push_back(std::move(swapped));
        if (announce)
            announce();
    };
}

void FinishRawMap(const ProcessJob& job, RawMapHeader& header, JobResult& result)
{
    result.warnings.insert(result.warnings.end(), header.geo.warnings.begin(), header.geo.warnings.end());
    const std::string height = result.output("height");
    if (height.empty())
        return;
    const std::string sidecar = MapSidecarPath(height);
    if (!header.geo.found)
    {
        if (Exists(sidecar))
            result.warnings.push_back("the older " + sidecar + " was left as it was and may not describe the new " +
                                      height);
        return;
    }
    std::string error;
    if (WriteMapSidecar(sidecar, header.geo.geo, header.used.rawWidth, header.used.rawHeight, job.raw, error,
                        &header.geo.nodata))
        header.sidecar = sidecar;
    else
        result.warnings.push_back(error + "; the height file has no georeference beside it");
}
