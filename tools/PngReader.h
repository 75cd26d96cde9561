#pragma once
// The one PNG reader under the image loaders. libpng reports errors with a long jump, so every
// call that can fail runs inside a function of this class that holds no C++ object the jump could
// skip; the callers build their messages between the calls, from plain values.
#include "base/Status.h"

#include <cstdint>
#include <cstdio>
#include <string>

#include <png.h>

// How the rows come out of ReadRows.
enum class PngRows
{
    // 8 bits per sample, grey or red-green-blue: 16-bit samples scaled down, palettes expanded,
    // grey of 1, 2 or 4 bits widened, alpha dropped.
    EightBit,
    // The samples as stored, 16-bit ones in the machine's (little-endian) order.
    AsStored,
};

class PngReader
{
public:
    // The file stays the caller's; its length bounds how much the PNG may claim to hold.
    PngReader(std::FILE* file, long long fileLength);
    ~PngReader();
    PngReader(const PngReader&) = delete;
    PngReader& operator=(const PngReader&) = delete;

    // Each call that can fail answers invalidInput with libpng's reason (no path), or tooLarge
    // when the reader could not be made.
    Status ReadHeader();

    std::uint32_t Width() const;
    std::uint32_t Height() const;
    int ColourType() const;
    int BitDepth() const;

    // Deflate expands at most about 1032 : 1; a PNG claiming more pixel bytes than its file
    // could hold is refused before anything is allocated.
    bool ClaimsMoreThanFileHolds() const;

    // Sets the conversion; Channels() tells the samples per pixel that the rows then have.
    Status Prepare(PngRows rows);
    int Channels() const;

    // Reads the whole image into the rows (Height() pointers, each to a full row).
    Status ReadRows(png_bytep* rows);

private:
    Status Failed() const;

    struct ErrorText
    {
        char text[200] = "corrupt PNG data";
    };

    static void OnError(png_structp png, png_const_charp message);
    static void OnWarning(png_structp, png_const_charp) {}

    std::FILE* file_;
    long long fileLength_;
    png_structp png_ = nullptr;
    png_infop info_ = nullptr;
    ErrorText error_;
};

// True when the file starts with the PNG signature.
bool HasPngSignature(const std::string& path);
