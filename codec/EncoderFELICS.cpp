#include "codec/EncoderFELICS.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace
{

// How many of the samples after `at` (at most 8) equal `value`; 8 samples must follow it.
inline unsigned EqualAfter(const unsigned short* at, std::uint32_t value)
{
#if defined(__SSE2__)
    const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 1));
    const auto same = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(next, _mm_set1_epi16(static_cast<short>(value)))));
    return static_cast<unsigned>(std::countr_one(same)) / 2;
#else
    unsigned k = 0;
    while (k < 8 && at[k + 1] == value)
        ++k;
    return k;
#endif
}

} // namespace

template <typename T, typename U>
bool CEncoderFELICS<T, U>::encode(const T* samples, U count)
{
    assert(std::uint64_t(count) <= 0xFFFFFFFFu);
    this->writeCode(static_cast<std::uint32_t>(count), 5);
    BitWriter out = this->writer(EncodedSizeBound(count));
    std::uint32_t prev = 0;
    U i = 0;
    while (i < count)
    {
        const std::uint32_t value = samples[i];
        const std::uint32_t up = (value - prev) & 0xFFFFu;
        const std::uint32_t down = (prev - value) & 0xFFFFu;
        const std::uint32_t sign = down < up ? 1u : 0u;
        prev = value;

        // The run. Most samples of terrain differ from the next one: that test comes first, as
        // a branch, so that the position of the next token does not wait for the run's length.
        // A run's first eight samples are then compared at once. A token never covers more
        // than 257 samples, so the search stops there.
        U j = i + 1;
        if (j < count && samples[j] == value)
        {
            if (count - i > 8)
            {
                const unsigned same = EqualAfter(samples + i, value);
                j += same;
                if (same == 8)
                {
                    const U end = std::min<U>(count, i + 257);
                    while (j < end && samples[j] == value)
                        ++j;
                }
            }
            else
            {
                while (j < count && samples[j] == value)
                    ++j;
            }
        }
        const std::uint32_t runFlag = j - i > 1 ? 1u : 0u;

        // Sign, magnitude code, run flag and run value as one write: the magnitude's
        // Exp-Golomb code of order 4 is m = magnitude + 16 written in 2b - 5 bits (its leading
        // zeros included), so the token is at most 1 + 27 + 1 bits; the run value's code of
        // order 3, r + 8 in 2 rb - 4 bits, adds at most 14.
        const std::uint32_t m = (sign != 0 ? down : up) + 16u;
        const int b = std::bit_width(m);
        std::uint64_t bits = (sign << (2 * b - 4)) | (m << 1) | runFlag;
        int length = 2 * b - 3;
        const std::uint32_t r = static_cast<std::uint32_t>(j - i) + 6u; // run value + 8 when runFlag
        const int runLength = runFlag != 0 ? 2 * std::bit_width(r) - 4 : 0;
        bits = (bits << runLength) | (runFlag != 0 ? r : 0u);
        length += runLength;
        out.put(bits, length);
        i = j;
    }
    this->setWriter(out);
    return true;
}

namespace
{

// The longest token the fast path takes: 1 + (12 + 17) + 1 + (5 + 9) = 45 bits, which covers
// every magnitude up to 32768 and every run value up to 255. After a refill at least 56 bits
// are cached unless the code is within 8 bytes of its end.
constexpr int kLongestFastToken = 45;

// Tokens of at most kShortTokenBits bits, by their leading bits: a magnitude below 112 with no
// run or, for a magnitude below 16, a run of at most 7 copies (run value below 7). Entry: the
// token's length in bits 0..7, the copies of the value after it in bits 8..15, the difference
// the token adds to the previous value in bits 16..31; kLongToken for leading bits that start
// any other token. The length comes first so that the shift of the bit cache, on which the
// next token waits, takes the entry as it is loaded.
constexpr int kShortTokenBits = 12;
constexpr int kShortTokenMaxCopies = 7;
constexpr std::uint32_t kLongToken = 0;

constexpr std::array<std::uint32_t, 1u << kShortTokenBits> MakeShortTokens()
{
    std::array<std::uint32_t, 1u << kShortTokenBits> table{};
    // Bit `at` of the index counted from the top, and the number of zeros from there on.
    auto bit = [](std::uint32_t bits, int at) { return (bits >> (kShortTokenBits - 1 - at)) & 1u; };
    auto zerosFrom = [&](std::uint32_t bits, int at) {
        int zeros = 0;
        while (at + zeros < kShortTokenBits && bit(bits, at + zeros) == 0)
            ++zeros;
        return zeros;
    };
    auto field = [&](std::uint32_t bits, int at, int count) {
        std::uint32_t value = 0;
        for (int k = 0; k < count; ++k)
            value = value << 1 | bit(bits, at + k);
        return value;
    };
    for (std::uint32_t bits = 0; bits < table.size(); ++bits)
    {
        table[bits] = kLongToken;
        const int zeros = zerosFrom(bits, 1);
        int length = 2 * zeros + 7; // sign, magnitude code of order 4, run flag
        if (length > kShortTokenBits)
            continue;
        const std::uint32_t magnitude = field(bits, 1 + zeros, zeros + 5) - 16u;
        std::uint32_t copies = 0;
        if (bit(bits, length - 1) != 0)
        {
            // The run value's code of order 3 must fit too, in its shortest form.
            if (length + 4 > kShortTokenBits || bit(bits, length) == 0)
                continue;
            copies = field(bits, length + 1, 3) + 1;
            if (copies > kShortTokenMaxCopies)
                continue;
            length += 4;
        }
        const std::uint32_t delta = (bit(bits, 0) != 0 ? 0u - magnitude : magnitude) & 0xFFFFu;
        table[bits] = delta << 16 | copies << 8 | std::uint32_t(length);
    }
    return table;
}

constexpr auto kShortTokens = MakeShortTokens();

// Writes the low 16 bits of value to out[0..7].
inline void StoreEight(unsigned short* out, std::uint32_t value)
{
#if defined(__SSE2__)
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_set1_epi16(static_cast<short>(value)));
#else
    const std::uint64_t four = (value & 0xFFFFu) * 0x0001000100010001ull;
    std::memcpy(out, &four, 8);
    std::memcpy(out + 4, &four, 8);
#endif
}

// Reads one token from the cached bits alone, in one look: false (nothing consumed) when the
// cache might not hold all of it or its codes are longer than any a valid stream has.
inline bool ReadTokenFast(BitReader& in, std::uint32_t& delta, bool& runFlag, std::uint32_t& run)
{
    if (in.cachedBits() < kLongestFastToken)
        return false;
    const std::uint64_t bits = in.peekBits();
    const std::uint64_t afterSign = bits << 1;
    // The | 1 keeps the count defined when the bits are all zero (a count of 63 fails anyway).
    const int zeros = std::countl_zero(afterSign | 1);
    if (zeros > 12)
        return false;
    const int magnitudeBits = zeros + 5;
    int used = 2 * zeros + 6;
    const std::uint32_t magnitude = static_cast<std::uint32_t>((afterSign << zeros) >> (64 - magnitudeBits)) - 16u;
    const bool flag = ((bits << used) >> 63) != 0;
    ++used;
    std::uint32_t runValue = 0;
    if (flag)
    {
        const std::uint64_t atRun = bits << used;
        const int runZeros = std::countl_zero(atRun | 1);
        if (runZeros > 5)
            return false;
        const int runBits = runZeros + 4;
        runValue = static_cast<std::uint32_t>((atRun << runZeros) >> (64 - runBits)) - 8u;
        used += runZeros + runBits;
    }
    // Sign 1 subtracts: the two's complement of the magnitude, which the caller cuts to 16 bits.
    const std::uint32_t negate = 0u - static_cast<std::uint32_t>(bits >> 63);
    delta = (magnitude ^ negate) - negate;
    runFlag = flag;
    run = runValue;
    in.skipBits(used);
    return true;
}

// The same token read code by code, for the last bytes of a code and for anything the fast path
// declines; a read past the end leaves the reader failed.
inline void ReadTokenSlow(BitReader& in, std::uint32_t& delta, bool& runFlag, std::uint32_t& run)
{
    const bool sign = in.readBit();
    std::uint32_t magnitude = 0;
    in.readCode(magnitude, 4);
    delta = sign ? 0u - magnitude : magnitude;
    runFlag = in.readBit();
    run = 0;
    if (runFlag)
        in.readCode(run, 3);
}

// The state of one stream's decoding, kept in a local value so that its fields live in
// registers; step() does the work of one turn of the decoding loop.
template <typename T, typename U>
struct TokenStream
{
    BitReader in;
    T* out;
    U n;
    U i = 0;
    std::uint32_t prev = 0;

    // Up to four short tokens, or one token of any form; false once all n samples are out.
    [[gnu::always_inline]] inline bool step()
    {
        in.ensureBits();
        // Terrain is mostly short tokens: up to four of them by table from the 56 bits that a
        // refill guarantees, before anything that needs a closer look. Each writes its value
        // and the most copies a short token can have, so that the store does not depend on the
        // run; far enough from the end of `out`, the surplus is overwritten by what follows.
        constexpr U kGroupSpan = 4 * (1 + kShortTokenMaxCopies);
        if (in.cachedBits() >= 56 && n - i > kGroupSpan)
        {
            int k = 0;
            for (; k < 4; ++k)
            {
                const std::uint32_t entry = kShortTokens[in.peekBits() >> (64 - kShortTokenBits)];
                if (entry == kLongToken)
                    break;
                in.skipBits(static_cast<int>(entry & 0x3Fu));
                // Only the low 16 bits of prev count until it leaves the loop.
                prev += entry >> 16;
                StoreEight(out + i, prev);
                i += 1 + ((entry >> 8) & 0xFFu);
            }
            prev &= 0xFFFFu;
            if (k == 4)
                return true; // at most 32 samples went out, fewer than were left
            in.ensureBits();
        }
        std::uint32_t delta = 0;
        std::uint32_t run = 0;
        bool runFlag = false;
        if (!ReadTokenFast(in, delta, runFlag, run))
            ReadTokenSlow(in, delta, runFlag, run);
        prev = (prev + delta) & 0xFFFFu;
        const T value = static_cast<T>(prev);
        out[i++] = value;
        if (runFlag)
        {
            // r + 1 copies, but never past the count: a corrupt run cannot overrun `out`.
            const U end = i + std::min<U>(U(run) + 1, n - i);
            for (; i < end; ++i)
                out[i] = value;
        }
        return i < n;
    }
};

} // namespace

template <typename T, typename U>
U CEncoderFELICS<T, U>::decode(T* out, U capacity)
{
    U n = readCount();
    if (n > capacity)
        n = capacity;
    TokenStream<T, U> stream{this->reader(), out, n};
    for (bool more = n > 0; more;)
        more = stream.step();
    this->setReader(stream.in);
    return n;
}

template <typename T, typename U>
void CEncoderFELICS<T, U>::decodePair(CEncoderFELICS& a, T* outA, U capacityA, U& producedA, CEncoderFELICS& b,
                                      T* outB, U capacityB, U& producedB)
{
    const U nA = std::min(a.readCount(), capacityA);
    const U nB = std::min(b.readCount(), capacityB);
    TokenStream<T, U> streamA{a.reader(), outA, nA};
    TokenStream<T, U> streamB{b.reader(), outB, nB};
    // Both in one loop: each stream's next table look-up waits for the shift of the last, and
    // the other stream's work fills that wait.
    bool moreA = nA > 0;
    bool moreB = nB > 0;
    while (moreA && moreB)
    {
        moreA = streamA.step();
        moreB = streamB.step();
    }
    while (moreA)
        moreA = streamA.step();
    while (moreB)
        moreB = streamB.step();
    a.setReader(streamA.in);
    b.setReader(streamB.in);
    producedA = nA;
    producedB = nB;
}

template <typename T, typename U>
U CEncoderFELICS<T, U>::readCount()
{
    std::uint32_t count = 0;
    this->readCode(count, 5);
    return static_cast<U>(count);
}

template class CEncoder<unsigned short, unsigned long>;
template class CEncoderFELICS<unsigned short, unsigned long>;
