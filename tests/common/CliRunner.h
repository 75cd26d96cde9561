#pragma once
// What every test that runs altimo-cli as a script would shares: a private scratch folder per
// test, one run of the program with its exit status and both output streams, and refusals
// checked alike, one parameterised case per row of a table.
#include "tests/common/TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>
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

// A command refused, as a row of a table. "@name" in the arguments and the message is a file of
// the test's folder.
struct Refusal
{
    const char* name;
    std::string arguments;
    int exitCode;
    std::string message;
    std::string written = ""; // the one file the command may write before it meets the refusal
};

// The fixture of a table's cases: `Fixture` with a row as its parameter. Each case is named after
// its row's `name` (kCaseName), so that a failure reads Suite/Fixture.Test/RowName.
template <typename Fixture, typename Row> class Rows : public Fixture, public testing::WithParamInterface<Row>
{
};
inline constexpr auto kCaseName = [](const auto& row) { return std::string(row.param.name); };

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

    // Runs "altimo-cli ARGUMENTS" and expects `exitCode`, `message` on stderr after the program's
    // name, and this folder as it was: every file unchanged (older outputs among them) and
    // nothing new (no output, temporary file or folder), the file `written` aside.
    void expectRefused(const std::string& arguments, int exitCode, const std::string& message,
                       const std::string& written = "") const
    {
        const std::vector<std::string> before = snapshot(written);
        const CliRun result = run(arguments);
        EXPECT_EQ(result.exitCode, exitCode) << arguments << "\n" << result.err;
        EXPECT_NE(result.err.find(message), std::string::npos) << "stderr: " << result.err << "\nexpected: " << message;
        EXPECT_EQ(result.err.rfind("altimo-cli: ", 0), 0u) << result.err;
        EXPECT_EQ(snapshot(written), before);
    }
    void expectRefused(const Refusal& row) const
    {
        expectRefused(here(row.arguments), row.exitCode, here(row.message), row.written);
    }
    // Each name in the folder but `except`, with a hash of what the file holds.
    std::vector<std::string> snapshot(const std::string& except) const
    {
        std::vector<std::string> files;
        for (const auto& entry : std::filesystem::directory_iterator(m_dir))
            if (const std::string name = entry.path().filename().string(); name != except)
                files.push_back(name + " " + std::to_string(std::hash<std::string>{}(ReadText(entry.path()))));
        std::sort(files.begin(), files.end());
        return files;
    }

    std::string m_dir;
};

} // namespace testcli
