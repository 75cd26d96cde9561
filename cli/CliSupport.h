#pragma once
// What every command of altimo-cli shares: the exit codes, the sinks that report on stderr and
// the registry of commands.
#include "base/Sinks.h"

#include <CLI/CLI.hpp>
#include <chrono>
#include <string>

enum ExitCode
{
    kExitOk = 0,
    kExitJobFailed = 1,
    kExitBadArguments = 2,
};

struct CliContext
{
    int exitCode = kExitOk;
    bool quiet = false;
};

// Prints "altimo-cli: <text>" on stderr; the caption is the desktop's and is not shown.
class StderrMessages final : public IMessageSink
{
public:
    void show(const std::string& text, const std::string& caption) override;
};

void PrintError(const std::string& text);
void PrintWarning(const std::string& text);

// A progress bar on stderr with the step's name and rate; draws only when stderr is a terminal
// and the run is not quiet. Positions are the desktop bar's 0..200.
class TerminalProgress final : public IProgressSink
{
public:
    explicit TerminalProgress(std::string step, bool quiet = false);
    ~TerminalProgress() override;
    int pos() const override { return m_pos; }
    void setPos(int position) override;
    // The amount of work the whole bar stands for (unit "B": bytes); the bar then shows the
    // rate at which it is done, e.g. "48.2 MiB/s".
    void setWork(double amount, std::string unit);
    void finish();

private:
    std::string m_step;
    bool m_enabled;
    bool m_drawn = false;
    int m_pos = 0;
    int m_lastDrawn = -1;
    double m_work = 0;
    std::string m_unit;
    std::chrono::steady_clock::time_point m_start;
};

// Seconds since `start`, for the summaries.
double SecondsSince(std::chrono::steady_clock::time_point start);
std::string FormatBytes(unsigned long long bytes);
// 1234567 -> "1.2 M" (k, M, G), for rates of things that are not bytes.
std::string FormatCount(double count);
unsigned long long FileSize(const std::string& path);

// Each command adds itself to the app; its callback sets context.exitCode.
void RegisterProcessCommand(CLI::App& app, CliContext& context);
void RegisterBanksCommand(CLI::App& app, CliContext& context);
void RegisterCliffCommand(CLI::App& app, CliContext& context);
void RegisterDatCommands(CLI::App& app, CliContext& context);
void RegisterDemoCommand(CLI::App& app, CliContext& context);
void RegisterWtrCommands(CLI::App& app, CliContext& context);
void RegisterPreviewCommand(CLI::App& app, CliContext& context);
void RegisterImageCommands(CLI::App& app, CliContext& context);
void RegisterBatchCommand(CLI::App& app, CliContext& context);
