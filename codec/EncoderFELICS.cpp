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

// A token, as one write: sign, the magnitude's Exp-Golomb code of order 4 (m = magnitude + 16
// written in 2b - 5 bits, its leading zeros included, b the bit length of m) and the run flag,
// so at most 1 + 27 + 1 bits; a run adds the run value's code of order 3 (r + 8 in 2 rb - 4
// bits), at most 14 more.

// The token of `value` after `prev` with the run flag 0: its bits and their number.
inline void PlainToken(std::uint32_t prev, std::uint32_t value, std::uint32_t& bits, int& length)
{
    const std::uint32_t up = (value - prev) & 0xFFFFu;
    const std::uint32_t down = (prev - value) & 0xFFFFu;
    // Sign and magnitude by arithmetic: the sign of terrain's steps is a coin toss, and the
    // compiler made a branch of a comparison and a choice. Both distances are below 2^16, so
    // down - up wraps (its top bit set) exactly when down < up.
    const std::uint32_t sign = (down - up) >> 31;
    const std::uint32_t m = (up ^ ((up ^ down) & (0u - sign))) + 16u;
    const int b = std::bit_width(m);
    bits = (sign << (2 * b - 4)) | (m << 1);
    length = 2 * b - 3;
}

// Where the token at i ends: after the samples that repeat samples[i], 257 at most. Most samples
// of terrain differ from the next one: that test comes first, as a branch, so that the position
// of the next token does not wait for the run's length. A run's first eight samples are then
// compared at once.
template <typename T, typename U>
inline U TokenEnd(const T* samples, U count, U i)
{
    const std::uint32_t value = samples[i];
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
    return j;
}

// Writes the token that covers samples i .. j - 1, given its bits with the run flag 0.
template <typename U>
inline void PutToken(BitWriter& out, std::uint32_t plainBits, int plainLength, U i, U j)
{
    const std::uint32_t runFlag = j - i > 1 ? 1u : 0u;
    const std::uint32_t r = static_cast<std::uint32_t>(j - i) + 6u; // run value + 8 when runFlag
    const int runLength = runFlag != 0 ? 2 * std::bit_width(r) - 4 : 0;
    out.put((std::uint64_t(plainBits | runFlag) << runLength) | (runFlag != 0 ? r : 0u), plainLength + runLength);
}

#if defined(__SSE2__)
// The tokens of eight samples at once. A token's bits depend only on its sample and the one
// before it (after a run, the previous value is the run's, which is the sample before the next
// token too), so they can be made side by side before the runs are known, and only the few
// tokens that start a run need a second look.
struct TokenBlock
{
    alignas(16) std::uint32_t bits[8]; // PlainToken of each sample
    alignas(16) std::uint32_t lengths[8];
    unsigned runs; // bit k: sample k + 1 repeats sample k, so a run starts there
    // Tokens 2p and 2p + 1 as one write, which halves the writes that wait on each other;
    // usable when no run starts in the block and every pair is at most 56 bits long (a pair
    // is longer only when both magnitudes are close to 32768).
    alignas(16) std::uint64_t pairBits[4];
    alignas(16) std::uint64_t pairLengths[4];
    bool pairs;
};

// The block of samples at[0..7], `prev` being the value before at[0]; reads at[8] too.
inline void MakeTokenBlock(const unsigned short* at, std::uint32_t prev, TokenBlock& block)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i value = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 1));
    const __m128i before = _mm_insert_epi16(_mm_slli_si128(value, 2), static_cast<int>(prev), 0);
    block.runs = static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(_mm_cmpeq_epi16(value, next), zero)));
    const __m128i up = _mm_sub_epi16(value, before);
    const __m128i down = _mm_sub_epi16(before, value);
    // down < up as unsigned numbers: SSE2 compares signed ones, so both are moved by 32768.
    const __m128i bias = _mm_set1_epi16(static_cast<short>(0x8000));
    const __m128i sign = _mm_cmpgt_epi16(_mm_xor_si128(up, bias), _mm_xor_si128(down, bias));
    const __m128i m = _mm_add_epi16(_mm_or_si128(_mm_and_si128(sign, down), _mm_andnot_si128(sign, up)),
                                    _mm_set1_epi16(16));
    __m128i tooLong = zero;
    for (int half = 0; half < 2; ++half)
    {
        const __m128i m32 = half == 0 ? _mm_unpacklo_epi16(m, zero) : _mm_unpackhi_epi16(m, zero);
        const __m128i sign32 = half == 0 ? _mm_unpacklo_epi16(sign, sign) : _mm_unpackhi_epi16(sign, sign);
        // The exponent of m as a float is 127 + b - 1 (exact: m < 2^16), so the length
        // 2b - 3 is twice it less 255, and 2^(2b - 4), the place of the sign bit, is the float
        // of exponent 2b - 4 + 127 = twice it less 129.
        const __m128i exponent = _mm_srli_epi32(_mm_castps_si128(_mm_cvtepi32_ps(m32)), 23);
        const __m128i twice = _mm_add_epi32(exponent, exponent);
        const __m128i length = _mm_sub_epi32(twice, _mm_set1_epi32(255));
        const __m128i signPlace =
            _mm_cvttps_epi32(_mm_castsi128_ps(_mm_slli_epi32(_mm_sub_epi32(twice, _mm_set1_epi32(129)), 23)));
        const __m128i bits = _mm_or_si128(_mm_and_si128(signPlace, sign32), _mm_slli_epi32(m32, 1));
        _mm_store_si128(reinterpret_cast<__m128i*>(block.bits + 4 * half), bits);
        _mm_store_si128(reinterpret_cast<__m128i*>(block.lengths + 4 * half), length);
        // The first token of a pair moved up by the second's length, as a product with
        // 2^length (a float of that exponent), plus the second: 32 x 32-bit products of the
        // even lanes into 64 bits, the odd lanes moved down to meet them.
        const __m128i power = _mm_cvttps_epi32(
            _mm_castsi128_ps(_mm_slli_epi32(_mm_add_epi32(length, _mm_set1_epi32(127)), 23)));
        const __m128i pairBits = _mm_add_epi64(_mm_mul_epu32(bits, _mm_srli_epi64(power, 32)), _mm_srli_epi64(bits, 32));
        const __m128i pairLength =
            _mm_add_epi64(_mm_and_si128(length, _mm_set_epi32(0, -1, 0, -1)), _mm_srli_epi64(length, 32));
        tooLong = _mm_or_si128(tooLong, _mm_cmpgt_epi32(pairLength, _mm_set1_epi32(56)));
        _mm_store_si128(reinterpret_cast<__m128i*>(block.pairBits + 2 * half), pairBits);
        _mm_store_si128(reinterpret_cast<__m128i*>(block.pairLengths + 2 * half), pairLength);
    }
    block.pairs = block.runs == 0 && _mm_movemask_epi8(tooLong) == 0;
}
#endif

} // namespace

template <typename T, typename U>
bool CEncoderFELICS<T, U>::encode(const T* samples, U count)
{
    assert(std::uint64_t(count) <= 0xFFFFFFFFu);
    this->writeCode(static_cast<std::uint32_t>(count), 5);
    // A copy whose address never leaves this function: the coder's store is written through a
    // byte pointer, which may alias anything whose address escaped (as the writer()'s return
    // slot and setWriter's argument do), so the original would go back to memory after every
    // store of a token and its next token would wait for the reload.
    const BitWriter start = this->writer(EncodedSizeBound(count));
    BitWriter out = start;
    std::uint32_t prev = 0;
    U i = 0;
#if defined(__SSE2__)
    // Eight tokens at a time while a block and the sample after it are left. A token that
    // starts a run may end beyond the block; the next block starts where it ends.
    while (count - i > 8)
    {
        TokenBlock block;
        MakeTokenBlock(samples + i, prev, block);
        const U first = i;
        if (block.pairs)
        {
            for (int p = 0; p < 4; ++p)
                out.put(block.pairBits[p], static_cast<int>(block.pairLengths[p]));
            i += 8;
            prev = samples[i - 1];
            continue;
        }
        do
        {
            const unsigned k = static_cast<unsigned>(i - first);
            if ((block.runs >> k & 1u) != 0)
            {
                const U j = TokenEnd(samples, count, i);
                PutToken(out, block.bits[k], static_cast<int>(block.lengths[k]), i, j);
                i = j;
            }
            else
            {
                out.put(block.bits[k], static_cast<int>(block.lengths[k]));
                ++i;
            }
        } while (i < first + 8);
        prev = samples[i - 1];
    }
#endif
    while (i < count)
    {
        const std::uint32_t value = samples[i];
        std::uint32_t bits = 0;
        int length = 0;
        PlainToken(prev, value, bits, length);
        const U j = TokenEnd(samples, count, i);
        PutToken(out, bits, length, i, j);
        prev = value;
        i = j;
    }
    const BitWriter end = out;
    this->setWriter(end);
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
