#pragma once
// Writes an output file so that the target is either the complete new file or left as it was:
// the bytes go to a temporary file in the target's folder, named "<target>.tmpXXXXXX" (the name
// cut short when that would pass the file system's name limit), which commit() renames over the
// target. A file that is never committed (an error, an exception, an early return) is removed.
// Only a process killed between open() and commit() leaves its temporary file behind; later
// writes of the same target use a fresh name and do not depend on it.
//
// A symbolic link is followed: the file it points to is replaced and the link stays. A regular
// file that is replaced keeps its permission bits. A target that exists and is not a regular
// file (a FIFO, a character device such as /dev/null) and the stream names ("-" for standard
// output, /dev/stdout, /dev/stderr, /dev/fd/N, /proc/self/fd/N) are written straight through:
// renaming over them would destroy a device node or leave a reader waiting for nothing.
#include <cstddef>
#include <cstdio>
#include <memory>
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
    // Gives the open stream a buffer of `bytes` that this object owns, so that many small
    // writes reach the file `bytes` at a time (stdio's own buffer is a page, and glibc ignores a
    // size asked for without a buffer). Call after open() and before the first write.
    bool buffer(std::size_t bytes);
    bool write(const void* data, std::size_t size);
    // Flushes, checks every write went through, and renames over the target. False leaves the
    // target untouched and removes the temporary file.
    bool commit();
    void discard();
    const std::string& tempPath() const { return m_tempPath; }
    // True when the bytes go straight to a stream, FIFO or device, where nothing can be sought.
    bool direct() const { return m_direct; }

    // "-", /dev/stdout, /dev/stderr, /dev/fd/N or /proc/self/fd/N: the descriptor it names, else -1.
    static int StreamDescriptor(const std::string& path);
    // From now on, what is written to standard output as a file ("-", /dev/stdout, ...) goes to
    // the descriptor standard output had, and standard output itself is joined to standard
    // error, so that a summary printed with printf cannot mix with the file's bytes.
    static void DivertStandardOutput();

    // Fault injection for tests of the writers: the next `files` files opened (by any thread)
    // accept `bytes` bytes each and then fail every write as a full disk does (ENOSPC), whether
    // the writer goes through write() or through file(). ClearInjectedFaults() ends it early.
    static void InjectWriteFault(std::size_t bytes, int files = 1);
    static void ClearInjectedFaults();

private:
    std::FILE* m_file = nullptr;
    // Outlives every stream that uses it: the stream is closed before a new buffer or the
    // object's end frees it.
    std::unique_ptr<char[]> m_buffer;
    std::string m_target;
    std::string m_tempPath;
    bool m_ok = true;
    bool m_direct = false;
};

// Writes a whole buffer atomically; false when any step fails.
bool WriteFileAtomically(const std::string& path, const void* data, std::size_t size);
