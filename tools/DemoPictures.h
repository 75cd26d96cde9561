#pragma once
// The demo's pictures step: the terrain before and after levering, its water and cliff mask as
// PNG pictures, and one overview of them (with the runway close up and the shorelines) for the
// README. Every full-size picture is reduced to its panel as soon as it is written, so only one
// is held at a time.
#include "base/Sinks.h"
#include "base/Status.h"
#include "demo/DemoInputs.h"
#include "tools/Overview.h"

#include <functional>
#include <string>

// The longer side of an overview panel (maps of 2^k + 1 samples give panels of one pixel more).
inline constexpr int kDemoPanelSide = 512;

struct DemoPictureInputs
{
    std::string base;     // "<dir>/terrain": reads <base>.raw, .dat, _w.dat, _cliff.bmp
    int size = 0;         // samples along each side of the RAW map
    float pixelSize = 50; // metres per sample
    DemoRunway runway;    // length 0: no close-up
    bool water = false;   // <base>_w.dat was written
    Picture shorelines;   // the shoreline preview's panel; empty: none
};

// The panel of a full-size picture: about kDemoPanelSide pixels along its longer side.
Picture DemoPanel(PixelsView picture);

// Called after each file is written, with its path and a few words on what it shows.
using DemoPictureReport = std::function<void(const std::string& path, const std::string& note)>;

// Writes <base>_before.png, _after.png, _water.png (when there is water), _cliff.png and
// _overview.png, each picture's writing shown on `progress` from 0 to 200. Refused with the
// reason when an input cannot be read or a picture cannot be written.
Status WriteDemoPictures(const DemoPictureInputs& inputs, const DemoPictureReport& report, IProgressSink& progress);
