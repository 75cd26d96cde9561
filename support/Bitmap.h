#pragma once
// Bitmap records and BMP files. Rows are stored bottom-up: image row y (0 = top) starts at
// (height - 1 - y) * bytesPerRow. A 24-bit pixel is blue, green, red.
#include "base/AtomicFile.h"

#include "base/Status.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

struct BITMAPINFOHEADER_
{
    std::uint32_t size = 40;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::uint16_t planes = 1;
    std::uint16_t bitCount = 0;
    std::uint32_t compression = 0;
    std::uint32_t sizeImage = 0;
    std::int32_t xPelsPerMeter = 0;
    std::int32_t yPelsPerMeter = 0;
    std::uint32_t clrUsed = 0;
    std::uint32_t clrImportant = 0;
};

struct RGBQUAD_
{
    std::uint8_t blue, green, red, reserved;
};

// The information block: the header followed by the colour table (256 entries for 8 bits).
struct BITMAPINFO_
{
    BITMAPINFOHEADER_ header;
    RGBQUAD_ colors[256];
};

struct BITMAP_
{
    std::uint8_t* data = nullptr;
    int width = 0;
    int height = 0;
    int bytesPerRow = 0; // rows padded to 4 bytes
    int dataSize = 0;
    BITMAPINFO_* info = nullptr;
};

// Releases what InitBitmap or LoadBitmap24 allocated and empties the record.
void FreeBitmap(BITMAP_* bitmap);

// Owns a record and frees it on every way out, an allocation that throws on the way included.
struct BitmapOwner
{
    BITMAP_ bitmap;

    BitmapOwner() = default;
    BitmapOwner(const BitmapOwner&) = delete;
    BitmapOwner& operator=(const BitmapOwner&) = delete;
    ~BitmapOwner() { FreeBitmap(&bitmap); }
};

// Reads an uncompressed 1/4/8/24/32-bit BMP (bottom-up or top-down) as 24-bit bottom-up pixels.
// False (and an empty record) for anything else or on a truncated file.
bool LoadBitmap24(BITMAP_* bitmap, const char* path);
// Allocates pixel data (zeroed) and the information block; for 8 bits a 256-entry grey table.
void InitBitmap(BITMAP_* bitmap, int width, int height, unsigned char bits);
// Writes an 8- or 24-bit record atomically; false when the file could not be written.
bool SaveBitmap(BITMAP_* bitmap, const char* path);

// Reads a BMP row by row for callers that keep other pixel layouts than the 24-bit record
// (the grey image loader reads large masks without a 24-bit copy). Accepts what LoadBitmap24
// accepts; every size is checked against the file's length before anything is allocated.
class BmpReader
{
public:
    BmpReader() = default;
    ~BmpReader();
    BmpReader(const BmpReader&) = delete;
    BmpReader& operator=(const BmpReader&) = delete;

    // Reads and checks the headers and the colour table: cannotOpen with the system's reason, or
    // invalidInput saying what is wrong with the file; neither message names the file.
    Status open(const char* path);
    int width() const { return m_width; }
    int height() const { return m_height; }
    int bitCount() const { return m_bitCount; }
    bool topDown() const { return m_topDown; }
    // Reads the next row in file order as width blue-green-red triples; `imageRow` receives its
    // image row (0 = top). False when the file ends early or every row has been read.
    bool readRow(std::uint8_t* bgr, int& imageRow);
    void close();

private:
    std::FILE* m_file = nullptr;
    int m_width = 0;
    int m_height = 0;
    int m_bitCount = 0;
    bool m_topDown = false;
    int m_rowsRead = 0;
    std::uint32_t m_masks[3] = {}; // 32-bit pixels: red, green, blue masks
    std::vector<std::uint8_t> m_row;
    RGBQUAD_ m_palette[256] = {};
};

// Writes a BMP as it is computed, stored rows in file order (the bottom row first), for
// outputs too large to hold whole. Atomic like SaveBitmap: the file appears at `path` only when
// commit() finds every row written.
class BmpWriter
{
public:
    // 8 bits: `colors` is the 256-entry colour table; 24 bits: no table (nullptr).
    bool open(const char* path, int width, int height, int bits, const RGBQUAD_* colors);
    int bytesPerRow() const { return m_bytesPerRow; }
    // `count` stored rows of bytesPerRow() bytes each (padding included), continuing upwards.
    bool writeRows(const std::uint8_t* rows, int count);
    bool commit();

private:
    AtomicFile m_file;
    int m_bytesPerRow = 0;
    int m_rowsLeft = 0;
};
