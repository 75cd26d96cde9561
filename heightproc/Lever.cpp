#include "heightproc/Lever.h"

// Levering arrives with the lever stage; until then a lever path leaves the raster as it is.
LeverStatus ApplyLever(const ProcessSettings&, const std::string&, RasterView<std::uint16_t>, IProgressSink&,
                       IMessageSink&)
{
    return LeverStatus::BitmapUnreadable;
}
