#pragma once
// Helpers of the command-line tests: a scratch folder per test, running altimo-cli as a script
// would (exit code, stdout, stderr), and reading files back.
#include "tests/common/CliRunner.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <png.h>
#include <string>
#include <vector>

using ToolsCliRun = testcli::CliRun;
using testcli::ReadText;

inline std::vector<std::uint8_t> ReadBytes(const std::string& path)
{
    const std::string text = ReadText(path);
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

inline void WriteText(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

inline bool Exists(const std::string& path)
{
    return ::access(path.c_str(), F_OK) == 0;
}

// Decodes any PNG into 8-bit RGB (or 16-bit grey with `grey16`) through libpng's simple API.
inline bool DecodePng(const std::string& path, std::vector<std::uint8_t>& pixels, int& width, int& height,
                      bool grey16 = false)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        return false;
    image.format = grey16 ? PNG_FORMAT_LINEAR_Y : PNG_FORMAT_RGB;
    pixels.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr))
        return false;
    width = static_cast<int>(image.width);
    height = static_cast<int>(image.height);
    return true;
}

class ToolsCliTest : public testcli::ScratchFolderTest
{
protected:
    // Runs "altimo-cli ARGUMENTS" with stdout and stderr captured (not a terminal, so no bars).
    ToolsCliRun run(const std::string& arguments) const { return testcli::RunCli(arguments, m_dir); }
};
