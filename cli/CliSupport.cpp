#include "cli/CliSupport.h"
#include "base/AtomicFile.h"
#include "base/JobFiles.h"
#include "base/Text.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool WritesToStandardOutput(const std::string& path)
{
    return AtomicFile::StreamDescriptor(path) == STDOUT_FILENO;
}

int CheckCommandPaths(const JobPaths& paths)
{
    for (const std::vector<std::string>* list : {&paths.inputs, &paths.outputs})
        for (const std::string& path : *list)
            if (path.empty())
            {
                PrintError("an empty file name was given; name a file");
                return kExitBadArguments;
            }
    for (const std::string& output : paths.outputs)
    {
        if (AtomicFile::StreamDescriptor(output) < 0)
            continue;
        if (!paths.streamable)
        {
            PrintError(output + ": this format is written with seeks and cannot go to a stream; name a file");
            return kExitBadArguments;
        }
        if (WritesToStandardOutput(output) && paths.json)
        {
            PrintError("--json: the output goes to standard output, which cannot also hold the summary");
            return kExitBadArguments;
        }
    }
    return kExitOk;
}

void SummariesAwayFromOutput(const JobPaths& paths)
{
    for (const std::string& output : paths.outputs)
        if (WritesToStandardOutput(output))
            AtomicFile::DivertStandardOutput();
}

int ExitCodeOf(const JobResult& result)
{
    switch (result.status)
    {
    case JobStatus::ok:
        return kExitOk;
    case JobStatus::refused:
        return kExitBadArguments;
    case JobStatus::failed:
        break;
    }
    return kExitJobFailed;
}

int CheckJobPaths(const JobPaths& paths)
{
    if (const int code = CheckCommandPaths(paths); code != kExitOk)
        return code;
    const JobResult files = CheckJobFiles(paths.inputs, paths.outputs);
    if (!files.ok())
    {
        PrintError(files.message);
        return ExitCodeOf(files);
    }
    SummariesAwayFromOutput(paths);
    return kExitOk;
}

int CheckOutputName(const std::string& path, const std::string& format, std::initializer_list<const char*> extensions)
{
    const std::string problem = OutputNameProblem(path, format, extensions);
    if (problem.empty())
        return kExitOk;
    PrintError(problem);
    return kExitBadArguments;
}

void StderrMessages::show(const std::string& text, const std::string&)
{
    PrintError(text);
}

void PrintError(const std::string& text)
{
    std::fprintf(stderr, "altimo-cli: %s\n", text.c_str());
}

void PrintWarning(const std::string& text)
{
    std::fprintf(stderr, "altimo-cli: warning: %s\n", text.c_str());
}

TerminalProgress::TerminalProgress(std::string step, bool quiet)
    : m_step(std::move(step)), m_enabled(!quiet && ::isatty(STDERR_FILENO) != 0),
      m_start(std::chrono::steady_clock::now())
{
}

TerminalProgress::~TerminalProgress()
{
    finish();
}

void TerminalProgress::setWork(double amount, std::string unit)
{
    m_work = amount;
    m_unit = std::move(unit);
}

void TerminalProgress::setPos(int position)
{
    m_pos = position;
    if (!m_enabled || position == m_lastDrawn)
        return;
    m_lastDrawn = position;
    constexpr int kWidth = 30;
    const int filled = position * kWidth / 200;
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.resize(kWidth, '.');
    const double seconds = SecondsSince(m_start);
    std::string rate;
    if (m_work > 0 && seconds > 0 && position > 0)
    {
        const double perSecond = m_work * position / 200.0 / seconds;
        rate = m_unit == "B" ? FormatBytes(static_cast<unsigned long long>(perSecond)) + "/s"
                             : FormatCount(perSecond) + " " + m_unit + "/s";
    }
    std::fprintf(stderr, "\r%-12s [%s] %3d%% %6.1fs %s\033[K", m_step.c_str(), bar.c_str(), position / 2, seconds,
                 rate.c_str());
    std::fflush(stderr);
    m_drawn = true;
}

void TerminalProgress::finish()
{
    if (m_drawn)
    {
        std::fprintf(stderr, "\r\033[K");
        std::fflush(stderr);
        m_drawn = false;
    }
}

double SecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string FormatCount(double count)
{
    char text[64];
    if (count >= 1e9)
        std::snprintf(text, sizeof text, "%.1f G", count / 1e9);
    else if (count >= 1e6)
        std::snprintf(text, sizeof text, "%.1f M", count / 1e6);
    else if (count >= 1e3)
        std::snprintf(text, sizeof text, "%.1f k", count / 1e3);
    else
        std::snprintf(text, sizeof text, "%.0f", count);
    return text;
}

std::string FormatBytes(unsigned long long bytes)
{
    char text[64];
    if (bytes >= 1024ull * 1024ull)
        std::snprintf(text, sizeof text, "%.1f MiB", double(bytes) / (1024.0 * 1024.0));
    else if (bytes >= 1024ull)
        std::snprintf(text, sizeof text, "%.1f KiB", double(bytes) / 1024.0);
    else
        std::snprintf(text, sizeof text, "%llu B", bytes);
    return text;
}
