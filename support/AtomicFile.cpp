#include "support/AtomicFile.h"

#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

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
    m_file = ::fdopen(fd, "wb");
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
