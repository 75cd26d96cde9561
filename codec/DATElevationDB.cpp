#include "codec/DATElevationDB.h"

#include "codec/EncoderFELICS.h"
#include "codec/HeightDat.h"
#include "base/LargeBuffer.h"
#include "base/Concurrency.h"
#include "base/ParallelRead.h"

#include <algorithm>
#include <atomic>
#include <barrier>
#include <bit>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <system_error>
#include <thread>

namespace
{

constexpr std::size_t kHeaderSize = 24;

std::uint32_t GetLE32(const std::uint8_t* in)
{
    return std::uint32_t(in[0]) | std::uint32_t(in[1]) << 8 | std::uint32_t(in[2]) << 16 | std::uint32_t(in[3]) << 24;
}

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
        void* data = const_cast<std::uint8_t*>(code); // the coder only reads through it
        m_coder.open(data, static_cast<long>(length));
        if (m_coder.readCount() != kTileSamples)
            return false;
        m_coder.open(data, static_cast<long>(length));
        return m_coder.decode(tile, kTileSamples) == kTileSamples && !m_coder.failed();
    }

private:
    CEncoderFELICS<unsigned short, unsigned long> m_coder;
};

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
    std::size_t codeLength(std::size_t tile) const
    {
        const std::uint8_t* r = record(tile);
        return std::size_t(r[0]) | std::size_t(r[1]) << 8;
    }
    bool parse();
    bool decodeTile(TileDecoder& tileDecoder, std::size_t tile, std::uint16_t* samples) const
    {
        return tileDecoder.decode(record(tile) + 2, codeLength(tile), samples);
    }
    // Decodes every tile on every core; copies them into `raster` (width x height) when given.
    bool decodeAll(std::uint16_t* raster) const;
    // Decodes the tile row ty into `band` (64 rows of width samples; only the map's rows).
    bool decodeTileRow(std::size_t ty, std::uint16_t* band, std::atomic<std::size_t>& claim) const;
    bool decodeInBands(const BandSink& sink) const;
    const std::uint16_t* cachedTile(long tx, long ty);
};

bool CDATElevationDB::Impl::decodeTileRow(std::size_t ty, std::uint16_t* band, std::atomic<std::size_t>& claim) const
{
    TileDecoder tileDecoder;
    std::uint16_t samples[kTileSamples];
    const int rows = std::min(kTileSide, height - static_cast<int>(ty) * kTileSide);
    for (std::size_t tx = claim++; tx < std::size_t(tilesAcross); tx = claim++)
    {
        if (!decodeTile(tileDecoder, ty * std::size_t(tilesAcross) + tx, samples))
            return false;
        const int x0 = static_cast<int>(tx) * kTileSide;
        const int columns = std::min(kTileSide, width - x0);
        for (int row = 0; row < rows; ++row)
            std::memcpy(band + std::size_t(row) * std::size_t(width) + std::size_t(x0), samples + row * kTileSide,
                        std::size_t(columns) * sizeof(std::uint16_t));
    }
    return true;
}

// Two band buffers: while the helper threads and then the calling thread decode tile row ty
// into one, the calling thread first hands tile row ty - 1 from the other to the sink. A
// barrier ends each step; every thread passes every barrier, so a failure cannot strand one.
bool CDATElevationDB::Impl::decodeInBands(const BandSink& sink) const
{
    const std::size_t bandSamples = std::size_t(kTileSide) * std::size_t(width);
    std::vector<std::uint16_t> bands(2 * bandSamples);
    const std::size_t steps = std::size_t(tilesDown);
    const unsigned workers = static_cast<unsigned>(std::min<std::size_t>(WorkerCount(), std::size_t(tilesAcross)));
    std::atomic<std::size_t> claim{0};
    std::atomic<bool> ok{true};
    std::barrier sync(static_cast<std::ptrdiff_t>(workers), [&claim]() noexcept { claim.store(0); });
    auto band = [&](std::size_t ty) { return bands.data() + (ty % 2) * bandSamples; };
    auto decodeStep = [&](std::size_t ty)
    {
        if (ok && !decodeTileRow(ty, band(ty), claim))
            ok = false;
    };
    std::exception_ptr error;
    auto deliver = [&](std::size_t ty)
    {
        const long first = static_cast<long>(ty) * kTileSide;
        try
        {
            if (ok && !sink(first, std::min<long>(kTileSide, height - first), width, band(ty)))
                ok = false;
        }
        catch (...)
        {
            error = std::current_exception(); // rethrown once the helpers have stopped
            ok = false;
        }
    };
    std::vector<std::thread> helpers;
    try
    {
        for (unsigned t = 1; t < workers; ++t)
            helpers.emplace_back(
                [&]
                {
                    for (std::size_t ty = 0; ty < steps; ++ty)
                    {
                        decodeStep(ty);
                        sync.arrive_and_wait();
                    }
                });
    }
    catch (const std::system_error&)
    {
        for (std::size_t t = helpers.size() + 1; t < workers; ++t)
            sync.arrive_and_drop();
    }
    for (std::size_t ty = 0; ty < steps; ++ty)
    {
        if (ty > 0)
            deliver(ty - 1);
        decodeStep(ty);
        sync.arrive_and_wait();
    }
    for (auto& helper : helpers)
        helper.join();
    if (steps > 0)
        deliver(steps - 1);
    if (error)
        std::rethrow_exception(error);
    return ok;
}

bool CDATElevationDB::Impl::parse()
{
    if (file.size() < kHeaderSize)
        return false;
    const std::uint8_t* header = file.data();
    const auto w = static_cast<std::int32_t>(GetLE32(header + 0));
    const auto h = static_cast<std::int32_t>(GetLE32(header + 4));
    const auto across = static_cast<std::int32_t>(GetLE32(header + 8));
    const auto down = static_cast<std::int32_t>(GetLE32(header + 12));
    const auto side = static_cast<std::int32_t>(GetLE32(header + 16));
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
        const std::uint32_t offset = GetLE32(header + kHeaderSize + 4 * t);
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
    pixelSize = std::bit_cast<float>(GetLE32(header + 20));
    return true;
}

bool CDATElevationDB::Impl::decodeAll(std::uint16_t* raster) const
{
    std::atomic<bool> ok{true};
    // Tiles are claimed in small groups so the threads rarely meet on the counter.
    constexpr std::size_t kGroup = 16;
    const std::size_t tiles = offsets.size();
    ParallelFor((tiles + kGroup - 1) / kGroup, 0,
                [&](std::size_t group)
                {
                    TileDecoder tileDecoder;
                    std::uint16_t samples[kTileSamples];
                    const std::size_t end = std::min(tiles, (group + 1) * kGroup);
                    for (std::size_t t = group * kGroup; t < end && ok; ++t)
                    {
                        if (!decodeTile(tileDecoder, t, samples))
                        {
                            ok = false;
                            return;
                        }
                        if (raster == nullptr)
                            continue;
                        const int x0 = static_cast<int>(t % std::size_t(tilesAcross)) * kTileSide;
                        const int y0 = static_cast<int>(t / std::size_t(tilesAcross)) * kTileSide;
                        const int columns = std::min(kTileSide, width - x0);
                        const int rows = std::min(kTileSide, height - y0);
                        for (int row = 0; row < rows; ++row)
                            std::memcpy(raster + std::size_t(y0 + row) * std::size_t(width) + std::size_t(x0),
                                        samples + row * kTileSide, std::size_t(columns) * sizeof(std::uint16_t));
                    }
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

bool CDATElevationDB::loadInBands(const char* path, const BandSink& sink)
{
    uninit();
    auto impl = std::make_unique<Impl>();
    if (path == nullptr || !ReadWholeFile(path, impl->file) || !impl->parse() || !impl->decodeInBands(sink))
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
