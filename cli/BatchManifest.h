#pragma once
// The manifest of `altimo-cli batch`: an INI file listing jobs and their settings. The format is
// described in docs/BATCH.md; in short:
//
//   # comment (also ; ...)
//   [defaults]              keys for every job below (and above) whose kind has that key
//   scale = 5
//   [map north]             process maps/north.raw into maps/north.dat (and north_w.dat)
//   raw = maps/north.raw    relative paths are relative to the manifest's folder
//   width = 1025
//   [cliff north]           keys: the options of the command, without "--"
//   dat = maps/north.dat
//   output = "maps/north cliff.bmp"
//
// Sections [map NAME], [banks NAME], [cliff NAME], [preview NAME], [import NAME] and
// [export NAME] run the commands process, banks, cliff, preview, import and export, in the order
// of the file. Every value is checked while parsing, so
// a manifest either parses whole or names the first mistake with its line number. Jobs are tied
// to each other by the files they read and write, compared as files (see FileKey), so a job
// runs after the job whose output it reads, and no two jobs may write one file.
#include "base/JobFiles.h"
#include "base/Status.h"
#include "tools/BanksRequest.h"
#include "tools/CliffRequest.h"
#include "tools/PreviewJob.h"
#include "tools/ProcessRequest.h"
#include "tools/ExportJob.h"
#include "tools/ImportJob.h"

#include <cstddef>
#include <string>
#include <vector>

enum class BatchJobKind
{
    Map,
    Banks,
    Cliff,
    Preview,
    Import,
    Export,
};

// "map", "banks", "cliff", "preview", "import", "export".
const char* BatchJobKindName(BatchJobKind kind);

struct BatchJob
{
    BatchJobKind kind = BatchJobKind::Map;
    std::string name;
    int line = 0;                  // of the section header
    std::vector<std::string> keys; // the keys set for it, its own and those [defaults] gave it

    // What the job's command is told, one request per kind: the keys are its options.
    ProcessRequest map;
    BanksRequest banks;
    CliffRequest cliff;
    PreviewJob preview = DescribedPreviewJob();
    ImportRequest importRequest;
    ExportRequest exportRequest;

    // Filled once the manifest is read: the other jobs whose output this one reads.
    struct Input
    {
        std::size_t job;  // index into manifest.jobs
        std::string path; // as the manifest spells it
    };
    std::vector<Input> reads;

    bool sets(const std::string& key) const;
};

// The files a job reads and the ones it writes, as the manifest spells them (joined to its
// folder): a map's RAW, lever and mask and its "<base>.dat" (and "<base>_w.dat" with a mask); the
// map a GeoTIFF or the vector lines are placed on; a preview of a water file also reads the
// terrain it is drawn over; an import writes its RAW, the RAW's header and nodata mask.
struct BatchJobFiles
{
    std::vector<std::string> reads;
    std::vector<std::string> writes;
};
BatchJobFiles FilesOfBatchJob(const BatchJob& job);


struct BatchManifest
{
    std::vector<BatchJob> jobs;
};

// Parses manifest text. Relative paths are joined to `baseDir` (empty: left as they are). A
// mistake is answered with "LINE: message" (line 0 for the file as a whole). The jobs' files are
// then compared on the file system: a job reading another's output gets it in `reads`, and two
// jobs writing one file, or jobs each waiting for the other's output, are a mistake naming both.
StatusOr<BatchManifest> ParseBatchManifest(const std::string& text, const std::string& baseDir);

// Reads and parses the file; mistakes read "PATH:LINE: message" (or "PATH: message").
StatusOr<BatchManifest> LoadBatchManifest(const std::string& path);

// One of `count` slices of a manifest's jobs, `index` counting from 1: what `batch --shard K/N`
// runs, so that a scheduler's array of N tasks spreads one manifest over many machines.
struct BatchShard
{
    int index = 1;
    int count = 1;
};

// Reads "K/N" (1 <= K <= N), or answers why the text is not one.
StatusOr<BatchShard> ParseBatchShard(const std::string& text);

// The order in which the jobs run: the order of the file, except that a job reading another
// job's output (a cliff or preview of a map's .dat or _w.dat) comes after that job.
std::vector<std::size_t> BatchRunOrder(const BatchManifest& manifest);

// The jobs of one slice, as indices into manifest.jobs in the order they run. Jobs tied by one
// reading another's output form a group that stays in one slice; the groups, in the order of
// their first job in the file, are dealt to the slices in turn. So the same manifest always gives
// the same slices, and the N slices of any N hold every job exactly once.
std::vector<std::size_t> BatchShardJobs(const BatchManifest& manifest, BatchShard shard);
