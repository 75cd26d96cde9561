#pragma once
// What every command of altimo-cli shares: the exit codes, the sinks that report on stderr and
// the registry of commands.
#include "base/JobFields.h"
#include "base/JobFiles.h"
#include "base/JobResult.h"
#include "base/Sinks.h"

#include <CLI/CLI.hpp>
#include <array>
#include <chrono>
#include <cstddef>
#include <optional>
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
// Refuses (exit 2) an output whose extension (any letter case) is none of `extensions`, the
// names of the format `format` that the command writes, so that no PNG hides under a JPEG name.
// Streams, FIFOs and devices are written through whatever their name, and an empty name is left
// to CheckJobPaths, which runs first: an output that is the job's own input is named as that. Returns kExitOk or kExitBadArguments after printing why.
int CheckOutputName(const std::string& path, const std::string& format, std::initializer_list<const char*> extensions);
// The same check as a Status (invalidSettings): for the jobs whose entry reports it.
Status OutputNameProblem(const std::string& path, const std::string& format,
                         std::initializer_list<const char*> extensions);
// For commands that write a picture (`plain`: ".bmp", ".png"), or a GeoTIFF when the output ends
// in .tif or .tiff: refuses --like with a plain picture, and fails a GeoTIFF in a build without
// GDAL. CheckGeoTiffOutput prints why and returns the exit status, or kExitOk.
JobResult GeoTiffOutputProblem(const std::string& output, const std::string& like, const std::string& plain);
int CheckGeoTiffOutput(const std::string& output, const std::string& like, const std::string& plain);
// A --json summary that would share standard output with the file's bytes: refused with exit 2.
bool WritesToStandardOutput(const std::string& path);

// A job's fields as options of a command: "--option VALUE" for every row of the table, with the
// help text, the range and the default taken from the table. The values are kept as text while
// CLI11 parses and are set afterwards through SetField, in the table's order, which is the order
// the desktop checks them in.
template <typename Settings, std::size_t N> class FieldOptions
{
public:
    FieldOptions(CLI::App* command, const JobField<Settings> (&table)[N]) : m_table(table)
    {
        for (std::size_t i = 0; i < N; ++i)
        {
            const JobField<Settings>& field = table[i];
            std::string help = std::string(field.help) + " (" + RangeText(field) + ")";
            m_options[i] = command->add_option("--" + std::string(field.option), m_texts[i], help)
                ->default_str(FormatFieldNumber(field.defaultValue()))
                ->type_name(field.kind == FieldKind::integer ? "INT" : "NUMBER");
        }
    }

    // Sets every option given into `settings`. The first one refused is reported as
    // "--option: why" with the exit status for invalid arguments, and the answer is false.
    bool apply(Settings& settings, CliContext& context) const
    {
        for (std::size_t i = 0; i < N; ++i)
        {
            if (m_options[i]->count() == 0 || m_claimed[i])
                continue;
            if (std::string problem = SetField(m_table[i], settings, m_texts[i]); !problem.empty())
            {
                PrintError("--" + std::string(m_table[i].option) + ": " + problem);
                context.exitCode = kExitBadArguments;
                return false;
            }
        }
        return true;
    }

    // The option of the field `option` ("height-scale"), for a command that says more in its help.
    CLI::Option* option(std::string_view option) const { return m_options[index(option)]; }

    // The text given to --option when `accepts` takes it (a word of the command's own, "auto" or
    // "0m"); apply then leaves the option to the command. Empty when it was not given or is a
    // plain value.
    std::optional<std::string> claim(std::string_view option, bool (*accepts)(std::string_view))
    {
        const std::size_t i = index(option);
        if (m_options[i]->count() == 0 || !accepts(m_texts[i]))
            return std::nullopt;
        m_claimed[i] = true;
        return m_texts[i];
    }

    // Whether --option was given.
    bool given(std::string_view option) const { return m_options[index(option)]->count() > 0; }

private:
    std::size_t index(std::string_view option) const
    {
        for (std::size_t i = 0; i < N; ++i)
            if (option == m_table[i].option)
                return i;
        throw std::logic_error("no such option");
    }

    const JobField<Settings> (&m_table)[N];
    std::array<std::string, N> m_texts;
    std::array<CLI::Option*, N> m_options{};
    std::array<bool, N> m_claimed{};
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
