#pragma once
// The settings of one "Process" run: the process page's fields and the main dialog's
// water/height resolution scale, with the page's initial values.
#include "base/FieldRange.h"

#include <string>

struct ProcessSettings
{
    std::string leverPath; // empty: no levering
    std::string waterPath; // empty: no water stage
    int rawWidth = 1024;   // 256..20000
    int rawHeight = 1024;  // 256..20000
    int blur = 10;         // 1..20, passes of the lever blur
    float sharpness = 0.3f; // 0..1
    int blurHeight = 1;    // 0 or 1: smooth the heights along the banks
    int bank = 5;          // 1..10
    int hillSize = 30;     // 3..100
    long seaLevel = -1;    // -1..255
    float pixelSize = 50.0f; // 1..200, written into both DAT headers
    long resolutionScale = 5; // 1..50, water-mask cells along one height sample
};

// The process page's ranges in the order they are checked.
inline constexpr FieldRange kProcessRanges[] = {
    {"rawWidth", 256, 20000}, {"rawHeight", 256, 20000}, {"blur", 1, 20},       {"sharpness", 0.0, 1.0},
    {"bank", 1, 10},          {"hillSize", 3, 100},      {"seaLevel", -1, 255}, {"pixelSize", 1.0, 200.0},
};
inline constexpr FieldRange kResolutionScaleRange = {"resolutionScale", 1, 50};
