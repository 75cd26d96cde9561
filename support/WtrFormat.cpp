#include "support/WtrFormat.h"

#include "support/Coder.h"

#include <cstring>

namespace
{
// Zig-zag of the value change on the 16-value circle; a change of 0 maps to 0.
std::uint32_t ValueChangeCode(unsigned value, unsigned previous)
{
    const int change = static_cast<int>((value - previous + 8u) & 15u) - 8;
    return change >= 0 ? static_cast<std::uint32_t>(2 * change) : static_cast<std::uint32_t>(-2 * change - 1);
}
} // namespace

void EncodeWtrRuns(CCoder& coder, const std::uint8_t* cells, std::size_t count)
{
    unsigned previous = 0;
    bool first = true;
    std::size_t i = 0;
    while (i < count)
    {
        const std::uint8_t value = cells[i];
        std::size_t end = i + 1;
        while (end < count && cells[end] == value)
            ++end;
        std::uint32_t change = ValueChangeCode(value, previous);
        // Consecutive runs always differ, so later runs never need the code for "no change".
        if (!first)
            --change;
        coder.writeCode(change, kWtrValueOrder);
        coder.writeCode(static_cast<std::uint32_t>(end - i - 1), kWtrRunOrder);
        previous = value;
        first = false;
        i = end;
    }
}

bool DecodeWtrRuns(const std::uint8_t* code, std::size_t size, std::uint8_t* cells, std::size_t count)
{
    CCoder coder;
    // The coder only reads through this pointer.
    coder.open(const_cast<std::uint8_t*>(code), static_cast<long>(size));
    unsigned previous = 0;
    bool first = true;
    std::size_t pos = 0;
    while (pos < count)
    {
        std::uint32_t change = 0;
        if (!coder.readCode(change, kWtrValueOrder))
            return false;
        if (!first)
            ++change;
        if (change > 15 || (change == 0 && !first))
            return false;
        const int delta = (change & 1u) != 0 ? -static_cast<int>((change + 1) / 2) : static_cast<int>(change / 2);
        previous = (previous + static_cast<unsigned>(delta)) & 15u;
        first = false;

        std::uint32_t run = 0;
        if (!coder.readCode(run, kWtrRunOrder) || run >= count - pos)
            return false;
        std::memset(cells + pos, static_cast<int>(previous), std::size_t(run) + 1);
        pos += std::size_t(run) + 1;
    }
    // A well-formed code fills its span up to the zero padding of the last byte.
    if ((coder.bitPosition() + 7) / 8 != size)
        return false;
    while (coder.bitPosition() % 8 != 0)
        if (coder.readBit())
            return false;
    return true;
}
