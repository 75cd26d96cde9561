#include "tools/EnviHeader.h"

#include "tools/GdalRaster.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <fstream>

namespace
{
std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

std::string Trim(const std::string& text)
{
    const std::size_t first = text.find_first_not_of(" \t\r{");
    const std::size_t last = text.find_last_not_of(" \t\r}");
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
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

bool ReadEnviHeader(const std::string& path, EnviHeader& header, std::string& problem)
{
    std::ifstream in(path);
    std::string line;
    if (!std::getline(in, line) || Trim(line) != "ENVI")
    {
        problem = path + ": not an ENVI header (its first line is not \"ENVI\")";
        return false;
    }
    const std::pair<const char*, long*> numbers[] = {{"samples", &header.samples},       {"lines", &header.lines},
                                                     {"data type", &header.dataType},    {"byte order", &header.byteOrder},
                                                     {"bands", &header.bands},           {"header offset", &header.headerOffset}};
    while (std::getline(in, line))
    {
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos)
            continue;
        const std::string key = Lower(Trim(line.substr(0, equals)));
        if (key == "map info")
            header.hasMapInfo = true;
        if (key == "data gain values" || key == "data offset values")
        {
            // A one-band map: the first value of the list.
            std::string value = Trim(line.substr(equals + 1));
            value = Trim(value.substr(0, value.find(',')));
            double number = 0;
            const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
            const bool gain = key == "data gain values";
            if (error != std::errc() || end != value.data() + value.size() || !std::isfinite(number) ||
                (gain && number == 0))
                header.mappingProblem = path + ": the ENVI header's " + key + " is \"" + value + "\", not a " +
                                        (gain ? "finite number other than 0" : "finite number");
            else
            {
                (gain ? header.gain : header.offset) = number;
                header.hasMapping = header.hasMapping || gain;
            }
        }
        for (const auto& [name, target] : numbers)
        {
            if (key != name)
                continue;
            const std::string value = Trim(line.substr(equals + 1));
            const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), *target);
            if (error != std::errc() || end != value.data() + value.size())
            {
                problem = path + ": the ENVI header's " + name + " is \"" + value + "\", not a whole number";
                return false;
            }
        }
    }
    if (!header.mappingProblem.empty())
        header.hasMapping = false;
    return true;
}

std::string HeightImageEnviHeader(const HeightImage& image, const std::string& description)
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
    return text;
}
