// The program's side of tools/GdalRaster.h. With GDAL in the build, the first call loads the
// GDAL module (see GdalModule.h) and every call goes to it; without GDAL in the build, or when
// the module cannot be loaded, every GDAL path says why.
#include "tools/GdalModule.h"

#include <mutex>
#include <string>

#if defined(ALTIMO_GDAL_MODULE_FROM_BINDIR)
#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#endif

namespace
{
struct Module
{
    const GdalModuleFunctions* functions = nullptr;
    std::string missing; // why there is none
};

#if defined(ALTIMO_GDAL_MODULE_FROM_BINDIR)
// Where the module lies: installed, beside the programs' folder as packaged
// (ALTIMO_GDAL_MODULE_FROM_BINDIR, relative to the folder of the running program); in a build
// folder, where the build put it. ALTIMO_GDAL_MODULE names another file.
std::string ProgramFolder()
{
    char path[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0)
        return {};
    const std::string program(path, std::size_t(length));
    return program.substr(0, program.find_last_of('/') + 1);
}

Module Load()
{
    Module module;
    std::string tried;
    const char* chosen = std::getenv("ALTIMO_GDAL_MODULE");
    const std::string candidates[] = {chosen != nullptr ? std::string(chosen) : std::string(),
                                      chosen != nullptr ? std::string() : ProgramFolder() + ALTIMO_GDAL_MODULE_FROM_BINDIR,
                                      chosen != nullptr ? std::string() : std::string(ALTIMO_GDAL_MODULE_BUILT)};
    for (const std::string& path : candidates)
    {
        if (path.empty() || ::access(path.c_str(), F_OK) != 0)
            continue;
        void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr)
        {
            const char* error = ::dlerror();
            module.missing = "the GDAL module " + path + " could not be loaded: " + (error ? error : "unknown error");
            return module;
        }
        using Entry = const GdalModuleFunctions* (*)();
        const auto entry = reinterpret_cast<Entry>(::dlsym(handle, "AltimoGdalModuleFunctions"));
        const GdalModuleFunctions* functions = entry != nullptr ? entry() : nullptr;
        if (functions == nullptr || functions->version != kGdalModuleVersion)
        {
            module.missing = "the GDAL module " + path + " belongs to another version of Altimo";
            return module; // the handle stays open: nothing of it runs
        }
        module.functions = functions;
        return module;
    }
    module.missing = "the GDAL module of this Altimo (altimo-gdal.so) is not installed";
    return module;
}
#else
Module Load()
{
    return {nullptr, "this build of Altimo has no GDAL support (install libgdal-dev and rebuild)"};
}
#endif

const Module& Gdal()
{
    static std::once_flag once;
    static Module module;
    std::call_once(once, [] { module = Load(); });
    return module;
}
} // namespace

bool GdalAvailable()
{
    return Gdal().functions != nullptr;
}

std::string GdalMissing()
{
    return Gdal().missing;
}

Status GdalReadHeightImage(const std::string& path, const HeightImportOptions& options, HeightImage& image)
{
    if (const GdalModuleFunctions* gdal = Gdal().functions)
        return gdal->readHeightImage(path, options, image);
    return {StatusCode::invalidInput, "not a PNG image, and " + Gdal().missing + " for other formats"};
}

Status GdalEncodeGeoTiff(const GeoTiffRaster& raster, const MapGeoReference* geo, std::vector<std::uint8_t>& bytes)
{
    if (const GdalModuleFunctions* gdal = Gdal().functions)
        return gdal->encodeGeoTiff(raster, geo, bytes);
    return {StatusCode::invalidSettings, "GeoTIFF needs GDAL: " + Gdal().missing};
}

std::string GdalEsriWkt(const std::string& wkt)
{
    const GdalModuleFunctions* gdal = Gdal().functions;
    return gdal != nullptr ? gdal->esriWkt(wkt) : std::string();
}

std::string GdalMapUnits(const std::string& wkt)
{
    const GdalModuleFunctions* gdal = Gdal().functions;
    return gdal != nullptr ? gdal->mapUnits(wkt) : std::string();
}

Status GdalReadGeoReference(const std::string& path, int& width, int& height, MapGeoReference& geo)
{
    if (const GdalModuleFunctions* gdal = Gdal().functions)
        return gdal->readGeoReference(path, width, height, geo);
    return {StatusCode::invalidSettings, "reading a georeference needs GDAL: " + Gdal().missing};
}

StatusOr<double> GdalMapPixelSize(const MapGeoReference& geo, int width, int height, std::string& note)
{
    if (const GdalModuleFunctions* gdal = Gdal().functions)
        return gdal->mapPixelSize(geo, width, height, note);
    return Status(StatusCode::invalidSettings, "a pixel size from a georeference needs GDAL: " + Gdal().missing);
}

Status GdalEncodeLines(const std::string& driver, const std::string& layer, const std::string& extension,
                       const std::vector<std::vector<double>>& lines, const std::string& wkt,
                       std::vector<CodedFile>& files)
{
    if (const GdalModuleFunctions* gdal = Gdal().functions)
        return gdal->encodeLines(driver, layer, extension, lines, wkt, files);
    return {StatusCode::invalidSettings, "vector output needs GDAL: " + Gdal().missing};
}

Status GdalReadByteRaster(const std::string& path, int width, int height, std::vector<std::uint8_t>& cells)
{
    if (const GdalModuleFunctions* gdal = Gdal().functions)
        return gdal->readByteRaster(path, width, height, cells);
    return {StatusCode::invalidSettings, "reading a mask needs GDAL: " + Gdal().missing};
}
