#include "codec/DATElevationDB.h"

#include "codec/EncoderFELICS.h"
#include "codec/HeightDat.h"
#include "base/ByteOrder.h"
#include "base/Concurrency.h"
#include "base/LargeBuffer.h"
#include "base/ParallelRead.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>

namespace
{

constexpr std::size_t kHeaderSize = 24;

bool ReadWholeFile(const char* path, LargeBuffer<std::uint8_t>& bytes)
{
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path, "rb"), &std::fclose);
    if (!file || std::fseek(file.get(), 0, SEEK_END) != 0)
        return false;
    const long size = std::ftell(file.get());
    if (size < 0 || std::fseek(file.get(), 0, SEEK_SET) != 0)
        return false;
    bytes.allocate(static_cast<std::size_t>(size));
    return ReadFileInParallel(::fileno(file.get()), bytes.data(), bytes.size());
}

// One thread's decoder. Decoding a tile that init has accepted cannot fail.
class TileDecoder
{
public:
    // True when the record holds exactly 4096 samples and the stream ends inside the code.
    bool decode(const std::uint8_t* code, std::size_t length, std::uint16_t* tile)
    {
        if (!open(m_coders[0], code, length))
            return false;
        return m_coders[0].decode(tile, kTileSamples) == kTileSamples && !m_coders[0].failed();
    }
    // decode for two tiles at once, which is faster than one after the other.
    bool decodeTwo(const std::uint8_t* codeA, std::size_t lengthA, std::uint16_t* tileA, const std::uint8_t* codeB,
                   std::size_t lengthB, std::uint16_t* tileB)
    {
        if (!open(m_coders[0], codeA, lengthA) || !open(m_coders[1], codeB, lengthB))
            return false;
        unsigned long producedA = 0;
        unsigned long producedB = 0;
        Coder::decodePair(m_coders[0], tileA, kTileSamples, producedA, m_coders[1], tileB, kTileSamples, producedB);
        return producedA == kTileSamples && producedB == kTileSamples && !m_coders[0].failed() && !m_coders[1].failed();
    }

private:
    using Coder = CEncoderFELICS<unsigned short, unsigned long>;
    // Opens the code at its start once its count is known to be a whole tile's.
    static bool open(Coder& coder, const std::uint8_t* code, std::size_t length)
    {
        void* data = const_cast<std::uint8_t*>(code); // the coder only reads through it
        coder.open(data, static_cast<long>(length));
        if (coder.readCount() != kTileSamples)
            return false;
        coder.open(data, static_cast<long>(length));
        return true;
    }
    Coder m_coders[2];
};

// Copies `rows` rows of `columns` samples of a decoded tile to column x0 of the rows of a
// raster `width` samples wide that start at `raster`.
void PlaceTile(const std::uint16_t* tile, std::uint16_t* raster, int width, int x0, int columns, int rows)
{
    // A whole tile row is copied with a size known here, a few vector moves: a copy of variable
    // size becomes a string instruction whose start-up cost on 128 bytes made this copy about a
    // tenth of the decoding of a map. Only the tiles at the right edge take the general copy.
    if (columns == kTileSide)
    {
        for (int row = 0; row < rows; ++row)
            std::memcpy(raster + std::size_t(row) * std::size_t(width) + std::size_t(x0), tile + row * kTileSide,
                        kTileSide * sizeof(std::uint16_t));
        return;
    }
    for (int row = 0; row < rows; ++row)
        std::memcpy(raster + std::size_t(row) * std::size_t(width) + std::size_t(x0), tile + row * kTileSide,
                    std::size_t(columns) * sizeof(std::uint16_t));
}

} // namespace

struct CDATElevationDB::Impl
{
    LargeBuffer<std::uint8_t> file;
    std::vector<std::uint32_t> offsets; // record of each tile, checked to lie inside `file`
    int width = 0;
    int height = 0;
    int tilesAcross = 0;
    int tilesDown = 0;
    float pixelSize = 0.0f;

    // Tile cache: tile (tx, ty) lives in slot (tx + ty) mod slots, with slots = max(tiles
    // across, tiles down), so a walk along a row or along a column of the map decodes every tile
    // once.
    std::size_t slots = 0;
    std::vector<std::int64_t> slotTile;
    std::vector<std::uint16_t> slotSamples;
    std::size_t tilesDecoded = 0;
    TileDecoder decoder;

    const std::uint8_t* record(std::size_t tile) const { return file.data() + offsets[tile]; }
    std::size_t codeLength(std::size_t tile) const { return ReadLe16(record(tile)); }
    bool parse();
    bool decodeTile(TileDecoder& tileDecoder, std::size_t tile, std::uint16_t* samples) const
    {
        return tileDecoder.decode(record(tile) + 2, codeLength(tile), samples);
    }
    // Decodes the tiles first .. first + count - 1 (count 1 or 2) of one tile row into tiles.
    bool decodeTiles(TileDecoder& tileDecoder, std::size_t first, std::size_t count, std::uint16_t* tiles) const
    {
        if (count == 1)
            return decodeTile(tileDecoder, first, tiles);
        return tileDecoder.decodeTwo(record(first) + 2, codeLength(first), tiles, record(first + 1) + 2,
                                     codeLength(first + 1), tiles + kTileSamples);
    }
    // Tiles that decodeTiles takes at once, and the number of such pairs in a tile row.
    static constexpr std::size_t kPair = 2;
    std::size_t pairsAcross() const { return (std::size_t(tilesAcross) + kPair - 1) / kPair; }
    // Decodes pair p of tile row ty and copies it into `raster`, whose row 0 is map row
    // rasterRow0; false on a corrupt tile.
    bool decodePair(TileDecoder& tileDecoder, std::size_t ty, std::size_t p, std::uint16_t* raster,
                    long rasterRow0) const;
    // Decodes every tile on every core; copies them into `raster` (width x height) when given.
    bool decodeAll(std::uint16_t* raster) const;
    bool decodeInBands(const BandSink& sink, BandOrder order) const;
    const std::uint16_t* cachedTile(long tx, long ty);
};

bool CDATElevationDB::Impl::decodePair(TileDecoder& tileDecoder, std::size_t ty, std::size_t p, std::uint16_t* raster,
                                       long rasterRow0) const
{
    alignas(64) std::uint16_t tiles[kPair * kTileSamples];
    const std::size_t tx = p * kPair;
    const std::size_t count = std::min(kPair, std::size_t(tilesAcross) - tx);
    if (!decodeTiles(tileDecoder, ty * std::size_t(tilesAcross) + tx, count, tiles))
        return false;
    if (raster == nullptr)
        return true;
    const int y0 = static_cast<int>(ty) * kTileSide;
    const int rows = std::min(kTileSide, height - y0);
    std::uint16_t* rowStart = raster + std::size_t(y0 - rasterRow0) * std::size_t(width);
    for (std::size_t k = 0; k < count; ++k)
    {
        const int x0 = static_cast<int>(tx + k) * kTileSide;
        PlaceTile(tiles + k * kTileSamples, rowStart, width, x0, std::min(kTileSide, width - x0), rows);
    }
    return true;
}

// While the threads decode tile row ty into one band buffer, the calling thread first hands
// tile row ty - 1 from the other to the sink.
bool CDATElevationDB::Impl::decodeInBands(const BandSink& sink, BandOrder order) const
{
    const std::size_t bandSamples = std::size_t(kTileSide) * std::size_t(width);
    std::vector<std::uint16_t> bands(2 * bandSamples);
    const unsigned workers = static_cast<unsigned>(std::min<std::size_t>(WorkerCount(), pairsAcross()));
    std::vector<TileDecoder> decoders(workers);
    auto band = [&](std::size_t step) { return bands.data() + (step % 2) * bandSamples; };
    auto tileRow = [&](std::size_t step) {
        return order == BandOrder::TopDown ? step : std::size_t(tilesDown) - 1 - step;
    };
    return RunOrderedPipeline(
        std::size_t(tilesDown), workers, [&](std::size_t) { return pairsAcross(); },
        [&](unsigned worker, std::size_t step, std::size_t p) {
            const std::size_t ty = tileRow(step);
            return decodePair(decoders[worker], ty, p, band(step), static_cast<long>(ty) * kTileSide);
        },
        [&](std::size_t step) {
            const long first = static_cast<long>(tileRow(step)) * kTileSide;
            return sink(first, std::min<long>(kTileSide, height - first), width, band(step));
        });
}

bool CDATElevationDB::Impl::parse()
{
    if (file.size() < kHeaderSize)
        return false;
    const std::uint8_t* header = file.data();
    const auto w = static_cast<std::int32_t>(ReadLe32(header + 0));
    const auto h = static_cast<std::int32_t>(ReadLe32(header + 4));
    const auto across = static_cast<std::int32_t>(ReadLe32(header + 8));
    const auto down = static_cast<std::int32_t>(ReadLe32(header + 12));
    const auto side = static_cast<std::int32_t>(ReadLe32(header + 16));
    if (w <= 0 || h <= 0 || side != kTileSide)
        return false;
    if (std::int64_t(across) != (std::int64_t(w) + kTileSide - 1) / kTileSide ||
        std::int64_t(down) != (std::int64_t(h) + kTileSide - 1) / kTileSide)
        return false;
    // Every tile needs 4 bytes of table and a record of at least 2 + 25 bytes (the count and 16
    // tokens of 11 bits, since a token covers at most 257 samples): this bounds the sizes by the
    // file length before anything is allocated for them.
    constexpr std::uint64_t kMinTileBytes = 4 + 2 + 25;
    const std::uint64_t tiles = std::uint64_t(across) * std::uint64_t(down);
    if (tiles > (file.size() - kHeaderSize) / kMinTileBytes)
        return false;
    const std::uint64_t recordsStart = kHeaderSize + 4 * tiles;
    offsets.resize(tiles);
    for (std::uint64_t t = 0; t < tiles; ++t)
    {
        const std::uint32_t offset = ReadLe32(header + kHeaderSize + 4 * t);
        if (offset < recordsStart || std::uint64_t(offset) + 2 > file.size())
            return false;
        offsets[t] = offset;
        if (std::uint64_t(offset) + 2 + codeLength(t) > file.size())
            return false;
    }
    width = w;
    height = h;
    tilesAcross = across;
    tilesDown = down;
    pixelSize = std::bit_cast<float>(ReadLe32(header + 20));
    return true;
}

bool CDATElevationDB::Impl::decodeAll(std::uint16_t* raster) const
{
    std::atomic<bool> ok{true};
    // Pairs are claimed in small groups so the threads rarely meet on the counter.
    constexpr std::size_t kGroup = 8;
    const std::size_t across = pairsAcross();
    const std::size_t pairs = across * std::size_t(tilesDown);
    ParallelFor((pairs + kGroup - 1) / kGroup, 0,
                [&](std::size_t group)
                {
                    TileDecoder tileDecoder;
                    const std::size_t end = std::min(pairs, (group + 1) * kGroup);
                    for (std::size_t p = group * kGroup; p < end && ok; ++p)
                        if (!decodePair(tileDecoder, p / across, p % across, raster, 0))
                            ok = false;
                });
    return ok;
}

const std::uint16_t* CDATElevationDB::Impl::cachedTile(long tx, long ty)
{
    if (slots == 0)
    {
        slots = std::size_t(std::max(tilesAcross, tilesDown));
        slotTile.assign(slots, -1);
        slotSamples.resize(slots * kTileSamples);
    }
    // tx + ty < tiles across + tiles down <= 2 x slots, so one subtraction replaces the modulo.
    std::size_t slot = std::size_t(tx + ty);
    if (slot >= slots)
        slot -= slots;
    const std::int64_t tile = std::int64_t(ty) * tilesAcross + tx;
    std::uint16_t* samples = slotSamples.data() + slot * kTileSamples;
    if (slotTile[slot] != tile)
    {
        decodeTile(decoder, std::size_t(tile), samples); // checked by init
        slotTile[slot] = tile;
        ++tilesDecoded;
    }
    return samples;
}

CDATElevationDB::CDATElevationDB(bool) {}

CDATElevationDB::~CDATElevationDB()
{
    uninit();
}

bool CDATElevationDB::init(const char* path)
{
    return load(path, nullptr);
}

bool CDATElevationDB::initFromBytes(const void* data, std::size_t size)
{
    uninit();
    auto impl = std::make_unique<Impl>();
    impl->file.allocate(size);
    if (size > 0)
        std::memcpy(impl->file.data(), data, size);
    if (!impl->parse() || !impl->decodeAll(nullptr))
        return false;
    m_impl = impl.release();
    return true;
}

bool CDATElevationDB::load(const char* path, const RasterDestination& destination)
{
    uninit();
    auto impl = std::make_unique<Impl>();
    if (path == nullptr || !ReadWholeFile(path, impl->file) || !impl->parse())
        return false;
    std::uint16_t* raster = nullptr;
    if (destination && (raster = destination(impl->width, impl->height)) == nullptr)
        return false;
    if (!impl->decodeAll(raster))
        return false;
    m_impl = impl.release();
    return true;
}

bool CDATElevationDB::loadInBands(const char* path, const BandSink& sink, BandOrder order, const BandStart& start)
{
    uninit();
    auto impl = std::make_unique<Impl>();
    if (path == nullptr || !ReadWholeFile(path, impl->file) || !impl->parse())
        return false;
    if (start && !start(impl->width, impl->height, impl->pixelSize))
        return false;
    if (!impl->decodeInBands(sink, order))
        return false;
    m_impl = impl.release();
    return true;
}

void CDATElevationDB::uninit()
{
    delete m_impl;
    m_impl = nullptr;
}

float CDATElevationDB::getElevation(long x, long y)
{
    return static_cast<float>(double(getSample(x, y)) / 65535.0);
}

std::uint16_t CDATElevationDB::getSample(long x, long y)
{
    if (m_impl == nullptr)
        return 0;
    x = std::clamp<long>(x, 0, m_impl->width - 1);
    y = std::clamp<long>(y, 0, m_impl->height - 1);
    const std::uint16_t* tile = m_impl->cachedTile(x / kTileSide, y / kTileSide);
    return tile[(y % kTileSide) * kTileSide + x % kTileSide];
}

long CDATElevationDB::getWidth()
{
    return m_impl != nullptr ? m_impl->width : 0;
}

long CDATElevationDB::getHeight()
{
    return m_impl != nullptr ? m_impl->height : 0;
}

float CDATElevationDB::getPixelSize()
{
    return m_impl != nullptr ? m_impl->pixelSize : 0.0f;
}

bool CDATElevationDB::readAll(std::vector<std::uint16_t>& raster)
{
    if (m_impl == nullptr)
        return false;
    raster.resize(std::size_t(m_impl->width) * std::size_t(m_impl->height));
    return m_impl->decodeAll(raster.data());
}

std::size_t CDATElevationDB::tilesDecoded() const
{
    return m_impl != nullptr ? m_impl->tilesDecoded : 0;
}
