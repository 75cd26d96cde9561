#pragma once
// Writes an output file so that the target is either the complete new file or left as it was:
// the bytes go to a temporary file in the target's folder, which commit() renames over the
// target. A file that is never committed (an error, an exception, an early return) is removed.
#include <cstdio>
#include <string>

class AtomicFile
{
public:
    AtomicFile() = default;
    ~AtomicFile() { discard(); }
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Creates the temporary file; false when the folder cannot take it.
    bool open(const std::string& target);
    std::FILE* file() const { return m_file; }
    bool write(const void* data, std::size_t size);
    // Flushes, checks every write went through, and renames over the target. False leaves the
    // target untouched and removes the temporary file.
    bool commit();
    void discard();
    const std::string& tempPath() const { return m_tempPath; }

private:
    std::FILE* m_file = nullptr;
    std::string m_target;
    std::string m_tempPath;
    bool m_ok = true;
};

// Writes a whole buffer atomically; false when any step fails.
bool WriteFileAtomically(const std::string& path, const void* data, std::size_t size);
