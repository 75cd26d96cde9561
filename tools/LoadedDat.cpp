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

bool LoadDatFile(const std::string& path, LoadedDat& dat, std::string& error)
{
    if (Status opened = UnopenedInput(path, "cannot open the file"); !opened)
    {
        error = std::move(opened.message);
        return false;
    }
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
        error = path + ": not enough memory for the decoded map";
        return false;
    }
    if (!loaded)
    {
        error = path + ": not a valid height file (bad header, offsets outside the file or a corrupt tile)";
        return false;
    }
    dat.width = static_cast<int>(db.getWidth());
    dat.height = static_cast<int>(db.getHeight());
    dat.pixelSize = db.getPixelSize();
    return true;
}

bool LoadDatInBands(const std::string& path, CDATElevationDB& db, const CDATElevationDB::BandSink& sink,
                    std::string& error)
{
    if (Status opened = UnopenedInput(path, "cannot open the file"); !opened)
    {
        error = std::move(opened.message);
        return false;
    }
    bool sinkFailed = false;
    const bool loaded = db.loadInBands(path.c_str(),
                                       [&](long firstRow, long rows, long width, const std::uint16_t* samples)
                                       {
                                           sinkFailed = !sink(firstRow, rows, width, samples);
                                           return !sinkFailed;
                                       });
    if (!loaded && !sinkFailed)
        error = path + ": not a valid height file (bad header, offsets outside the file or a corrupt tile)";
    return loaded;
}

bool DecodeDatToRaw(const std::string& dat, const std::string& raw, CDATElevationDB& db, std::uint64_t& written,
                    std::string& error)
{
    AtomicFile output;
    if (!output.open(raw))
    {
        error = OutputFailure(raw);
        return false;
    }
    std::vector<std::uint16_t> swapped;
    written = 0;
    const bool loaded = LoadDatInBands(
        dat, db,
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
            const bool put = output.direct() ? output.write(samples, count * 2)
                                             : WriteFileRange(::fileno(output.file()), samples, count * 2, offset);
            if (!put)
                error = OutputFailure(raw);
            written += put ? count * 2 : 0;
            return put;
        },
        error);
    if (loaded && !output.commit())
    {
        error = OutputFailure(raw);
        return false;
    }
    return loaded;
}
