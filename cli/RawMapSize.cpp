#include "cli/RawMapSize.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

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

// Reads the keys an ENVI header needs for a one-band map; false with `problem` set when the
// header is there but does not describe a 16-bit unsigned map.
bool ReadHeader(const std::string& path, RawMapSize& size)
{
    std::ifstream in(path);
    std::string line;
    if (!std::getline(in, line) || Trim(line) != "ENVI")
    {
        size.problem = path + ": not an ENVI header (its first line is not \"ENVI\")";
        return false;
    }
    long samples = 0;
    long lines = 0;
    long dataType = 0;
    long byteOrder = 0;
    long bands = 1;
    long headerOffset = 0;
    while (std::getline(in, line))
    {
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos)
            continue;
        const std::string key = Lower(Trim(line.substr(0, equals)));
        const long value = std::strtol(Trim(line.substr(equals + 1)).c_str(), nullptr, 10);
        if (key == "samples")
            samples = value;
        else if (key == "lines")
            lines = value;
        else if (key == "data type")
            dataType = value;
        else if (key == "byte order")
            byteOrder = value;
        else if (key == "bands")
            bands = value;
        else if (key == "header offset")
            headerOffset = value;
    }
    if (dataType != 12 || bands != 1 || headerOffset != 0)
    {
        size.problem = path + ": the ENVI header describes data type " + std::to_string(dataType) + ", " +
                       std::to_string(bands) + " band(s), header offset " + std::to_string(headerOffset) +
                       "; a RAW map is data type 12 (16-bit unsigned), 1 band, offset 0";
        return false;
    }
    if (samples <= 0 || lines <= 0 || samples > 1000000 || lines > 1000000)
    {
        size.problem = path + ": the ENVI header gives no valid samples and lines";
        return false;
    }
    size.width = int(samples);
    size.height = int(lines);
    size.bigEndian = byteOrder == 1;
    size.source = "the ENVI header " + path;
    return true;
}
} // namespace

unsigned long long SquareSideWithin(unsigned long long bytes)
{
    auto side = static_cast<unsigned long long>(std::sqrt(double(bytes / 2)));
    while (2 * (side + 1) * (side + 1) <= bytes)
        ++side;
    while (side > 0 && 2 * side * side > bytes)
        --side;
    return side;
}

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
            ReadHeader(header, size);
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
