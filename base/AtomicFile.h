#pragma once
// Writes an output file so that the target is either the complete new file or left as it was:
// the bytes go to a temporary file in the target's folder, named "<target>.tmpXXXXXX", which
// commit() renames over the target. A file that is never committed (an error, an exception, an
// early return) is removed. Only a process killed between open() and commit() leaves its
// temporary file behind; later writes of the same target use a fresh name and do not depend on it.
#include <cstddef>
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

    // Fault injection for tests of the writers: the next `files` files opened (by any thread)
    // accept `bytes` bytes each and then fail every write as a full disk does (ENOSPC), whether
    // the writer goes through write() or through file(). ClearInjectedFaults() ends it early.
    static void InjectWriteFault(std::size_t bytes, int files = 1);
    static void ClearInjectedFaults();

private:
    std::FILE* m_file = nullptr;
    std::string m_target;
    std::string m_tempPath;
    bool m_ok = true;
};

// Writes a whole buffer atomically; false when any step fails.
bool WriteFileAtomically(const std::string& path, const void* data, std::size_t size);
