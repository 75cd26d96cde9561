#include "tools/EnviHeader.h"

#include "base/Text.h"
#include "tools/GdalRaster.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>

namespace
{
// An ENVI value without its blanks and the braces around a list.
std::string TrimValue(std::string_view text)
{
    return Trim(text, " \t\r{}");
}

// Numbers in every file Altimo writes use a full stop whatever the locale, and keep all 17
// digits so that a geotransform read back is the very same.
std::string Exact(double value)
{
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", value);
    std::string result = text;
    std::replace(result.begin(), result.end(), ',', '.');
    return result;
}
} // namespace

Status ReadEnviHeader(const std::string& path, EnviHeader& header)
{
    std::ifstream in(path);
    std::string line;
    if (!std::getline(in, line) || TrimValue(line) != "ENVI")
    {
        return {StatusCode::invalidInput, path + ": not an ENVI header (its first line is not \"ENVI\")"};
    }
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::pair<const char*, long long*> counts[] = {{"void cells", &header.nodata.kinds.voidCells},
                                                         {"voids", &header.nodata.kinds.voids},
                                                         {"outside cells", &header.nodata.kinds.outsideCells}};
    const std::pair<const char*, long*> numbers[] = {{"samples", &header.samples},       {"lines", &header.lines},
                                                     {"data type", &header.dataType},    {"byte order", &header.byteOrder},
                                                     {"bands", &header.bands},           {"header offset", &header.headerOffset}};
    while (std::getline(in, line))
    {
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos)
            continue;
        const std::string key = Lower(TrimValue(line.substr(0, equals)));
        const std::string value = TrimValue(line.substr(equals + 1));
        if (key == "map info")
            header.hasMapInfo = true;
        else if (key == "nodata mask" && !value.empty())
            header.nodata.mask = value.front() == '/' ? value : folder + value;
        else if (key == "nodata fill")
            header.nodata.filled = Lower(value) != "constant";
        else if (key == "data gain values" || key == "data offset values")
        {
            // A one-band map: the first value of the list.
            const std::string first = TrimValue(std::string_view(value).substr(0, value.find(',')));
            const std::optional<double> number = ParseNumber(first);
            const bool gain = key == "data gain values";
            if (!number || (gain && *number == 0))
                header.mappingProblem = path + ": the ENVI header's " + key + " is \"" + first + "\", not a " +
                                        (gain ? "finite number other than 0" : "finite number");
            else
            {
                (gain ? header.gain : header.offset) = *number;
                header.hasMapping = header.hasMapping || gain;
            }
        }
        const auto whole = [&](const char* name, auto& target, long long lowest) -> Status
        {
            const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), target);
            if (error == std::errc() && end == value.data() + value.size() && target >= lowest)
                return Ok();
            return {StatusCode::invalidInput, path + ": the ENVI header's " + name + " is \"" + value +
                                                  "\", not a whole number" + (lowest == 0 ? " of 0 or more" : "")};
        };
        for (const auto& [name, target] : numbers)
            if (Status read = key == name ? whole(name, *target, std::numeric_limits<long>::min()) : Ok(); !read)
                return read;
        for (const auto& [name, target] : counts)
            if (Status read = key == name ? whole(name, *target, 0) : Ok(); !read)
                return read;
    }
    if (!header.mappingProblem.empty())
        header.hasMapping = false;
    return Ok();
}

std::string NodataMaskPathOf(const std::string& raw)
{
    const std::size_t slash = raw.rfind('/');
    const std::size_t dot = raw.rfind('.');
    const bool extension = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
    return (extension ? raw.substr(0, dot) : raw) + "_nodata.tif";
}

std::string HeightImageEnviHeader(const HeightImage& image, const std::string& description, const std::string& maskName)
{
    std::string text = "ENVI\n";
    // Braces end a value in ENVI headers.
    std::string safe = description;
    std::replace(safe.begin(), safe.end(), '{', '(');
    std::replace(safe.begin(), safe.end(), '}', ')');
    text += "description = {" + safe + "}\n";
    text += "samples = " + std::to_string(image.width) + "\n";
    text += "lines = " + std::to_string(image.height) + "\n";
    text += "bands = 1\nheader offset = 0\nfile type = ENVI Standard\n";
    text += "data type = 12\ninterleave = bsq\nbyte order = 0\n"; // unsigned 16 bits, little-endian
    if (image.hasGeoTransform)
    {
        const double* t = image.geoTransform;
        const std::string units = GdalMapUnits(image.projectionWkt);
        // Pixel (1, 1) in ENVI's counting is the top left corner of the top left pixel.
        text += "map info = {" + std::string(units == "Degrees" ? "Geographic Lat/Lon" : "Arbitrary") + ", 1, 1, " +
                Exact(t[0]) + ", " + Exact(t[3]) + ", " + Exact(t[1]) + ", " + Exact(-t[5]) +
                (units.empty() ? "" : ", units=" + units) + "}\n";
        if (const std::string esri = GdalEsriWkt(image.projectionWkt); !esri.empty())
            text += "coordinate system string = {" + esri + "}\n";
    }
    const double gain = image.heightStep > 0 ? image.heightStep : (image.heightMax - image.heightMin) / 65535;
    text += "data gain values = {" + Exact(gain) + "}\n";
    text += "data offset values = {" + Exact(image.heightMin) + "}\n";
    text += "band names = {height}\n";
    if (!maskName.empty())
    {
        // Keys of Altimo's own, which ENVI and GDAL keep as metadata.
        text += "nodata mask = {" + maskName + "}\n";
        text += std::string("nodata fill = ") + (image.nodataFilled ? "smooth" : "constant") + "\n";
        text += "void cells = " + std::to_string(image.nodataKinds.voidCells) + "\n";
        text += "voids = " + std::to_string(image.nodataKinds.voids) + "\n";
        text += "outside cells = " + std::to_string(image.nodataKinds.outsideCells) + "\n";
    }
    return text;
}
