#pragma once
// The sample coder of the height files: a sequence of 16-bit samples becomes a stream of tokens
// on a CCoder, and back.
//
// Stream of one encode(samples, count): the count (Exp-Golomb order 5), then tokens until count
// samples are described. A token is
//   sign bit        0: value = previous + magnitude, 1: value = previous - magnitude (mod 65536)
//   magnitude       order 4, the distance to the previous value on the 16-bit circle, 0..32768;
//                   equal distances (0 and 32768) take sign 0
//   run flag bit    1: a run value follows
//   run value r     order 3, 0..255, only with the flag: r + 1 further copies of the value
// The previous value of the first token is 0. A run longer than 257 samples is split: the next
// token repeats the value with sign 0 and magnitude 0 and carries on.
//
// Writing: open(nullptr, 0), encode, close, then getData. Reading: open(code, length), decode.
#include "support/Coder.h"

#include <bit>
#include <cstdint>

// Coding operations over a CCoder, with empty defaults. T is the sample type, U the count type
// handed to CCoder::write and CCoder::read.
template <typename T, typename U>
class CEncoder : public CCoder
{
public:
    ~CEncoder() override = default;

    // Appends the stream of `count` samples to the open code store; always true.
    virtual bool encode(const T* samples, U count)
    {
        (void)samples;
        (void)count;
        return true;
    }
    // Reads one stream from the current position into `out`, at most `capacity` samples;
    // returns the number of samples produced.
    virtual U decode(T* out, U capacity)
    {
        (void)out;
        (void)capacity;
        return 0;
    }
    // Reads the count at the head of a stream.
    virtual U readCount() { return 0; }
};

template <typename T, typename U>
class CEncoderFELICS : public CEncoder<T, U>
{
    static_assert(sizeof(T) == 2 && T(-1) > T(0), "the token grammar is defined on unsigned 16-bit samples");

public:
    ~CEncoderFELICS() override = default;

    bool encode(const T* samples, U count) override;
    // A stream that runs past the end of the code leaves CCoder::failed() set; the samples
    // produced then are meaningless but never exceed `capacity`.
    U decode(T* out, U capacity) override;
    // a.decode(outA, capacityA) and b.decode(outB, capacityB), with the same samples, counts
    // (in producedA, producedB) and failures, but run side by side: a stream's table look-ups
    // wait on each other, and two streams give the core independent work for those waits.
    static void decodePair(CEncoderFELICS& a, T* outA, U capacityA, U& producedA, CEncoderFELICS& b, T* outB,
                           U capacityB, U& producedB);
    U readCount() override;
};

extern template class CEncoder<unsigned short, unsigned long>;
extern template class CEncoderFELICS<unsigned short, unsigned long>;

// The longest code encode can produce for `count` samples, in bytes: a token without a run
// costs at most 1 + 27 + 1 bits (magnitude 32768), a run token less per sample, plus the count.
// For a 64 x 64 tile that is 14851 bytes.
constexpr unsigned long EncodedSizeBound(unsigned long count)
{
    const int countBits = 2 * static_cast<int>(std::bit_width(std::uint64_t(count) + 32)) - 6;
    return static_cast<unsigned long>((std::uint64_t(countBits) + 29 * std::uint64_t(count) + 7) / 8);
}
