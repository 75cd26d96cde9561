#pragma once
// A RAW 16-bit map and what travels beside it: the size and byte order when the command line
// does not give them (an ENVI header "map.raw.hdr" or "map.hdr", the two names GDAL looks for, or
// a file size that only a square map has), and the georeference of the import's header, which
// the process job carries into the sidecar of its height file ("<base>.dat.json"). The process
// command and the batch's map jobs both attach this to their ProcessJob.
#include "heightproc/ProcessJob.h"
#include "tools/HeightImage.h"
#include "tools/MapUnits.h"

#include <optional>
#include <string>
#include <vector>

struct RawMapSize
{
    int width = 0;
    int height = 0;
    bool bigEndian = false;
    std::string source;  // how the size was found, for the summary
    std::string problem; // why it could not be found; the size is 0 then
};

RawMapSize FindRawMapSize(const std::string& rawPath, unsigned long long fileBytes);

// The size of the map that `path` stands for: a height or water file (.dat, its header), an
// ENVI header (.hdr), or a RAW map (found as process finds it), with where the size came from;
// refused with the message when it cannot be read.
StatusOr<RawMapSize> ReadMapSize(const std::string& path);

// Whether the samples look byte-swapped: the sum of the differences between neighbours along
// the rows is compared for the samples as read and with their two bytes exchanged. A real
// terrain varies smoothly, so its differences are small; read in the wrong order, the low byte
// becomes the high one and every neighbour difference jumps by multiples of 256. When the
// swapped samples' sum is less than a tenth of the read ones', the order is probably wrong.
bool LooksByteSwapped(const unsigned short* samples, long long count, int width);

struct RawGeoReference
{
    bool found = false; // the header has a georeference for a map of the settings' size
    std::string header;
    MapGeoReference geo;
    MapNodata nodata; // the header's nodata mask and counts, written into the sidecar with the rest
    std::vector<std::string> warnings; // a header that cannot be used, an approximate pixel size
};

// Reads "<raw>.hdr" when there is one, with the nodata mask it names. Unless the pixel size was given, the header's ground size
// of a sample (in metres) becomes settings.pixelSize; one outside the field's range is named in a
// warning and the default is kept. A header whose pixels are not square (or that is rotated) is
// named in a warning however the pixel size came.
RawGeoReference ApplyRawGeoReference(const std::string& raw, ProcessSettings& settings, bool pixelSizeGiven);

// What a process job learns from the files beside its RAW, and what it was asked to take from
// them.
struct RawMapHeader
{
    bool inferSize = true;       // no width and height were given: take them from a header or the file size
    std::string byteOrder;       // "little" or "big"; empty: the header's, else little
    bool pixelSizeGiven = false; // the header's pixel size is not wanted
    // The sea level in metres ("--sea-level 0m"): the sea height becomes the highest sample at or
    // below it through the header's mapping. A map without one, or a height on sample 0, is
    // refused.
    std::optional<double> seaLevelMetres;
    // Answers, once the job has run.
    std::optional<HeightMapping> mapping; // the header's height mapping, when it has one
    std::string sizeSource; // where the size came from; empty when it was given
    RawGeoReference geo;
    ProcessSettings used;         // the settings the map was processed with
    std::string sidecar;          // the sidecar written, or empty
    std::vector<std::string> early; // warnings due before the map is read (the samples look swapped)
};

// Makes `job` find its size, byte order and georeference as `header` asks (its prepare and ready
// hooks; `announce`, when given, runs once the map is about to be read) and, through
// FinishRawMap, write the sidecar. `header` must outlive the job's run.
void AttachRawMapHeader(ProcessJob& job, RawMapHeader& header, std::function<void()> announce = {});

// After RunProcessJob: writes the height file's sidecar when the header had a georeference and
// adds what went wrong with it, and the header's own warnings, to the result's warnings.
void FinishRawMap(const ProcessJob& job, RawMapHeader& header, JobResult& result);
