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
    void encode(int tx, ConstRasterView<std::uint16_t> rows, std::vector<std::uint8_t>& code)
    {
        ExtractTile(tx, 0, rows, m_tile.data());
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

// Codes the tiles a tile row per step on `workers` threads; each row's records are written, and
// the rows two further on fetched, while the next row is coded. The records go out in table
// order whatever thread coded them, so the bytes do not depend on the number of threads.
bool WriteRecords(int tilesAcross, int tilesDown, const TileRowSource& source, unsigned workers, RecordWriter& writer)
{
    std::array<ConstRasterView<std::uint16_t>, 2> rows;
    for (int ty = 0; ty < std::min(tilesDown, 2); ++ty)
        if (!source(ty, rows[ty % 2]))
            return false;
    std::array<std::vector<std::vector<std::uint8_t>>, 2> codes;
    codes[0].resize(std::size_t(tilesAcross));
    codes[1].resize(std::size_t(tilesAcross));
    std::vector<TileEncoder> encoders(std::max(workers, 1u));
    return RunOrderedPipeline(
        std::size_t(tilesDown), workers, [&](std::size_t) { return std::size_t(tilesAcross); },
        [&](unsigned worker, std::size_t ty, std::size_t tx) {
            encoders[worker].encode(static_cast<int>(tx), rows[ty % 2], codes[ty % 2][tx]);
            return true;
        },
        [&](std::size_t ty) {
            for (std::size_t tx = 0; tx < std::size_t(tilesAcross) && writer.ok(); ++tx)
                writer.write(ty * std::size_t(tilesAcross) + tx, codes[ty % 2][tx]);
            // Row ty is coded, so its band can take row ty + 2 while row ty + 1 is coded.
            const int next = static_cast<int>(ty) + 2;
            return writer.ok() && (next >= tilesDown || source(next, rows[ty % 2]));
        });
}

} // namespace

void ExtractTile(int tx, int ty, ConstRasterView<std::uint16_t> raster, std::uint16_t* tile)
{
    const int x0 = tx * kTileSide;
    const int y0 = ty * kTileSide;
    const int columns = std::min(kTileSide, raster.width - x0);
    const int rows = std::min(kTileSide, raster.height - y0);
    // Only a tile cut by the raster's edge is cleared first: the writer cuts every tile of a map,
    // and clearing the whole ones too cost as much as copying them.
    if (columns < kTileSide || rows < kTileSide)
        std::fill(tile, tile + kTileSamples, std::uint16_t(0));
    if (columns <= 0 || rows <= 0)
        return;
    // A whole row of a tile is copied with a size known here, which compiles to a few vector
    // moves; the compiler makes a string instruction of a copy of variable size, whose start-up
    // cost on 128 bytes made the cutting of the tiles a sixth of the writer's time.
    if (columns == kTileSide)
    {
        for (int row = 0; row < rows; ++row)
            std::memcpy(tile + row * kTileSide, raster.row(y0 + row) + x0, kTileSide * sizeof(std::uint16_t));
        return;
    }
    for (int row = 0; row < rows; ++row)
        std::memcpy(tile + row * kTileSide, raster.row(y0 + row) + x0, std::size_t(columns) * sizeof(std::uint16_t));
}

bool WriteHeightDat(const std::string& path, ConstRasterView<std::uint16_t> raster, float pixelSize, unsigned threads)
{
    const TileRowSource rowsOfRaster = [raster](int tileRow, ConstRasterView<std::uint16_t>& rows) {
        const int y0 = tileRow * kTileSide;
        rows = {raster.row(y0), raster.width, std::min(kTileSide, raster.height - y0), raster.stride};
        return true;
    };
    return WriteHeightDat(path, raster.width, raster.height, rowsOfRaster, pixelSize, threads);
}

bool WriteHeightDat(const std::string& path, int width, int height, const TileRowSource& source, float pixelSize,
                    unsigned threads)
{
    const int tilesAcross = TilesAlong(width);
    const int tilesDown = TilesAlong(height);
    const std::size_t tileCount = std::size_t(tilesAcross) * std::size_t(tilesDown);

    // Records are a few KB each: through a buffer of a megabyte, a 8193 x 8193 map's 64 MB go
    // out in about 70 write calls instead of 16,000.
    AtomicFile file;
    if (!file.open(path) || !file.buffer(std::size_t(1) << 20))
        return false;

    std::uint8_t header[kHeaderSize];
    WriteLe32(header + 0, static_cast<std::uint32_t>(width));
    WriteLe32(header + 4, static_cast<std::uint32_t>(height));
    WriteLe32(header + 8, static_cast<std::uint32_t>(tilesAcross));
    WriteLe32(header + 12, static_cast<std::uint32_t>(tilesDown));
    WriteLe32(header + 16, static_cast<std::uint32_t>(kTileSide));
    WriteLe32(header + 20, std::bit_cast<std::uint32_t>(pixelSize));
    // The table goes out first as a placeholder and is patched once every offset is known.
    std::vector<std::uint8_t> table(4 * tileCount, 0);
    if (!file.write(header, kHeaderSize) || !file.write(table.data(), table.size()))
        return false;

    RecordWriter writer(file, table, kHeaderSize + table.size());
    const unsigned workers = static_cast<unsigned>(std::min<std::size_t>(WorkerCount(threads), std::max(tilesAcross, 1)));
    if (tileCount > 0 && !WriteRecords(tilesAcross, tilesDown, source, workers, writer))
        return false;
    if (std::fseek(file.file(), static_cast<long>(kHeaderSize), SEEK_SET) != 0)
        return false;
    return file.write(table.data(), table.size()) && file.commit();
}
