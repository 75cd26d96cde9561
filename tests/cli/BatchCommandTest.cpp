// altimo-cli batch as a script meets it: the report of docs/BATCH.md line for line, slices whose
// union is one run, outputs named twice refused, a damaged mask failing its map, and the exit
// codes of bad manifests.
#include "support/WtrWriter.h"
#include "tests/common/CliRunner.h"
#include "tools/BanksRequest.h"
#include "tools/CliffRequest.h"
#include "tools/HeightImage.h"
#include "tools/PreviewJob.h"
#include "tools/ProcessRequest.h"

#include <filesystem>
#include <fstream>
#include <set>
#include <regex>
#include <sstream>

namespace
{
using namespace testcli;
namespace fs = std::filesystem;

// The sizes and seconds of a report, which vary from one machine and build to another.
std::string Masked(const std::string& text)
{
    static const std::regex size(R"(\(\d+(\.\d+)? (B|KiB|MiB|GiB)\))");
    static const std::regex seconds(R"(\b\d+\.\d\d s\b)");
    return std::regex_replace(std::regex_replace(text, size, "(SIZE)"), seconds, "T s");
}

class BatchCommand : public ScratchFolderTest
{
protected:
    // A map of TestHeights in `folder`/maps/NAME.raw.
    void writeRaw(const std::string& folder, const std::string& name, int width, int height)
    {
        fs::create_directories(folder + "/maps");
        const std::vector<std::uint16_t> samples = TestHeights(width, height, 7);
        WriteBytes(folder + "/maps/" + name + ".raw", samples.data(), samples.size() * 2);
    }
    // A round lake on a width x height mask, with blocks of `blockSize` cells; `damaged`: the last
    // block's code broken, so that the file loads and the block is refused when decoded.
    void writeMask(const std::string& file, int width, int height, int blockSize, bool damaged = false)
    {
        const std::vector<std::uint8_t> cells = MaskCells(
            width, height,
            [&](int x, int z) {
                return (x - width / 2) * (x - width / 2) + (z - height / 2) * (z - height / 2) < width * width / 9 ? 15
                                                                                                                   : 0;
            });
        std::vector<std::uint8_t> bytes;
        ASSERT_EQ(EncodeWtr(cells.data(), width, height, blockSize, bytes), WtrStatus::ok);
        if (damaged)
            std::fill(bytes.end() - 4, bytes.end(), 0xFF);
        WriteBytes(file, bytes);
    }
    // The maps of docs/BATCH.md's report: north 321 x 257 with an ENVI header and a mask of
    // 64-cell blocks that fits it at scale 5, south 256 x 256 with a damaged mask.
    void writeReportMaps(const std::string& folder)
    {
        writeRaw(folder, "north", 321, 257);
        WriteText(folder + "/maps/north.hdr",
                  "ENVI\nsamples = 321\nlines = 257\nbands = 1\nheader offset = 0\ndata type = 12\nbyte order = 0\n");
        writeMask(folder + "/maps/north.wtr", 1600, 1280, 64);
        writeRaw(folder, "south", 256, 256);
        writeMask(folder + "/maps/south.wtr", 1280, 1280, 256, true);
    }
    // `command` run in `folder` with stdout and stderr in one log, as a scheduler keeps them.
    CliRun runIn(const std::string& folder, const std::string& command)
    {
        const std::string log = m_dir + "/.log";
        const int status = std::system(("cd '" + folder + "' && { " + command + "; } >'" + log + "' 2>&1").c_str());
        CliRun result{WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadText(log), {}};
        fs::remove(log);
        return result;
    }
};

struct DocExample
{
    std::string command;
    std::string report;
};

// The manifest (the ```ini block) and the "$ altimo-cli ..." examples of docs/BATCH.md's Report.
std::string ReportSection(std::vector<DocExample>& examples)
{
    const std::string docs = ReadText(std::string(ALTIMO_TEST_DATA_DIR) + "/../../docs/BATCH.md");
    const std::size_t start = docs.find("\n## Report\n");
    const std::string section = docs.substr(start, docs.find("\n## ", start + 1) - start);
    const std::size_t ini = section.find("```ini\n") + 7;
    std::istringstream lines(section);
    bool inExample = false;
    for (std::string line; std::getline(lines, line);)
        if (line.starts_with("    $ altimo-cli "))
        {
            examples.push_back({std::string(ALTIMO_CLI_PATH) + line.substr(16), {}});
            inExample = true;
        }
        else if (inExample && line.starts_with("    "))
            examples.back().report += line.substr(4) + "\n";
        else
            inExample = false;
    return start == std::string::npos ? std::string() : section.substr(ini, section.find("```", ini) - ini);
}
} // namespace

TEST_F(BatchCommand, ReportMatchesTheDocsLineForLine)
{
    std::vector<DocExample> examples;
    const std::string manifest = ReportSection(examples);
    ASSERT_NE(manifest.find("[map north]"), std::string::npos);
    ASSERT_EQ(examples.size(), 2u);
    writeReportMaps(m_dir);
    WriteText(path("report.ini"), manifest);
    for (const DocExample& example : examples)
    {
        const CliRun run = runIn(m_dir, example.command);
        EXPECT_EQ(run.exitCode, 1) << example.command;
        EXPECT_EQ(Masked(run.out), Masked(example.report)) << example.command;
    }
    EXPECT_TRUE(Exists(path("maps/north_cliff.bmp")));
    EXPECT_FALSE(Exists(path("maps/south.dat")));
    EXPECT_FALSE(Exists(path("maps/south_water.png")));
}

namespace
{
// One command as a script gives it: its input and its options, "name=value" or a flag's "name".
struct Step
{
    std::string command;
    std::string input;
    std::vector<std::string> options;
};

// The batch's kind of a command, and the manifest keys of its description.
template <typename Request>
void AddKeys(std::map<std::string, std::set<std::string>>& keys, const std::string& kind,
             const JobOptions<Request>& rows)
{
    for (const JobOption<Request>& row : rows)
        if (!row.key.empty())
            keys[kind].insert(row.key);
}
} // namespace

// Every option of process, banks, cliff and preview, given once to the commands one after the
// other and once as the keys of one manifest, writes the same files, byte for byte. Every key of
// the four descriptions is used, so an option added without a key here fails the test.
TEST_F(BatchCommand, EveryOptionAsAKeyWritesWhatTheCommandWrites)
{
    const std::vector<Step> steps = {
        {"process", "terrain.raw",
         {"output=m1", "width=257", "height=257", "blur=5", "sharpness=0.5", "bank=3", "hill-size=10", "sea-level=2",
          "pixel-size=20", "scale=5", "lever=terrain_lever.bmp", "water=terrain.wtr", "no-blur-height",
          "byte-order=little", "keep-going"}},
        {"process", "terrain.raw", {"output=m2", "sea-level=0m", "blur-height", "water=terrain.wtr"}},
        {"banks", "terrain.wtr",
         {"output=b.sl", "min-river-size=4", "water-pixel-size=5", "shore-level=0.4", "tesselation=3", "scale=5",
          "preview=b.png", "vector=b.geojson", "like=m1.dat"}},
        {"cliff", "m1.dat", {"output=c1.tif", "like=terrain.raw.hdr", "angle=30", "threshold=20", "height-scale=7"}},
        {"cliff", "m2.dat", {"output=c2.bmp", "height-scale=auto"}},
        {"preview", "m2_w.dat",
         {"output=p2.tif", "mode=water", "terrain=m2.dat", "like=terrain.raw.hdr", "height-scale=auto"}},
        {"preview", "m1.dat", {"output=p1.png", "mode=relief", "height-scale=5"}},
    };
    std::map<std::string, std::set<std::string>> unused;
    AddKeys(unused, "map", ProcessDescription());
    AddKeys(unused, "banks", BanksDescription());
    AddKeys(unused, "cliff", CliffDescription());
    AddKeys(unused, "preview", PreviewDescription());
    const std::map<std::string, std::string> kinds = {
        {"process", "map"}, {"banks", "banks"}, {"cliff", "cliff"}, {"preview", "preview"}};
    const std::map<std::string, std::string> inputKeys = {
        {"process", "raw"}, {"banks", "wtr"}, {"cliff", "dat"}, {"preview", "dat"}};

    for (const char* folder : {"commands", "batch"})
    {
        ASSERT_EQ(run("demo --dir " + path(folder) + " --size 257").exitCode, 0);
        // Heights and a place on the map, so that metres, the map's own scale and the GeoTIFFs
        // and vector lines placed on it all come into play.
        WriteText(path(folder) + "/terrain.raw.hdr",
                  "ENVI\nsamples = 257\nlines = 257\nbands = 1\nheader offset = 0\ndata type = 12\n"
                  "byte order = 0\nmap info = {Arbitrary, 1, 1, 500000, 4000000, 20, 20, units=Meters}\n"
                  "data gain values = {0.05}\ndata offset values = {-10}\n");
    }
    std::string manifest;
    bool commandsOk = true;
    for (std::size_t i = 0; i < steps.size(); ++i)
    {
        const Step& step = steps[i];
        const std::string kind = kinds.at(step.command);
        std::string line = std::string(ALTIMO_CLI_PATH) + " " + step.command + " " + step.input;
        manifest += "[" + kind + " " + std::to_string(i) + "]\n" + inputKeys.at(step.command) + " = " + step.input + "\n";
        unused[kind].erase(inputKeys.at(step.command));
        for (const std::string& option : step.options)
        {
            const std::size_t equals = option.find('=');
            const std::string name = option.substr(0, equals);
            const std::string value = equals == std::string::npos ? "" : option.substr(equals + 1);
            line += " --" + name + (value.empty() ? "" : " " + value);
            const std::string key = name == "no-blur-height" ? "blur-height" : name;
            manifest += key + " = " + (equals != std::string::npos ? value : name == key ? "yes" : "no") + "\n";
            unused[kind].erase(key);
        }
        const CliRun command = runIn(path("commands"), line);
        commandsOk = commandsOk && command.exitCode == 0;
        // Without GDAL the GeoTIFFs and the vector lines fail, in the batch as on the command line.
        EXPECT_TRUE(command.exitCode == 0 || !HeightImageHasGdal()) << line << "\n" << command.out;
    }
    for (const auto& [kind, keys] : unused)
        for (const std::string& key : keys)
            ADD_FAILURE() << "[" << kind << "] " << key << " is not tried";
    WriteText(path("batch/jobs.ini"), manifest);
    const CliRun batch = runIn(path("batch"), std::string(ALTIMO_CLI_PATH) + " batch jobs.ini");
    EXPECT_EQ(batch.exitCode, commandsOk ? 0 : 1) << batch.out;
    fs::remove(path("batch/jobs.ini"));

    std::size_t files = 0;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(path("commands")))
    {
        const std::string name = fs::relative(entry.path(), path("commands")).string();
        ++files;
        EXPECT_TRUE(fs::exists(path("batch/" + name)) && ReadBytes(entry.path().string()) == ReadBytes(path("batch/" + name)))
            << name << " differs";
    }
    EXPECT_EQ(files, std::size_t(std::distance(fs::recursive_directory_iterator(path("batch")), {})));
    EXPECT_TRUE(files == 28u || !HeightImageHasGdal()) << files; // the demo's, the header and 13 written
}

// A damaged mask fails its map as it fails `process`; keep-going = yes skips the water stage.
TEST_F(BatchCommand, DamagedMaskFailsItsMapUnlessKeepGoing)
{
    writeReportMaps(m_dir);
    const std::string map = "[map south]\nraw = maps/south.raw\nwater = maps/south.wtr\n";
    WriteText(path("fail.ini"), map);
    const CliRun failed = run("batch " + path("fail.ini"));
    EXPECT_EQ(failed.exitCode, 1) << failed.out;
    EXPECT_NE(
        failed.out.find("[1/1] map south: FAILED: " + path("maps/south.wtr") + ": Invalid WTR file (1 corrupt blocks)"),
        std::string::npos)
        << failed.out;
    EXPECT_FALSE(Exists(path("maps/south.dat")));

    WriteText(path("go.ini"), "[defaults]\nkeep-going = yes\n" + map);
    const CliRun went = run("batch " + path("go.ini"));
    EXPECT_EQ(went.exitCode, 0) << went.out << went.err;
    EXPECT_NE(went.out.find("[1/1] map south: ok with 1 warning: wrote " + path("maps/south.dat")), std::string::npos)
        << went.out;
    EXPECT_NE(went.err.find("map south: warning: the water mask " + path("maps/south.wtr") + " has 1 corrupt blocks"),
              std::string::npos)
        << went.err;
}

// N = 1, 3 and 16 slices, two running at a time, write the same files as one run; a cliff and an
// export that name their map's output through a link to the folder, and a cliff through an
// absolute path, stay in the map's slice and run after it.
TEST_F(BatchCommand, SlicesTogetherWriteWhatOneRunWrites)
{
    std::string manifest = "[defaults]\nwidth = 256\nheight = 256\n";
    for (int i = 0; i < 5; ++i)
    {
        const std::string map = "m" + std::to_string(i);
        manifest += "[map " + map + "]\nraw = maps/" + map + ".raw\n" + (i % 2 == 0 ? "water = maps/lake.wtr\n" : "");
    }
    manifest += "[cliff through link]\ndat = link/m1.dat\noutput = out/m1.bmp\n"
                "[preview water]\ndat = maps/m2_w.dat\noutput = out/m2_w.png\n"
                "[banks lake]\nwtr = maps/lake.wtr\noutput = out/lake.sl\n"
                "[cliff absolute]\ndat = @/maps/./m4.dat\noutput = out/m4.bmp\n"
                "[preview m0]\ndat = maps/m0.dat\noutput = out/m0.png\n"
                "[export m3]\ndat = link/m3.dat\noutput = out/m3.png\n";
    const std::vector<std::string> outputs = {
        "maps/m0.dat",   "maps/m0_w.dat", "maps/m1.dat",  "maps/m2.dat", "maps/m2_w.dat", "maps/m3.dat", "maps/m4.dat",
        "maps/m4_w.dat", "out/m1.bmp",    "out/m2_w.png", "out/lake.sl", "out/m4.bmp",    "out/m0.png",  "out/m3.png"};
    const auto prepare = [&](const std::string& folder)
    {
        for (int i = 0; i < 5; ++i)
            writeRaw(folder, "m" + std::to_string(i), 256, 256);
        writeMask(folder + "/maps/lake.wtr", 1280, 1280, 256);
        fs::create_directories(folder + "/out");
        fs::create_directory_symlink("maps", folder + "/link");
        WriteText(folder + "/jobs.ini", std::regex_replace(manifest, std::regex("@"), folder));
    };
    prepare(path("whole"));
    const CliRun whole = runIn(path("whole"), std::string(ALTIMO_CLI_PATH) + " batch jobs.ini");
    ASSERT_EQ(whole.exitCode, 0) << whole.out;

    for (const int count : {1, 3, 16})
    {
        SCOPED_TRACE("N = " + std::to_string(count));
        const std::string folder = path("n" + std::to_string(count));
        prepare(folder);
        std::size_t jobs = 0;
        for (int k = 1; k <= count; k += 2)
        {
            std::string both;
            for (int slice = k; slice <= std::min(k + 1, count); ++slice)
                both += "(" + std::string(ALTIMO_CLI_PATH) + " batch jobs.ini --shard " + std::to_string(slice) + "/" +
                        std::to_string(count) + " >log" + std::to_string(slice) + " 2>&1; echo $? >rc" +
                        std::to_string(slice) + ") & ";
            ASSERT_EQ(runIn(folder, both + "wait").exitCode, 0);
            for (int slice = k; slice <= std::min(k + 1, count); ++slice)
            {
                const std::string log = ReadText(folder + "/log" + std::to_string(slice));
                EXPECT_EQ(ReadText(folder + "/rc" + std::to_string(slice)), "0\n") << log;
                const std::string prefix = "shard " + std::to_string(slice) + "/" + std::to_string(count) + ": ";
                std::istringstream lines(log);
                for (std::string line; std::getline(lines, line);)
                {
                    EXPECT_TRUE(line.starts_with(prefix) || line.starts_with("altimo-cli: " + prefix)) << line;
                    jobs += line.find(": ok") != std::string::npos ? 1 : 0;
                }
            }
        }
        EXPECT_EQ(jobs, 11u);
        for (const std::string& output : outputs)
            EXPECT_EQ(ReadBytes(folder + "/" + output), ReadBytes(path("whole/" + output))) << output;
    }
}

// Two jobs writing one file, however spelled, are refused at --check and before any job runs.
TEST_F(BatchCommand, OneFileWrittenByTwoJobsIsRefused)
{
    writeRaw(m_dir, "a", 256, 256);
    fs::create_directory_symlink("maps", path("link"));
    const struct
    {
        std::string manifest;
        std::string error;
    } cases[] = {
        {"[map a]\nraw = maps/a.raw\nwidth = 256\nheight = 256\n[cliff a]\ndat = maps/a.dat\noutput = same.bmp\n"
         "[cliff b]\ndat = maps/a.dat\noutput = link/../same.bmp\n",
         ":8: [cliff b] writes " + path("link/../same.bmp") + ", as [cliff a] on line 5 does"},
        {"[map a]\nraw = maps/a.raw\nwidth = 256\nheight = 256\n[map again]\nraw = link/a.raw\n",
         ":5: [map again] writes " + path("link/a.dat") + ", as [map a] on line 1 does"},
    };
    for (const auto& c : cases)
    {
        WriteText(path("jobs.ini"), c.manifest);
        for (const std::string arguments : {"batch --check ", "batch "})
        {
            const CliRun run = this->run(arguments + path("jobs.ini"));
            EXPECT_EQ(run.exitCode, 2) << arguments;
            EXPECT_EQ(run.err, "altimo-cli: " + path("jobs.ini") + c.error + "; give each job its own output\n");
            EXPECT_EQ(run.out, "");
        }
        EXPECT_FALSE(Exists(path("maps/a.dat")));
    }
}

TEST_F(BatchCommand, BadManifestsExitTwoBeforeAnyJobRuns)
{
    writeRaw(m_dir, "good", 256, 256);
    WriteText(path("bad.ini"),
              "[map good]\nraw = maps/good.raw\nwidth = 256\nheight = 256\n\n[map other]\nbank = 11\n");
    const CliRun bad = run("batch " + path("bad.ini"));
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_EQ(bad.err, "altimo-cli: " + path("bad.ini") + ":7: bank: 11 is outside the range 1..10\n");
    EXPECT_FALSE(Exists(path("maps/good.dat"))); // the good map before the mistake did not run

    const CliRun missing = run("batch " + path("none.ini"));
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_NE(missing.err.find("none.ini: cannot open the manifest"), std::string::npos) << missing.err;

    const CliRun shard = run("batch --shard 0/2 " + path("bad.ini"));
    EXPECT_EQ(shard.exitCode, 2);
    EXPECT_EQ(shard.err, "altimo-cli: --shard: 0/2: K counts from 1 to N (N at least 1)\n");
}

TEST_F(BatchCommand, CheckListsTheJobsOfASliceWithoutRunningThem)
{
    WriteText(path("jobs.ini"), "[map a]\nraw = a.raw\n[banks a]\nwtr = a.wtr\noutput = a.sl\n");
    const CliRun all = run("batch --check " + path("jobs.ini"));
    EXPECT_EQ(all.exitCode, 0) << all.err;
    EXPECT_EQ(all.out, path("jobs.ini") + ": 2 jobs\n[1/2] map a (line 1)\n[2/2] banks a (line 3)\n");

    // More slices than groups: the extra slices are empty and succeed.
    const CliRun empty = run("batch --check --shard 3/3 " + path("jobs.ini"));
    EXPECT_EQ(empty.exitCode, 0) << empty.err;
    EXPECT_EQ(empty.out, "shard 3/3: batch: 0 of the manifest's 2 jobs\nshard 3/3: " + path("jobs.ini") + ": 2 jobs\n");
}
