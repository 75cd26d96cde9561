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

        BatchManifest manifest;
        std::string error;
        const int line = int(std::count(section.begin(), section.end(), '\n')) + 1;
        EXPECT_FALSE(ParseBatchManifest(section + field.option + " = " + value + "\n", "", manifest, error));
        EXPECT_EQ(error, std::to_string(line) + ": " + field.option + ": " + why);
    }
}

class FieldTables : public testcli::ScratchFolderTest
{
};

TEST_F(FieldTables, CommandLineAndBatchRefuseTheSameValuesWithTheSameRanges)
{
    ExpectRefusedAlike(kProcessFields, "process map.raw", "[map a]\nraw = a.raw\n", m_dir);
    ExpectRefusedAlike(kBanksFields, "banks a.wtr -o a.sl", "[banks b]\nwtr = a.wtr\noutput = a.sl\n", m_dir);
    ExpectRefusedAlike(kCliffFields, "cliff a.dat -o a.bmp", "[cliff c]\ndat = a.dat\noutput = a.bmp\n", m_dir);
    ExpectRefusedAlike(kReliefFields, "preview a.dat -o a.png", "[preview p]\ndat = a.dat\noutput = a.png\n", m_dir);
}

TEST(FieldTableDefaults, LieInsideTheirRanges)
{
    for (const auto& field : kProcessFields)
        EXPECT_TRUE(CheckFieldValue(field, field.defaultValue()).empty()) << field.option;
    for (const auto& field : kBanksFields)
        EXPECT_TRUE(CheckFieldValue(field, field.defaultValue()).empty()) << field.option;
    for (const auto& field : kCliffFields)
        EXPECT_TRUE(CheckFieldValue(field, field.defaultValue()).empty()) << field.option;
    for (const auto& field : kReliefFields)
        EXPECT_TRUE(CheckFieldValue(field, field.defaultValue()).empty()) << field.option;
    for (const auto& field : kWtrEncodeFields)
        EXPECT_TRUE(CheckFieldValue(field, field.defaultValue()).empty()) << field.option;
}
} // namespace
