#include "tools/PngReader.h"

#include <csetjmp>
#include <cstring>

namespace
{
constexpr long long kMaxPngInflateRatio = 1032;
}

PngReader::PngReader(std::FILE* file, long long fileLength) : file_(file), fileLength_(fileLength)
{
    png_ = png_create_read_struct(PNG_LIBPNG_VER_STRING, &error_, OnError, OnWarning);
    if (png_ != nullptr)
        info_ = png_create_info_struct(png_);
}

PngReader::~PngReader()
{
    png_destroy_read_struct(&png_, &info_, nullptr);
}

void PngReader::OnError(png_structp png, png_const_charp message)
{
    auto* error = static_cast<ErrorText*>(png_get_error_ptr(png));
    if (error != nullptr && message != nullptr)
        std::snprintf(error->text, sizeof error->text, "%s", message);
    png_longjmp(png, 1);
}

Status PngReader::Failed() const
{
    if (info_ == nullptr)
        return {StatusCode::tooLarge, "not enough memory to read the PNG"};
    return {StatusCode::invalidInput, error_.text};
}

Status PngReader::ReadHeader()
{
    if (info_ == nullptr)
        return Failed();
    if (setjmp(png_jmpbuf(png_)))
        return Failed();
    png_init_io(png_, file_);
    png_set_user_limits(png_, 1u << 20, 1u << 20);
    png_read_info(png_, info_);
    return Ok();
}

std::uint32_t PngReader::Width() const
{
    return png_get_image_width(png_, info_);
}

std::uint32_t PngReader::Height() const
{
    return png_get_image_height(png_, info_);
}

int PngReader::ColourType() const
{
    return png_get_color_type(png_, info_);
}

int PngReader::BitDepth() const
{
    return png_get_bit_depth(png_, info_);
}

int PngReader::Channels() const
{
    return png_get_channels(png_, info_);
}

bool PngReader::ClaimsMoreThanFileHolds() const
{
    return static_cast<long long>(png_get_rowbytes(png_, info_)) * Height() > fileLength_ * kMaxPngInflateRatio;
}

Status PngReader::Prepare(PngRows rows)
{
    if (setjmp(png_jmpbuf(png_)))
        return Failed();
    const int colourType = png_get_color_type(png_, info_);
    const bool sixteen = png_get_bit_depth(png_, info_) == 16;
    if (rows == PngRows::AsStored)
    {
        if (sixteen)
            png_set_swap(png_); // PNG stores 16-bit samples big-endian
    }
    else
    {
        if (sixteen)
            png_set_scale_16(png_);
        if (colourType == PNG_COLOR_TYPE_PALETTE)
            png_set_palette_to_rgb(png_);
        if (colourType == PNG_COLOR_TYPE_GRAY)
            png_set_expand_gray_1_2_4_to_8(png_);
        if ((colourType & PNG_COLOR_MASK_ALPHA) != 0)
            png_set_strip_alpha(png_);
    }
    png_set_interlace_handling(png_);
    png_read_update_info(png_, info_);
    return Ok();
}

Status PngReader::ReadRows(png_bytep* rows)
{
    if (setjmp(png_jmpbuf(png_)))
        return Failed();
    png_read_image(png_, rows);
    png_read_end(png_, nullptr);
    return Ok();
}

bool HasPngSignature(const std::string& path)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return false;
    unsigned char magic[8] = {};
    const std::size_t got = std::fread(magic, 1, sizeof magic, file);
    std::fclose(file);
    return got == sizeof magic && png_sig_cmp(magic, 0, sizeof magic) == 0;
}
