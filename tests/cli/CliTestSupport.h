#pragma once
// Runs altimo-cli as a script would and collects its exit status and output.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <vector>

struct CliRun
{
    int exitCode = -1;
    std::string out;
    std::string err;
};

class CliTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "altimo-cli-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        m_dir = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(m_dir); }

    std::string path(const std::string& name) const { return (m_dir / name).string(); }

    // `arguments` is passed through the shell as written.
    CliRun run(const std::string& arguments) const
    {
        const std::string command = std::string(ALTIMO_CLI_PATH) + " " + arguments + " >'" + path("stdout.txt") +
                                    "' 2>'" + path("stderr.txt") + "' </dev/null";
        const int status = std::system(command.c_str());
        CliRun result;
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        result.out = ReadText(path("stdout.txt"));
        result.err = ReadText(path("stderr.txt"));
        return result;
    }

    static std::string ReadText(const std::string& file)
    {
        std::ifstream in(file, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    static void WriteBytes(const std::string& file, const void* data, std::size_t size)
    {
        std::ofstream(file, std::ios::binary).write(static_cast<const char*>(data), std::streamsize(size));
    }

    std::filesystem::path m_dir;
};
