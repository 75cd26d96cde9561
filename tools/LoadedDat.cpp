#include "tools/LoadedDat.h"

#include "base/AtomicFile.h"
#include "base/ByteOrder.h"
#include "base/JobFiles.h"
#include "base/ParallelRead.h"
#include "codec/DATElevationDB.h"

#include <algorithm>
#include <bit>
#include <new>
#include <vector>

Status LoadDatFile(const std::string& path, LoadedDat& dat)
{
    if (Status opened = UnopenedInput(path, "cannot open the file"); !opened)
        return opened;
    CDATElevationDB db(false);
    bool outOfMemory = false;
    const bool loaded = db.load(path.c_str(),
                                [&](long width, long height) -> std::uint16_t*
                                {
                                    try
                                    {
                                        dat.samples.allocate(std::size_t(width) * std::size_t(height));
                                        return dat.samples.data();
                                    }
                                    catch (const std::bad_alloc&)
                                    {
                                        outOfMemory = true;
                                        return nullptr;
                                    }
                                });
    if (outOfMemory)
    {
        return {StatusCode::tooLarge, path + ": not enough memory for the decoded map"};
    }
    if (!loaded)
    {
        return {StatusCode::invalidInput,
                path + ": not a valid height file (bad header, offsets outside the file or a corrupt tile)"};
    }
    dat.width = static_cast<int>(db.getWidth());
    dat.height = static_cast<int>(db.getHeight());
    dat.pixelSize = db.getPixelSize();
    return Ok();
}

Status LoadDatInBands(const std::string& path, CDATElevationDB& db, const CDATElevationDB::BandSink& sink)
{
    if (Status opened = UnopenedInput(path, "cannot open the file"); !opened)
        return opened;
    bool sinkFailed = false;
    const bool loaded = db.loadInBands(path.c_str(),
                                       [&](long firstRow, long rows, long width, const std::uint16_t* samples)
                                       {
                                           sinkFailed = !sink(firstRow, rows, width, samples);
                                           return !sinkFailed;
                                       });
    if (sinkFailed)
        return {StatusCode::writeFailed, {}};
    if (!loaded)
        return {StatusCode::invalidInput,
                path + ": not a valid height file (bad header, offsets outside the file or a corrupt tile)"};
    return Ok();
}

Status DecodeDatToRaw(const std::string& dat, const std::string& raw, CDATElevationDB& db, std::uint64_t& written)
{
    AtomicFile output;
    if (!output.open(raw))
        return {StatusCode::writeFailed, OutputFailure(raw)};
    std::vector<std::uint16_t> swapped;
    written = 0;
    const Status loaded =
        LoadDatInBands(dat, db,
                       [&](long firstRow, long rows, long width, const std::uint16_t* samples)
                       {
                           const std::size_t count = std::size_t(rows) * std::size_t(width);
                           if constexpr (std::endian::native == std::endian::big)
                           {
                               swapped.resize(count);
                               std::copy(samples, samples + count, swapped.begin());
                               LittleEndianSamples(swapped.data(), count);
                               samples = swapped.data();
                           }
                           const std::uint64_t offset = std::uint64_t(firstRow) * std::uint64_t(width) * 2;
                           // Bands come in order, so a stream or FIFO takes them as they come.
                           const bool put = output.direct()
                                                ? output.write(samples, count * 2)
                                                : WriteFileRange(::fileno(output.file()), samples, count * 2, offset);
                           written += put ? count * 2 : 0;
                           return put;
                       });
    // A band that could not be put ends the reading with no message of its own.
    if (loaded.code == StatusCode::writeFailed || (loaded && !output.commit()))
        return {StatusCode::writeFailed, OutputFailure(raw)};
    return loaded;
}
