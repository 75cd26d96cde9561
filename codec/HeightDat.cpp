#include "codec/HeightDat.h"

#include "codec/EncoderFELICS.h"
#include "base/AtomicFile.h"
#include "base/ByteOrder.h"
#include "base/Concurrency.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <vector>

namespace
{

// Tiles coded per step. Two steps' codes are held at once (one being written while the next is
// coded), at most 2 x 128 x 14851 bytes even for noise, a few hundred KB for terrain.
constexpr std::size_t kBatchTiles = 128;
constexpr std::size_t kHeaderSize = 24;

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
        WriteLe32(m_table.data() + 4 * index, static_cast<std::uint32_t>(m_position));
        std::uint8_t length[2];
        WriteLe16(length, static_cast<std::uint32_t>(code.size()));
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

// Codes the tiles in steps of kBatchTiles on `workers` threads; each step's records are written
// while the next step is coded. The records go out in table order whatever thread coded them,
// so the bytes do not depend on the number of threads.
bool WriteRecords(ConstRasterView<std::uint16_t> raster, int tilesAcross, std::size_t tileCount, unsigned workers,
                  RecordWriter& writer)
{
    const std::size_t batches = (tileCount + kBatchTiles - 1) / kBatchTiles;
    std::array<std::vector<std::vector<std::uint8_t>>, 2> codes;
    codes[0].resize(kBatchTiles);
    codes[1].resize(kBatchTiles);
    std::vector<TileEncoder> encoders(std::max(workers, 1u));
    auto batchSize = [&](std::size_t batch) { return std::min(kBatchTiles, tileCount - batch * kBatchTiles); };
    return RunOrderedPipeline(
        batches, workers, batchSize,
        [&](unsigned worker, std::size_t batch, std::size_t t) {
            encoders[worker].encode(batch * kBatchTiles + t, tilesAcross, raster, codes[batch % 2][t]);
            return true;
        },
        [&](std::size_t batch) {
            for (std::size_t t = 0; t < batchSize(batch) && writer.ok(); ++t)
                writer.write(batch * kBatchTiles + t, codes[batch % 2][t]);
            return writer.ok();
        });
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
    WriteLe32(header + 0, static_cast<std::uint32_t>(raster.width));
    WriteLe32(header + 4, static_cast<std::uint32_t>(raster.height));
    WriteLe32(header + 8, static_cast<std::uint32_t>(tilesAcross));
    WriteLe32(header + 12, static_cast<std::uint32_t>(tilesDown));
    WriteLe32(header + 16, static_cast<std::uint32_t>(kTileSide));
    WriteLe32(header + 20, std::bit_cast<std::uint32_t>(pixelSize));
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
