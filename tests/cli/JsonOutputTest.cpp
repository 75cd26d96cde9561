// --json of process, banks, cliff and dat-info: stdout holds exactly one JSON document whose
// required keys have the required types and plausible values.
#include "tests/common/CliRunner.h"
#include "codec/HeightDat.h"
#include "support/WtrWriter.h"

#include <nlohmann/json.hpp>

using namespace testcli;

namespace
{
using Json = nlohmann::json;

// Every required key is present with its type.
void ExpectKeys(const Json& object, std::initializer_list<std::pair<const char*, Json::value_t>> keys,
                const std::string& where)
{
    for (const auto& [key, type] : keys)
    {
        ASSERT_TRUE(object.contains(key)) << where << " lacks \"" << key << "\"";
        const Json& item = object.at(key);
        const bool number = type == Json::value_t::number_float;
        EXPECT_TRUE(number ? item.is_number() : item.type() == type) << where << ": \"" << key << "\" has the wrong type";
    }
}
constexpr Json::value_t kNumber = Json::value_t::number_float;
constexpr Json::value_t kString = Json::value_t::string;
constexpr Json::value_t kArray = Json::value_t::array;
constexpr Json::value_t kObject = Json::value_t::object;

// Parses stdout as one document with "command", "files" (role, path, bytes each) and "seconds".
Json Summary(const CliRun& run, const std::string& command)
{
    const Json document = Json::parse(run.out, nullptr, false);
    EXPECT_TRUE(document.is_object()) << "not a JSON object: " << run.out;
    if (!document.is_object())
        return Json::object();
    ExpectKeys(document, {{"command", kString}, {"files", kArray}, {"seconds", kObject}}, command);
    EXPECT_EQ(document.at("command"), command);
    for (const Json& file : document.at("files"))
    {
        ExpectKeys(file, {{"role", kString}, {"path", kString}, {"bytes", kNumber}}, command + " file");
        EXPECT_EQ(ReadBytes(file.at("path").get<std::string>()).size(), file.at("bytes").get<std::size_t>());
    }
    ExpectKeys(document.at("seconds"), {{"total", kNumber}}, command + " seconds");
    EXPECT_GE(document.at("seconds").at("total").get<double>(), 0.0);
    return document;
}

Json FileWithRole(const Json& summary, const std::string& role)
{
    for (const Json& file : summary.at("files"))
        if (file.at("role") == role)
            return file;
    ADD_FAILURE() << "no file with role " << role;
    return Json::object();
}

class JsonOutput : public ScratchFolderTest
{
};
} // namespace

TEST_F(JsonOutput, ProcessAndDatInfoDescribeTheFiles)
{
    std::string raw(256 * 260 * 2, '\0');
    for (std::size_t i = 0; i < raw.size(); i += 2)
        raw[i + 1] = static_cast<char>(i / 512 % 200);
    WriteText(path("map \"one\".raw"), raw);
    const CliRun process = run("process '" + path("map \"one\".raw") + "' --width 256 --height 260 --json");
    ASSERT_EQ(process.exitCode, 0) << process.err;
    const Json summary = Summary(process, "process");
    ExpectKeys(summary, {{"warnings", kArray}}, "process");
    EXPECT_EQ(summary.at("width").get<double>(), 256);
    EXPECT_EQ(summary.at("height").get<double>(), 260);
    EXPECT_EQ(FileWithRole(summary, "input").at("path").get<std::string>(), path("map \"one\".raw"));
    const Json height = FileWithRole(summary, "height");
    ExpectKeys(height, {{"ratio", kNumber}, {"bitsPerSample", kNumber}}, "height file");
    const double bytes = height.at("bytes").get<double>();
    EXPECT_NEAR(height.at("ratio").get<double>(), 256.0 * 260 * 2 / bytes, 1e-4 * 256.0 * 260 * 2 / bytes);
    ExpectKeys(summary.at("seconds"), {{"read", kNumber}, {"lever", kNumber}, {"water", kNumber}, {"writeHeight", kNumber}},
               "process seconds");

    const CliRun info = run("dat-info --json '" + path("map \"one\".dat") + "'");
    ASSERT_EQ(info.exitCode, 0) << info.err;
    const Json infoSummary = Summary(info, "dat-info");
    ExpectKeys(infoSummary, {{"width", kNumber}, {"height", kNumber}, {"ratio", kNumber}, {"bitsPerSample", kNumber}},
               "dat-info");
    EXPECT_EQ(infoSummary.at("tilesAcross").get<double>(), 4);
    EXPECT_EQ(infoSummary.at("tilesDown").get<double>(), 5);
    EXPECT_EQ(infoSummary.at("pixelSize").get<double>(), 50);
    EXPECT_EQ(infoSummary.at("min").get<double>(), 0);
    EXPECT_EQ(infoSummary.at("max").get<double>(), 199 * 256);
}

TEST_F(JsonOutput, CliffAndBanksDescribeTheirResults)
{
    std::vector<std::uint16_t> ramp(256 * 256);
    for (std::size_t i = 0; i < ramp.size(); ++i)
        ramp[i] = static_cast<std::uint16_t>(i % 256 * 200);
    ASSERT_TRUE(WriteHeightDat(path("ramp.dat"), ConstRasterView<std::uint16_t>(ramp.data(), 256, 256), 50.0f));
    const CliRun cliff = run("cliff " + path("ramp.dat") + " -o " + path("ramp.bmp") + " --json -q");
    ASSERT_EQ(cliff.exitCode, 0) << cliff.err;
    const Json cliffSummary = Summary(cliff, "cliff");
    EXPECT_EQ(FileWithRole(cliffSummary, "mask").at("path").get<std::string>(), path("ramp.bmp"));

    // A lake in a 256 x 256 mask of one block.
    const std::vector<std::uint8_t> cells =
        MaskCells(256, 256, [](int x, int y) { return y >= 60 && y < 200 && x >= 50 && x < 210 ? 15 : 0; });
    ASSERT_TRUE(WriteWtr(path("lake.wtr"), cells.data(), 256, 256, 256));
    const CliRun banks = run("banks " + path("lake.wtr") + " -o " + path("lake.sl") + " --scale 1 --json");
    ASSERT_EQ(banks.exitCode, 0) << banks.err;
    const Json banksSummary = Summary(banks, "banks");
    ExpectKeys(banksSummary, {{"lines", kNumber}, {"points", kNumber}}, "banks");
    EXPECT_GE(banksSummary.at("lines").get<double>(), 1);
    EXPECT_GT(banksSummary.at("points").get<double>(), banksSummary.at("lines").get<double>());
    EXPECT_EQ(FileWithRole(banksSummary, "shorelines").at("path").get<std::string>(), path("lake.sl"));
}

TEST_F(JsonOutput, FailuresPrintNoDocument)
{
    const CliRun missing = run("dat-info --json " + path("none.dat"));
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.out, "");
    EXPECT_NE(missing.err.find("cannot open"), std::string::npos) << missing.err;
}
