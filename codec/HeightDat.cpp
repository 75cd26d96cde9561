#include "codec/HeightDat.h"

#include "codec/EncoderFELICS.h"
#include "base/AtomicFile.h"
#include "base/Concurrency.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <barrier>
#include <bit>
#include <cstring>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace
{

// Tiles coded per step. Two steps' codes are held at once (one being written while the next is
// coded), at most 2 x 128 x 14851 bytes even for noise, a few hundred KB for terrain.
constexpr std::size_t kBatchTiles = 128;
constexpr std::size_t kHeaderSize = 24;

void PutLE32(std::uint8_t* out, std::uint32_t value)
{
    out[0] = static_cast<std::uint8_t>(value);
    out[1] = static_cast<std::uint8_t>(value >> 8);
    out[2] = static_cast<std::uint8_t>(value >> 16);
    out[3] = static_cast<std::uint8_t>(value >> 24);
}

int TilesAlong(int samples)
{
    int tiles = samples / kTileSide;
    if (tiles * kTileSide != samples)
        ++tiles;
    return tiles;
}

// One thread's coder and tile buffer.
class TileEncoder
{
public:
    void encode(std::size_t index, int tilesAcross, ConstRasterView<std::uint16_t> raster, std::vector<std::uint8_t>& code)
    {
        ExtractTile(static_cast<int>(index % std::size_t(tilesAcross)), static_cast<int>(index / std::size_t(tilesAcross)),
                    raster, m_tile.data());
        m_coder.open(nullptr, 0);
        m_coder.encode(m_tile.data(), kTileSamples);
        m_coder.close();
        // The whole code, however long: nothing is cut at the 8192 bytes of a raw tile.
        code.assign(m_coder.data(), m_coder.data() + m_coder.size());
    }

private:
    CEncoderFELICS<unsigned short, unsigned long> m_coder;
    std::array<std::uint16_t, kTileSamples> m_tile{};
};

// Writes tile records in table order and fills in their offsets.
class RecordWriter
{
public:
    RecordWriter(AtomicFile& file, std::vector<std::uint8_t>& table, std::uint64_t position)
        : m_file(file), m_table(table), m_position(position)
    {
    }

    bool write(std::size_t index, const std::vector<std::uint8_t>& code)
    {
        static_assert(EncodedSizeBound(kTileSamples) <= 0xFFFF, "a tile's length must fit its 16-bit field");
        if (m_position > 0xFFFFFFFFu)
            return m_ok = false; // the offset table cannot address it
        PutLE32(m_table.data() + 4 * index, static_cast<std::uint32_t>(m_position));
        const std::uint8_t length[2] = {static_cast<std::uint8_t>(code.size()),
                                        static_cast<std::uint8_t>(code.size() >> 8)};
        m_ok = m_file.write(length, 2) && m_file.write(code.data(), code.size()) && m_ok;
        m_position += 2 + code.size();
        return m_ok;
    }
    bool ok() const { return m_ok; }

private:
    AtomicFile& m_file;
    std::vector<std::uint8_t>& m_table;
    std::uint64_t m_position;
    bool m_ok = true;
};

// Codes the tiles in steps of kBatchTiles on `workers` threads. While the helpers code step b,
// the calling thread first writes step b - 1 and then joins in; a barrier ends each step. The
// records go out in table order whatever thread coded them, so the bytes do not depend on the
// number of threads.
bool WriteRecords(ConstRasterView<std::uint16_t> raster, int tilesAcross, std::size_t tileCount, unsigned workers,
                  RecordWriter& writer)
{
    const std::size_t batches = (tileCount + kBatchTiles - 1) / kBatchTiles;
    std::array<std::vector<std::vector<std::uint8_t>>, 2> codes;
    codes[0].resize(kBatchTiles);
    codes[1].resize(kBatchTiles);
    auto batchSize = [&](std::size_t batch) { return std::min(kBatchTiles, tileCount - batch * kBatchTiles); };
    auto writeBatch = [&](std::size_t batch) {
        for (std::size_t t = 0; t < batchSize(batch) && writer.ok(); ++t)
            writer.write(batch * kBatchTiles + t, codes[batch % 2][t]);
    };

    if (workers <= 1 || batches == 0)
    {
        TileEncoder encoder;
        for (std::size_t batch = 0; batch < batches && writer.ok(); ++batch)
        {
            for (std::size_t t = 0; t < batchSize(batch); ++t)
                encoder.encode(batch * kBatchTiles + t, tilesAcross, raster, codes[batch % 2][t]);
            writeBatch(batch);
        }
        return writer.ok();
    }

    std::atomic<std::size_t> claim{0};
    std::atomic<bool> failed{false};
    std::exception_ptr error;
    std::mutex errorLock;
    std::barrier sync(static_cast<std::ptrdiff_t>(workers), [&claim]() noexcept { claim.store(0); });
    // Every thread passes every barrier even after a failure, so none is left waiting.
    auto guarded = [&](auto&& work) {
        if (failed)
            return;
        try
        {
            work();
        }
        catch (...)
        {
            std::lock_guard<std::mutex> lock(errorLock);
            if (!error)
                error = std::current_exception();
            failed = true;
        }
    };
    auto encodeBatch = [&](std::size_t batch, TileEncoder& encoder) {
        guarded([&] {
            const std::size_t count = batchSize(batch);
            for (std::size_t t = claim++; t < count && !failed; t = claim++)
                encoder.encode(batch * kBatchTiles + t, tilesAcross, raster, codes[batch % 2][t]);
        });
    };
    auto helper = [&] {
        TileEncoder encoder;
        for (std::size_t batch = 0; batch < batches; ++batch)
        {
            encodeBatch(batch, encoder);
            sync.arrive_and_wait();
        }
    };

    std::vector<std::thread> helpers;
    helpers.reserve(workers - 1);
    try
    {
        for (unsigned t = 1; t < workers; ++t)
            helpers.emplace_back(helper);
    }
    catch (const std::system_error&)
    {
        // Fewer threads than planned: take the missing ones out of the barrier's count.
        for (std::size_t t = helpers.size() + 1; t < workers; ++t)
            sync.arrive_and_drop();
    }
    TileEncoder encoder;
    for (std::size_t batch = 0; batch < batches; ++batch)
    {
        if (batch > 0)
            guarded([&] { writeBatch(batch - 1); });
        encodeBatch(batch, encoder);
        sync.arrive_and_wait();
    }
    for (auto& thread : helpers)
        thread.join();
    if (error)
        std::rethrow_exception(error);
    writeBatch(batches - 1);
    return writer.ok();
}

} // namespace

void ExtractTile(int tx, int ty, ConstRasterView<std::uint16_t> raster, std::uint16_t* tile)
{
    std::fill(tile, tile + kTileSamples, std::uint16_t(0));
    const int x0 = tx * kTileSide;
    const int y0 = ty * kTileSide;
    const int columns = std::min(kTileSide, raster.width - x0);
    const int rows = std::min(kTileSide, raster.height - y0);
    if (columns <= 0 || rows <= 0)
        return;
    for (int row = 0; row < rows; ++row)
        std::memcpy(tile + row * kTileSide, raster.row(y0 + row) + x0, std::size_t(columns) * sizeof(std::uint16_t));
}

bool WriteHeightDat(const std::string& path, ConstRasterView<std::uint16_t> raster, float pixelSize, unsigned threads)
{
    const int tilesAcross = TilesAlong(raster.width);
    const int tilesDown = TilesAlong(raster.height);
    const std::size_t tileCount = std::size_t(tilesAcross) * std::size_t(tilesDown);

    AtomicFile file;
    if (!file.open(path))
        return false;
    // Records are a few KB each: a large buffer saves thousands of small write calls.
    std::setvbuf(file.file(), nullptr, _IOFBF, std::size_t(1) << 20);

    std::uint8_t header[kHeaderSize];
    PutLE32(header + 0, static_cast<std::uint32_t>(raster.width));
    PutLE32(header + 4, static_cast<std::uint32_t>(raster.height));
    PutLE32(header + 8, static_cast<std::uint32_t>(tilesAcross));
    PutLE32(header + 12, static_cast<std::uint32_t>(tilesDown));
    PutLE32(header + 16, static_cast<std::uint32_t>(kTileSide));
    PutLE32(header + 20, std::bit_cast<std::uint32_t>(pixelSize));
    // The table goes out first as a placeholder and is patched once every offset is known.
    std::vector<std::uint8_t> table(4 * tileCount, 0);
    if (!file.write(header, kHeaderSize) || !file.write(table.data(), table.size()))
        return false;

    RecordWriter writer(file, table, kHeaderSize + table.size());
    const unsigned workers = static_cast<unsigned>(std::min<std::size_t>(WorkerCount(threads), std::max<std::size_t>(tileCount, 1)));
    if (!WriteRecords(raster, tilesAcross, tileCount, workers, writer))
        return false;
    if (std::fseek(file.file(), static_cast<long>(kHeaderSize), SEEK_SET) != 0)
        return false;
    return file.write(table.data(), table.size()) && file.commit();
}
