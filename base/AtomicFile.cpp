#include "base/AtomicFile.h"

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
std::mutex g_faultLock;
int g_faultFiles = 0;
std::size_t g_faultBytes = 0;

// A stream over the temporary file's descriptor that takes `budget` bytes and then reports a
// full disk, for InjectWriteFault.
struct FaultyStream
{
    int fd;
    std::size_t budget;
};

ssize_t FaultyWrite(void* cookie, const char* data, std::size_t size)
{
    auto* stream = static_cast<FaultyStream*>(cookie);
    if (stream->budget == 0)
    {
        errno = ENOSPC;
        return -1;
    }
    const std::size_t take = size < stream->budget ? size : stream->budget;
    const ssize_t written = ::write(stream->fd, data, take);
    if (written > 0)
        stream->budget -= static_cast<std::size_t>(written);
    return written;
}

int FaultySeek(void* cookie, off64_t* offset, int whence)
{
    const off64_t position = ::lseek64(static_cast<FaultyStream*>(cookie)->fd, *offset, whence);
    if (position < 0)
        return -1;
    *offset = position;
    return 0;
}

int FaultyClose(void* cookie)
{
    auto* stream = static_cast<FaultyStream*>(cookie);
    const int result = ::close(stream->fd);
    delete stream;
    return result;
}

// The stream of a new temporary file: the plain one, or a failing one while a fault is armed.
std::FILE* OpenStream(int fd)
{
    {
        std::lock_guard<std::mutex> lock(g_faultLock);
        if (g_faultFiles > 0)
        {
            --g_faultFiles;
            auto* stream = new FaultyStream{fd, g_faultBytes};
            std::FILE* file = ::fopencookie(stream, "wb", {nullptr, FaultyWrite, FaultySeek, FaultyClose});
            if (file == nullptr)
                delete stream;
            return file;
        }
    }
    return ::fdopen(fd, "wb");
}
} // namespace

void AtomicFile::InjectWriteFault(std::size_t bytes, int files)
{
    std::lock_guard<std::mutex> lock(g_faultLock);
    g_faultBytes = bytes;
    g_faultFiles = files;
}

void AtomicFile::ClearInjectedFaults()
{
    InjectWriteFault(0, 0);
}

bool AtomicFile::open(const std::string& target)
{
    discard();
    m_target = target;
    m_ok = true;
    std::string pattern = target + ".tmpXXXXXX";
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0)
        return false;
    // mkstemp creates 0600; give the file the permissions an ordinary fopen would.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    m_file = OpenStream(fd);
    if (m_file == nullptr)
    {
        ::close(fd);
        ::unlink(pattern.c_str());
        return false;
    }
    m_tempPath = pattern;
    return true;
}

bool AtomicFile::write(const void* data, std::size_t size)
{
    if (m_file == nullptr)
        return false;
    if (size > 0 && std::fwrite(data, 1, size, m_file) != size)
        m_ok = false;
    return m_ok;
}

bool AtomicFile::commit()
{
    if (m_file == nullptr)
        return false;
    bool ok = m_ok && std::fflush(m_file) == 0 && !std::ferror(m_file);
    ok = (std::fclose(m_file) == 0) && ok;
    m_file = nullptr;
    if (ok && std::rename(m_tempPath.c_str(), m_target.c_str()) == 0)
    {
        m_tempPath.clear();
        return true;
    }
    ::unlink(m_tempPath.c_str());
    m_tempPath.clear();
    return false;
}

void AtomicFile::discard()
{
    if (m_file != nullptr)
    {
        std::fclose(m_file);
        m_file = nullptr;
    }
    if (!m_tempPath.empty())
    {
        ::unlink(m_tempPath.c_str());
        m_tempPath.clear();
    }
}

bool WriteFileAtomically(const std::string& path, const void* data, std::size_t size)
{
    AtomicFile file;
    return file.open(path) && file.write(data, size) && file.commit();
}
