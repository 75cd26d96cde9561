#include "tools/MapUnits.h"

#include "codec/DATElevationDB.h"
#include "tools/EnviHeader.h"
#include "tools/MapSidecar.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sys/stat.h>

namespace
{
std::string Number(const char* format, double value)
{
    char text[48];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// A sample within this fraction of a sample below a height counts as on it: the height typed
// ("0m") and the sample's height (offset + gain x sample) seldom agree to the last bit.
constexpr double kOnSample = 1e-9;
} // namespace

std::optional<double> MetresFromText(std::string_view text)
{
    if (text.size() < 2 || text.back() != 'm')
        return std::nullopt;
    text.remove_suffix(1);
    if (text.front() == '+')
        text.remove_prefix(1);
    double metres = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), metres);
    if (error != std::errc() || end != text.data() + text.size() || text.empty() || !std::isfinite(metres))
        return std::nullopt;
    return metres;
}

StatusOr<int> SeaSampleAtOrBelow(const HeightMapping& mapping, double metres)
{
    const double position = (metres - mapping.offset) / mapping.gain;
    if (position >= 65535)
        return 65535;
    const double sample = std::floor(position + kOnSample);
    if (sample >= 1)
        return static_cast<int>(sample);
    const std::string sampleZero = Number("%.6g m", mapping.metres(0));
    const std::string sampleOne = Number("%.6g m", mapping.metres(1));
    return Status(StatusCode::invalidSettings,
                  Number("%g m", metres) +
                      (sample == 0 ? " falls on sample 0 (" + sampleZero + " to " + sampleOne +
                                         "), which takes no water at a sea height of 0"
                                   : " lies below the map's lowest height, sample 0 (" + sampleZero + ")") +
                      "; a sea in metres starts at sample 1, " + sampleOne + " (heights from " + mapping.source + ")");
}

StatusOr<HeightMapping> FindRawMapping(const std::string& raw)
{
    std::vector<std::string> headers = {raw + ".hdr"};
    const std::size_t dot = raw.rfind('.');
    const std::size_t slash = raw.rfind('/');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
        headers.push_back(raw.substr(0, dot) + ".hdr");
    for (const std::string& path : headers)
    {
        if (!std::ifstream(path).good())
            continue;
        EnviHeader header;
        if (Status read = ReadEnviHeader(path, header); !read)
            return read;
        if (!header.hasMapping)
            return Status(StatusCode::invalidInput, !header.mappingProblem.empty()
                                                        ? header.mappingProblem
                                                        : path + ": the ENVI header gives no data gain values");
        if (!(header.gain > 0))
            return Status(StatusCode::invalidInput, path + ": the ENVI header's data gain " +
                                                        Number("%g", header.gain) +
                                                        " is not above 0 (heights falling as samples rise)");
        return HeightMapping{header.gain, header.offset, path};
    }
    return Status(StatusCode::cannotOpen, raw + ": no ENVI header beside it (" + headers.front() +
                                              (headers.size() > 1 ? " or " + headers.back() : std::string()) +
                                              ") says what its samples are in metres");
}

std::optional<HeightMapping> FindDatMapping(const std::string& dat, int width, int height,
                                            std::vector<std::string>& warnings)
{
    const std::string sidecar = MapSidecarPath(dat);
    if (!std::ifstream(sidecar).good())
        return std::nullopt;
    MapGeoReference geo;
    if (const Status read = ReadMapSidecar(sidecar, width, height, geo); !read)
    {
        warnings.push_back(read.message + "; its heights are not used");
        return std::nullopt;
    }
    if (!geo.hasMapping)
        return std::nullopt;
    if (!(geo.gain > 0) || !std::isfinite(geo.gain) || !std::isfinite(geo.offset))
    {
        warnings.push_back(sidecar + ": its height gain " + Number("%g", geo.gain) +
                           " is not a number above 0; its heights are not used");
        return std::nullopt;
    }
    return HeightMapping{geo.gain, geo.offset, sidecar};
}

HeightScaleChoice ChooseHeightScale(const std::string& dat, HeightScaleAsk ask, double given, double fallback,
                                    double min, double max)
{
    HeightScaleChoice choice;
    int width = 0;
    int height = 0;
    const bool readable = ReadDatSize(dat, width, height);
    if (readable)
        choice.mapping = FindDatMapping(dat, width, height, choice.warnings);
    if (ask == HeightScaleAsk::given || (ask != HeightScaleAsk::automatic && !choice.mapping) || !readable)
    {
        choice.scale = ask == HeightScaleAsk::given ? given : fallback;
        return choice;
    }
    if (!choice.mapping)
    {
        choice.problem = "--height-scale auto: " + dat + " has no height mapping beside it (" + MapSidecarPath(dat) +
                         " with \"heights\", written when process reads an imported map's header); give "
                         "--height-scale with a number";
        return choice;
    }
    choice.scale = choice.mapping->heightScale();
    choice.automatic = true;
    if (!(choice.scale >= min && choice.scale <= max))
        choice.problem = "--height-scale auto: the map's scale " + Number("%g", choice.scale) + " (gain " +
                         Number("%g", choice.mapping->gain) + " m x 257, from " + choice.mapping->source +
                         ") is outside " + Number("%g", min) + ".." + Number("%g", max) +
                         "; give --height-scale with a number";
    return choice;
}

std::string DescribeHeightScale(const HeightScaleChoice& choice)
{
    std::string text = Number("%g", choice.scale);
    if (choice.automatic)
        text += " (the map's, from " + choice.mapping->source + ": a sample is " +
                Number("%.4g", choice.mapping->gain) + " m)";
    else if (choice.mapping)
        text += " (the map's own would be " + Number("%g", choice.mapping->heightScale()) + ")";
    return text;
}

bool ReadDatSize(const std::string& dat, int& width, int& height, float* pixelSize)
{
    // A folder or a device is the job's to name; reading one whole would never end.
    struct stat info{};
    if (::stat(dat.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    // The header alone: the load stops as soon as it tells the size.
    CDATElevationDB db(false);
    long w = 0;
    long h = 0;
    float size = 0;
    static_cast<void>(db.loadInBands(
        dat.c_str(), [](long, long, long, const std::uint16_t*) { return false; }, CDATElevationDB::BandOrder::TopDown,
        [&](long datWidth, long datHeight, float datPixelSize)
        {
            w = datWidth;
            h = datHeight;
            size = datPixelSize;
            return false;
        }));
    if (w <= 0 || h <= 0 || w > 1000000 || h > 1000000)
        return false;
    width = int(w);
    height = int(h);
    if (pixelSize != nullptr)
        *pixelSize = size;
    return true;
}
