#include "tools/OutputNames.h"

#include "base/AtomicFile.h"
#include "base/Text.h"
#include "tools/GdalRaster.h"
#include "tools/HeightImage.h"

#include <sys/stat.h>

std::string OutputNameProblem(const std::string& path, const std::string& format,
                              std::initializer_list<const char*> extensions)
{
    struct stat info{};
    if (path.empty() || AtomicFile::StreamDescriptor(path) >= 0 ||
        (::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode)))
        return {};
    const std::size_t slash = path.rfind('/');
    const std::size_t dot = path.rfind('.');
    const std::string extension =
        dot == std::string::npos || (slash != std::string::npos && dot < slash) ? "" : Lower(path.substr(dot));
    std::string names;
    for (const char* known : extensions)
    {
        if (extension == known)
            return {};
        names += (names.empty() ? "" : " or ") + std::string(known);
    }
    return path + ": the output is " + format + "; name it " + names;
}

JobResult GeoTiffOutputProblem(const std::string& output, const std::string& like, const std::string& plain)
{
    const bool geoTiff = HeightImageFormatOf(output) == HeightImageFormat::GeoTiff;
    if (!like.empty() && !geoTiff)
        return JobFailure(JobStatus::refused,
                          "--like: " + like + " gives a GeoTIFF its georeference; name the output .tif to write one");
    if (geoTiff && !HeightImageHasGdal())
        return JobFailure(JobStatus::failed,
                          output + ": GeoTIFF needs GDAL: " + GdalMissing() + "; " + plain + " works without it");
    return {};
}
