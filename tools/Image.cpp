#include "tools/Image.h"
#include "tools/PngWriter.h"

#include "base/AtomicFile.h"
#include "support/Bitmap.h"
#include "tools/PngErrors.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

namespace
{
constexpr long long kMaxImageBytes = 1LL << 32;

bool LoadBmpGrey(const std::string& path, GreyImage& image, std::string& reason)
{
    BmpReader reader;
    if (!reader.open(path.c_str(), reason))
        return false;
    image.width = reader.width();
    image.height = reader.height();
    image.pixels.assign(std::size_t(image.width) * std::size_t(image.height), 0);
    std::vector<std::uint8_t> bgr(std::size_t(image.width) * 3);
    for (int i = 0; i < image.height; ++i)
    {
        int imageRow = 0;
        if (!reader.readRow(bgr.data(), imageRow))
        {
            reason = "the BMP file is truncated";
            return false;
        }
        std::uint8_t* out = image.pixels.data() + std::size_t(imageRow) * std::size_t(image.width);
        for (int x = 0; x < image.width; ++x)
            out[x] = Luma(bgr[3 * x + 2], bgr[3 * x + 1], bgr[3 * x]);
    }
    return true;
}

// A read in progress. libpng reports errors with a long jump back into the function that set
// the jump, so those functions (StartPng, FinishPng) touch no C++ object that the jump could
// skip or leave half-changed; the caller owns everything else.
struct PngReading
{
    png_structp png = nullptr;
    png_infop info = nullptr;
    PngErrorText error;
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int channels = 0;

    ~PngReading() { png_destroy_read_struct(&png, &info, nullptr); }
};

// Reads the header and sets up the conversion to 8-bit grey or RGB rows.
bool StartPng(PngReading& reading, std::FILE* file, long long fileLength)
{
    reading.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &reading.error, OnPngError, OnPngWarning);
    if (reading.png == nullptr)
        return false;
    reading.info = png_create_info_struct(reading.png);
    if (reading.info == nullptr)
        return false;
    png_structp png = reading.png;
    png_infop info = reading.info;
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_init_io(png, file);
    png_set_user_limits(png, 1u << 20, 1u << 20);
    png_read_info(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    const int colorType = png_get_color_type(png, info);
    const long long codedBytes = static_cast<long long>(png_get_rowbytes(png, info)) * height;
    if (codedBytes > fileLength * kMaxPngInflateRatio)
        png_error(png, "the PNG claims a size its file cannot hold");
    if (png_get_bit_depth(png, info) == 16)
        png_set_scale_16(png);
    if (colorType == PNG_COLOR_TYPE_PALETTE)
        png_set_palette_to_rgb(png);
    if (colorType == PNG_COLOR_TYPE_GRAY)
        png_set_expand_gray_1_2_4_to_8(png);
    if ((colorType & PNG_COLOR_MASK_ALPHA) != 0)
        png_set_strip_alpha(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    const int channels = png_get_channels(png, info);
    if (channels != 1 && channels != 3)
        png_error(png, "unsupported PNG colour layout");
    if (static_cast<long long>(png_get_image_width(png, info)) * height * channels > kMaxImageBytes)
        png_error(png, "the PNG is too large");
    reading.width = png_get_image_width(png, info);
    reading.height = height;
    reading.channels = channels;
    return true;
}

bool FinishPng(PngReading& reading, png_bytep* rows)
{
    if (setjmp(png_jmpbuf(reading.png)))
        return false;
    png_read_image(reading.png, rows);
    return true;
}

bool ReadPng(std::FILE* file, long long fileLength, GreyImage& image, std::string& reason)
{
    PngReading reading;
    bool ok = StartPng(reading, file, fileLength);
    std::vector<png_bytep> rows;
    if (ok)
    {
        const std::size_t rowBytes = std::size_t(reading.width) * std::size_t(reading.channels);
        image.width = static_cast<int>(reading.width);
        image.height = static_cast<int>(reading.height);
        image.pixels.resize(rowBytes * reading.height);
        for (png_uint_32 y = 0; y < reading.height; ++y)
            rows.push_back(image.pixels.data() + std::size_t(y) * rowBytes);
        ok = FinishPng(reading, rows.data());
    }
    if (!ok)
    {
        reason = reading.error.text;
        return false;
    }
    if (reading.channels == 3)
    {
        // In place: grey pixel i is written after colour pixel i has been read.
        const std::size_t count = std::size_t(reading.width) * reading.height;
        std::uint8_t* p = image.pixels.data();
        for (std::size_t i = 0; i < count; ++i)
            p[i] = Luma(p[3 * i], p[3 * i + 1], p[3 * i + 2]);
        image.pixels.resize(count);
        image.pixels.shrink_to_fit();
    }
    return true;
}

bool LoadPngGrey(const std::string& path, GreyImage& image, std::string& reason)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
    {
        reason = "cannot open the file";
        return false;
    }
    struct stat status
    {
    };
    const long long fileLength = ::fstat(::fileno(file), &status) == 0 ? status.st_size : 0;
    const bool ok = ReadPng(file, fileLength, image, reason);
    std::fclose(file);
    return ok;
}

} // namespace

bool LoadGreyImage(const std::string& path, GreyImage& image, std::string& error)
{
    image = GreyImage{};
    std::string reason;
    unsigned char magic[8] = {};
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
    {
        error = "cannot open " + path;
        return false;
    }
    const std::size_t got = std::fread(magic, 1, sizeof magic, file);
    std::fclose(file);
    bool ok = false;
    if (got >= 2 && magic[0] == 'B' && magic[1] == 'M')
        ok = LoadBmpGrey(path, image, reason);
    else if (got == sizeof magic && png_sig_cmp(magic, 0, sizeof magic) == 0)
        ok = LoadPngGrey(path, image, reason);
    else
        reason = "not a BMP or PNG image";
    if (!ok)
    {
        image = GreyImage{};
        error = path + ": " + reason;
    }
    return ok;
}

bool SavePng(const std::string& path, const std::uint8_t* pixels, int width, int height, int channels)
{
    if (pixels == nullptr || (channels != 1 && channels != 3))
        return false;
    NullProgress progress;
    return WritePng8(path, pixels, width, height, channels, progress);
}
