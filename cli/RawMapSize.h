#pragma once
// The size and byte order of a RAW 16-bit map when the command line does not give them: from an
// ENVI header beside it ("map.raw.hdr" or "map.hdr", the two names GDAL looks for), or else from
// a file size that only a square map has (2 n^2 bytes).
#include <string>

struct RawMapSize
{
    int width = 0;
    int height = 0;
    bool bigEndian = false;
    std::string source;  // how the size was found, for the summary
    std::string problem; // why it could not be found; the size is 0 then
};

RawMapSize FindRawMapSize(const std::string& rawPath, unsigned long long fileBytes);

// The side of the largest square map that fits in `bytes` (2 n^2 <= bytes).
unsigned long long SquareSideWithin(unsigned long long bytes);

// Whether the samples look byte-swapped: the sum of the differences between neighbours along
// the rows is compared for the samples as read and with their two bytes exchanged. A real
// terrain varies smoothly, so its differences are small; read in the wrong order, the low byte
// becomes the high one and every neighbour difference jumps by multiples of 256. When the
// swapped samples' sum is less than a tenth of the read ones', the order is probably wrong.
bool LooksByteSwapped(const unsigned short* samples, long long count, int width);
