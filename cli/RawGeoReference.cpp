#include "cli/RawGeoReference.h"

#include "tools/MapSidecar.h"

#include <cstdio>
#include <fstream>

namespace
{
std::string Number(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}
} // namespace

RawGeoReference ApplyRawGeoReference(const std::string& raw, ProcessSettings& settings, bool pixelSizeGiven)
{
    RawGeoReference found;
    found.header = raw + ".hdr";
    if (!std::ifstream(found.header).good())
        return found;
    std::string error;
    if (!ReadMapGeoReference(found.header, settings.rawWidth, settings.rawHeight, found.geo, error))
    {
        // A header written by hand for the size alone is no mistake; one that does not fit the map is.
        if (error.find("no georeference") == std::string::npos)
            found.warnings.push_back(error + "; the height file gets no georeference sidecar");
        return found;
    }
    found.found = true;
    std::string note;
    const double metres = MapPixelSizeMetres(found.geo, settings.rawWidth, settings.rawHeight, note);
    const JobField<ProcessSettings>& field = ProcessField("pixelSize");
    // A map whose pixels have no one size is stretched whichever size the files get.
    if (metres <= 0)
        found.warnings.push_back(found.header + ": " + note + "; the files get " + Number(settings.pixelSize) +
                                 (pixelSizeGiven ? " m from --pixel-size" : " m (the default)"));
    if (pixelSizeGiven || metres <= 0)
        return found;
    if (const std::string problem = SetField(field, settings, Number(metres)); !problem.empty())
        found.warnings.push_back(found.header + ": its pixel size " + Number(metres) + " m is outside " +
                                 RangeText(field) + " m that the files hold; they get " +
                                 Number(settings.pixelSize) + " m, --pixel-size gives another");
    else if (!note.empty())
        found.warnings.push_back(found.header + ": " + note);
    return found;
}

bool WriteRawGeoReference(const RawGeoReference& found, const std::string& heightDat, const ProcessSettings& settings,
                          const std::string& raw, std::string& error)
{
    if (!found.found)
        return true;
    return WriteMapSidecar(MapSidecarPath(heightDat), found.geo, settings.rawWidth, settings.rawHeight, raw, error);
}
