// wtr-encode and wtr-decode: make a compressed water mask from a grey image and turn one back
// into an 8-bit BMP (grey = cell * 17), so the two commands invert each other.
#include "base/AtomicFile.h"
#include "base/JobFiles.h"
#include "cli/CliSupport.h"
#include "support/BitMask.h"
#include "support/Bitmap.h"
#include "tools/MaskImage.h"
#include "support/WtrWriter.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace
{
struct DecodeOptions
{
    std::string input;
    std::string output;
};

int RunEncode(const MaskImageJob& job, const CliContext& context)
{
    const auto start = std::chrono::steady_clock::now();
    MaskImageSummary summary;
    const JobResult result = EncodeMaskImage(job, summary);
    if (!result.ok())
    {
        PrintError(result.message);
        return ExitCodeOf(result);
    }
    if (!context.quiet)
    {
        std::printf("%s: %d x %d cells, block size %d, %s in %.2f s\n", job.output.c_str(), summary.width,
                    summary.height, summary.blockSize, FormatBytes(summary.bytes).c_str(), SecondsSince(start));
        if (!summary.map.empty())
            std::printf("fits the %s, at scale %ld\n", summary.map.c_str(), job.settings.resolutionScale);
    }
    return kExitOk;
}

int RunDecode(const DecodeOptions& options, const CliContext& context)
{
    const auto start = std::chrono::steady_clock::now();
    CBitMask mask(1);
    {
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(options.input.c_str(), "rb"), &std::fclose);
        if (!file)
        {
            PrintError(InputFailure(options.input, "Can not open WTR file"));
            return kExitJobFailed;
        }
        if (!mask.load(file.get()))
        {
            PrintError(std::string(kInvalidWtrCaption) + ": " + options.input);
            return kExitJobFailed;
        }
    }

    const long width = mask.getXRes();
    const long height = mask.getZRes();
    BitmapOwner holder;
    if (width <= 0x7FFFFFFFL && height <= 0x7FFFFFFFL)
        InitBitmap(&holder.bitmap, static_cast<int>(width), static_cast<int>(height), 8);
    BITMAP_& bitmap = holder.bitmap;
    if (bitmap.data == nullptr)
    {
        PrintError(options.input + ": a mask of " + std::to_string(width) + " x " + std::to_string(height) +
                   " cells is too large for a BMP file");
        return kExitJobFailed;
    }

    const long blockSize = mask.m_blockSize;
    long present = 0;
    for (long bz = 0; bz < mask.getZBlocks(); ++bz)
    {
        for (long bx = 0; bx < mask.getXBlocks(); ++bx)
        {
            const unsigned char* cells = mask.decodeBlock(bx, bz);
            if (cells == nullptr)
                continue;
            ++present;
            const long columns = std::min(blockSize, width - bx * blockSize);
            const long rows = std::min(blockSize, height - bz * blockSize);
            for (long r = 0; r < rows; ++r)
            {
                // Mask row 0 is the image's top row; BMP rows are stored bottom-up.
                const long imageRow = bz * blockSize + r;
                std::uint8_t* target = bitmap.data + (height - 1 - imageRow) * bitmap.bytesPerRow + bx * blockSize;
                const unsigned char* source = cells + r * blockSize;
                for (long c = 0; c < columns; ++c)
                    target[c] = static_cast<std::uint8_t>(source[c] * 17);
            }
        }
    }
    const double decodeSeconds = SecondsSince(start);
    if (mask.corruptBlocks() > 0)
    {
        PrintError(std::string(kInvalidWtrCaption) + ": " + options.input + " (" +
                   std::to_string(mask.corruptBlocks()) + " corrupt blocks)");
        return kExitJobFailed;
    }
    if (!SaveBitmap(&bitmap, options.output.c_str()))
    {
        PrintError(OutputFailure(options.output));
        return kExitJobFailed;
    }
    if (!context.quiet)
        std::printf("%s: %ld x %ld cells, %ld of %ld blocks present, loaded and decoded in %.3f s, total %.3f s\n",
                    options.output.c_str(), width, height, present, mask.getXBlocks() * mask.getZBlocks(),
                    decodeSeconds, SecondsSince(start));
    mask.close();
    return kExitOk;
}
} // namespace

void RegisterWtrCommands(CLI::App& app, CliContext& context)
{
    auto encodeOptions = std::make_shared<MaskImageJob>();
    CLI::App* encode = app.add_subcommand("wtr-encode", "Compress a grey image (BMP or PNG) into a water mask (.wtr)");
    encode->add_option("IMAGE", encodeOptions->image, "grey image; grey g becomes water value (g * 15 + 127) / 255")
        ->required();
    encode->add_option("-o,--output", encodeOptions->output, "water mask to write (.wtr)")->required();
    static const JobOptions<MaskImageJob> rows = []
    {
        JobOptions<MaskImageJob> list;
        AddFieldOptions(list, kWtrEncodeFields, &MaskImageJob::settings);
        return list;
    }();
    auto fields = std::make_shared<CommandOptions<MaskImageJob>>(encode, rows);
    CLI::Option* like = encode->add_option(
        "--like", encodeOptions->like,
        "the map the mask is for (its height file, RAW or ENVI header): the image must be (M - 1) x scale cells "
        "along a side of M samples, and the blocks are chosen as --scale chooses them");
    fields->option("block-size")->excludes(fields->option("scale"))->excludes(like);
    encode->callback(
        [encodeOptions, fields, &context]
        {
            if (!fields->apply(*encodeOptions, context))
                return;
            encodeOptions->fitScale = fields->given("scale") || !encodeOptions->like.empty();
            JobPaths paths{{encodeOptions->image}, {encodeOptions->output}};
            if (!encodeOptions->like.empty())
                paths.inputs.push_back(encodeOptions->like);
            if ((context.exitCode = CheckJobPaths(paths)) == kExitOk &&
                (context.exitCode = CheckOutputName(encodeOptions->output, "a water mask", {".wtr"})) == kExitOk)
                context.exitCode = RunEncode(*encodeOptions, context);
        });

    auto decodeOptions = std::make_shared<DecodeOptions>();
    CLI::App* decode = app.add_subcommand("wtr-decode", "Expand a water mask (.wtr) into an 8-bit BMP (grey = value * 17)");
    decode->add_option("WTR", decodeOptions->input, "water mask to read")->required();
    decode->add_option("-o,--output", decodeOptions->output, "8-bit BMP to write")->required();
    decode->callback(
        [decodeOptions, &context]
        {
            if ((context.exitCode = CheckJobPaths({{decodeOptions->input}, {decodeOptions->output}})) == kExitOk &&
                (context.exitCode = CheckOutputName(decodeOptions->output, "a BMP", {".bmp"})) == kExitOk)
                context.exitCode = RunDecode(*decodeOptions, context);
        });
}
