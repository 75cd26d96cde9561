#pragma once
// File helpers every test shares: whole files read and written, little-endian fields patched
// into a byte image (through the product's own byte-order helpers), and one PNG writer and
// reader for layouts the product does not write itself.
#include "base/ByteOrder.h"
#include "support/WtrFormat.h"

#include <csetjmp>
#include <cstring>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <png.h>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace testcli
{

inline std::string ReadText(const std::string& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::vector<std::uint8_t> ReadBytes(const std::string& file)
{
    const std::string text = ReadText(file);
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

// A file of little-endian 16-bit samples (a RAW height map).
inline std::vector<std::uint16_t> ReadLe16Samples(const std::string& file)
{
    const std::vector<std::uint8_t> bytes = ReadBytes(file);
    std::vector<std::uint16_t> samples(bytes.size() / 2);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<std::uint16_t>(ReadLe16(bytes.data() + 2 * i));
    return samples;
}

inline void WriteBytes(const std::string& file, const void* data, std::size_t size)
{
    std::ofstream(file, std::ios::binary | std::ios::trunc).write(static_cast<const char*>(data), std::streamsize(size));
}

inline void WriteBytes(const std::string& file, const std::vector<std::uint8_t>& bytes)
{
    WriteBytes(file, bytes.data(), bytes.size());
}

inline void WriteText(const std::string& file, const std::string& text)
{
    WriteBytes(file, text.data(), text.size());
}

inline bool Exists(const std::string& file)
{
    return ::access(file.c_str(), F_OK) == 0;
}

// Writes `value` as a little-endian field of 1, 2, 4 or 8 bytes at `at`.
inline void PutLe(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint64_t value, int count)
{
    std::uint8_t* p = bytes.data() + at;
    if (count == 1)
        *p = static_cast<std::uint8_t>(value);
    else if (count == 2)
        WriteLe16(p, static_cast<std::uint32_t>(value));
    else
    {
        WriteLe32(p, static_cast<std::uint32_t>(value));
        if (count == 8)
            WriteLe32(p + 4, static_cast<std::uint32_t>(value >> 32));
    }
}

// Heights like a terrain's, row-major: slopes with a little noise, a flat strip on the left (long
// runs), pure noise in the bottom rows, and the extremes 0 and 65535 in the first two samples.
inline std::vector<std::uint16_t> TestHeights(int width, int height, unsigned seed)
{
    std::mt19937 random(seed);
    std::vector<std::uint16_t> samples(std::size_t(width) * std::size_t(height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            samples[std::size_t(y) * std::size_t(width) + std::size_t(x)] = static_cast<std::uint16_t>(
                x < width / 4 ? 1200 : y > height - 20 ? random() : x * 31 + y * 17 + random() % 40);
    samples[0] = 0;
    samples[1] = 65535;
    return samples;
}

// The little-endian field of 2 or 4 bytes at `at`; out_of_range past the image's end.
inline std::uint32_t GetLe(const std::vector<std::uint8_t>& bytes, std::size_t at, int count)
{
    (void)bytes.at(at + std::size_t(count) - 1);
    return count == 2 ? ReadLe16(bytes.data() + at) : ReadLe32(bytes.data() + at);
}

// A width x height grid, value(x, y) at (x, y), row y = 0 first.
template <typename T, typename Value> std::vector<T> Grid(int width, int height, Value value)
{
    std::vector<T> grid(std::size_t(width) * std::size_t(height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            grid[std::size_t(y) * std::size_t(width) + std::size_t(x)] = static_cast<T>(value(x, y));
    return grid;
}

// A grid of water-mask cells, value(x, z) each.
template <typename Value> std::vector<std::uint8_t> MaskCells(int width, int height, Value value)
{
    return Grid<std::uint8_t>(width, height, value);
}

// A ".wtr" header claiming xRes x zRes cells in `blocks` x `blocks` blocks (the grid the size
// needs unless given), followed by `entries` zero offsets (the whole table unless given): a
// well-formed file of any claimed size with every block absent.
inline std::vector<std::uint8_t> EmptyWtr(std::uint32_t xRes, std::uint32_t zRes, std::uint32_t blockSize,
                                          std::size_t entries = 0)
{
    const std::uint32_t across = (xRes + blockSize - 1) / blockSize;
    const std::uint32_t down = (zRes + blockSize - 1) / blockSize;
    std::vector<std::uint8_t> bytes(kWtrHeaderSize + 8 * (entries ? entries : std::size_t(across) * down + 1), 0);
    std::memcpy(bytes.data(), kWtrMagic, 4);
    const std::uint32_t fields[] = {kWtrVersion, blockSize, xRes, zRes, across, down};
    const std::size_t at[] = {4, 6, 8, 12, 16, 20};
    for (int i = 0; i < 6; ++i)
        PutLe(bytes, at[i], fields[i], i < 2 ? 2 : 4);
    return bytes;
}

// Writes a PNG of any layout with libpng; `rows` holds the packed rows (rows of zeros when
// empty). With headerOnly the file ends after the header chunk.
inline bool WriteTestPng(const std::string& path, int width, int height, int depth, int colourType,
                         const std::vector<std::vector<std::uint8_t>>& rows = {},
                         const std::vector<png_color>& palette = {}, bool interlaced = false, bool headerOnly = false)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png)))
    {
        png_destroy_write_struct(&png, &info);
        std::fclose(file);
        return false;
    }
    png_init_io(png, file);
    png_set_user_limits(png, 0x7fffffff, 0x7fffffff);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), depth, colourType,
                 interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (!palette.empty())
        png_set_PLTE(png, info, palette.data(), int(palette.size()));
    png_write_info(png, info);
    if (!headerOnly)
    {
        std::vector<std::uint8_t> zeros(std::size_t(width) * 8, 0);
        std::vector<png_bytep> pointers;
        for (int y = 0; y < height; ++y)
            pointers.push_back(rows.empty() ? zeros.data() : const_cast<png_bytep>(rows[std::size_t(y)].data()));
        png_write_image(png, pointers.data()); // passes of an interlaced file included
        png_write_end(png, info);
    }
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
    return true;
}

// Decodes any PNG into 8-bit RGB (or 16-bit grey with `grey16`) through libpng's simple API.
inline bool DecodePng(const std::string& path, std::vector<std::uint8_t>& pixels, int& width, int& height,
                      bool grey16 = false)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        return false;
    image.format = grey16 ? PNG_FORMAT_LINEAR_Y : PNG_FORMAT_RGB;
    pixels.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr))
        return false;
    width = static_cast<int>(image.width);
    height = static_cast<int>(image.height);
    return true;
}

} // namespace testcli
