#pragma once
// Levering: a 24-bit lever bitmap as large as the height map pulls the painted areas towards
// the painted heights (red * 256) with a soft edge, in place.
#include "heightproc/ProcessSettings.h"
#include "support/RasterView.h"
#include "support/Sinks.h"

#include <cstdint>
#include <string>

enum class LeverStatus
{
    Applied,
    BitmapUnreadable, // silent in the desktop application
    SizeMismatch,     // "Lever bitmap size is different from height map" was shown
};

// Reads settings.blur and settings.sharpness; advances the progress bar by up to 100.
LeverStatus ApplyLever(const ProcessSettings& settings, const std::string& leverPath, RasterView<std::uint16_t> height,
                       IProgressSink& progress, IMessageSink& messages);
