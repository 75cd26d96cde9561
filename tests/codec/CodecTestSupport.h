#pragma once
// Helpers shared by the codec tests: an independent token-level reading of a stream, and the
// straightforward encoder that the fast one must match bit for bit.
#include "codec/EncoderFELICS.h"

#include <cstdint>
#include <vector>

struct Token
{
    int sign = 0;
    std::uint32_t magnitude = 0;
    int runFlag = 0;
    std::uint32_t run = 0;
    bool operator==(const Token&) const = default;
};

struct ParsedStream
{
    std::uint32_t count = 0;
    std::vector<Token> tokens;
    bool ok = false; // every read stayed inside the code
};

// Reads the tokens of one stream with the bit coder's primitives, counting covered samples.
inline ParsedStream ParseStream(const std::uint8_t* code, std::size_t length)
{
    ParsedStream parsed;
    CCoder reader;
    reader.open(const_cast<std::uint8_t*>(code), static_cast<long>(length));
    unsigned long value = 0;
    reader.read(&value, 5);
    parsed.count = static_cast<std::uint32_t>(value);
    std::uint64_t covered = 0;
    while (covered < parsed.count && !reader.failed())
    {
        Token token;
        token.sign = reader.readBit() ? 1 : 0;
        reader.read(&value, 4);
        token.magnitude = static_cast<std::uint32_t>(value);
        token.runFlag = reader.readBit() ? 1 : 0;
        covered += 1;
        if (token.runFlag != 0)
        {
            reader.read(&value, 3);
            token.run = static_cast<std::uint32_t>(value);
            covered += token.run + 1;
        }
        parsed.tokens.push_back(token);
    }
    parsed.ok = !reader.failed();
    return parsed;
}

// The encoding written out step by step with one coder call per field.
inline std::vector<std::uint8_t> ReferenceEncode(const std::vector<std::uint16_t>& samples)
{
    CCoder coder;
    coder.open(nullptr, 0);
    const unsigned long count = samples.size();
    coder.write(&count, 5);
    std::uint32_t prev = 0;
    std::size_t i = 0;
    while (i < samples.size())
    {
        const std::uint32_t v = samples[i];
        const std::uint32_t up = (v - prev) % 65536u;
        const std::uint32_t down = (prev - v) % 65536u;
        const bool sign = down < up;
        const unsigned long magnitude = sign ? down : up;
        coder.writeBit(sign);
        coder.write(&magnitude, 4);
        prev = v;
        std::size_t j = i + 1;
        while (j < samples.size() && samples[j] == v)
            ++j;
        const std::size_t run = j - i;
        if (run > 1)
        {
            const unsigned long r = run - 2 > 255 ? 255 : run - 2;
            coder.writeBit(true);
            coder.write(&r, 3);
            i += r + 2;
        }
        else
        {
            coder.writeBit(false);
            i += 1;
        }
    }
    coder.close();
    return {coder.data(), coder.data() + coder.size()};
}

inline std::vector<std::uint8_t> FastEncode(const std::vector<std::uint16_t>& samples)
{
    CEncoderFELICS<unsigned short, unsigned long> encoder;
    encoder.open(nullptr, 0);
    encoder.encode(samples.data(), samples.size());
    encoder.close();
    return {encoder.data(), encoder.data() + encoder.size()};
}
