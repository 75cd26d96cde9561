#pragma once
// An uninitialised block for a whole raster or file, backed by huge pages where the system
// offers them. A 134 MB map in 4 KB pages costs 32768 page faults to fill and a TLB miss on
// nearly every row when a 64 x 64 tile is cut from it; 2 MB pages remove both.
#include <cstddef>
#include <cstdint>
#include <new>
#include <sys/mman.h>
#include <utility>

template <typename T>
class LargeBuffer
{
public:
    LargeBuffer() = default;
    // Throws std::bad_alloc when the memory is not there.
    explicit LargeBuffer(std::size_t count) { allocate(count); }
    ~LargeBuffer() { release(); }
    LargeBuffer(LargeBuffer&& other) noexcept { swap(other); }
    LargeBuffer& operator=(LargeBuffer&& other) noexcept
    {
        LargeBuffer(std::move(other)).swap(*this);
        return *this;
    }
    LargeBuffer(const LargeBuffer&) = delete;
    LargeBuffer& operator=(const LargeBuffer&) = delete;

    void allocate(std::size_t count)
    {
        release();
        if (count == 0)
            return;
        if (count > (std::size_t(-1) - 2 * kHugePage) / sizeof(T))
            throw std::bad_alloc();
        // Over-allocate by one huge page to place the block on a huge-page boundary, then
        // give back the unused ends.
        const std::size_t bytes = RoundUp(count * sizeof(T), kPage);
        const std::size_t mapped = bytes + kHugePage;
        void* base = ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (base == MAP_FAILED)
            throw std::bad_alloc();
        const auto start = reinterpret_cast<std::uintptr_t>(base);
        const std::uintptr_t aligned = RoundUp(start, kHugePage);
        if (aligned > start)
            ::munmap(base, aligned - start);
        if (const std::size_t tail = mapped - (aligned - start) - bytes; tail > 0)
            ::munmap(reinterpret_cast<void*>(aligned + bytes), tail);
        ::madvise(reinterpret_cast<void*>(aligned), bytes, MADV_HUGEPAGE); // a hint; failure is harmless
        m_data = reinterpret_cast<T*>(aligned);
        m_count = count;
        m_bytes = bytes;
    }
    void release()
    {
        if (m_data != nullptr)
            ::munmap(m_data, m_bytes);
        m_data = nullptr;
        m_count = 0;
        m_bytes = 0;
    }

    T* data() const { return m_data; }
    std::size_t size() const { return m_count; }
    T& operator[](std::size_t i) const { return m_data[i]; }
    T* begin() const { return m_data; }
    T* end() const { return m_data + m_count; }

private:
    static constexpr std::size_t kPage = 4096;
    static constexpr std::size_t kHugePage = std::size_t(2) << 20;
    static std::size_t RoundUp(std::size_t value, std::size_t unit) { return (value + unit - 1) / unit * unit; }
    void swap(LargeBuffer& other) noexcept
    {
        std::swap(m_data, other.m_data);
        std::swap(m_count, other.m_count);
        std::swap(m_bytes, other.m_bytes);
    }

    T* m_data = nullptr;
    std::size_t m_count = 0;
    std::size_t m_bytes = 0;
};
