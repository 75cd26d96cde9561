#pragma once
// Runs altimo-cli as a script would and collects its exit status and output.
#include "tests/common/CliRunner.h"

#include <fstream>
#include <string>

using CliRun = testcli::CliRun;

class CliTest : public testcli::ScratchFolderTest
{
protected:
    // `arguments` is passed through the shell as written.
    CliRun run(const std::string& arguments) const { return testcli::RunCli(arguments, m_dir); }

    static std::string ReadText(const std::string& file) { return testcli::ReadText(file); }
    static void WriteBytes(const std::string& file, const void* data, std::size_t size)
    {
        std::ofstream(file, std::ios::binary).write(static_cast<const char*>(data), std::streamsize(size));
    }
};
