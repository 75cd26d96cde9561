#pragma once
// Helpers of the robustness tests: a private folder per test, file contents, and a check that a
// folder holds exactly the expected names (no temporary file left behind).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace robustness
{
namespace fs = std::filesystem;

class TempFolderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "altimo-robust-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        m_dir = pattern;
    }
    void TearDown() override { fs::remove_all(m_dir); }

    std::string path(const std::string& name) const { return (m_dir / name).string(); }

    // The names in the folder, sorted.
    std::vector<std::string> names() const
    {
        std::vector<std::string> result;
        for (const auto& entry : fs::directory_iterator(m_dir))
            result.push_back(entry.path().filename().string());
        std::sort(result.begin(), result.end());
        return result;
    }

    // Runs altimo-cli with `arguments` (passed through the shell as written).
    struct CliRun
    {
        int exitCode = -1;
        std::string out;
        std::string err;
    };
    CliRun runCli(const std::string& arguments) const;

    // The names of temporary files (".tmp" in the name) left in the folder.
    std::vector<std::string> strayTemporaries() const
    {
        std::vector<std::string> result;
        for (const std::string& name : names())
            if (name.find(".tmp") != std::string::npos)
                result.push_back(name);
        return result;
    }

    fs::path m_dir;
};

inline std::string ReadText(const std::string& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteText(const std::string& file, const std::string& bytes)
{
    std::ofstream(file, std::ios::binary | std::ios::trunc).write(bytes.data(), std::streamsize(bytes.size()));
}

inline TempFolderTest::CliRun TempFolderTest::runCli(const std::string& arguments) const
{
    const std::string command = std::string(ALTIMO_CLI_PATH) + " -q " + arguments + " >'" + path("stdout.txt") +
                                "' 2>'" + path("stderr.txt") + "' </dev/null";
    const int status = std::system(command.c_str());
    CliRun result;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = ReadText(path("stdout.txt"));
    result.err = ReadText(path("stderr.txt"));
    fs::remove(path("stdout.txt"));
    fs::remove(path("stderr.txt"));
    return result;
}

inline void WriteBytes(const std::string& file, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream(file, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}
} // namespace robustness
