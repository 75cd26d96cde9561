#include "cli/CliSupport.h"

#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

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
    std::fprintf(stderr, "\r%-12s [%s] %3d%% %6.1fs", m_step.c_str(), bar.c_str(), position / 2, SecondsSince(m_start));
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

unsigned long long FileSize(const std::string& path)
{
    struct stat info{};
    return ::stat(path.c_str(), &info) == 0 ? static_cast<unsigned long long>(info.st_size) : 0;
}
