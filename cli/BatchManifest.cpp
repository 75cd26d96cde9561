#include "cli/BatchManifest.h"

#include "base/JobFiles.h"
#include "heightproc/Process.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <numeric>
#include <sstream>

namespace
{

constexpr int kKinds = 4;
constexpr const char* kKindNames[kKinds] = {"map", "banks", "cliff", "preview"};

// Sets one field from a value; returns why the value is wrong, or an empty string.
using Setter = std::function<std::string(BatchJob&, const std::string&)>;

struct KeySpec
{
    BatchJobKind kind;
    const char* key;
    Setter set;
};

bool ParseWhole(const std::string& text, long& value)
{
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end;
}

// A key that sets a row of a job's field table, through the same parsing and range check as the
// command line's option of that name.
template <typename Settings> Setter FieldKey(const JobField<Settings>& field, Settings BatchJob::*settings)
{
    return [&field, settings](BatchJob& job, const std::string& text) { return SetField(field, job.*settings, text); };
}

// Every row of a table as a key of one kind of section.
template <typename Settings, std::size_t N>
void AddFieldKeys(std::vector<KeySpec>& keys, BatchJobKind kind, const JobField<Settings> (&table)[N],
                  Settings BatchJob::*settings)
{
    for (const JobField<Settings>& field : table)
        keys.push_back({kind, field.option, FieldKey(field, settings)});
}

Setter PathKey(std::string BatchJob::*member)
{
    // The manifest's folder is joined later, once for every path (see ResolvePaths).
    return [member](BatchJob& job, const std::string& text) -> std::string
    {
        job.*member = text;
        return {};
    };
}

Setter BoolKey(int ProcessSettings::*member)
{
    return [member](BatchJob& job, const std::string& text) -> std::string
    {
        std::string lower = text;
        std::transform(lower.begin(), lower.end(), lower.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (lower == "true" || lower == "yes" || lower == "on" || lower == "1")
            job.process.*member = 1;
        else if (lower == "false" || lower == "no" || lower == "off" || lower == "0")
            job.process.*member = 0;
        else
            return "\"" + text + "\" is not true or false";
        return {};
    };
}

const std::vector<KeySpec>& Keys()
{
    using K = BatchJobKind;
    static const std::vector<KeySpec> keys = []
    {
        std::vector<KeySpec> list = {{K::Map, "raw", PathKey(&BatchJob::raw)}};
        AddFieldKeys(list, K::Map, kProcessFields, &BatchJob::process);
        AddFieldKeys(list, K::Banks, kBanksFields, &BatchJob::banks);
        AddFieldKeys(list, K::Cliff, kCliffFields, &BatchJob::cliff);
        AddFieldKeys(list, K::Preview, kReliefFields, &BatchJob::relief);
        list.insert(list.end(), {
            {K::Map, "lever",
             [](BatchJob& job, const std::string& text)
             {
                 job.process.leverPath = text;
                 return std::string();
             }},
            {K::Map, "water",
             [](BatchJob& job, const std::string& text)
             {
                 job.process.waterPath = text;
                 return std::string();
             }},
            {K::Map, "blur-height", BoolKey(&ProcessSettings::blurHeight)},

            {K::Banks, "wtr", PathKey(&BatchJob::wtr)},
            {K::Banks, "output", PathKey(&BatchJob::output)},
            {K::Banks, "preview", PathKey(&BatchJob::bankPreview)},

            {K::Cliff, "dat", PathKey(&BatchJob::dat)},
            {K::Cliff, "output", PathKey(&BatchJob::output)},

            {K::Preview, "dat", PathKey(&BatchJob::dat)},
            {K::Preview, "output", PathKey(&BatchJob::output)},
            {K::Preview, "terrain", PathKey(&BatchJob::terrain)},
            {K::Preview, "mode",
             [](BatchJob& job, const std::string& text) -> std::string
             {
                 if (text != "relief" && text != "water" && text != "auto")
                     return "\"" + text + "\" is not relief, water or auto";
                 job.mode = text;
                 return {};
             }},
        });
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

// The keys a job of this kind cannot do without.
std::vector<std::pair<const char*, std::string BatchJob::*>> RequiredKeys(BatchJobKind kind)
{
    switch (kind)
    {
    case BatchJobKind::Map:
        return {{"raw", &BatchJob::raw}};
    case BatchJobKind::Banks:
        return {{"wtr", &BatchJob::wtr}, {"output", &BatchJob::output}};
    case BatchJobKind::Cliff:
    case BatchJobKind::Preview:
        return {{"dat", &BatchJob::dat}, {"output", &BatchJob::output}};
    }
    return {};
}

std::string Trim(const std::string& text)
{
    const std::size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return {};
    const std::size_t last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

bool IsComment(const std::string& rest)
{
    const std::string trimmed = Trim(rest);
    return trimmed.empty() || trimmed[0] == '#' || trimmed[0] == ';';
}

// The value after "=": a double-quoted string (with \" and \\) or bare text up to a comment
// that follows white space. Returns false with a message when it is malformed.
bool ParseValue(const std::string& raw, std::string& value, std::string& error)
{
    const std::string text = Trim(raw);
    if (!text.empty() && text[0] == '"')
    {
        value.clear();
        for (std::size_t i = 1; i < text.size(); ++i)
        {
            if (text[i] == '\\' && i + 1 < text.size() && (text[i + 1] == '"' || text[i + 1] == '\\'))
                value += text[++i];
            else if (text[i] == '"')
            {
                if (!IsComment(text.substr(i + 1)))
                {
                    error = "unexpected text after the closing quote";
                    return false;
                }
                return true;
            }
            else
                value += text[i];
        }
        error = "the quoted value has no closing quote";
        return false;
    }
    std::size_t cut = text.size();
    for (std::size_t i = 1; i < text.size(); ++i)
        if ((text[i] == '#' || text[i] == ';') && (text[i - 1] == ' ' || text[i - 1] == '\t'))
        {
            cut = i;
            break;
        }
    value = Trim(text.substr(0, cut));
    if (value.empty())
    {
        error = "the key has no value";
        return false;
    }
    return true;
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

void ResolvePaths(BatchJob& job, const std::string& baseDir)
{
    for (std::string* path : {&job.raw, &job.process.leverPath, &job.process.waterPath, &job.wtr, &job.bankPreview,
                              &job.dat, &job.terrain, &job.output})
        *path = JoinPath(baseDir, *path);
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
    explicit Parser(BatchManifest& manifest) : m_manifest(manifest) {}

    bool parse(const std::string& text, const std::string& baseDir, std::string& error);

private:
    bool fail(int line, const std::string& message)
    {
        m_error = std::to_string(line) + ": " + message;
        return false;
    }
    bool section(const std::string& line, int number);
    bool entry(const std::string& line, int number);
    bool finish(const std::string& baseDir);

    BatchManifest& m_manifest;
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

bool Parser::parse(const std::string& text, const std::string& baseDir, std::string& error)
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
    if (!finish(baseDir))
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
                        "]; sections are [defaults], [map NAME], [banks NAME], [cliff NAME] and [preview NAME]");
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
    std::string value;
    std::string why;
    if (!ParseValue(line.substr(equals + 1), value, why))
        return fail(number, key + ": " + why);
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
                if (std::string problem = keySpec->set(scratch, value); !problem.empty())
                    return fail(number, key + " (" + kKindNames[kind] + "): " + problem);
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
    if (std::string problem = keySpec->set(job, value); !problem.empty())
        return fail(number, key + ": " + problem);
    setKeys.push_back(key);
    return true;
}

bool Parser::finish(const std::string& baseDir)
{
    if (m_manifest.jobs.empty())
    {
        m_error = "0: no jobs: add a [map NAME], [banks NAME], [cliff NAME] or [preview NAME] section";
        return false;
    }
    for (std::size_t i = 0; i < m_manifest.jobs.size(); ++i)
    {
        BatchJob& job = m_manifest.jobs[i];
        const std::vector<std::string>& setKeys = m_setKeys[i];
        for (const Entry& entry : m_defaults)
            if (const KeySpec* keySpec = FindKey(job.kind, entry.key);
                keySpec != nullptr && std::find(setKeys.begin(), setKeys.end(), entry.key) == setKeys.end())
                (void)keySpec->set(job, entry.value); // checked when the default was read
        job.pixelSizeSet = std::find(setKeys.begin(), setKeys.end(), "pixel-size") != setKeys.end() ||
                           std::any_of(m_defaults.begin(), m_defaults.end(),
                                       [](const Entry& entry) { return entry.key == "pixel-size"; });
        for (const auto& [key, member] : RequiredKeys(job.kind))
            if ((job.*member).empty())
                return fail(job.line, std::string("[") + BatchJobKindName(job.kind) + " " + job.name + "] needs " +
                                          key + " = PATH");
        ResolvePaths(job, baseDir);
    }
    return true;
}

} // namespace

const char* BatchJobKindName(BatchJobKind kind)
{
    return kKindNames[static_cast<int>(kind)];
}

bool ParseBatchManifest(const std::string& text, const std::string& baseDir, BatchManifest& manifest,
                        std::string& error)
{
    manifest = BatchManifest{};
    Parser parser(manifest);
    if (parser.parse(text, baseDir, error))
        return true;
    manifest = BatchManifest{};
    return false;
}

bool LoadBatchManifest(const std::string& path, BatchManifest& manifest, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
    {
        error = InputFailure(path, "cannot open the manifest");
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad())
    {
        error = InputFailure(path, "cannot read the manifest");
        return false;
    }
    const std::size_t slash = path.find_last_of('/');
    const std::string baseDir = slash == std::string::npos ? std::string() : path.substr(0, slash == 0 ? 1 : slash);
    if (ParseBatchManifest(text.str(), baseDir, manifest, error))
        return true;
    // "0: ..." concerns the file as a whole.
    error = error.compare(0, 3, "0: ") == 0 ? path + ": " + error.substr(3) : path + ":" + error;
    return false;
}

bool ParseBatchShard(const std::string& text, BatchShard& shard, std::string& error)
{
    const std::size_t slash = text.find('/');
    long index = 0;
    long count = 0;
    if (slash == std::string::npos || !ParseWhole(text.substr(0, slash), index) ||
        !ParseWhole(text.substr(slash + 1), count))
    {
        error = text + " is not K/N (the K-th of N slices, e.g. 2/8)";
        return false;
    }
    if (count < 1 || count > 1000000 || index < 1 || index > count)
    {
        error = text + ": K counts from 1 to N (N at least 1)";
        return false;
    }
    shard.index = static_cast<int>(index);
    shard.count = static_cast<int>(count);
    return true;
}

namespace
{
// The same file however the manifest spells its path ("maps/./north.dat").
std::string SamePath(const std::string& path)
{
    return std::filesystem::path(path).lexically_normal().string();
}

// For each job, the maps whose output it reads (indices into manifest.jobs).
std::vector<std::vector<std::size_t>> MapsReadBy(const BatchManifest& manifest)
{
    std::map<std::string, std::size_t> written; // a height or water file -> the map writing it
    for (std::size_t i = 0; i < manifest.jobs.size(); ++i)
    {
        const BatchJob& job = manifest.jobs[i];
        if (job.kind != BatchJobKind::Map)
            continue;
        const std::string base = BaseName(job.raw);
        written.emplace(SamePath(base + ".dat"), i);
        written.emplace(SamePath(base + "_w.dat"), i);
    }
    std::vector<std::vector<std::size_t>> reads(manifest.jobs.size());
    for (std::size_t i = 0; i < manifest.jobs.size(); ++i)
    {
        const BatchJob& job = manifest.jobs[i];
        if (job.kind != BatchJobKind::Cliff && job.kind != BatchJobKind::Preview)
            continue;
        std::vector<std::string> inputs{job.dat};
        if (job.kind == BatchJobKind::Preview)
        {
            // A preview of a water file reads the terrain beside it unless told otherwise.
            if (!job.terrain.empty())
                inputs.push_back(job.terrain);
            else if (job.dat.size() > 6 && job.dat.ends_with("_w.dat"))
                inputs.push_back(job.dat.substr(0, job.dat.size() - 6) + ".dat");
        }
        for (const std::string& input : inputs)
            if (const auto found = written.find(SamePath(input)); found != written.end())
                reads[i].push_back(found->second);
    }
    return reads;
}

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
    const std::size_t count = manifest.jobs.size();
    const std::vector<std::vector<std::size_t>> reads = MapsReadBy(manifest);
    // In file order, a job waits until every map it reads has run; maps read nothing, so this
    // always finishes, and a manifest already in that order keeps it.
    std::vector<std::size_t> order;
    std::vector<bool> done(count, false);
    order.reserve(count);
    while (order.size() < count)
        for (std::size_t i = 0; i < count; ++i)
        {
            if (done[i])
                continue;
            if (!std::all_of(reads[i].begin(), reads[i].end(), [&](std::size_t map) { return done[map]; }))
                continue;
            done[i] = true;
            order.push_back(i);
            // Start over so that a job held back runs right after the map it waited for.
            break;
        }
    return order;
}

std::vector<std::size_t> BatchShardJobs(const BatchManifest& manifest, BatchShard shard)
{
    const std::size_t count = manifest.jobs.size();
    const std::vector<std::vector<std::size_t>> reads = MapsReadBy(manifest);
    Groups groups{std::vector<std::size_t>(count)};
    std::iota(groups.parent.begin(), groups.parent.end(), std::size_t{0});
    for (std::size_t i = 0; i < count; ++i)
        for (std::size_t map : reads[i])
        {
            // The root is the group's first job in the file, which numbers the group.
            const std::size_t a = groups.root(i);
            const std::size_t b = groups.root(map);
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
