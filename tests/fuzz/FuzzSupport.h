#pragma once
// Helpers shared by the fuzz targets: readers that take a path get the fuzz input through a
// file in a private temporary folder, and targets that look at many points draw them from a
// generator seeded by the input so that a run is reproducible from the input alone.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace fuzz
{

// Set by the replay driver: inputs that a target thins out for the sake of its execution rate
// under libFuzzer are all run when replaying, so a kept crash input is never skipped.
inline bool replaying = false;

// A folder made once per process under $TMPDIR (or /tmp) and removed at exit with what the
// targets left in it.
inline const std::string& TempFolder()
{
    static const std::string folder = [] {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/altimo-fuzz-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr)
        {
            std::perror("mkdtemp");
            std::abort();
        }
        static std::string removeCommand = "rm -rf '" + pattern + "'";
        std::atexit([] { (void)std::system(removeCommand.c_str()); });
        return pattern;
    }();
    return folder;
}

// Writes `size` bytes to TempFolder()/name and returns the path.
inline std::string WriteTempFile(const char* name, const std::uint8_t* data, std::size_t size)
{
    const std::string path = TempFolder() + "/" + name;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr || (size > 0 && std::fwrite(data, 1, size, file) != size) || std::fclose(file) != 0)
    {
        std::perror(path.c_str());
        std::abort();
    }
    return path;
}

inline void RemoveTempFile(const char* name)
{
    ::unlink((TempFolder() + "/" + name).c_str());
}

// FNV-1a of the input: the seed of the target's own choices.
inline std::uint64_t Hash(const std::uint8_t* data, std::size_t size)
{
    std::uint64_t h = 1469598103934665603ull;
    for (std::size_t i = 0; i < size; ++i)
        h = (h ^ data[i]) * 1099511628211ull;
    return h;
}

// splitmix64: small and good enough to pick test points.
class Random
{
public:
    explicit Random(std::uint64_t seed) : m_state(seed) {}
    std::uint64_t next()
    {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in [low, high].
    double uniform(double low, double high) { return low + (high - low) * double(next() >> 11) * 0x1.0p-53; }

private:
    std::uint64_t m_state;
};

// Reads fixed fields from the front of an input and hands out the rest.
class InputReader
{
public:
    InputReader(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
    std::uint8_t byte() { return m_pos < m_size ? m_data[m_pos++] : 0; }
    std::uint16_t u16() { return static_cast<std::uint16_t>(byte() | byte() << 8); }
    std::uint32_t u32() { return static_cast<std::uint32_t>(u16()) | static_cast<std::uint32_t>(u16()) << 16; }
    const std::uint8_t* rest() const { return m_data + m_pos; }
    std::size_t restSize() const { return m_size - m_pos; }
    // The next `count` bytes (fewer at the end of the input).
    std::size_t take(std::size_t count, const std::uint8_t** out)
    {
        count = count < restSize() ? count : restSize();
        *out = rest();
        m_pos += count;
        return count;
    }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
};

} // namespace fuzz
