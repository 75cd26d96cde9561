// dat-info and dat-decode: describe a height file, and turn one back into the RAW 16-bit map
// it was made from.
#include "cli/CliSupport.h"
#include "cli/JsonWriter.h"
#include "support/AtomicFile.h"
#include "support/DATElevationDB.h"
#include "support/LargeBuffer.h"
#include "support/ParallelRead.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <cstdio>
#include <memory>
#include <new>
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

// Reads and decodes the whole file; prints why not and returns false when it cannot.
bool LoadDat(const std::string& path, CDATElevationDB& db, LargeBuffer<std::uint16_t>& raster)
{
    if (std::FILE* file = std::fopen(path.c_str(), "rb"))
        std::fclose(file);
    else
    {
        PrintError(path + ": cannot open the file");
        return false;
    }
    bool outOfMemory = false;
    const bool loaded = db.load(path.c_str(), [&](long width, long height) -> std::uint16_t* {
        try
        {
            raster.allocate(std::size_t(width) * std::size_t(height));
            return raster.data();
        }
        catch (const std::bad_alloc&)
        {
            outOfMemory = true;
            return nullptr;
        }
    });
    if (outOfMemory)
    {
        PrintError(path + ": not enough memory for the decoded map");
        return false;
    }
    if (!loaded)
    {
        PrintError(path + ": not a valid height file (bad header, offsets outside the file or a corrupt tile)");
        return false;
    }
    return true;
}

int RunInfo(const DatOptions& options)
{
    const auto start = std::chrono::steady_clock::now();
    CDATElevationDB db(false);
    LargeBuffer<std::uint16_t> raster;
    if (!LoadDat(options.input, db, raster))
        return kExitJobFailed;
    const long width = db.getWidth();
    const long height = db.getHeight();
    const unsigned long long fileSize = FileSize(options.input);
    const auto [minimum, maximum] = std::minmax_element(raster.begin(), raster.end());
    const double samples = double(width) * double(height);
    if (options.json)
    {
        JsonWriter json;
        json.beginObject().value("command", "dat-info").beginArray("files");
        json.beginObject().value("role", "input").value("path", options.input).value("bytes", fileSize).endObject();
        json.endArray().value("width", width).value("height", height);
        json.value("tilesAcross", (width + 63) / 64).value("tilesDown", (height + 63) / 64);
        json.value("pixelSize", double(db.getPixelSize())).value("bitsPerSample", double(fileSize) * 8.0 / samples);
        json.value("ratio", samples * 2.0 / double(fileSize)).value("min", unsigned(*minimum));
        json.value("max", unsigned(*maximum)).beginObject("seconds").value("total", SecondsSince(start));
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
    return kExitOk;
}

int RunDecode(const DatOptions& options, const CliContext& context)
{
    const auto start = std::chrono::steady_clock::now();
    CDATElevationDB db(false);
    LargeBuffer<std::uint16_t> raster;
    if (!LoadDat(options.input, db, raster))
        return kExitJobFailed;
    if constexpr (std::endian::native == std::endian::big)
        for (std::uint16_t& sample : raster)
            sample = static_cast<std::uint16_t>(sample << 8 | sample >> 8);
    AtomicFile output;
    if (!output.open(options.output) ||
        !WriteFileInParallel(::fileno(output.file()), raster.data(), raster.size() * sizeof(std::uint16_t)) ||
        !output.commit())
    {
        PrintError(options.output + ": cannot write the file");
        return kExitJobFailed;
    }
    if (!context.quiet)
        std::printf("wrote %s: %ld x %ld, %s, %.2f s\n", options.output.c_str(), db.getWidth(), db.getHeight(),
                    FormatBytes(raster.size() * sizeof(std::uint16_t)).c_str(), SecondsSince(start));
    return kExitOk;
}

} // namespace

void RegisterDatCommands(CLI::App& app, CliContext& context)
{
    auto info = std::make_shared<DatOptions>();
    CLI::App* infoCommand = app.add_subcommand("dat-info", "Describe a height file (.dat)");
    infoCommand->add_option("DAT", info->input, "height file")->required();
    infoCommand->add_flag("--json", info->json, "print a JSON summary instead of the text");
    infoCommand->callback([info, &context] { context.exitCode = RunInfo(*info); });

    auto decode = std::make_shared<DatOptions>();
    CLI::App* decodeCommand = app.add_subcommand("dat-decode", "Decode a height file into a RAW 16-bit map");
    decodeCommand->add_option("DAT", decode->input, "height file")->required();
    decodeCommand->add_option("-o,--output", decode->output, "RAW file to write")->required();
    decodeCommand->callback([decode, &context] { context.exitCode = RunDecode(*decode, context); });
}
