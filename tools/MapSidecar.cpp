#include "tools/MapSidecar.h"

#include "base/AtomicFile.h"
#include "base/JobFiles.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>

namespace
{
constexpr const char* kKind = "altimo map";
constexpr int kVersion = 1;

Status ReadNodata(const std::string& path, const nlohmann::json& entry, MapNodata& nodata)
{
    nodata = MapNodata{};
    if (entry.is_null())
        return Ok();
    const nlohmann::json mask = entry.is_object() ? entry.value("mask", nlohmann::json()) : nlohmann::json();
    if (!mask.is_string() || mask.get<std::string>().empty())
    {
        return {StatusCode::invalidInput, path + ": nodata needs the mask's file name"};
    }
    const std::filesystem::path name = mask.get<std::string>();
    nodata.mask = name.is_absolute() ? name.string() : (std::filesystem::path(path).parent_path() / name).string();
    nodata.filled = entry.value("fill", nlohmann::json("smooth")) != "constant";
    const std::pair<const char*, long long*> counts[] = {{"voidCells", &nodata.kinds.voidCells},
                                                         {"voids", &nodata.kinds.voids},
                                                         {"outsideCells", &nodata.kinds.outsideCells}};
    for (const auto& [key, target] : counts)
    {
        const nlohmann::json count = entry.value(key, nlohmann::json(0));
        if (!count.is_number_integer() || count.get<long long>() < 0)
        {
            return {StatusCode::invalidInput, path + ": nodata's " + key + " is not a count"};
        }
        *target = count.get<long long>();
    }
    return Ok();
}
} // namespace

std::string MapBaseOf(const std::string& datPath)
{
    std::string base = datPath;
    if (base.ends_with("_w.dat"))
        base.resize(base.size() - 6);
    else if (base.ends_with(".dat"))
        base.resize(base.size() - 4);
    return base;
}

std::string MapSidecarPath(const std::string& datPath)
{
    return MapBaseOf(datPath) + ".dat.json";
}

Status WriteMapSidecar(const std::string& path, const MapGeoReference& geo, int width, int height,
                       const std::string& source, const MapNodata* nodata)
{
    nlohmann::json json;
    json["kind"] = kKind;
    json["version"] = kVersion;
    json["source"] = source;
    json["width"] = width;
    json["height"] = height;
    // nlohmann writes doubles with as many digits as they need to be read back exactly, with a
    // full stop whatever the locale.
    json["geoTransform"] = std::vector<double>(std::begin(geo.geoTransform), std::end(geo.geoTransform));
    json["projection"] = geo.projectionWkt;
    if (geo.hasMapping)
        json["heights"] = {{"gain", geo.gain}, {"offset", geo.offset}, {"unit", "metre"}};
    if (nodata != nullptr && !nodata->mask.empty())
    {
        // Relative, so that the folder of the map's files can move as a whole.
        std::error_code failed;
        const std::filesystem::path folder = std::filesystem::path(path).parent_path();
        std::filesystem::path mask = std::filesystem::relative(nodata->mask, folder.empty() ? "." : folder, failed);
        if (failed || mask.empty())
            mask = std::filesystem::absolute(nodata->mask, failed);
        json["nodata"] = {{"mask", mask.string()},
                          {"fill", nodata->filled ? "smooth" : "constant"},
                          {"voidCells", nodata->kinds.voidCells},
                          {"voids", nodata->kinds.voids},
                          {"outsideCells", nodata->kinds.outsideCells}};
    }
    const std::string text = json.dump(2) + "\n";
    if (WriteFileAtomically(path, text.data(), text.size()))
        return Ok();
    return {StatusCode::writeFailed, OutputFailure(path)};
}

Status ReadMapSidecar(const std::string& path, int width, int height, MapGeoReference& geo, MapNodata* nodata)
{
    geo = MapGeoReference{};
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return {StatusCode::cannotOpen, InputFailure(path)};
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const nlohmann::json json = nlohmann::json::parse(text, nullptr, false);
    if (json.is_discarded() || !json.is_object() || json.value("kind", "") != kKind)
    {
        return {StatusCode::invalidInput, path + ": not a map sidecar of Altimo (JSON with \"kind\": \"altimo map\")"};
    }
    if (json.value("version", 0) != kVersion)
    {
        return {StatusCode::invalidInput, path + ": sidecar version " + json.value("version", nlohmann::json()).dump() +
                                              " is not one this Altimo reads (1)"};
    }
    if (json.value("width", 0) != width || json.value("height", 0) != height)
    {
        return {StatusCode::invalidInput,
                path + ": it describes a map of " + json.value("width", nlohmann::json()).dump() + " x " +
                    json.value("height", nlohmann::json()).dump() + " samples and the height file has " +
                    std::to_string(width) + " x " + std::to_string(height) + ": not the same map"};
    }
    const nlohmann::json transform = json.value("geoTransform", nlohmann::json());
    if (!transform.is_array() || transform.size() != 6 ||
        !std::all_of(transform.begin(), transform.end(), [](const nlohmann::json& v) { return v.is_number(); }))
    {
        return {StatusCode::invalidInput, path + ": geoTransform is not a list of 6 numbers"};
    }
    for (int i = 0; i < 6; ++i)
        geo.geoTransform[i] = transform[std::size_t(i)].get<double>();
    const nlohmann::json projection = json.value("projection", nlohmann::json(""));
    geo.projectionWkt = projection.is_string() ? projection.get<std::string>() : std::string();
    const nlohmann::json heights = json.value("heights", nlohmann::json());
    if (heights.is_object())
    {
        const nlohmann::json gain = heights.value("gain", nlohmann::json());
        const nlohmann::json offset = heights.value("offset", nlohmann::json());
        if (!gain.is_number() || !offset.is_number())
        {
            return {StatusCode::invalidInput, path + ": heights needs a gain and an offset that are numbers"};
        }
        geo.hasMapping = true;
        geo.gain = gain.get<double>();
        geo.offset = offset.get<double>();
    }
    return nodata == nullptr ? Ok() : ReadNodata(path, json.value("nodata", nlohmann::json()), *nodata);
}
