#pragma once
// Helpers of the command-line tests: a scratch folder per test, running altimo-cli as a script
// would (exit code, stdout, stderr), and reading files back.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <png.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

struct ToolsCliRun
{
    int exitCode = -1;
    std::string out;
    std::string err;
};

inline std::string ReadText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

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

class ToolsCliTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string pattern = ::testing::TempDir() + "altimoclitestXXXXXX";
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        m_dir = pattern;
    }
    void TearDown() override { std::system(("rm -rf '" + m_dir + "'").c_str()); }

    std::string path(const std::string& name) const { return m_dir + "/" + name; }

    // Runs "altimo-cli ARGUMENTS" with stdout and stderr captured (not a terminal, so no bars).
    ToolsCliRun run(const std::string& arguments) const
    {
        const std::string out = m_dir + "/.stdout";
        const std::string err = m_dir + "/.stderr";
        const std::string command =
            std::string(ALTIMO_CLI_PATH) + " " + arguments + " >'" + out + "' 2>'" + err + "' </dev/null";
        const int status = std::system(command.c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadText(out), ReadText(err)};
    }

    std::string m_dir;
};
