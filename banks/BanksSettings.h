#pragma once
// The settings of one "Generate" on the water banks page, with the page's initial values, and
// the ranges that every front end checks before the job runs.
#include "base/JobFields.h"
#include "base/Status.h"

#include <cfloat>
#include <string>
#include <string_view>

struct BanksSettings
{
    int minRiverSize = 8;         // R, in water-image pixels: filter radius, tracing margin, minimum outline radius
    float waterPixelSize = 10.0f; // metres per full-resolution mask cell
    float shoreLevel = 0.5f;      // water value (0..1) at which the shore lies
    int tesselation = 4;          // T: points per segment and split thresholds
    long resolutionScale = 5;     // mask cells along one water-image pixel
};

// The fields in the order they are checked. The page only range-checks the tesselation (and
// the main dialog the scale); a negative min river size would make the filter and the tracer
// read outside their images and a pixel size of 0 or less gives meaningless coordinates, so
// the job refuses these too. The min river size is a signed 16-bit field, and the pixel size
// must be a positive finite float (the smallest positive float is the lower bound). The shore
// level is a water value; only the command line holds it to 0..1.
inline constexpr JobField<BanksSettings> kBanksFields[] = {
    Field<&BanksSettings::minRiverSize>("minRiverSize", "min-river-size", 0, 32767,
                                        "narrowest water kept, in water-image pixels"),
    Field<&BanksSettings::waterPixelSize>("waterPixelSize", "water-pixel-size", FLT_TRUE_MIN, FLT_MAX,
                                          "metres per water-mask cell", FieldCheck::everywhere, "greater than 0")
        .OnPage(PageCheck::positive),
    Field<&BanksSettings::shoreLevel>("shoreLevel", "shore-level", 0.0, 1.0, "water value at which the shore lies",
                                      FieldCheck::commandLine),
    Field<&BanksSettings::tesselation>("tesselation", "tesselation", 2, 8, "points per shoreline segment"),
    Field<&BanksSettings::resolutionScale>("resolutionScale", "scale", kResolutionScaleRange.min,
                                           kResolutionScaleRange.max, "water-mask cells along one image pixel"),
};

consteval const JobField<BanksSettings>& BanksField(std::string_view name)
{
    return FindField(kBanksFields, name);
}

// Ok when every field is in range (and the shore level is a finite number); otherwise
// invalidSettings, "<field> must be ..." for the first field that is not.
Status CheckBanksSettings(const BanksSettings& settings);
