// The image readers on arbitrary bytes: LoadBitmap24 (lever bitmaps) and LoadGreyImage (BMP or
// PNG, the water-mask encoder's input). An accepted image must be whole: the record's sizes agree
// and every pixel can be read.
#include "FuzzSupport.h"
#include "support/Bitmap.h"
#include "tools/Image.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string path = fuzz::WriteTempFile("input.img", data, size);
    unsigned checksum = 0;

    BITMAP_ bitmap;
    if (LoadBitmap24(&bitmap, path.c_str()))
    {
        if (bitmap.data == nullptr || bitmap.info == nullptr || bitmap.width <= 0 || bitmap.height <= 0 ||
            bitmap.bytesPerRow < bitmap.width * 3 || bitmap.bytesPerRow % 4 != 0 ||
            static_cast<long long>(bitmap.dataSize) != static_cast<long long>(bitmap.bytesPerRow) * bitmap.height)
            __builtin_trap();
        for (int i = 0; i < bitmap.dataSize; ++i)
            checksum += bitmap.data[i];
        FreeBitmap(&bitmap);
    }
    else if (bitmap.data != nullptr || bitmap.info != nullptr || bitmap.width != 0)
        __builtin_trap(); // a refused file leaves an empty record

    GreyImage image;
    if (const Status loaded = LoadGreyImage(path, image); loaded.ok())
    {
        if (image.width <= 0 || image.height <= 0 ||
            image.pixels.size() != std::size_t(image.width) * std::size_t(image.height))
            __builtin_trap();
        for (const std::uint8_t pixel : image.pixels)
            checksum += pixel;
    }
    else if (loaded.message.empty() || !image.pixels.empty())
        __builtin_trap(); // a refusal says why and leaves no image
    return checksum == 0xFFFFFFFFu ? 1 : 0;
}
