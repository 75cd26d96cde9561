#pragma once
// The settings of one "Process" run: the process page's fields and the main dialog's
// water/height resolution scale, with the page's initial values.
#include "base/JobFields.h"

#include <string>
#include <string_view>

struct ProcessSettings
{
    std::string leverPath; // empty: no levering
    std::string waterPath; // empty: no water stage
    int rawWidth = 1024;
    int rawHeight = 1024;
    int blur = 10; // passes of the lever blur
    float sharpness = 0.3f;
    int blurHeight = 1; // 0 or 1: smooth the heights along the banks
    int bank = 5;
    int hillSize = 30;
    long seaLevel = -1;
    // The sea height in samples when it was given in metres (the command line's "--sea-level 0m"),
    // 1..65535; -1: the sea level's seaLevel * 257.
    int seaSample = -1;
    float pixelSize = 50.0f;  // written into both DAT headers
    long resolutionScale = 5; // water-mask cells along one height sample
    // The RAW's samples are big-endian (the desktop always reads little-endian ones).
    bool bigEndianRaw = false;
};

// The run's fields in the order the page checks them; the scale is the main dialog's.
inline constexpr JobField<ProcessSettings> kProcessFields[] = {
    Field<&ProcessSettings::rawWidth>("rawWidth", "width", 256, 20000, "samples per row"),
    Field<&ProcessSettings::rawHeight>("rawHeight", "height", 256, 20000, "number of rows"),
    Field<&ProcessSettings::blur>("blur", "blur", 1, 20, "passes of the lever blur"),
    Field<&ProcessSettings::sharpness>("sharpness", "sharpness", 0.0, 1.0, "sharpness of the levering"),
    Field<&ProcessSettings::bank>("bank", "bank", 1, 10, "bank width of the height smoothing"),
    Field<&ProcessSettings::hillSize>("hillSize", "hill-size", 3, 100, "hill size of the height smoothing"),
    Field<&ProcessSettings::seaLevel>("seaLevel", "sea-level", -1, 255, "sea level of the water stage"),
    Field<&ProcessSettings::pixelSize>("pixelSize", "pixel-size", 0.01, 100000.0,
                                       "ground size of one sample in metres, stored in the files")
        .OnPage(1.0, 200.0),
    Field<&ProcessSettings::resolutionScale>("resolutionScale", "scale", kResolutionScaleRange.min,
                                             kResolutionScaleRange.max, "water cells along one height sample"),
};

// A field of the process run by name, checked while compiling.
consteval const JobField<ProcessSettings>& ProcessField(std::string_view name)
{
    return FindField(kProcessFields, name);
}
