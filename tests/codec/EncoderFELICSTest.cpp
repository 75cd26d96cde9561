#include "codec/CodecTestSupport.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <random>

namespace
{

using Encoder = CEncoderFELICS<unsigned short, unsigned long>;

ParsedStream Tokens(const std::vector<std::uint16_t>& samples)
{
    const std::vector<std::uint8_t> code = FastEncode(samples);
    return ParseStream(code.data(), code.size());
}

// Decodes `code` from a copy followed by sentinel bytes; reports how far the reader went.
std::vector<std::uint16_t> Decode(const std::vector<std::uint8_t>& code, unsigned long capacity, bool& failed,
                                  std::size_t& bitsRead)
{
    std::vector<std::uint8_t> buffer(code);
    buffer.insert(buffer.end(), 16, 0xA5);
    std::vector<std::uint16_t> out(capacity + 1, 0xBEEF);
    Encoder decoder;
    decoder.open(buffer.data(), static_cast<long>(code.size()));
    const unsigned long n = decoder.decode(out.data(), capacity);
    EXPECT_EQ(out[capacity], 0xBEEF) << "decode wrote past its capacity";
    failed = decoder.failed();
    bitsRead = decoder.bitPosition();
    out.resize(n);
    return out;
}

void ExpectRoundTrip(const std::vector<std::uint16_t>& samples, const char* what)
{
    const std::vector<std::uint8_t> code = FastEncode(samples);
    EXPECT_LE(code.size(), EncodedSizeBound(samples.size())) << what;
    bool failed = true;
    std::size_t bitsRead = 0;
    EXPECT_EQ(Decode(code, samples.size(), failed, bitsRead), samples) << what;
    EXPECT_FALSE(failed) << what;
    EXPECT_LE(bitsRead, code.size() * 8) << what;
    EXPECT_GT(bitsRead + 8, code.size() * 8) << what << ": the code ends in its last byte";
}

// What a decode of one code gave.
struct Decoded
{
    std::vector<std::uint8_t> code;
    unsigned long capacity = 0;
    std::vector<std::uint16_t> samples;
    bool failed = false;
};

// Decodes two codes side by side, as the height-file reader does, and expects of each what it
// gave alone: samples, count, failure, nothing written past its capacity.
void ExpectPairDecodesAsAlone(const Decoded& a, const Decoded& b)
{
    std::vector<std::uint8_t> bufferA(a.code), bufferB(b.code);
    bufferA.insert(bufferA.end(), 16, 0xA5);
    bufferB.insert(bufferB.end(), 16, 0xA5);
    std::vector<std::uint16_t> outA(a.capacity + 1, 0xBEEF), outB(b.capacity + 1, 0xBEEF);
    Encoder coderA, coderB;
    coderA.open(bufferA.data(), static_cast<long>(a.code.size()));
    coderB.open(bufferB.data(), static_cast<long>(b.code.size()));
    unsigned long producedA = 0, producedB = 0;
    Encoder::decodePair(coderA, outA.data(), a.capacity, producedA, coderB, outB.data(), b.capacity, producedB);
    EXPECT_EQ(outA[a.capacity], 0xBEEF);
    EXPECT_EQ(outB[b.capacity], 0xBEEF);
    outA.resize(producedA);
    outB.resize(producedB);
    EXPECT_EQ(outA, a.samples);
    EXPECT_EQ(outB, b.samples);
    EXPECT_EQ(coderA.failed(), a.failed);
    EXPECT_EQ(coderB.failed(), b.failed);
}

// The step-by-step reading: four coder calls per token, as the grammar is written. The oracle
// of the decoder's table and bit-cache shortcuts.
std::vector<std::uint16_t> StepByStepDecode(const std::vector<std::uint8_t>& code, unsigned long capacity, bool& failed)
{
    CCoder reader;
    reader.open(const_cast<std::uint8_t*>(code.data()), static_cast<long>(code.size()));
    unsigned long n = 0;
    reader.read(&n, 5);
    n = std::min(n, capacity);
    std::vector<std::uint16_t> out;
    std::uint32_t prev = 0;
    while (out.size() < n)
    {
        const bool sign = reader.readBit();
        unsigned long magnitude = 0;
        reader.read(&magnitude, 4);
        prev = (sign ? prev - std::uint32_t(magnitude) : prev + std::uint32_t(magnitude)) & 0xFFFFu;
        out.push_back(static_cast<std::uint16_t>(prev));
        if (reader.readBit())
        {
            unsigned long run = 0;
            reader.read(&run, 3);
            for (unsigned long k = 0; k <= run && out.size() < n; ++k)
                out.push_back(static_cast<std::uint16_t>(prev));
        }
    }
    failed = reader.failed();
    return out;
}

} // namespace

namespace
{
// Samples and the tokens (sign, magnitude, run flag, run) they are coded as.
struct TokenExample
{
    const char* name;
    std::vector<std::uint16_t> samples;
    std::vector<Token> tokens;
};

const TokenExample kTokenExamples[] = {
    {"ARunThenAStep", {100, 100, 100, 101}, {{0, 100, 1, 1}, {0, 1, 0, 0}}},
    {"ADescent", {10, 5}, {{0, 10, 0, 0}, {1, 5, 0, 0}}},
    // The short way round the 16-bit circle, and sign 0 at the tie.
    {"TheShortWayRound", {0, 65535}, {{0, 0, 0, 0}, {1, 1, 0, 0}}},
    {"HalfWayRoundUp", {0, 32768}, {{0, 0, 0, 0}, {0, 32768, 0, 0}}},
    {"HalfWayRoundDown", {40000, 7232}, {{1, 25536, 0, 0}, {0, 32768, 0, 0}}}, // 7232 - 40000 = -32768
};

using TokensOf = testing::TestWithParam<TokenExample>;
} // namespace

TEST_P(TokensOf, Example)
{
    const ParsedStream s = Tokens(GetParam().samples);
    EXPECT_EQ(s.count, GetParam().samples.size());
    EXPECT_EQ(s.tokens, GetParam().tokens);
    EXPECT_TRUE(s.ok);
}

INSTANTIATE_TEST_SUITE_P(EncoderFELICS, TokensOf, testing::ValuesIn(kTokenExamples),
                         [](const auto& row) { return std::string(row.param.name); });

// An empty stream holds only the count: order 5 code of 0 is "100000".
TEST(EncoderFELICS, AnEmptyStreamHoldsOnlyTheCount)
{
    EXPECT_EQ(FastEncode({}), std::vector<std::uint8_t>{0x80});
}

TEST(EncoderFELICS, RunIsSplitAt257)
{
    const ParsedStream s = Tokens(std::vector<std::uint16_t>(4096, 7));
    EXPECT_EQ(s.count, 4096u);
    ASSERT_EQ(s.tokens.size(), 16u);
    EXPECT_EQ(s.tokens[0], (Token{0, 7, 1, 255}));
    for (std::size_t i = 1; i < 15; ++i)
        EXPECT_EQ(s.tokens[i], (Token{0, 0, 1, 255})) << i;
    EXPECT_EQ(s.tokens[15], (Token{0, 0, 1, 239}));

    // Runs of exactly 2, 257 and 258 samples.
    EXPECT_EQ(Tokens({3, 3}).tokens, (std::vector<Token>{{0, 3, 1, 0}}));
    EXPECT_EQ(Tokens(std::vector<std::uint16_t>(257, 9)).tokens, (std::vector<Token>{{0, 9, 1, 255}}));
    EXPECT_EQ(Tokens(std::vector<std::uint16_t>(258, 9)).tokens, (std::vector<Token>{{0, 9, 1, 255}, {0, 0, 0, 0}}));
}

TEST(EncoderFELICS, AdversarialTilesRoundTripWithinTheBound)
{
    std::mt19937 random(5);
    std::vector<std::uint16_t> noise(4096), constant(4096, 65535), alternating(4096), worst(4096);
    for (std::size_t i = 0; i < 4096; ++i)
    {
        noise[i] = static_cast<std::uint16_t>(random());
        alternating[i] = i % 2 ? 65535 : 0;
        worst[i] = i % 2 ? 0 : 32768;
    }
    ExpectRoundTrip(noise, "noise");
    ExpectRoundTrip(constant, "constant");
    ExpectRoundTrip(alternating, "alternating 0/65535");
    ExpectRoundTrip(worst, "alternating 32768/0");

    EXPECT_EQ(EncodedSizeBound(4096), 14851u);
    EXPECT_EQ(FastEncode(worst).size(), 14851u); // the bound is reached, so it is tight
    EXPECT_GT(FastEncode(noise).size(), 8192u);  // more than a raw tile: the writer must not cut it
}

TEST(EncoderFELICS, FastCodingMatchesStepByStepCodingOnDamagedTerrain)
{
    // Terrain-like tiles (small steps, short and long runs, now and then a jump) exercise every
    // token form the encoder's blocks and the table take and the ones left to the bit-cache reads; flipped bits,
    // cuts and plain garbage (some with long zero runs) then make the streams end, or overrun
    // their count, anywhere. Each stream is decoded once more beside the one before it.
    std::mt19937 random(29);
    Decoded last; // the trial before, decoded beside this one
    for (int trial = 0; trial < 1600; ++trial)
    {
        std::vector<std::uint16_t> samples(1 + random() % 4096);
        std::uint32_t value = random();
        const std::uint32_t step = 1u << (random() % 9);
        for (std::size_t i = 0; i < samples.size(); ++i)
        {
            const unsigned roll = random() % 100;
            if (roll < 8)
                value = random();
            else if (roll < 60)
                value += random() % (2 * step + 1) - step;
            // The first 100 trials end in runs of 8, the longest a table token covers, so that
            // groups of them reach the capacity exactly with more of the stream to follow.
            if (trial < 100 && samples.size() - i <= std::size_t(96 + 8 * (trial % 4)))
                value = std::uint32_t((samples.size() - i - 1) / 8);
            samples[i] = static_cast<std::uint16_t>(value);
        }
        std::vector<std::uint8_t> code = FastEncode(samples);
        // The encoder makes tokens in blocks and runs that cross them; its bytes must be those
        // of the step-by-step encoding for every length and run position.
        ASSERT_EQ(code, ReferenceEncode(samples)) << trial;
        const unsigned damage = trial < 100 ? 0 : random() % 5;
        if (damage == 1)
            code[random() % code.size()] ^= static_cast<std::uint8_t>(1u << (random() % 8));
        else if (damage == 2)
            code.resize(random() % code.size());
        else if (damage == 3)
            for (int flips = 0; flips < 20; ++flips)
                code[random() % code.size()] ^= static_cast<std::uint8_t>(random());
        else if (damage == 4)
            for (auto& byte : code)
                byte = static_cast<std::uint8_t>(trial % 2 ? random() : random() & random());
        unsigned long capacity = trial % 5 == 0 ? random() % samples.size() : samples.size();
        if (trial < 100)
            capacity = samples.size() - std::min<std::size_t>(samples.size(), 8 * (1 + trial / 4 % 8));
        bool failedFast = false, failedReference = false;
        std::size_t bitsRead = 0;
        const std::vector<std::uint16_t> fast = Decode(code, capacity, failedFast, bitsRead);
        ASSERT_EQ(fast, StepByStepDecode(code, capacity, failedReference)) << trial;
        ASSERT_EQ(failedFast, failedReference) << trial;
        Decoded alone{code, capacity, fast, failedFast};
        if (trial > 0)
            ExpectPairDecodesAsAlone(alone, last);
        last = std::move(alone);
        if (damage == 0)
        {
            ASSERT_EQ(fast, std::vector<std::uint16_t>(samples.begin(), samples.begin() + long(capacity))) << trial;
        }
    }
}
