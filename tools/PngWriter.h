#pragma once
// A PNG writer for large pictures and 16-bit height images, compressed on every core.
//
// The image is cut into bands of rows; each band is filtered (the adaptive choice per row that
// libpng also makes: the filter with the smallest sum of absolute byte values) and deflated
// (run-length matches only) on its own, ending on a byte boundary with a sync flush, and the bands' codes are joined into
// one zlib stream with the combined Adler-32. Any PNG reader decodes the result; the bytes do
// not depend on the number of threads. Written atomically (support/AtomicFile.h).
#include "base/Sinks.h"

#include <cstdint>
#include <string>

// 8-bit pixels, rows top first without padding: channels 1 (grey), 3 (red, green, blue) or
// 4 (with alpha). False when the arguments are invalid or the file could not be written; an
// older file of that name is then left as it was. Progress rises from the sink's position by
// `progressSpan` as bands are written; the sink is only called from the calling thread.
bool WritePng8(const std::string& path, const std::uint8_t* pixels, int width, int height, int channels,
               IProgressSink& progress, int progressSpan = 0, unsigned threads = 0);

// One 16-bit grey sample per pixel (native byte order in memory, big-endian in the file as
// PNG stores it), rows top first.
bool WritePngGrey16(const std::string& path, const std::uint16_t* samples, int width, int height,
                    IProgressSink& progress, int progressSpan = 0, unsigned threads = 0);
