#include "cli/BatchManifest.h"

#include "base/Text.h"

#include "base/JobFiles.h"
#include "heightproc/Process.h"
#include "heightproc/ProcessJob.h"
#include "tools/ProcessRequest.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <numeric>
#include <queue>
#include <sstream>

#include <sys/stat.h>

namespace
{

constexpr int kKinds = 6;
constexpr const char* kKindNames[kKinds] = {"map", "banks", "cliff", "preview", "import", "export"};

// Sets one key's value into its job, or answers why the value is wrong.
using Setter = std::function<Status(BatchJob&, const std::string&)>;

struct KeySpec
{
    BatchJobKind kind;
    std::string key;
    bool required; // a job of this kind cannot do without it
    bool path;     // a path, relative to the manifest's folder
    Setter set;
};

// Every row of a job's description that has a manifest key, as a key of one kind of section:
// the row's own parser, so a key takes and refuses what the command's option of that name does.
template <typename Request>
void AddOptionKeys(std::vector<KeySpec>& keys, BatchJobKind kind, const JobOptions<Request>& rows,
                   Request BatchJob::*request)
{
    for (const JobOption<Request>& row : rows)
        if (!row.key.empty())
            keys.push_back({kind, row.key, row.required, row.path(),
                            [&row, request](BatchJob& job, const std::string& text)
                            { return row.parse(job.*request, text); }});
}

const std::vector<KeySpec>& Keys()
{
    using K = BatchJobKind;
    static const std::vector<KeySpec> keys = []
    {
        std::vector<KeySpec> list;
        AddOptionKeys(list, K::Map, ProcessDescription(), &BatchJob::map);
        AddOptionKeys(list, K::Banks, BanksDescription(), &BatchJob::banks);
        AddOptionKeys(list, K::Cliff, CliffDescription(), &BatchJob::cliff);
        AddOptionKeys(list, K::Preview, PreviewDescription(), &BatchJob::preview);
        AddOptionKeys(list, K::Import, ImportDescription(), &BatchJob::importRequest);
        AddOptionKeys(list, K::Export, ExportDescription(), &BatchJob::exportRequest);
        return list;
    }();
    return keys;
}

const KeySpec* FindKey(BatchJobKind kind, const std::string& key)
{
    for (const KeySpec& keySpec : Keys())
        if (keySpec.kind == kind && key == keySpec.key)
            return &keySpec;
    return nullptr;
}

std::string KnownKeys(BatchJobKind kind)
{
    std::string list;
    for (const KeySpec& keySpec : Keys())
        if (keySpec.kind == kind)
            list += (list.empty() ? "" : ", ") + std::string(keySpec.key);
    return list;
}

bool IsComment(const std::string& rest)
{
    const std::string trimmed = Trim(rest);
    return trimmed.empty() || trimmed[0] == '#' || trimmed[0] == ';';
}

// The value after "=": a double-quoted string (with \" and \\) or bare text up to a comment
// that follows white space, or why it is malformed.
StatusOr<std::string> ParseValue(const std::string& raw)
{
    const auto malformed = [](const char* why) { return Status(StatusCode::invalidSettings, why); };
    const std::string text = Trim(raw);
    if (!text.empty() && text[0] == '"')
    {
        std::string value;
        for (std::size_t i = 1; i < text.size(); ++i)
        {
            if (text[i] == '\\' && i + 1 < text.size() && (text[i + 1] == '"' || text[i + 1] == '\\'))
                value += text[++i];
            else if (text[i] == '"')
                return IsComment(text.substr(i + 1)) ? StatusOr<std::string>(value)
                                                     : malformed("unexpected text after the closing quote");
            else
                value += text[i];
        }
        return malformed("the quoted value has no closing quote");
    }
    std::size_t cut = text.size();
    for (std::size_t i = 1; i < text.size(); ++i)
        if ((text[i] == '#' || text[i] == ';') && (text[i - 1] == ' ' || text[i - 1] == '\t'))
        {
            cut = i;
            break;
        }
    std::string value = Trim(text.substr(0, cut));
    if (value.empty())
        return malformed("the key has no value");
    return value;
}

bool ValidKeyName(const std::string& key)
{
    return !key.empty() && std::all_of(key.begin(), key.end(),
                                       [](unsigned char c) { return std::islower(c) || std::isdigit(c) || c == '-'; });
}

std::string JoinPath(const std::string& baseDir, const std::string& path)
{
    if (baseDir.empty() || path.empty() || path[0] == '/')
        return path;
    return baseDir + "/" + path;
}

// The value as its key takes it: a path joined to the manifest's folder.
std::string KeyValue(const KeySpec& keySpec, const std::string& value, const std::string& baseDir)
{
    return keySpec.path ? JoinPath(baseDir, value) : value;
}

struct Entry
{
    std::string key;
    std::string value;
    int line;
};

class Parser
{
public:
    Parser(BatchManifest& manifest, std::string baseDir) : m_manifest(manifest), m_baseDir(std::move(baseDir)) {}

    bool parse(const std::string& text, std::string& error);

private:
    bool fail(int line, const std::string& message)
    {
        m_error = std::to_string(line) + ": " + message;
        return false;
    }
    bool section(const std::string& line, int number);
    bool entry(const std::string& line, int number);
    bool finish();
    bool link();

    BatchManifest& m_manifest;
    std::string m_baseDir; // relative paths are joined to it; empty: left as they are
    std::string m_error;
    enum class Where
    {
        Nowhere,
        Defaults,
        Job,
    } m_where = Where::Nowhere;
    std::vector<Entry> m_defaults;
    std::vector<std::vector<std::string>> m_setKeys; // per job, the keys it sets
};

bool Parser::parse(const std::string& text, std::string& error)
{
    std::istringstream in(text);
    std::string line;
    int number = 0;
    while (std::getline(in, line))
    {
        ++number;
        if (number == 1 && line.compare(0, 3, "\xEF\xBB\xBF") == 0)
            line.erase(0, 3); // a byte order mark that some editors write
        const std::string trimmed = Trim(line);
        const bool ok = IsComment(trimmed)  ? true
                        : trimmed[0] == '[' ? section(trimmed, number)
                                            : entry(trimmed, number);
        if (!ok)
        {
            error = m_error;
            return false;
        }
    }
    if (!finish())
    {
        error = m_error;
        return false;
    }
    return true;
}

bool Parser::section(const std::string& line, int number)
{
    const std::size_t close = line.find(']');
    if (close == std::string::npos)
        return fail(number, "the section header has no closing ]");
    if (!IsComment(line.substr(close + 1)))
        return fail(number, "unexpected text after the section header");
    const std::string inside = Trim(line.substr(1, close - 1));
    const std::size_t space = inside.find_first_of(" \t");
    const std::string kind = inside.substr(0, space);
    const std::string name = space == std::string::npos ? std::string() : Trim(inside.substr(space));
    if (kind == "defaults")
    {
        if (!name.empty())
            return fail(number, "[defaults] takes no name");
        m_where = Where::Defaults;
        return true;
    }
    const auto found = std::find_if(std::begin(kKindNames), std::end(kKindNames),
                                    [&](const char* candidate) { return kind == candidate; });
    if (found == std::end(kKindNames))
        return fail(number,
                    "unknown section [" + inside +
                        "]; sections are [defaults], [map NAME], [banks NAME], [cliff NAME], [preview NAME], "
                        "[import NAME] and [export NAME]");
    if (name.empty())
        return fail(number, "[" + kind + "] needs a name: [" + kind + " NAME]");
    BatchJob job;
    job.kind = static_cast<BatchJobKind>(found - std::begin(kKindNames));
    job.name = name;
    job.line = number;
    for (const BatchJob& other : m_manifest.jobs)
        if (other.kind == job.kind && other.name == name)
            return fail(number, "[" + kind + " " + name + "] is already defined on line " + std::to_string(other.line));
    m_manifest.jobs.push_back(job);
    m_setKeys.emplace_back();
    m_where = Where::Job;
    return true;
}

bool Parser::entry(const std::string& line, int number)
{
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos)
        return fail(number, "expected \"key = value\", a [section] or a # comment");
    const std::string key = Trim(line.substr(0, equals));
    if (!ValidKeyName(key))
        return fail(number, "\"" + key + "\" is not a key (keys are the command options without --, e.g. pixel-size)");
    const StatusOr<std::string> parsed = ParseValue(line.substr(equals + 1));
    if (!parsed)
        return fail(number, key + ": " + parsed.status.message);
    const std::string& value = *parsed;
    if (m_where == Where::Nowhere)
        return fail(number, key + " is outside any section; start one with [map NAME] or [defaults]");
    if (m_where == Where::Defaults)
    {
        bool known = false;
        for (int kind = 0; kind < kKinds; ++kind)
            known = known || FindKey(static_cast<BatchJobKind>(kind), key) != nullptr;
        if (!known)
            return fail(number, "unknown key " + key + " in [defaults]");
        for (const Entry& other : m_defaults)
            if (other.key == key)
                return fail(number, key + " is already set on line " + std::to_string(other.line));
        // Checked against every kind that has the key, so a wrong default is reported here
        // even when no job uses it.
        for (int kind = 0; kind < kKinds; ++kind)
            if (const KeySpec* keySpec = FindKey(static_cast<BatchJobKind>(kind), key))
            {
                BatchJob scratch;
                if (const Status status = keySpec->set(scratch, KeyValue(*keySpec, value, m_baseDir)); !status)
                    return fail(number, key + " (" + kKindNames[kind] + "): " + status.message);
            }
        m_defaults.push_back({key, value, number});
        return true;
    }
    BatchJob& job = m_manifest.jobs.back();
    const std::string where = std::string("[") + BatchJobKindName(job.kind) + " " + job.name + "]";
    const KeySpec* keySpec = FindKey(job.kind, key);
    if (keySpec == nullptr)
        return fail(number, "unknown key " + key + " in " + where + "; its keys are " + KnownKeys(job.kind));
    std::vector<std::string>& setKeys = m_setKeys.back();
    if (std::find(setKeys.begin(), setKeys.end(), key) != setKeys.end())
        return fail(number, key + " is set twice in " + where);
    if (const Status status = keySpec->set(job, KeyValue(*keySpec, value, m_baseDir)); !status)
        return fail(number, key + ": " + status.message);
    setKeys.push_back(key);
    return true;
}

bool Parser::finish()
{
    if (m_manifest.jobs.empty())
    {
        m_error = "0: no jobs: add a [map NAME], [banks NAME], [cliff NAME], [preview NAME], [import NAME] or "
                  "[export NAME] section";
        return false;
    }
    for (std::size_t i = 0; i < m_manifest.jobs.size(); ++i)
    {
        BatchJob& job = m_manifest.jobs[i];
        const std::vector<std::string>& setKeys = m_setKeys[i];
        job.keys = setKeys;
        for (const Entry& entry : m_defaults)
            if (const KeySpec* keySpec = FindKey(job.kind, entry.key);
                keySpec != nullptr && std::find(setKeys.begin(), setKeys.end(), entry.key) == setKeys.end())
            {
                (void)keySpec->set(job, KeyValue(*keySpec, entry.value, m_baseDir)); // checked when read
                job.keys.push_back(entry.key);
            }
        for (const KeySpec& keySpec : Keys())
            if (keySpec.kind == job.kind && keySpec.required && !job.sets(keySpec.key))
                return fail(job.line, std::string("[") + BatchJobKindName(job.kind) + " " + job.name + "] needs " +
                                          keySpec.key + " = PATH");
        // Each key was checked alone as it was read; the import's options also go together.
        if (HeightImportOptions options; job.kind == BatchJobKind::Import)
            if (const Status status = ImportOptionsOf(job.importRequest, options, OptionSpelling::manifest); !status)
                return fail(job.line, "[import " + job.name + "]: " + status.message);
    }
    return link();
}

std::string Label(const BatchJob& job)
{
    return std::string("[") + BatchJobKindName(job.kind) + " " + job.name + "]";
}

// The order in which the jobs can run: at each step the first job in the file whose inputs'
// writers have all run, so a manifest already in that order keeps it and a job held back runs
// right after the last job it waited for. Jobs that wait for each other are left out.
std::vector<std::size_t> ReadyOrder(const std::vector<BatchJob>& jobs)
{
    const std::size_t count = jobs.size();
    std::vector<std::size_t> waiting(count, 0);
    std::vector<std::vector<std::size_t>> readers(count);
    for (std::size_t i = 0; i < count; ++i)
    {
        std::vector<std::size_t> writers;
        for (const BatchJob::Input& input : jobs[i].reads)
            writers.push_back(input.job);
        std::sort(writers.begin(), writers.end());
        writers.erase(std::unique(writers.begin(), writers.end()), writers.end());
        waiting[i] = writers.size();
        for (std::size_t writer : writers)
            readers[writer].push_back(i);
    }
    std::priority_queue<std::size_t, std::vector<std::size_t>, std::greater<>> ready;
    for (std::size_t i = 0; i < count; ++i)
        if (waiting[i] == 0)
            ready.push(i);
    std::vector<std::size_t> order;
    order.reserve(count);
    while (!ready.empty())
    {
        const std::size_t job = ready.top();
        ready.pop();
        order.push_back(job);
        for (std::size_t reader : readers[job])
            if (--waiting[reader] == 0)
                ready.push(reader);
    }
    return order;
}

bool Parser::link()
{
    std::vector<BatchJob>& jobs = m_manifest.jobs;
    std::vector<BatchJobFiles> files;
    std::map<std::string, std::size_t> writers; // a file's key -> the job writing it
    for (std::size_t i = 0; i < jobs.size(); ++i)
    {
        files.push_back(FilesOfBatchJob(jobs[i]));
        for (const std::string& path : files[i].writes)
        {
            const auto [at, added] = writers.emplace(FileKey(path), i);
            // A job naming one file for two of its outputs is refused when it runs, as its command.
            if (!added && at->second != i)
                return fail(jobs[i].line, Label(jobs[i]) + " writes " + path + ", as " + Label(jobs[at->second]) +
                                              " on line " + std::to_string(jobs[at->second].line) +
                                              " does; give each job its own output");
        }
    }
    for (std::size_t i = 0; i < jobs.size(); ++i)
        for (const std::string& path : files[i].reads)
            // A job reading its own output is refused when it runs, as its command.
            if (const auto found = writers.find(FileKey(path)); found != writers.end() && found->second != i)
                jobs[i].reads.push_back({found->second, path});

    const std::vector<std::size_t> order = ReadyOrder(jobs);
    if (order.size() == jobs.size())
        return true;
    // Some jobs wait for each other. Walk from the first of them along the jobs it waits for
    // until one comes back: that is a circle to name.
    std::vector<bool> placed(jobs.size(), false);
    for (std::size_t job : order)
        placed[job] = true;
    std::size_t job = std::size_t(std::find(placed.begin(), placed.end(), false) - placed.begin());
    std::vector<std::size_t> walk;
    std::vector<const BatchJob::Input*> via;
    while (std::find(walk.begin(), walk.end(), job) == walk.end())
    {
        const auto input = std::find_if(jobs[job].reads.begin(), jobs[job].reads.end(),
                                        [&](const BatchJob::Input& read) { return !placed[read.job]; });
        walk.push_back(job);
        via.push_back(&*input);
        job = input->job;
    }
    const std::size_t first = std::size_t(std::find(walk.begin(), walk.end(), job) - walk.begin());
    std::string circle = Label(jobs[walk[first]]);
    for (std::size_t i = first; i < walk.size(); ++i)
        circle += std::string(i == first ? "" : ", which") + " reads " + via[i]->path + ", written by " +
                  Label(jobs[via[i]->job]);
    return fail(jobs[walk[first]].line, "jobs wait for each other's output: " + circle);
}

} // namespace

const char* BatchJobKindName(BatchJobKind kind)
{
    return kKindNames[static_cast<int>(kind)];
}

bool BatchJob::sets(const std::string& key) const
{
    return std::find(keys.begin(), keys.end(), key) != keys.end();
}

BatchJobFiles FilesOfBatchJob(const BatchJob& job)
{
    BatchJobFiles files;
    switch (job.kind)
    {
    case BatchJobKind::Map:
    {
        const ProcessJob process(job.map.raw, job.map.settings, job.map.output);
        files = {ProcessJobInputs(process), ProcessJobOutputs(process)};
        break;
    }
    case BatchJobKind::Banks:
        files = {{job.banks.wtr, job.banks.like}, {job.banks.output, job.banks.preview, job.banks.vector}};
        break;
    case BatchJobKind::Cliff:
        files = {{job.cliff.dat, job.cliff.like}, {job.cliff.output}};
        break;
    case BatchJobKind::Import:
        files = {{job.importRequest.input}, ImportJobOutputs(job.importRequest)};
        break;
    case BatchJobKind::Export:
        files = {{job.exportRequest.input, job.exportRequest.like}, {job.exportRequest.output}};
        break;
    case BatchJobKind::Preview:
    {
        const PreviewJob& preview = job.preview;
        files = {{preview.dat, preview.like}, {preview.output}};
        // A water picture is drawn over a terrain: the one named, or "<base>.dat" beside
        // "<base>_w.dat", the pair a map writes.
        if (preview.mode == "water" || (preview.mode == "auto" && preview.dat.ends_with("_w.dat")))
        {
            if (!preview.terrain.empty())
                files.reads.push_back(preview.terrain);
            else if (preview.dat.ends_with("_w.dat"))
                files.reads.push_back(preview.dat.substr(0, preview.dat.size() - 6) + ".dat");
        }
        break;
    }
    }
    for (std::vector<std::string>* list : {&files.reads, &files.writes})
        list->erase(std::remove(list->begin(), list->end(), std::string()), list->end());
    return files;
}

StatusOr<BatchManifest> ParseBatchManifest(const std::string& text, const std::string& baseDir)
{
    BatchManifest manifest;
    std::string error;
    if (!Parser(manifest, baseDir).parse(text, error))
        return Status(StatusCode::invalidSettings, error);
    return manifest;
}

StatusOr<BatchManifest> LoadBatchManifest(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return Status(StatusCode::cannotOpen, InputFailure(path, "cannot open the manifest"));
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad())
        return Status(StatusCode::cannotOpen, InputFailure(path, "cannot read the manifest"));
    const std::size_t slash = path.find_last_of('/');
    const std::string baseDir = slash == std::string::npos ? std::string() : path.substr(0, slash == 0 ? 1 : slash);
    StatusOr<BatchManifest> manifest = ParseBatchManifest(text.str(), baseDir);
    // "0: ..." concerns the file as a whole.
    if (std::string& error = manifest.status.message; !manifest)
        error = error.compare(0, 3, "0: ") == 0 ? path + ": " + error.substr(3) : path + ":" + error;
    return manifest;
}

StatusOr<BatchShard> ParseBatchShard(const std::string& text)
{
    const std::size_t slash = text.find('/');
    const std::optional<long long> index = slash == std::string::npos ? std::nullopt : ParseWhole(text.substr(0, slash));
    const std::optional<long long> count = slash == std::string::npos ? std::nullopt : ParseWhole(text.substr(slash + 1));
    if (!index || !count)
        return Status(StatusCode::invalidSettings, text + " is not K/N (the K-th of N slices, e.g. 2/8)");
    if (*count < 1 || *count > 1000000 || *index < 1 || *index > *count)
        return Status(StatusCode::invalidSettings, text + ": K counts from 1 to N (N at least 1)");
    return BatchShard{static_cast<int>(*index), static_cast<int>(*count)};
}

namespace
{
struct Groups
{
    std::vector<std::size_t> parent;
    std::size_t root(std::size_t i)
    {
        while (parent[i] != i)
            i = parent[i] = parent[parent[i]];
        return i;
    }
};
} // namespace

std::vector<std::size_t> BatchRunOrder(const BatchManifest& manifest)
{
    // A parsed manifest has no jobs that wait for each other, so every job has its place.
    return ReadyOrder(manifest.jobs);
}

std::vector<std::size_t> BatchShardJobs(const BatchManifest& manifest, BatchShard shard)
{
    const std::size_t count = manifest.jobs.size();
    Groups groups{std::vector<std::size_t>(count)};
    std::iota(groups.parent.begin(), groups.parent.end(), std::size_t{0});
    for (std::size_t i = 0; i < count; ++i)
        for (const BatchJob::Input& input : manifest.jobs[i].reads)
        {
            // The root is the group's first job in the file, which numbers the group.
            const std::size_t a = groups.root(i);
            const std::size_t b = groups.root(input.job);
            groups.parent[std::max(a, b)] = std::min(a, b);
        }
    std::map<std::size_t, std::size_t> groupNumber; // root -> number in file order
    for (std::size_t i = 0; i < count; ++i)
        groupNumber.emplace(groups.root(i), groupNumber.size());
    std::vector<std::size_t> slice;
    for (std::size_t i : BatchRunOrder(manifest))
        if (groupNumber.at(groups.root(i)) % std::size_t(shard.count) == std::size_t(shard.index - 1))
            slice.push_back(i);
    return slice;
}
