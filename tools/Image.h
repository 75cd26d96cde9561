#pragma once
// Grey images for the tools around the core formats: reading a BMP or PNG as 8-bit grey (the
// water-mask encoder's input) and writing PNG pictures (previews).
#include "base/Status.h"

#include <cstdint>
#include <string>
#include <vector>

// An 8-bit grey image, row-major, row 0 the top row.
struct GreyImage
{
    std::vector<std::uint8_t> pixels;
    int width = 0;
    int height = 0;
};

// Reads a BMP (any depth LoadBitmap24 reads) or a PNG (any colour type and depth; 16-bit
// samples are scaled to 8 bits, transparency is ignored). Colour pixels become their luma
// (299 R + 587 G + 114 B + 500) / 1000, so grey pixels keep their value. A failure's message
// names the path and the reason (cannotOpen, invalidInput, tooLarge); `image` is then empty.
Status LoadGreyImage(const std::string& path, GreyImage& image);

// The luma that LoadGreyImage gives a colour pixel.
inline std::uint8_t Luma(unsigned red, unsigned green, unsigned blue)
{
    return static_cast<std::uint8_t>((299 * red + 587 * green + 114 * blue + 500) / 1000);
}

// Writes 8-bit pixels as a PNG atomically: channels 1 (grey) or 3 (red, green, blue per pixel),
// rows top first without padding. False when the file could not be written (any older file of
// that name is left as it was) or the arguments are invalid.
bool SavePng(const std::string& path, const std::uint8_t* pixels, int width, int height, int channels);
