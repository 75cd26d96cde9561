#include "tools/LoadedDat.h"

#include "base/JobFiles.h"
#include "codec/DATElevationDB.h"

#include <cstdio>
#include <new>

bool LoadDatFile(const std::string& path, LoadedDat& dat, std::string& error)
{
    if (std::FILE* file = std::fopen(path.c_str(), "rb"))
        std::fclose(file);
    else
    {
        error = InputFailure(path);
        return false;
    }
    CDATElevationDB db(false);
    bool outOfMemory = false;
    const bool loaded = db.load(path.c_str(),
                                [&](long width, long height) -> std::uint16_t*
                                {
                                    try
                                    {
                                        dat.samples.allocate(std::size_t(width) * std::size_t(height));
                                        return dat.samples.data();
                                    }
                                    catch (const std::bad_alloc&)
                                    {
                                        outOfMemory = true;
                                        return nullptr;
                                    }
                                });
    if (outOfMemory)
    {
        error = path + ": not enough memory for the decoded map";
        return false;
    }
    if (!loaded)
    {
        error = path + ": not a valid height file (bad header, offsets outside the file or a corrupt tile)";
        return false;
    }
    dat.width = static_cast<int>(db.getWidth());
    dat.height = static_cast<int>(db.getHeight());
    dat.pixelSize = db.getPixelSize();
    return true;
}
