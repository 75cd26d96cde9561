#include "support/Coder.h"

#include <gtest/gtest.h>
#include <string>

namespace
{

std::string Bits(const CCoder& coder, std::size_t count)
{
    std::string bits;
    for (std::size_t i = 0; i < count; ++i)
        bits += ((coder.data()[i / 8] >> (7 - i % 8)) & 1) ? '1' : '0';
    return bits;
}

std::string Encode(std::uint32_t value, int n)
{
    CCoder coder;
    coder.open(nullptr, 0);
    const unsigned long v = value;
    coder.write(&v, static_cast<char>(n));
    coder.close();
    const std::uint64_t m = std::uint64_t(value) + (std::uint64_t(1) << n);
    const int b = 64 - __builtin_clzll(m);
    return Bits(coder, static_cast<std::size_t>(2 * b - n - 1));
}

} // namespace

TEST(Coder, ExpGolombCodesMatchTheDefinition)
{
    EXPECT_EQ(Encode(0, 0), "1");
    EXPECT_EQ(Encode(1, 0), "010");
    EXPECT_EQ(Encode(2, 0), "011");
    EXPECT_EQ(Encode(3, 0), "00100");
    EXPECT_EQ(Encode(0, 4), "10000");
    EXPECT_EQ(Encode(15, 4), "11111");
    EXPECT_EQ(Encode(16, 4), "0100000");
    EXPECT_EQ(Encode(100, 4), "001110100"); // m = 116 = 1110100b, b = 7
    EXPECT_EQ(Encode(4096, 5), std::string(7, '0') + "1000000100000");
}

TEST(Coder, GetDataCopiesTheCodeAndNothingPastIt)
{
    CCoder coder;
    coder.open(nullptr, 0);
    coder.writeBit(true);
    coder.writeBit(false);
    coder.writeBit(true);
    coder.close();
    unsigned char out[4] = {0, 0, 0, 0x55};
    EXPECT_EQ(coder.getData(out, 3), 1);
    EXPECT_EQ(out[0], 0xA0);
    EXPECT_EQ(out[1], 0); // nothing past the code is touched
    EXPECT_EQ(out[3], 0x55);
}

TEST(Coder, TruncatedOrOverlongCodesFailWithoutReadingPastTheBuffer)
{
    CCoder coder;
    coder.open(nullptr, 0);
    const unsigned long big = 0xFFFFFFFFul;
    coder.write(&big, 0);
    coder.close();
    std::vector<std::uint8_t> bytes(coder.data(), coder.data() + coder.size());
    for (std::size_t cut = 0; cut < bytes.size(); ++cut)
    {
        std::vector<std::uint8_t> prefix(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(cut));
        CCoder reader;
        reader.open(prefix.data(), static_cast<long>(prefix.size()));
        unsigned long v = 0;
        EXPECT_FALSE(reader.read(&v, 0)) << cut;
        EXPECT_TRUE(reader.failed());
    }

    std::vector<std::uint8_t> zeros(16, 0); // more than 32 leading zeros: no valid 32-bit value
    CCoder reader;
    reader.open(zeros.data(), static_cast<long>(zeros.size()));
    unsigned long v = 1;
    EXPECT_FALSE(reader.read(&v, 4));
    EXPECT_EQ(v, 0u);
    CCoder empty;
    empty.open(zeros.data(), 0);
    EXPECT_FALSE(empty.readBit());
    EXPECT_TRUE(empty.failed());
}

namespace
{
// The bytes of a string of '0' and '1', zero-padded to whole bytes.
std::vector<std::uint8_t> BytesOf(const std::string& bits)
{
    std::vector<std::uint8_t> bytes((bits.size() + 7) / 8, 0);
    for (std::size_t i = 0; i < bits.size(); ++i)
        if (bits[i] == '1')
            bytes[i / 8] = static_cast<std::uint8_t>(bytes[i / 8] | (0x80u >> (i % 8)));
    return bytes;
}
} // namespace

TEST(Coder, ThirtyThreeBitCodesAreReadOnlyWhenTheValueFits)
{
    // For order n, 32 - n zeros announce a 33-bit m; value = m - 2^n fits 32 bits only up to
    // m = 2^32 + 2^n - 1. One more must fail, not come back cut to its low 32 bits.
    for (int n : {0, 4, 5})
    {
        const std::string zeros(static_cast<std::size_t>(32 - n), '0');
        const std::uint64_t largest = (std::uint64_t(1) << 32) + (std::uint64_t(1) << n) - 1;
        for (const std::uint64_t m : {largest, largest + 1, (std::uint64_t(1) << 33) - 1})
        {
            std::string bits = zeros;
            for (int b = 32; b >= 0; --b)
                bits += ((m >> b) & 1) != 0 ? '1' : '0';
            const std::vector<std::uint8_t> bytes = BytesOf(bits + "1");
            CCoder reader;
            reader.open(const_cast<std::uint8_t*>(bytes.data()), static_cast<long>(bytes.size()));
            unsigned long value = 7;
            const bool fits = m == largest;
            EXPECT_EQ(reader.read(&value, static_cast<char>(n)), fits) << n << " " << m;
            EXPECT_EQ(value, fits ? 0xFFFFFFFFul : 0ul) << n << " " << m;
            EXPECT_EQ(reader.failed(), !fits);
            if (fits)
            {
                EXPECT_TRUE(reader.readBit()) << "the bit after the code";
            }
        }
    }
}
