// dat-info and dat-decode: describe a height file, and turn one back into the RAW 16-bit map
// it was made from.
#include "base/JobFiles.h"
#include "cli/CliSupport.h"
#include "cli/JsonWriter.h"
#include "codec/DATElevationDB.h"
#include "tools/LoadedDat.h"
#include "tools/MapGeoSource.h"
#include "tools/MapUnits.h"
#include "tools/NodataFill.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <cstdio>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

namespace
{

struct DatOptions
{
    std::string input;
    std::string output;
    bool json = false;
};

int RunInfo(const DatOptions& options)
{
    const auto start = std::chrono::steady_clock::now();
    CDATElevationDB db(false);
    std::uint16_t lowest = 65535;
    std::uint16_t highest = 0;
    const Status loaded = LoadDatInBands(options.input, db,
                                         [&](long, long rows, long width, const std::uint16_t* samples)
                                         {
                                             const auto [low, high] =
                                                 std::minmax_element(samples, samples + rows * width);
                                             lowest = std::min(lowest, *low);
                                             highest = std::max(highest, *high);
                                             return true;
                                         });
    if (!loaded)
    {
        PrintError(loaded.message);
        return kExitJobFailed;
    }
    const long width = db.getWidth();
    const long height = db.getHeight();
    const unsigned long long fileSize = FileSize(options.input);
    const std::uint16_t* minimum = &lowest;
    const std::uint16_t* maximum = &highest;
    const double samples = double(width) * double(height);
    std::vector<std::string> warnings;
    const std::optional<HeightMapping> mapping =
        FindDatMapping(options.input, static_cast<int>(width), static_cast<int>(height), warnings);
    // The cells filled at import, as the files beside the map record them.
    const MapNodata nodata = FindMapNodata(options.input, int(width), int(height), warnings);
    for (const std::string& warning : warnings)
        PrintWarning(warning);
    if (options.json)
    {
        JsonWriter json;
        json.beginObject().value("command", "dat-info").beginArray("files");
        json.beginObject().value("role", "input").value("path", options.input).value("bytes", fileSize).endObject();
        json.endArray().value("width", width).value("height", height);
        json.value("tilesAcross", (width + 63) / 64).value("tilesDown", (height + 63) / 64);
        json.value("pixelSize", double(db.getPixelSize())).value("bitsPerSample", double(fileSize) * 8.0 / samples);
        json.value("ratio", samples * 2.0 / double(fileSize)).value("min", unsigned(*minimum));
        json.value("max", unsigned(*maximum));
        if (mapping)
            json.beginObject("heights")
                .value("gain", mapping->gain)
                .value("offset", mapping->offset)
                .value("heightScale", mapping->heightScale())
                .value("minMetres", mapping->metres(*minimum))
                .value("maxMetres", mapping->metres(*maximum))
                .value("from", mapping->source)
                .endObject();
        AddNodataJson(json, nodata);
        json.beginObject("seconds").value("total", SecondsSince(start));
        json.endObject().endObject().print();
        return kExitOk;
    }
    std::printf("file:            %s\n", options.input.c_str());
    std::printf("size:            %ld x %ld samples\n", width, height);
    std::printf("tiles:           %ld x %ld of 64 x 64\n", (width + 63) / 64, (height + 63) / 64);
    std::printf("pixel size:      %g\n", double(db.getPixelSize()));
    std::printf("file size:       %llu bytes (%s)\n", fileSize, FormatBytes(fileSize).c_str());
    std::printf("bits per sample: %.3f (ratio %.2f:1 to the RAW map)\n", double(fileSize) * 8.0 / samples,
                samples * 2.0 / double(fileSize));
    std::printf("min / max:       %u / %u\n", unsigned(*minimum), unsigned(*maximum));
    if (mapping)
    {
        std::printf("heights:         %.2f m .. %.2f m (a sample is %.6g m above %.6g m, from %s)\n",
                    mapping->metres(*minimum), mapping->metres(*maximum), mapping->gain, mapping->offset,
                    mapping->source.c_str());
        std::printf("height scale:    %g (cliff and preview read the samples as metres at this scale)\n",
                    mapping->heightScale());
    }
    if (!nodata.mask.empty())
        std::printf("nodata:          %lld cells: %s (mask %s)\n", nodata.kinds.cells(),
                    DescribeNodata(nodata.kinds, nodata.filled).c_str(), nodata.mask.c_str());
    return kExitOk;
}

int RunDecode(const DatOptions& options, const CliContext& context)
{
    const auto start = std::chrono::steady_clock::now();
    CDATElevationDB db(false);
    std::uint64_t written = 0;
    if (const Status decoded = DecodeDatToRaw(options.input, options.output, db, written); !decoded)
    {
        PrintError(decoded.message);
        return kExitJobFailed;
    }
    if (!context.quiet)
        std::printf("wrote %s: %ld x %ld, %s, %.2f s\n", options.output.c_str(), db.getWidth(), db.getHeight(),
                    FormatBytes(written).c_str(), SecondsSince(start));
    return kExitOk;
}

} // namespace

void RegisterDatCommands(CLI::App& app, CliContext& context)
{
    auto info = std::make_shared<DatOptions>();
    CLI::App* infoCommand = app.add_subcommand("dat-info", "Describe a height file (.dat)");
    infoCommand->add_option("DAT", info->input, "height file")->required();
    infoCommand->add_flag("--json", info->json, "print a JSON summary instead of the text");
    infoCommand->callback(
        [info, &context]
        {
            if ((context.exitCode = CheckJobPaths({{info->input}, {}})) == kExitOk)
                context.exitCode = RunInfo(*info);
        });

    auto decode = std::make_shared<DatOptions>();
    CLI::App* decodeCommand = app.add_subcommand("dat-decode", "Decode a height file into a RAW 16-bit map");
    decodeCommand->add_option("DAT", decode->input, "height file")->required();
    decodeCommand->add_option("-o,--output", decode->output, "RAW file to write")->required();
    decodeCommand->callback(
        [decode, &context]
        {
            if ((context.exitCode = CheckJobPaths({{decode->input}, {decode->output}})) == kExitOk)
                context.exitCode = RunDecode(*decode, context);
        });
}
