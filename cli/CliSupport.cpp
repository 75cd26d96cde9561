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

unsigned long long FileSize(const std::string& path)
{
    struct stat info{};
    return ::stat(path.c_str(), &info) == 0 ? static_cast<unsigned long long>(info.st_size) : 0;
}
