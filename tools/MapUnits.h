#pragma once
// A map's own units: what its samples stand for in metres, as import leaves it beside the map
// (the RAW's ENVI header, then the height file's sidecar), and the settings that follow from it.
//
// The jobs read a sample as Height scale S / 257 metres (the cliff export's K = S x 255 over
// samples / 65535) and put the sea at a height in samples. With a mapping metres = offset +
// gain x sample, S = gain x 257 reads samples as real metres, and a sea level in metres is the
// highest sample at or below it.
#include "base/JobOptions.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct HeightMapping
{
    double gain = 1; // metres per sample, above 0
    double offset = 0; // the metres of sample 0
    std::string source; // the file it was read from

    double metres(double sample) const { return offset + gain * sample; }
    // The Height scale that reads a sample as `gain` metres.
    double heightScale() const { return gain * 257.0; }
};

// "0m", "-12.5m": a height in metres; empty for any other text (a plain sea level).
std::optional<double> MetresFromText(std::string_view text);

// The sea height in samples for a sea level in metres: the highest sample at or below that
// height (a height exactly on a sample gives that sample), 65535 above the highest sample.
// Empty, with the reason in `problem`, when the height lies below sample 1: sample 0 takes no
// water at a sea height of 0, and below it there is no sample at all.
std::optional<int> SeaSampleAtOrBelow(const HeightMapping& mapping, double metres, std::string& problem);

// The mapping of the RAW map at `raw` from its ENVI header ("<raw>.hdr", else "<base>.hdr").
// Empty with the reason in `problem` when there is no header or it gives no data gain.
std::optional<HeightMapping> FindRawMapping(const std::string& raw, std::string& problem);

// The mapping of a width x height height or water file from its sidecar "<base>.dat.json".
// Empty when the sidecar is missing or has no heights; a sidecar that cannot be read, or whose
// gain is not above 0, is named in `warnings`.
std::optional<HeightMapping> FindDatMapping(const std::string& dat, int width, int height,
                                            std::vector<std::string>& warnings);

// How the command line was asked for a height scale.
enum class HeightScaleAsk
{
    byDefault, // nothing given: the map's scale when its sidecar has heights, else the fallback
    automatic, // "auto": the map's scale, which must be known
    given,     // a number
};

struct HeightScaleChoice
{
    double scale = 0;
    bool automatic = false;               // the scale is the map's
    std::optional<HeightMapping> mapping; // the map's, when known (whatever scale was asked)
    std::string problem;                  // why the scale cannot be had; the job is refused
    std::vector<std::string> warnings;
};

// The height scale for the height or water file `dat`. An automatic scale outside min..max
// (the command line's range) is a problem that says so. A file whose header cannot be read is
// left to the job that reads it: the answer is then the given or fallback scale.
HeightScaleChoice ChooseHeightScale(const std::string& dat, HeightScaleAsk ask, double given, double fallback,
                                    double min, double max);

// The height scale of cliff and preview as an option: a number in the field's range, or auto,
// the map's own; not given, the map's own when its sidecar has heights, else the field's default.
template <typename Request, typename Settings>
JobOption<Request> HeightScaleOption(const JobField<Settings>& field, Settings Request::*settings,
                                     HeightScaleAsk Request::*ask, const std::string& help)
{
    const JobOption<Request> row = FieldOption(field, settings);
    return row.describedAs(help + " (" + RangeText(field) + ")")
        .shownAs("NUMBER|auto")
        .defaultingTo("auto")
        .parsedBy(
            [number = row.parse, ask](Request& request, std::string_view text)
            {
                if (text == "auto")
                {
                    request.*ask = HeightScaleAsk::automatic;
                    return Ok();
                }
                Status status = number(request, text);
                if (status)
                    request.*ask = HeightScaleAsk::given;
                return status;
            });
}

// "5 (from map.dat.json: a sample is 0.01946 m)" or "10" for the summaries.
std::string DescribeHeightScale(const HeightScaleChoice& choice);

// The size of the map in a height file's header; false when it cannot be read.
bool ReadDatSize(const std::string& dat, int& width, int& height, float* pixelSize = nullptr);
