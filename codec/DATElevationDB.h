#pragma once
// Reader of the height files that WriteHeightDat writes.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class IElevationDB
{
public:
    virtual ~IElevationDB() = default;
    virtual bool init(const char* path) = 0;
    virtual void uninit() = 0;
    virtual float getElevation(long x, long y) = 0;
    virtual long getWidth() = 0;
    virtual long getHeight() = 0;
    virtual float getPixelSize() = 0;
};

class CDATElevationDB : public IElevationDB
{
public:
    explicit CDATElevationDB(bool unused = false);
    ~CDATElevationDB() override;

    // Reads the whole file and checks it: false for anything that is not a well-formed height
    // file (bad header, sizes that disagree with each other or with the file length, offsets or
    // lengths outside the file, a tile whose code does not decode to exactly 4096 samples within
    // its length). Every tile is decoded once to check it, on every core.
    bool init(const char* path) override;
    // init on a copy of a file's bytes already in memory.
    bool initFromBytes(const void* data, std::size_t size);
    // init, and the decoded map in the same pass: once the header is checked,
    // destination(width, height) gives the row-major block of width x height samples to fill
    // (nullptr: give up, load returns false). A false result leaves the block's content undefined.
    using RasterDestination = std::function<std::uint16_t*(long width, long height)>;
    bool load(const char* path, const RasterDestination& destination);
    // init, and the decoded map handed over in bands of 64 rows (fewer in the last one of the
    // map), top to bottom or bottom to top: sink(firstRow, rows, width, samples) with rows x
    // width samples, row-major, valid during the call. The next band is decoded while the sink
    // runs, so a whole map never needs to be held. Once the header is checked, and before any
    // tile is decoded, start(width, height, pixel size) is asked whether to go on. A false from
    // start or the sink, or a corrupt tile, stops the load: false.
    using BandSink = std::function<bool(long firstRow, long rows, long width, const std::uint16_t* samples)>;
    using BandStart = std::function<bool(long width, long height, float pixelSize)>;
    enum class BandOrder
    {
        TopDown,
        BottomUp
    };
    bool loadInBands(const char* path, const BandSink& sink, BandOrder order = BandOrder::TopDown,
                     const BandStart& start = nullptr);
    void uninit() override;
    // Stored sample / 65535; positions beyond the map take the nearest edge sample. Decoded
    // tiles are cached so that a walk along the rows (or the columns) of the map decodes each
    // tile once. Not for concurrent use: readAll is the way to use several cores.
    float getElevation(long x, long y) override;
    long getWidth() override;
    long getHeight() override;
    float getPixelSize() override;

    // The raw 16-bit sample at (x, y), clamped like getElevation.
    std::uint16_t getSample(long x, long y);
    // Decodes the whole map into a row-major raster (both cores); false on a corrupt tile.
    bool readAll(std::vector<std::uint16_t>& raster);
    // Tiles decoded into the cache of getElevation/getSample so far.
    std::size_t tilesDecoded() const;

private:
    struct Impl;
    Impl* m_impl = nullptr;
};
