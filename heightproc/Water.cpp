#include "heightproc/Water.h"

// The water stage arrives with the water-mask format; until then it yields no water raster.
WaterResult ProcessWater(const ProcessSettings&, const std::string&, RasterView<std::uint16_t>, bool, IProgressSink&,
                         IMessageSink&)
{
    return {{}, "water processing is not available yet"};
}
