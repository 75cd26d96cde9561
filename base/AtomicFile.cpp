#include "base/AtomicFile.h"

#include "base/Text.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <new>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace
{
std::mutex g_faultLock;
// Where standard output's bytes go once DivertStandardOutput() has run; -1 before.
int g_standardOutput = -1;
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
// The file a path names once every symbolic link on the way is followed (a dangling link gives
// the path it points to, which is then created). Loops end after 40 links, as the kernel's do.
std::string FollowLinks(std::string path)
{
    for (int links = 0; links < 40; ++links)
    {
        struct stat info{};
        if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
            return path;
        std::string target(PATH_MAX, '\0');
        const ssize_t length = ::readlink(path.c_str(), target.data(), target.size());
        if (length <= 0)
            return path;
        target.resize(static_cast<std::size_t>(length));
        if (target.front() != '/')
        {
            const std::size_t slash = path.rfind('/');
            target = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + target;
        }
        path = target;
    }
    return path;
}

// "<target>.tmpXXXXXX" in the target's folder, the name cut short when the suffix would take it
// past the folder's name limit, so that every target name that is itself valid can be written.
std::string TemporaryPattern(const std::string& target)
{
    const std::size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string(".") : target.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    const long limit = ::pathconf(folder.c_str(), _PC_NAME_MAX);
    const std::size_t maxName = limit > 16 ? static_cast<std::size_t>(limit) : 255;
    constexpr std::size_t kSuffix = 10; // ".tmpXXXXXX"
    if (name.size() + kSuffix > maxName)
        name.resize(maxName - kSuffix);
    return (slash == std::string::npos ? std::string() : folder) + name + ".tmpXXXXXX";
}
} // namespace

int AtomicFile::StreamDescriptor(const std::string& path)
{
    if (path == "-" || path == "/dev/stdout")
        return STDOUT_FILENO;
    if (path == "/dev/stderr")
        return STDERR_FILENO;
    for (const char* prefix : {"/dev/fd/", "/proc/self/fd/"})
    {
        const std::size_t length = std::strlen(prefix);
        if (path.size() > length && path.compare(0, length, prefix) == 0 &&
            path.find_first_not_of("0123456789", length) == std::string::npos && path.size() - length < 9)
            return int(ParseWhole(std::string_view(path).substr(length)).value_or(-1));
    }
    return -1;
}

void AtomicFile::DivertStandardOutput()
{
    if (g_standardOutput >= 0)
        return;
    std::fflush(stdout);
    g_standardOutput = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    if (g_standardOutput >= 0)
        ::dup2(STDERR_FILENO, STDOUT_FILENO);
}

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
    m_ok = true;
    m_direct = false;
    int fd = -1;
    struct stat info{};
    bool exists = false;
    std::string pattern;
    if (int stream = StreamDescriptor(target); stream >= 0)
    {
        if (stream == STDOUT_FILENO && g_standardOutput >= 0)
            stream = g_standardOutput;
        fd = ::fcntl(stream, F_DUPFD_CLOEXEC, 3);
        m_direct = true;
    }
    else if (m_target = FollowLinks(target), exists = ::stat(m_target.c_str(), &info) == 0;
             exists && !S_ISREG(info.st_mode))
    {
        if (S_ISDIR(info.st_mode))
        {
            errno = EISDIR;
            return false;
        }
        fd = ::open(m_target.c_str(), O_WRONLY | O_CLOEXEC);
        m_direct = true;
    }
    else
    {
        pattern = TemporaryPattern(m_target);
        fd = ::mkstemp(pattern.data());
        if (fd < 0)
            return false;
        // mkstemp creates 0600: a file that is replaced keeps its bits, a new one gets those an
        // ordinary fopen would give it.
        mode_t mode = info.st_mode & 07777;
        if (!exists)
        {
            const mode_t mask = ::umask(0);
            ::umask(mask);
            mode = 0666 & ~mask;
        }
        ::fchmod(fd, mode);
    }
    if (fd < 0)
        return false;
    m_file = OpenStream(fd);
    if (m_file == nullptr)
    {
        ::close(fd);
        if (!pattern.empty())
            ::unlink(pattern.c_str());
        return false;
    }
    m_tempPath = pattern;
    return true;
}

bool AtomicFile::buffer(std::size_t bytes)
{
    if (m_file == nullptr)
        return false;
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[bytes]);
    if (buffer == nullptr || std::setvbuf(m_file, buffer.get(), _IOFBF, bytes) != 0)
        return false;
    m_buffer = std::move(buffer);
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
    if (m_direct)
        return ok;
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
