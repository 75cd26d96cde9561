#pragma once
// Reader of the height files that WriteHeightDat writes.
#include <cstdint>
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

    // False for anything that is not a well-formed height file (bad header, offsets or lengths
    // outside the file, a tile that does not decode to 4096 samples).
    bool init(const char* path) override;
    void uninit() override;
    // Stored sample / 65535; positions beyond the map take the nearest edge sample.
    float getElevation(long x, long y) override;
    long getWidth() override;
    long getHeight() override;
    float getPixelSize() override;

    // The raw 16-bit sample at (x, y), clamped like getElevation.
    std::uint16_t getSample(long x, long y);
    // Decodes the whole map into a row-major raster (both cores); false on a corrupt tile.
    bool readAll(std::vector<std::uint16_t>& raster);

private:
    struct Impl;
    Impl* m_impl = nullptr;
};
