#pragma once
// What every test that runs altimo-cli as a script would shares: a private scratch folder per
// test, and one run of the program with its exit status and both output streams.
#include "tests/common/TestFiles.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace testcli
{

struct CliRun
{
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs altimo-cli with `arguments`, passed through the shell as written, with an empty standard
// input. Both streams are captured through files in `folder`, which are removed again so that a
// test looking at the folder sees only what the program wrote; neither stream is a terminal, so
// no progress bars are drawn.
inline CliRun RunCli(const std::string& arguments, const std::string& folder)
{
    const std::string out = folder + "/.cli-stdout";
    const std::string err = folder + "/.cli-stderr";
    const std::string command =
        std::string(ALTIMO_CLI_PATH) + " " + arguments + " >'" + out + "' 2>'" + err + "' </dev/null";
    const int status = std::system(command.c_str());
    CliRun result;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = ReadText(out);
    result.err = ReadText(err);
    std::filesystem::remove(out);
    std::filesystem::remove(err);
    return result;
}

// A fixture with a folder of its own under the temporary directory, removed with everything in
// it after the test.
class ScratchFolderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "altimo-test-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        m_dir = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(m_dir); }

    std::string path(const std::string& name) const { return m_dir + "/" + name; }
    // `text` with each '@' made this folder and a slash: tables of cases are written before any
    // folder exists, and name its files "@name".
    std::string here(std::string text) const
    {
        for (std::size_t at = text.find('@'); at != std::string::npos; at = text.find('@', at + m_dir.size() + 1))
            text.replace(at, 1, m_dir + "/");
        return text;
    }
    // "altimo-cli ARGUMENTS" run in this test's folder.
    CliRun run(const std::string& arguments) const { return RunCli(arguments, m_dir); }

    std::string m_dir;
};

} // namespace testcli
