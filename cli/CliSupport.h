#pragma once
// What every command of altimo-cli shares: the exit codes, the sinks that report on stderr and
// the registry of commands.
#include "base/JobOptions.h"
#include "base/JobFiles.h"
#include "base/JobResult.h"
#include "base/Sinks.h"
#include "tools/OutputNames.h"

#include <CLI/CLI.hpp>
#include <chrono>
#include <cstddef>
#include <deque>
#include <stdexcept>
#include <string_view>
#include <string>
#include <vector>

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

// The files of one job, checked before any work starts.
struct JobPaths
{
    std::vector<std::string> inputs;
    std::vector<std::string> outputs;
    // False for formats written with seeks (height files, water masks): a stream cannot take them.
    bool streamable = true;
    bool json = false;
};

// Refuses (exit 2) an empty path, an output that is the same file as an input, a stream output
// of a format that cannot stream, and --json with the output on standard output; answers (exit
// 1) an input that is a folder, a device or unreadable. A missing input is left to the job,
// whose own message names it. When an output goes to standard output, the summaries that follow
// go to standard error. Returns kExitOk or the exit status after printing why.
int CheckJobPaths(const JobPaths& paths);
// The command line's own part of those checks (empty names, streams, --json), for the jobs
// whose entry checks the files themselves; SummariesAwayFromOutput then sends the summaries to
// standard error when the output took standard output.
int CheckCommandPaths(const JobPaths& paths);
void SummariesAwayFromOutput(const JobPaths& paths);
// The exit status of a job's answer: 0, 2 for a refusal, 1 for a failure.
int ExitCodeOf(const JobResult& result);
// OutputNameProblem (tools/OutputNames.h) printed: kExitOk, or kExitBadArguments after printing
// why. CheckJobPaths runs first, so an output that is the job's own input is named as that.
int CheckOutputName(const std::string& path, const std::string& format, std::initializer_list<const char*> extensions);
// A --json summary that would share standard output with the file's bytes: refused with exit 2.
bool WritesToStandardOutput(const std::string& path);

// A job's description as the options of a command: a positional, "-o,--output VALUE", "--name
// VALUE" or a flag for every row, with the row's help, type, default and choices. The values are
// kept as text while CLI11 parses and go through the rows' own parsers afterwards, in the rows'
// order, which for the numbers is the order the desktop checks them in. Words outside a row's
// choices are refused by CLI11 itself, as they always were.
template <typename Request> class CommandOptions
{
public:
    CommandOptions(CLI::App* command, const JobOptions<Request>& rows)
        : m_rows(rows), m_texts(rows.size()), m_lists(rows.size()), m_flags(rows.size())
    {
        for (std::size_t i = 0; i < rows.size(); ++i)
        {
            const JobOption<Request>& row = rows[i];
            CLI::Option* option = nullptr;
            if (row.form == OptionForm::positional)
                option = command->add_option(row.name, m_texts[i], row.help);
            else if (row.form == OptionForm::flag)
                option = command->add_flag("--" + row.name, m_flags[i], row.help);
            else
            {
                const std::string names = (row.alias.empty() ? "" : "-" + row.alias + ",") + "--" + row.name;
                option = row.count > 1 ? command->add_option(names, m_lists[i], row.help)->expected(row.count)
                                       : command->add_option(names, m_texts[i], row.help);
                if (!row.choices.empty())
                    option->check(CLI::IsMember(row.choices));
                if (row.choices.empty() || !row.type.empty())
                    option->type_name(row.type);
                if (!row.defaultText.empty())
                    option->default_str(row.defaultText);
            }
            if (row.required)
                option->required();
            m_options.push_back(option);
        }
        for (std::size_t i = 0; i < rows.size(); ++i)
            if (!rows[i].excludes.empty())
                m_options[i]->excludes(option(rows[i].excludes));
    }

    // Sets every option given into `request`. The first one refused is reported as "--name: why"
    // with the exit status for invalid arguments, and the answer is false.
    bool apply(Request& request, CliContext& context) const
    {
        for (std::size_t i = 0; i < m_rows.size(); ++i)
        {
            const JobOption<Request>& row = m_rows[i];
            if (m_options[i]->count() == 0)
                continue;
            std::string text = row.form == OptionForm::flag ? (m_flags[i] ? "true" : "false") : m_texts[i];
            for (const std::string& value : m_lists[i])
                text += (text.empty() ? "" : " ") + value;
            if (const Status status = row.parse(request, text); !status)
            {
                PrintError((row.form == OptionForm::positional ? row.name : "--" + row.name) + ": " + status.message);
                context.exitCode = kExitBadArguments;
                return false;
            }
        }
        return true;
    }

    // The option of the row `name` ("height-scale").
    CLI::Option* option(std::string_view name) const
    {
        for (std::size_t i = 0; i < m_rows.size(); ++i)
            if (m_rows[i].name == name)
                return m_options[i];
        throw std::logic_error("no such option");
    }

    // Whether --name was given.
    bool given(std::string_view name) const { return option(name)->count() > 0; }

private:
    const JobOptions<Request>& m_rows;
    std::deque<std::string> m_texts; // CLI11 holds on to each: they must not move
    std::deque<std::vector<std::string>> m_lists; // of the rows that take several values
    std::deque<bool> m_flags;
    std::vector<CLI::Option*> m_options;
};

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
