#include "tools/MaskImage.h"

#include "base/AtomicFile.h"
#include "base/JobFiles.h"
#include "support/MaskFit.h"
#include "tools/Image.h"
#include "tools/RawMap.h"

#include <cstdint>
#include <vector>

JobResult EncodeMaskImage(const MaskImageJob& job, MaskImageSummary& summary)
{
    GreyImage image;
    if (Status loaded = LoadGreyImage(job.image, image); !loaded)
        return JobFailure(JobStatus::failed, loaded.message);
    int blockSize = job.settings.blockSize;
    const long scale = job.settings.resolutionScale;
    if (!job.like.empty())
    {
        const StatusOr<RawMapSize> size = ReadMapSize(job.like);
        if (!size)
            return JobFailure(JobStatus::failed, "--like: " + size.status.message);
        const int mapWidth = size->width;
        const int mapHeight = size->height;
        const std::string& source = size->source;
        summary.map = std::to_string(mapWidth) + " x " + std::to_string(mapHeight) + " map, size from " + source;
        if (const Status fits = MaskMapProblem(image.width, image.height, mapWidth, mapHeight, scale); !fits)
            return JobFailure(JobStatus::refused, job.image + ": " + fits.message + " (" + source + ")");
    }
    if (job.fitScale || !job.like.empty())
    {
        if (const Status fits = MaskSideProblem(image.width, image.height, scale); !fits)
            return JobFailure(JobStatus::refused, job.image + ": " + fits.message);
        blockSize = FittingBlockSize(image.width, image.height, scale);
    }

    std::vector<std::uint8_t> cells(image.pixels.size());
    for (std::size_t i = 0; i < cells.size(); ++i)
        cells[i] = static_cast<std::uint8_t>((image.pixels[i] * 15 + 127) / 255);
    std::vector<std::uint8_t> bytes;
    const Status encoded = EncodeWtr(cells.data(), image.width, image.height, blockSize, bytes);
    if (encoded.code == StatusCode::tooLarge)
        return JobFailure(JobStatus::refused, "--block-size: " + std::to_string(blockSize) +
                                                  " makes more than 32767 blocks along a side of a " +
                                                  std::to_string(image.width) + " x " + std::to_string(image.height) +
                                                  " image");
    if (!encoded)
        return JobFailure(JobStatus::failed, job.output + ": " + encoded.message);
    if (!WriteFileAtomically(job.output, bytes.data(), bytes.size()))
        return JobFailure(JobStatus::failed, OutputFailure(job.output));
    summary.width = image.width;
    summary.height = image.height;
    summary.blockSize = blockSize;
    summary.bytes = bytes.size();
    JobResult result;
    result.outputs.push_back({"mask", job.output});
    return result;
}
