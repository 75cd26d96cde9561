#include "support/Coder.h"

#include <algorithm>
#include <cstring>

bool CCoder::open(void* data, long size)
{
    m_acc = 0;
    m_accBits = 0;
    m_writePos = 0;
    m_reading = data != nullptr;
    m_in.open(static_cast<const std::uint8_t*>(data), size > 0 ? static_cast<std::size_t>(size) : 0);
    return true;
}

void CCoder::grow()
{
    // 16 KB holds the longest code of a 64 x 64 tile, so a tile never grows the store twice.
    m_store.resize(std::max<std::size_t>(m_store.size() * 2, 16384));
}

void CCoder::flushWords()
{
    if (m_store.size() < m_writePos + 8)
        grow();
    while (m_accBits >= 8)
    {
        m_accBits -= 8;
        m_store[m_writePos++] = static_cast<std::uint8_t>(m_acc >> m_accBits);
    }
    // Keep only the pending bits so that later shifts cannot push them out of the word.
    m_acc &= (std::uint64_t(1) << m_accBits) - 1;
}

BitWriter CCoder::writer(std::size_t bytes)
{
    flushWords();
    // Eight bytes beyond: BitWriter::put stores whole words.
    if (m_store.size() < m_writePos + bytes + 8)
        m_store.resize(std::max(m_store.size() * 2, m_writePos + bytes + 8));
    BitWriter w;
    w.m_out = m_store.data() + m_writePos;
    w.m_acc = m_acc;
    w.m_bits = m_accBits;
    return w;
}

void CCoder::setWriter(const BitWriter& writer)
{
    m_writePos = static_cast<std::size_t>(writer.m_out - m_store.data());
    m_accBits = writer.m_bits;
    m_acc = writer.m_acc & ((std::uint64_t(1) << m_accBits) - 1);
}

void CCoder::close()
{
    if (m_reading)
        return;
    flushWords();
    if (m_accBits > 0)
    {
        m_store[m_writePos++] = static_cast<std::uint8_t>(m_acc << (8 - m_accBits));
        m_acc = 0;
        m_accBits = 0;
    }
}

long CCoder::getData(void* dest, long capacity) const
{
    const std::size_t n = std::min<std::size_t>(m_writePos, capacity > 0 ? static_cast<std::size_t>(capacity) : 0);
    if (n > 0)
        std::memcpy(dest, m_store.data(), n);
    return static_cast<long>(m_writePos);
}
