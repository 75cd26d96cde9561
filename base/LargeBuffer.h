#pragma once
// An uninitialised block for a whole raster or file, backed by huge pages where the system
// offers them. A 134 MB map in 4 KB pages costs 32768 page faults to fill and a TLB miss on
// nearly every row when a 64 x 64 tile is cut from it; 2 MB pages remove both.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <sys/mman.h>
#include <type_traits>
#include <utility>

namespace large_block
{
inline constexpr std::size_t kPage = 4096;
inline constexpr std::size_t kHugePage = std::size_t(2) << 20;

inline std::size_t RoundUp(std::size_t value, std::size_t unit)
{
    return (value + unit - 1) / unit * unit;
}

// Maps RoundUp(bytes, kPage) bytes of zeroed memory on a huge-page boundary, asking for huge
// pages; throws std::bad_alloc when the memory is not there. bytes > 0.
inline void* Map(std::size_t bytes)
{
    if (bytes > std::size_t(-1) - 2 * kHugePage)
        throw std::bad_alloc();
    // Over-allocate by one huge page to place the block on a huge-page boundary, then give back
    // the unused ends.
    bytes = RoundUp(bytes, kPage);
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
    return reinterpret_cast<void*>(aligned);
}

// Gives back a block from Map(bytes).
inline void Unmap(void* block, std::size_t bytes)
{
    ::munmap(block, RoundUp(bytes, kPage));
}
} // namespace large_block

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
        if (count > (std::size_t(-1) - 2 * large_block::kHugePage) / sizeof(T))
            throw std::bad_alloc();
        m_data = static_cast<T*>(large_block::Map(count * sizeof(T)));
        m_count = count;
    }
    void release()
    {
        if (m_data != nullptr)
            large_block::Unmap(m_data, m_count * sizeof(T));
        m_data = nullptr;
        m_count = 0;
    }

    T* data() const { return m_data; }
    std::size_t size() const { return m_count; }
    T& operator[](std::size_t i) const { return m_data[i]; }
    T* begin() const { return m_data; }
    T* end() const { return m_data + m_count; }

private:
    void swap(LargeBuffer& other) noexcept
    {
        std::swap(m_data, other.m_data);
        std::swap(m_count, other.m_count);
    }

    T* m_data = nullptr;
    std::size_t m_count = 0;
};

// The allocator of a std::vector that holds a raster: blocks of a megabyte or more come from
// huge pages as in LargeBuffer, and elements made without a value are left as the new block
// has them, which is zero: fresh pages from the system read as zero, a smaller block is
// cleared. So vector(n) of a large raster costs no pass over the memory and its untouched pages
// cost nothing until read (vector(n, v) and resize(n, v) still set every element; a vector
// that grows back within its capacity gets back what it held).
// For trivial element types only.
template <typename T>
struct LargeAllocator
{
    static_assert(std::is_trivial_v<T>);
    using value_type = T;

    LargeAllocator() = default;
    template <typename U>
    LargeAllocator(const LargeAllocator<U>&) noexcept
    {
    }

    T* allocate(std::size_t count)
    {
        if (count > std::size_t(-1) / 2 / sizeof(T))
            throw std::bad_alloc();
        const std::size_t bytes = count * sizeof(T);
        if (bytes >= kLarge)
            return static_cast<T*>(large_block::Map(bytes));
        return static_cast<T*>(std::memset(::operator new(bytes), 0, bytes));
    }
    void deallocate(T* block, std::size_t count) noexcept
    {
        const std::size_t bytes = count * sizeof(T);
        if (bytes >= kLarge)
            large_block::Unmap(block, bytes);
        else
            ::operator delete(block);
    }
    template <typename U>
    void construct(U* place) noexcept
    {
        ::new (static_cast<void*>(place)) U;
    }
    template <typename U, typename... Args>
    void construct(U* place, Args&&... args)
    {
        ::new (static_cast<void*>(place)) U(std::forward<Args>(args)...);
    }

    friend bool operator==(const LargeAllocator&, const LargeAllocator&) noexcept { return true; }

private:
    static constexpr std::size_t kLarge = std::size_t(1) << 20;
};
