#pragma once
// What the PNG readers share: libpng's error text kept for the message, and the bound on how
// many pixel bytes a file of a given length can hold.
#include <cstdio>
#include <png.h>

// Deflate expands at most about 1032 : 1; a PNG claiming more pixel bytes than its file could
// hold is refused before anything is allocated.
inline constexpr long long kMaxPngInflateRatio = 1032;

struct PngErrorText
{
    char text[200] = "corrupt PNG data";
};

// libpng's error handler: keeps the reason (when the error pointer is a PngErrorText) and
// jumps back to the reader's setjmp.
inline void OnPngError(png_structp png, png_const_charp message)
{
    auto* error = static_cast<PngErrorText*>(png_get_error_ptr(png));
    if (error != nullptr && message != nullptr)
        std::snprintf(error->text, sizeof error->text, "%s", message);
    png_longjmp(png, 1);
}

// Warnings (unknown chunks, gamma oddities) do not stop a read and are not shown.
inline void OnPngWarning(png_structp, png_const_charp) {}
