#include "support/WtrWriter.h"

const char* WtrStatusMessage(WtrStatus status)
{
    switch (status)
    {
    case WtrStatus::ok:
        return "ok";
    case WtrStatus::badBlockSize:
        return "block size must be 1 to 4096";
    case WtrStatus::badSize:
        return "mask size out of range";
    case WtrStatus::badCellValue:
        return "cell value above 15";
    case WtrStatus::writeFailed:
        return "cannot write the file";
    }
    return "unknown";
}

WtrStatus EncodeWtr(const std::uint8_t*, int, int, int, std::vector<std::uint8_t>& out)
{
    out.clear();
    return WtrStatus::writeFailed;
}

WtrStatus WriteWtrFile(const std::string&, const std::uint8_t*, int, int, int)
{
    return WtrStatus::writeFailed;
}

bool WriteWtr(const std::string& path, const std::uint8_t* cells, int width, int height, int blockSize)
{
    return WriteWtrFile(path, cells, width, height, blockSize) == WtrStatus::ok;
}
