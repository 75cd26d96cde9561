#include "base/JobFiles.h"

#include "base/AtomicFile.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace
{
// The path stat() should look at: a stream name stands for the file behind its descriptor.
std::string StatPath(const std::string& path)
{
    const int stream = AtomicFile::StreamDescriptor(path);
    return stream >= 0 ? "/proc/self/fd/" + std::to_string(stream) : path;
}
} // namespace

bool IsSameFile(const std::string& a, const std::string& b)
{
    if (a.empty() || b.empty())
        return false;
    struct stat first{};
    struct stat second{};
    return ::stat(StatPath(a).c_str(), &first) == 0 && ::stat(StatPath(b).c_str(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

Status SameFileProblem(const std::vector<std::string>& inputs, const std::vector<std::string>& outputs)
{
    for (const std::string& output : outputs)
        for (const std::string& input : inputs)
            if (IsSameFile(input, output))
                return {StatusCode::invalidSettings, output + ": is the same file as the input " + input +
                                                         "; writing it would destroy the input; choose another output"};
    return Ok();
}

Status InputProblem(const std::string& path)
{
    struct stat info{};
    if (path.empty())
        return Ok();
    if (::stat(path.c_str(), &info) != 0)
        return errno == ENOENT ? Ok() : Status(StatusCode::cannotOpen, InputFailure(path));
    if (S_ISDIR(info.st_mode))
        return {StatusCode::cannotOpen, InputFailure(path, "is a folder, not a file", EISDIR)};
    // Every reader measures its file first; a device or FIFO has no size to measure.
    if (!S_ISREG(info.st_mode))
        return {StatusCode::cannotOpen, InputFailure(path, "is a device or FIFO, not a file", ESPIPE)};
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {StatusCode::cannotOpen, InputFailure(path, "cannot read the file")};
    ::close(fd);
    return Ok();
}

namespace
{
// `path` with its symbolic links resolved, the part that does not exist yet kept as written.
// `links` counts the dangling links followed, so that a loop of them ends.
std::filesystem::path Resolved(const std::filesystem::path& path, int links)
{
    namespace fs = std::filesystem;
    if (char* real = ::realpath(path.c_str(), nullptr))
    {
        fs::path resolved(real);
        std::free(real);
        return resolved;
    }
    struct stat status;
    if (links < 40 && ::lstat(path.c_str(), &status) == 0 && S_ISLNK(status.st_mode))
    {
        // A link to a file not written yet: the file is where the link points.
        std::error_code error;
        const fs::path target = fs::read_symlink(path, error);
        if (!error)
            return Resolved(target.is_absolute() ? target : path.parent_path() / target, links + 1);
    }
    const fs::path parent = path.parent_path();
    if (parent == path)
        return path; // the root
    return (Resolved(parent.empty() ? fs::path(".") : parent, links) / path.filename()).lexically_normal();
}
} // namespace

std::string FileKey(const std::string& path)
{
    return Resolved(path.empty() ? std::string(".") : path, 0).string();
}


std::string InputFailure(const std::string& path, const std::string& what, int error)
{
    return path + ": " + what + (error != 0 ? std::string(": ") + std::strerror(error) : std::string());
}

unsigned long long FileSize(const std::string& path)
{
    struct stat info{};
    return ::stat(path.c_str(), &info) == 0 ? static_cast<unsigned long long>(info.st_size) : 0;
}

Status UnopenedInput(const std::string& path, const std::string& what)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {StatusCode::cannotOpen, InputFailure(path, what, errno)};
    ::close(fd);
    return Ok();
}

std::string OutputFailure(const std::string& path, const std::string& what)
{
    const std::string text = path + ": " + what;
    if (AtomicFile::StreamDescriptor(path) >= 0)
        return text;
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    int error = 0;
    struct stat info{};
    struct statvfs space{};
    if (::stat(folder.c_str(), &info) != 0)
        error = errno;
    else if (!S_ISDIR(info.st_mode))
        error = ENOTDIR;
    else if (::access(folder.c_str(), W_OK) != 0)
        error = errno;
    else if (::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
        error = EISDIR;
    else if (::statvfs(folder.c_str(), &space) == 0 && space.f_bavail == 0)
        error = ENOSPC;
    return error != 0 ? text + ": " + std::strerror(error) : text;
}

JobResult CheckJobFiles(const std::vector<std::string>& inputs, const std::vector<std::string>& outputs)
{
    if (Status same = SameFileProblem(inputs, outputs); !same)
        return JobFailure(JobStatus::refused, std::move(same.message));
    for (const std::string& input : inputs)
        if (Status readable = InputProblem(input); !readable)
            return JobFailure(JobStatus::failed, std::move(readable.message));
    return {};
}
