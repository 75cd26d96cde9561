// Writers killed mid-way, and runs that cannot get their memory: the older output survives, the
// job says why it stopped, and nothing half-written takes the target's place.
#include "RobustnessTestSupport.h"
#include "heightproc/Process.h"

#include <chrono>
#include <fcntl.h>
#include <csignal>
#include <spawn.h>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

extern char** environ;

using namespace robustness;

namespace
{
// The process's address-space size in bytes (under AddressSanitizer this includes its
// reserved shadow memory, which is why limits are set relative to it).
std::uint64_t AddressSpaceBytes()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmSize:", 0) == 0)
            return std::stoull(line.substr(7)) * 1024;
    return 0;
}

// A RAW file of width x height samples that takes no disk space (a hole reads as zeros).
void SparseRaw(const std::string& path, long long width, long long height)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(::ftruncate(::fileno(file), static_cast<off_t>(width * height * 2)), 0);
    std::fclose(file);
}

class Interruption : public TempFolderTest
{
protected:
    pid_t spawnCli(const std::vector<std::string>& arguments)
    {
        std::vector<std::string> words = {ALTIMO_CLI_PATH, "-q"};
        words.insert(words.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (std::string& word : words)
            argv.push_back(word.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, path("stderr.txt").c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        pid_t pid = -1;
        EXPECT_EQ(::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        return pid;
    }
    // The name of a temporary file of `target` in the folder, or empty.
    std::string temporaryOf(const std::string& target) const
    {
        for (const std::string& name : names())
            if (name.rfind(target + ".tmp", 0) == 0 && name.size() == target.size() + 10)
                return name;
        return {};
    }
};
} // namespace

TEST_F(Interruption, KillingTheProcessWhileItWritesKeepsTheOlderHeightFile)
{
    // A map large enough that coding its height file takes a good part of a second.
    const int side = 2048;
    std::vector<std::uint16_t> samples(std::size_t(side) * side);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<std::uint16_t>((i * 2654435761u) >> 7); // noise: the slowest to code
    std::ofstream(path("map.raw"), std::ios::binary)
        .write(reinterpret_cast<const char*>(samples.data()), std::streamsize(samples.size() * 2));
    WriteText(path("map.dat"), "older height file");
    const std::vector<std::string> process = {"process", path("map.raw"), "--width", "2048", "--height", "2048"};

    const pid_t pid = spawnCli(process);
    ASSERT_GT(pid, 0);
    std::string temporary;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    int status = 0;
    bool exited = false;
    while (temporary.empty() && std::chrono::steady_clock::now() < deadline)
    {
        temporary = temporaryOf("map.dat");
        if (temporary.empty())
        {
            if (::waitpid(pid, &status, WNOHANG) == pid)
            {
                exited = true;
                break;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
    }
    if (!exited)
    {
        ::kill(pid, SIGKILL);
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    }
    ASSERT_FALSE(exited) << "the writer finished before it could be killed";
    ASSERT_FALSE(temporary.empty()) << "no temporary file appeared";
    EXPECT_TRUE(WIFSIGNALED(status));

    // The target is the older file; the killed writer's temporary file is all that is left.
    EXPECT_EQ(ReadText(path("map.dat")), "older height file");
    EXPECT_EQ(names(), (std::vector<std::string>{"map.dat", temporary, "map.raw", "stderr.txt"}));

    // A later run writes the target through a new temporary file of its own.
    const pid_t again = spawnCli(process);
    ASSERT_EQ(::waitpid(again, &status, 0), again);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << ReadText(path("stderr.txt"));
    fs::remove(path("stderr.txt")); // the writer's own messages, read above
    EXPECT_EQ(runCli("dat-info " + path("map.dat")).exitCode, 0);
    EXPECT_EQ(names(), (std::vector<std::string>{"map.dat", temporary, "map.raw"}));
}

TEST_F(Interruption, AMapThatDoesNotFitInMemoryGivesAMessage)
{
    // Levering needs the whole map: 20000 x 20000 samples, 800 MB; the child process may map only
    // 256 MB more than it has. The lever is never opened: the memory runs out first.
    SparseRaw(path("vast.raw"), 20000, 20000);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0)
    {
        const rlimit limit{AddressSpaceBytes() + (256u << 20), RLIM_INFINITY};
        if (::setrlimit(RLIMIT_AS, &limit) != 0)
            ::_exit(10);
        ProcessSettings settings;
        settings.rawWidth = 20000;
        settings.rawHeight = 20000;
        settings.leverPath = path("lever.bmp");
        NullProgress progress;
        RecordingMessages messages;
        const ProcessResult result = RunProcess(path("vast.raw"), settings, progress, messages);
        if (result.success || result.heightWritten)
            ::_exit(11);
        if (messages.messages.size() != 1 || messages.messages[0].text != "Not enough memory for the height map" ||
            messages.messages[0].caption != kAppName)
            ::_exit(12);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "10: no limit, 11: the run went on, 12: not the expected message";
    EXPECT_EQ(names(), std::vector<std::string>{"vast.raw"});
}
