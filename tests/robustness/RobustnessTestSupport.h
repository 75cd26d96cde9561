#pragma once
// Helpers of the robustness tests: a private folder per test, file contents, and a check that a
// folder holds exactly the expected names (no temporary file left behind).
#include "tests/common/CliRunner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace robustness
{
namespace fs = std::filesystem;

class TempFolderTest : public testcli::ScratchFolderTest
{
protected:
    // The names in the folder, sorted.
    std::vector<std::string> names() const
    {
        std::vector<std::string> result;
        for (const auto& entry : fs::directory_iterator(m_dir))
            result.push_back(entry.path().filename().string());
        std::sort(result.begin(), result.end());
        return result;
    }

    // Runs altimo-cli quietly with `arguments` (passed through the shell as written).
    using CliRun = testcli::CliRun;
    CliRun runCli(const std::string& arguments) const { return testcli::RunCli("-q " + arguments, m_dir); }

    // The names of temporary files (".tmp" in the name) left in the folder.
    std::vector<std::string> strayTemporaries() const
    {
        std::vector<std::string> result;
        for (const std::string& name : names())
            if (name.find(".tmp") != std::string::npos)
                result.push_back(name);
        return result;
    }
};

using testcli::ReadText;
using testcli::WriteBytes;
using testcli::WriteText;
} // namespace robustness
