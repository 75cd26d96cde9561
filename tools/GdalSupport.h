#pragma once
// What the GDAL files of tools/ share: driver registration, errors turned into reasons, handles
// closed on every path, and files coded in GDAL's memory file system. Compiled only when the
// build found GDAL; never included outside tools/.
#include <atomic>
#include <cpl_conv.h>
#include <cpl_error.h>
#include <cpl_vsi.h>
#include <cstdint>
#include <gdal.h>
#include <mutex>
#include <ogr_srs_api.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace gdalsupport
{
inline void RegisterDrivers()
{
    static std::once_flag once;
    std::call_once(once, [] { GDALAllRegister(); });
}

// GDAL prints its errors on stderr by default; here they become the reason of the failure.
class QuietErrors
{
public:
    QuietErrors()
    {
        CPLPushErrorHandler(CPLQuietErrorHandler);
        CPLErrorReset();
    }
    ~QuietErrors() { CPLPopErrorHandler(); }
    QuietErrors(const QuietErrors&) = delete;
    QuietErrors& operator=(const QuietErrors&) = delete;
    static std::string last(const char* fallback)
    {
        const char* text = CPLGetLastErrorMsg();
        return text != nullptr && *text != '\0' ? text : fallback;
    }
};

struct DatasetCloser
{
    GDALDatasetH dataset;
    ~DatasetCloser()
    {
        if (dataset != nullptr)
            GDALClose(dataset);
    }
};

struct SrsCloser
{
    OGRSpatialReferenceH srs;
    ~SrsCloser()
    {
        if (srs != nullptr)
            OSRDestroySpatialReference(srs);
    }
};

// A name in GDAL's memory file system that no other call of this process uses:
// "/vsimem/altimo-<what>-<pid>-<n>". The coded files are taken out with TakeMemoryFile.
inline std::string MemoryPath(const char* what)
{
    static std::atomic<unsigned> counter{0};
    return "/vsimem/altimo-" + std::string(what) + "-" + std::to_string(::getpid()) + "-" +
           std::to_string(counter++);
}

// Moves a memory file's bytes into `bytes` and frees it; false when there is no such file.
inline bool TakeMemoryFile(const std::string& path, std::vector<std::uint8_t>& bytes)
{
    vsi_l_offset length = 0;
    GByte* buffer = VSIGetMemFileBuffer(path.c_str(), &length, TRUE);
    if (buffer == nullptr)
        return false;
    bytes.assign(buffer, buffer + length);
    CPLFree(buffer);
    return true;
}
} // namespace gdalsupport
