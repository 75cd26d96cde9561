// Every field of every job's table, set just outside its range, is refused by the command line
// and by the batch manifest with the same range in the same words; the tables are the only
// place a range is written, so a range changed there changes both.
#include "banks/BanksSettings.h"
#include "cli/BatchManifest.h"
#include "cliff/CliffExport.h"
#include "common/CliRunner.h"
#include "heightproc/ProcessSettings.h"
#include "support/WtrWriter.h"
#include "tools/Relief.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <sstream>

namespace
{
// A value the field must refuse: above the range, or below it where the top is unprintable.
template <typename Settings> std::string OutsideValue(const JobField<Settings>& field)
{
    return FormatFieldNumber(field.bounds ? 0.0 : field.range.max + 1);
}

template <typename Settings, std::size_t N>
void ExpectRefusedAlike(const JobField<Settings> (&table)[N], const std::string& command, const std::string& section,
                        const std::string& folder)
{
    for (const JobField<Settings>& field : table)
    {
        const std::string value = OutsideValue(field);
        const std::string why = value + (field.bounds ? " must be a number " : " is outside the range ") + RangeText(field);
        SCOPED_TRACE(field.option);

        const testcli::CliRun run = testcli::RunCli(command + " --" + field.option + " " + value, folder);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_NE(run.err.find("--" + std::string(field.option) + ": " + why), std::string::npos) << run.err;

        const int line = int(std::count(section.begin(), section.end(), '\n')) + 1;
        const StatusOr<BatchManifest> manifest = ParseBatchManifest(section + field.option + " = " + value + "\n", "");
        EXPECT_EQ(manifest.status.message, std::to_string(line) + ": " + field.option + ": " + why);
    }
}

using FieldTables = testcli::ScratchFolderTest;

TEST_F(FieldTables, CommandLineAndBatchRefuseTheSameValuesWithTheSameRanges)
{
    ExpectRefusedAlike(kProcessFields, "process map.raw", "[map a]\nraw = a.raw\n", m_dir);
    ExpectRefusedAlike(kBanksFields, "banks a.wtr -o a.sl", "[banks b]\nwtr = a.wtr\noutput = a.sl\n", m_dir);
    ExpectRefusedAlike(kCliffFields, "cliff a.dat -o a.bmp", "[cliff c]\ndat = a.dat\noutput = a.bmp\n", m_dir);
    ExpectRefusedAlike(kReliefFields, "preview a.dat -o a.png", "[preview p]\ndat = a.dat\noutput = a.png\n", m_dir);
}

// True when `line` holds a numeric range "(min..max)" that is not at its end.
bool RangeNotLast(const std::string& line)
{
    for (std::size_t dots = line.find(".."); dots != std::string::npos; dots = line.find("..", dots + 2))
    {
        const std::size_t open = line.rfind('(', dots);
        const std::size_t close = line.find(')', dots);
        if (open == std::string::npos || close == std::string::npos ||
            line.find_first_not_of("-0123456789.", open + 1) != close)
            continue;
        if (close + 1 != line.size())
            return true;
    }
    return false;
}

// One help style (cli/main.cpp): values named INT, NUMBER, PATH or by their form, descriptions
// in lower case (a leading abbreviation aside), a range last as "(min..max)", --json last.
TEST_F(FieldTables, EveryCommandsHelpHasOneStyle)
{
    std::istringstream top(testcli::RunCli("--help", m_dir).out);
    std::string line;
    while (std::getline(top, line) && line != "Subcommands:")
    {
    }
    int commands = 0;
    while (std::getline(top, line) && line.size() > 2)
    {
        const std::string name = line.substr(2, line.find(' ', 2) - 2);
        ++commands;
        const std::string text = testcli::RunCli(name + " --help", m_dir).out;
        std::istringstream help(text);
        std::string lastOption;
        bool wrapped = false;
        while (std::getline(help, line))
        {
            SCOPED_TRACE(name + ": " + line);
            for (const char* foreign : {" TEXT", "FLOAT", " in [", "Excludes"})
                EXPECT_EQ(line.find(foreign), std::string::npos);
            EXPECT_FALSE(RangeNotLast(line));
            const bool option = line.rfind("  -", 0) == 0;
            const std::size_t gap = line.find("  ", 2);
            std::size_t start = std::string::npos;
            if (option && gap != std::string::npos)
                start = line.find_first_not_of(' ', gap);
            else if (wrapped)
                start = line.find_first_not_of(' ');
            wrapped = option && start == std::string::npos;
            if (start != std::string::npos && start + 1 < line.size())
            {
                EXPECT_FALSE(std::isupper(static_cast<unsigned char>(line[start])) &&
                             std::islower(static_cast<unsigned char>(line[start + 1])));
            }
            if (option)
                lastOption = line;
        }
        EXPECT_EQ(text.find("--json") != std::string::npos, lastOption.find("--json") != std::string::npos) << name;
    }
    EXPECT_GE(commands, 12);
}

TEST(FieldTableDefaults, LieInsideTheirRanges)
{
    const auto check = [](const auto& table) {
        for (const auto& field : table)
            EXPECT_TRUE(CheckField(field, field.defaultValue())) << field.option;
    };
    check(kProcessFields);
    check(kBanksFields);
    check(kCliffFields);
    check(kReliefFields);
    check(kWtrEncodeFields);
}
} // namespace
