#pragma once
// The byte orders of the files Altimo reads and writes, whatever the machine's own: RAW maps,
// DAT and BMP headers are little-endian, PNG chunks big-endian.
#include <bit>
#include <cstddef>
#include <cstdint>

inline std::uint16_t ReadLe16(const std::uint8_t* p)
{
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

inline std::uint32_t ReadLe32(const std::uint8_t* p)
{
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[3]) << 24);
}

inline void WriteLe16(std::uint8_t* p, std::uint32_t value)
{
    p[0] = static_cast<std::uint8_t>(value);
    p[1] = static_cast<std::uint8_t>(value >> 8);
}

inline void WriteLe32(std::uint8_t* p, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

inline void WriteBe32(std::uint8_t* p, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
}

inline std::uint16_t SwapBytes16(std::uint16_t value)
{
    return static_cast<std::uint16_t>(value << 8 | value >> 8);
}

// Turns samples between a file's byte order and the machine's (the same swap both ways).
inline void SamplesToHostOrder(std::uint16_t* samples, std::size_t count, bool bigEndianFile)
{
    if ((std::endian::native == std::endian::big) != bigEndianFile)
        for (std::size_t i = 0; i < count; ++i)
            samples[i] = SwapBytes16(samples[i]);
}

// The same for the little-endian RAW maps and height samples Altimo writes.
inline void LittleEndianSamples(std::uint16_t* samples, std::size_t count)
{
    SamplesToHostOrder(samples, count, false);
}
