// The sample decoder on arbitrary code: it never writes past the capacity it is given nor reads
// past the code, and a stream it decodes completely codes back to the same samples.
#include "FuzzSupport.h"
#include "codec/EncoderFELICS.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using Coder = CEncoderFELICS<unsigned short, unsigned long>;
    // The decoder reads the code in place; a copy of exactly `size` bytes lets AddressSanitizer
    // see a read one byte too far.
    std::vector<std::uint8_t> code(data, data + size);
    Coder decoder;
    decoder.open(code.data(), static_cast<long>(code.size()));
    const unsigned long count = decoder.readCount();

    // The capacity is the count when that is small, else a bound (the count is the file's word);
    // one guard sample after the capacity must stay untouched.
    const unsigned long capacity = count < 65536 ? count : 65536;
    constexpr unsigned short kGuard = 0xA5A5;
    std::vector<unsigned short> samples(capacity + 1, kGuard);
    decoder.open(code.data(), static_cast<long>(code.size()));
    const unsigned long produced = decoder.decode(samples.data(), capacity);
    if (produced > capacity || samples[capacity] != kGuard)
        __builtin_trap();
    if (decoder.failed() || produced != count)
        return 0;

    Coder encoder;
    encoder.open(nullptr, 0);
    encoder.encode(samples.data(), count);
    encoder.close();
    std::vector<std::uint8_t> recoded(encoder.size());
    encoder.getData(recoded.data(), static_cast<long>(recoded.size()));
    if (recoded.size() > EncodedSizeBound(count))
        __builtin_trap();
    Coder again;
    again.open(recoded.data(), static_cast<long>(recoded.size()));
    std::vector<unsigned short> back(count + 1, kGuard);
    if (again.decode(back.data(), count) != count || again.failed() ||
        !std::equal(back.begin(), back.begin() + static_cast<long>(count), samples.begin()))
        __builtin_trap();
    return 0;
}
