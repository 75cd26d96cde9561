#include "codec/EncoderFELICS.h"

#include <algorithm>
#include <cassert>

template <typename T, typename U>
bool CEncoderFELICS<T, U>::encode(const T* samples, U count)
{
    assert(std::uint64_t(count) <= 0xFFFFFFFFu);
    this->writeCode(static_cast<std::uint32_t>(count), 5);
    std::uint32_t prev = 0;
    U i = 0;
    while (i < count)
    {
        const std::uint32_t value = samples[i];
        const std::uint32_t up = (value - prev) & 0xFFFFu;
        const std::uint32_t down = (prev - value) & 0xFFFFu;
        const std::uint32_t sign = down < up ? 1u : 0u;
        prev = value;

        // A token never covers more than 257 samples, so the run search can stop there.
        const U end = std::min<U>(count, i + 257);
        U j = i + 1;
        while (j < end && samples[j] == value)
            ++j;
        const std::uint32_t runFlag = j - i > 1 ? 1u : 0u;

        // Sign, magnitude code and run flag as one write: the magnitude's Exp-Golomb code of
        // order 4 is m = magnitude + 16 written in 2b - 5 bits (its leading zeros included),
        // so the token is at most 1 + 27 + 1 bits.
        const std::uint32_t m = (sign != 0 ? down : up) + 16u;
        const int b = std::bit_width(m);
        this->writeBits((sign << (2 * b - 4)) | (m << 1) | runFlag, 2 * b - 3);
        if (runFlag != 0)
        {
            this->writeCode(static_cast<std::uint32_t>(j - i - 2), 3);
            i = j;
        }
        else
        {
            ++i;
        }
    }
    return true;
}

template <typename T, typename U>
U CEncoderFELICS<T, U>::decode(T* out, U capacity)
{
    U n = readCount();
    if (n > capacity)
        n = capacity;
    if (n == 0)
        return 0;
    std::uint32_t prev = 0;
    U i = 0;
    for (;;)
    {
        std::uint32_t magnitude = 0;
        std::uint32_t run = 0;
        bool sign = false;
        bool runFlag = false;
        this->ensureBits();
        if (!readTokenFast(sign, magnitude, runFlag, run))
        {
            sign = this->readBit();
            this->readCode(magnitude, 4);
            runFlag = this->readBit();
            if (runFlag)
                this->readCode(run, 3);
        }
        const std::uint32_t value = (sign ? prev - magnitude : prev + magnitude) & 0xFFFFu;
        out[i++] = static_cast<T>(value);
        prev = value;
        if (runFlag)
        {
            // r + 1 copies, but never past the count: a corrupt run cannot overrun `out`.
            const U copies = std::min<U>(U(run) + 1, n - i);
            std::fill(out + i, out + i + copies, static_cast<T>(value));
            i += copies;
        }
        if (i >= n)
            return n;
    }
}

template <typename T, typename U>
bool CEncoderFELICS<T, U>::readTokenFast(bool& sign, std::uint32_t& magnitude, bool& runFlag, std::uint32_t& run)
{
    // A token of terrain data takes one look at the bit cache instead of four coder calls. It
    // applies when the whole token is among the valid cached bits: at most 1 + (12 + 17) + 1 +
    // (5 + 9) = 45 bits with the limits below, which cover every magnitude up to 32768 and every
    // run value up to 255. Anything else takes the general reads, which also detect the end.
    constexpr int kLongestToken = 45;
    if (this->cachedBits() < kLongestToken)
        return false;
    const std::uint64_t bits = this->peekBits();
    const std::uint64_t afterSign = bits << 1;
    const int zeros = std::countl_zero(afterSign);
    if (zeros > 12)
        return false;
    const int magnitudeBits = zeros + 5;
    int used = 1 + zeros + magnitudeBits;
    const bool flag = ((bits << used) >> 63) != 0;
    ++used;
    std::uint32_t runValue = 0;
    if (flag)
    {
        const std::uint64_t atRun = bits << used;
        const int runZeros = std::countl_zero(atRun);
        if (runZeros > 5)
            return false;
        const int runBits = runZeros + 4;
        runValue = static_cast<std::uint32_t>((atRun << runZeros) >> (64 - runBits)) - 8u;
        used += runZeros + runBits;
    }
    sign = (bits >> 63) != 0;
    magnitude = static_cast<std::uint32_t>((afterSign << zeros) >> (64 - magnitudeBits)) - 16u;
    runFlag = flag;
    run = runValue;
    this->skipBits(used);
    return true;
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
