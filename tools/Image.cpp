#include "tools/Image.h"

#include "base/AtomicFile.h"
#include "base/JobFiles.h"
#include "support/Bitmap.h"
#include "tools/PngReader.h"
#include "tools/PngWriter.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

namespace
{
constexpr long long kMaxImageBytes = 1LL << 32;

Status LoadBmpGrey(const std::string& path, GreyImage& image)
{
    BmpReader reader;
    if (Status opened = reader.open(path.c_str()); !opened)
        return opened;
    image.width = reader.width();
    image.height = reader.height();
    image.pixels.assign(std::size_t(image.width) * std::size_t(image.height), 0);
    std::vector<std::uint8_t> bgr(std::size_t(image.width) * 3);
    for (int i = 0; i < image.height; ++i)
    {
        int imageRow = 0;
        if (!reader.readRow(bgr.data(), imageRow))
            return {StatusCode::invalidInput, "the BMP file is truncated"};
        std::uint8_t* out = image.pixels.data() + std::size_t(imageRow) * std::size_t(image.width);
        for (int x = 0; x < image.width; ++x)
            out[x] = Luma(bgr[3 * x + 2], bgr[3 * x + 1], bgr[3 * x]);
    }
    return Ok();
}

Status ReadPng(std::FILE* file, long long fileLength, GreyImage& image)
{
    PngReader reader(file, fileLength);
    if (Status header = reader.ReadHeader(); !header)
        return header;
    if (reader.ClaimsMoreThanFileHolds())
        return {StatusCode::invalidInput, "the PNG claims a size its file cannot hold"};
    if (Status prepared = reader.Prepare(PngRows::EightBit); !prepared)
        return prepared;
    const int channels = reader.Channels();
    if (channels != 1 && channels != 3)
        return {StatusCode::invalidInput, "unsupported PNG colour layout"};
    const std::size_t width = reader.Width();
    const std::size_t height = reader.Height();
    if (static_cast<long long>(width * height) * channels > kMaxImageBytes)
        return {StatusCode::tooLarge, "the PNG is too large"};
    const std::size_t rowBytes = width * std::size_t(channels);
    image.width = static_cast<int>(width);
    image.height = static_cast<int>(height);
    image.pixels.resize(rowBytes * height);
    std::vector<png_bytep> rows;
    for (std::size_t y = 0; y < height; ++y)
        rows.push_back(image.pixels.data() + y * rowBytes);
    if (Status read = reader.ReadRows(rows.data()); !read)
        return read;
    if (channels == 3)
    {
        // In place: grey pixel i is written after colour pixel i has been read.
        const std::size_t count = width * height;
        std::uint8_t* p = image.pixels.data();
        for (std::size_t i = 0; i < count; ++i)
            p[i] = Luma(p[3 * i], p[3 * i + 1], p[3 * i + 2]);
        image.pixels.resize(count);
        image.pixels.shrink_to_fit();
    }
    return Ok();
}

Status LoadPngGrey(const std::string& path, GreyImage& image)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return {StatusCode::cannotOpen, std::string("cannot open the file: ") + std::strerror(errno)};
    struct stat status
    {
    };
    const long long fileLength = ::fstat(::fileno(file), &status) == 0 ? status.st_size : 0;
    Status read = ReadPng(file, fileLength, image);
    std::fclose(file);
    return read;
}

} // namespace

Status LoadGreyImage(const std::string& path, GreyImage& image)
{
    image = GreyImage{};
    unsigned char magic[8] = {};
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return {StatusCode::cannotOpen, InputFailure(path)};
    const std::size_t got = std::fread(magic, 1, sizeof magic, file);
    std::fclose(file);
    Status loaded;
    if (got >= 2 && magic[0] == 'B' && magic[1] == 'M')
        loaded = LoadBmpGrey(path, image);
    else if (got == sizeof magic && png_sig_cmp(magic, 0, sizeof magic) == 0)
        loaded = LoadPngGrey(path, image);
    else
        loaded = {StatusCode::invalidInput, "not a BMP or PNG image"};
    if (!loaded)
    {
        image = GreyImage{};
        loaded.message = path + ": " + loaded.message;
    }
    return loaded;
}

bool SavePng(const std::string& path, const std::uint8_t* pixels, int width, int height, int channels)
{
    if (pixels == nullptr || (channels != 1 && channels != 3))
        return false;
    NullProgress progress;
    return WritePng8(path, pixels, width, height, channels, progress);
}
