#pragma once
// Reads or writes a large part of a file on every core. Filling fresh memory costs a page
// fault and the zeroing of every page, which on a virtual machine can take longer than copying
// the bytes from the page cache; spread over the cores, that cost is divided among them.
#include "base/Concurrency.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <unistd.h>

// Reads `size` bytes from `offset` of the open file `fd` into dest; false on an error or a
// file that ends early.
inline bool ReadFileRange(int fd, void* dest, std::size_t size, std::uint64_t offset)
{
    auto* out = static_cast<std::uint8_t*>(dest);
    while (size > 0)
    {
        const ssize_t got = ::pread(fd, out, size, static_cast<off_t>(offset));
        if (got <= 0)
            return false;
        out += got;
        size -= static_cast<std::size_t>(got);
        offset += static_cast<std::uint64_t>(got);
    }
    return true;
}

// ReadFileRange in chunks of 8 MB spread over the cores.
inline bool ReadFileInParallel(int fd, void* dest, std::size_t size, std::uint64_t offset = 0)
{
    constexpr std::size_t kChunk = std::size_t(8) << 20;
    std::atomic<bool> ok{true};
    ParallelFor((size + kChunk - 1) / kChunk, 0, [&](std::size_t chunk) {
        const std::size_t start = chunk * kChunk;
        const std::size_t length = size - start < kChunk ? size - start : kChunk;
        if (ok && !ReadFileRange(fd, static_cast<std::uint8_t*>(dest) + start, length, offset + start))
            ok = false;
    });
    return ok;
}

// Writes `size` bytes at `offset` of the open file `fd`; false on an error.
inline bool WriteFileRange(int fd, const void* data, std::size_t size, std::uint64_t offset)
{
    const auto* in = static_cast<const std::uint8_t*>(data);
    while (size > 0)
    {
        const ssize_t put = ::pwrite(fd, in, size, static_cast<off_t>(offset));
        if (put <= 0)
            return false;
        in += put;
        size -= static_cast<std::size_t>(put);
        offset += static_cast<std::uint64_t>(put);
    }
    return true;
}

// WriteFileRange in chunks of 8 MB spread over the cores: the copy into the page cache, and
// the fresh pages it needs, are shared out like the reads above.
inline bool WriteFileInParallel(int fd, const void* data, std::size_t size, std::uint64_t offset = 0)
{
    constexpr std::size_t kChunk = std::size_t(8) << 20;
    std::atomic<bool> ok{true};
    ParallelFor((size + kChunk - 1) / kChunk, 0, [&](std::size_t chunk) {
        const std::size_t start = chunk * kChunk;
        const std::size_t length = size - start < kChunk ? size - start : kChunk;
        if (ok && !WriteFileRange(fd, static_cast<const std::uint8_t*>(data) + start, length, offset + start))
            ok = false;
    });
    return ok;
}
