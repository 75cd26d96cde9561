#pragma once
// Bit coder shared by the DAT writer and reader and the water-mask format.
//
// Code: write(value, n) is the Exp-Golomb code of order n. With m = value + 2^n and b the bit
// length of m, it is (b - n - 1) zero bits followed by the b bits of m, most significant first.
// Bits fill each byte from its most significant bit down; close() pads the last byte with zeros.
//
// Writing: open(nullptr, 0) starts an empty code store owned by the coder; close() completes it.
// Reading: open(data, size) reads from the caller's bytes, which must outlive the reads. A read
// that would run past the end, or a code longer than 32 value bits, makes read()/readBit() return
// false (readBit returns 0 bits then) and sets failed(); nothing is ever read outside the buffer.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

// The reading side of CCoder as a value. A decoder of many codes in a row copies it into a local
// variable, whose fields the compiler keeps in registers (members reached through a coder
// object would go back to memory at every store of a decoded sample), and copies it back after.
class BitReader
{
public:
    void open(const std::uint8_t* data, std::size_t size)
    {
        *this = BitReader();
        m_data = data;
        m_size = data != nullptr ? size : 0;
    }

    bool readBit()
    {
        if (m_cacheBits < 1)
            refill();
        if (m_cacheBits < 1)
        {
            m_failed = true;
            return false;
        }
        const bool bit = (m_cache >> 63) != 0;
        m_cache <<= 1;
        --m_cacheBits;
        return bit;
    }

    // Reads an Exp-Golomb code of order n; false (and value 0) on a truncated code or one whose
    // value does not fit 32 bits (a 33-bit code is refused, never cut to its low bits).
    bool readCode(std::uint32_t& value, int n)
    {
        if (m_cacheBits < 40)
            refill();
        const int zeros = m_cache == 0 ? 64 : __builtin_clzll(m_cache);
        if (zeros > m_cacheBits || zeros > 32 - n)
            return fail(value);
        consume(zeros);
        const int b = zeros + n + 1;
        if (m_cacheBits < b)
            refill();
        if (m_cacheBits < b)
            return fail(value);
        const std::uint64_t m = m_cache >> (64 - b);
        const std::uint64_t v = m - (std::uint64_t(1) << n);
        if (v > 0xFFFFFFFFu)
            return fail(value);
        consume(b);
        value = static_cast<std::uint32_t>(v);
        return true;
    }

    bool failed() const { return m_failed; }
    void setFailed() { m_failed = true; }
    // Bits consumed so far.
    std::size_t bitPosition() const { return m_readPos * 8 - static_cast<std::size_t>(m_cacheBits); }

    // Reading several codes at once. After ensureBits(), peekBits() holds the next bits
    // left-aligned, of which the first cachedBits() are valid: at least 56 unless fewer than 8
    // bytes of the code are left. skipBits(n) consumes n <= cachedBits() of them.
    void ensureBits()
    {
        if (m_cacheBits < 56)
            refill();
    }
    int cachedBits() const { return m_cacheBits; }
    std::uint64_t peekBits() const { return m_cache; }
    void skipBits(int count) { consume(count); }

private:
    void refill()
    {
        if (m_readPos + 8 <= m_size)
        {
            // Whole bytes that fit are counted; the part of the next byte that lands in the cache
            // too is that byte's true bits, which the next refill ORs in again unchanged.
            std::uint64_t word;
            std::memcpy(&word, m_data + m_readPos, 8);
            if constexpr (std::endian::native == std::endian::little)
                word = __builtin_bswap64(word);
            m_cache |= word >> m_cacheBits;
            m_readPos += static_cast<std::size_t>((63 - m_cacheBits) >> 3);
            m_cacheBits |= 56;
            return;
        }
        while (m_cacheBits <= 56 && m_readPos < m_size)
        {
            m_cache |= std::uint64_t(m_data[m_readPos++]) << (56 - m_cacheBits);
            m_cacheBits += 8;
        }
    }
    void consume(int count)
    {
        m_cache = count >= 64 ? 0 : m_cache << count;
        m_cacheBits -= count;
    }
    bool fail(std::uint32_t& value)
    {
        m_failed = true;
        value = 0;
        return false;
    }

    // The next bits stand left-aligned in m_cache.
    const std::uint8_t* m_data = nullptr;
    std::size_t m_size = 0;
    std::size_t m_readPos = 0;
    std::uint64_t m_cache = 0;
    int m_cacheBits = 0;
    bool m_failed = false;
};

// The writing side of CCoder as a value, for the same reason as BitReader. Its store was made
// large enough beforehand (CCoder::writer), so appending checks nothing.
class BitWriter
{
public:
    // Appends the low `count` bits of `bits`, most significant first (1 <= count <= 56, bits < 2^count).
    void put(std::uint64_t bits, int count)
    {
        m_acc = m_acc << count | bits;
        m_bits += count;
        // Every whole byte goes out at once: eight bytes are stored and the cursor moves over
        // the whole ones; the bits after them are stored again, completed, by the next put.
        std::uint64_t word = m_acc << (64 - m_bits);
        if constexpr (std::endian::native == std::endian::little)
            word = __builtin_bswap64(word);
        std::memcpy(m_out, &word, 8);
        m_out += m_bits >> 3;
        m_bits &= 7;
    }

private:
    friend class CCoder;
    std::uint8_t* m_out = nullptr;
    // Bits not yet counted as stored wait in the low m_bits (< 8 between puts) bits of m_acc.
    std::uint64_t m_acc = 0;
    int m_bits = 0;
};

class CCoder
{
public:
    CCoder() = default;
    virtual ~CCoder() = default;
    CCoder(const CCoder&) = delete;
    CCoder& operator=(const CCoder&) = delete;

    // data == nullptr: start an empty write store. Otherwise: read `size` bytes at `data`.
    virtual bool open(void* data, long size);
    virtual void close();

    bool write(const unsigned long* value, char n)
    {
        writeCode(static_cast<std::uint32_t>(*value), n);
        return true;
    }
    void writeBit(bool bit) { putBits(bit ? 1u : 0u, 1); }

    // Appends the Exp-Golomb code of order n of value (value < 2^32).
    void writeCode(std::uint32_t value, int n)
    {
        const std::uint64_t m = std::uint64_t(value) + (std::uint64_t(1) << n);
        const int b = 64 - __builtin_clzll(m);
        const int total = 2 * b - n - 1;
        if (total <= 32)
        {
            // The leading zeros are implicit in m's width.
            putBits(static_cast<std::uint32_t>(m), total);
            return;
        }
        putBits(0, b - n - 1);
        putBits(static_cast<std::uint32_t>(m >> 16), b - 16);
        putBits(static_cast<std::uint32_t>(m & 0xFFFF), 16);
    }

    // Copies up to `capacity` bytes of the code into dest and returns the code's full length.
    long getData(void* dest, long capacity) const;
    const std::uint8_t* data() const { return m_store.data(); }
    std::size_t size() const { return m_writePos; }

    bool read(unsigned long* value, char n)
    {
        std::uint32_t v = 0;
        const bool ok = readCode(v, n);
        *value = v;
        return ok;
    }
    bool readBit() { return m_in.readBit(); }
    bool readCode(std::uint32_t& value, int n) { return m_in.readCode(value, n); }
    bool failed() const { return m_in.failed(); }
    std::size_t bitPosition() const { return m_in.bitPosition(); }
    void ensureBits() { m_in.ensureBits(); }
    int cachedBits() const { return m_in.cachedBits(); }
    std::uint64_t peekBits() const { return m_in.peekBits(); }
    void skipBits(int count) { m_in.skipBits(count); }

    // The reading state, for a decoder that works on a local copy (see BitReader).
    const BitReader& reader() const { return m_in; }
    void setReader(const BitReader& reader) { m_in = reader; }

    // Appends the low `count` bits of `bits`, most significant first (count <= 32, bits < 2^count).
    // Lets a caller that knows several codes at once append them in one step.
    void writeBits(std::uint32_t bits, int count) { putBits(bits, count); }

    // The writing state as a value that can append `bytes` more bytes, for an encoder that
    // works on a local copy; setWriter takes it back once it is done.
    BitWriter writer(std::size_t bytes);
    void setWriter(const BitWriter& writer);

private:
    void putBits(std::uint32_t bits, int count)
    {
        m_acc = (m_acc << count) | bits;
        m_accBits += count;
        if (m_accBits >= 32)
        {
            // One big-endian word at a time; the bits above m_accBits in m_acc are stale and
            // fall away in the 32-bit cast.
            if (m_store.size() < m_writePos + 4)
                grow();
            m_accBits -= 32;
            const std::uint32_t word = static_cast<std::uint32_t>(m_acc >> m_accBits);
            const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(word >> 24), static_cast<std::uint8_t>(word >> 16),
                                           static_cast<std::uint8_t>(word >> 8), static_cast<std::uint8_t>(word)};
            std::memcpy(m_store.data() + m_writePos, bytes, 4);
            m_writePos += 4;
        }
    }
    void grow();
    void flushWords();
    // Writing: bits not yet in m_store wait in the low m_accBits bits of m_acc.
    std::vector<std::uint8_t> m_store;
    std::size_t m_writePos = 0;
    std::uint64_t m_acc = 0;
    int m_accBits = 0;

    bool m_reading = false;
    BitReader m_in;
};
