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
// Sections [map NAME], [banks NAME], [cliff NAME] and [preview NAME] run the commands process,
// banks, cliff and preview, in the order of the file. Every value is checked while parsing, so
// a manifest either parses whole or names the first mistake with its line number.
#include "banks/BanksSettings.h"
#include "cliff/CliffExport.h"
#include "heightproc/ProcessSettings.h"
#include "tools/Relief.h"

#include <cstddef>
#include <string>
#include <vector>

enum class BatchJobKind
{
    Map,
    Banks,
    Cliff,
    Preview,
};

// "map", "banks", "cliff", "preview".
const char* BatchJobKindName(BatchJobKind kind);

struct BatchJob
{
    BatchJobKind kind = BatchJobKind::Map;
    std::string name;
    int line = 0; // of the section header

    // map
    std::string raw;
    ProcessSettings process;
    bool pixelSizeSet = false; // else the RAW's header may give it
    // banks
    std::string wtr;
    BanksSettings banks;
    std::string bankPreview; // PNG of the filtered water image with the shorelines; empty: none
    // cliff and preview
    std::string dat;
    CliffSettings cliff;
    std::string mode = "auto"; // preview: relief, water or auto
    std::string terrain;       // preview: terrain under a water file; empty: <base>.dat if present
    ReliefSettings relief;
    // banks, cliff and preview
    std::string output;
};

struct BatchManifest
{
    std::vector<BatchJob> jobs;
};

// Parses manifest text. Relative paths are joined to `baseDir` (empty: left as they are). On a
// mistake returns false with "LINE: message" in `error` (line 0 for the file as a whole).
bool ParseBatchManifest(const std::string& text, const std::string& baseDir, BatchManifest& manifest,
                        std::string& error);

// Reads and parses the file; errors read "PATH:LINE: message" (or "PATH: message").
bool LoadBatchManifest(const std::string& path, BatchManifest& manifest, std::string& error);

// One of `count` slices of a manifest's jobs, `index` counting from 1: what `batch --shard K/N`
// runs, so that a scheduler's array of N tasks spreads one manifest over many machines.
struct BatchShard
{
    int index = 1;
    int count = 1;
};

// Reads "K/N" (1 <= K <= N). On a mistake returns false with the reason in `error`.
bool ParseBatchShard(const std::string& text, BatchShard& shard, std::string& error);

// The order in which the jobs run: the order of the file, except that a job reading a map's
// output (a cliff or preview of its .dat or _w.dat) comes after that map.
std::vector<std::size_t> BatchRunOrder(const BatchManifest& manifest);

// The jobs of one slice, as indices into manifest.jobs in the order they run. Jobs tied by one
// reading another's output form a group that stays in one slice; the groups, in the order of
// their first job in the file, are dealt to the slices in turn. So the same manifest always gives
// the same slices, and the N slices of any N hold every job exactly once.
std::vector<std::size_t> BatchShardJobs(const BatchManifest& manifest, BatchShard shard);
