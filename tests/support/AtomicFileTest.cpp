#include "base/AtomicFile.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>

namespace fs = std::filesystem;

namespace
{

fs::path FreshDir(const std::string& name)
{
    const fs::path dir = fs::temp_directory_path() / ("altimo_atomic_" + name);
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

std::string ReadAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

} // namespace

TEST(AtomicFile, CommitReplacesTheTargetAndLeavesNoTemporary)
{
    const fs::path dir = FreshDir("commit");
    const fs::path target = dir / "out.dat";
    std::ofstream(target) << "old";
    ASSERT_TRUE(WriteFileAtomically(target.string(), "new!", 4));
    EXPECT_EQ(ReadAll(target), "new!");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
}

TEST(AtomicFile, AnUncommittedFileKeepsTheOldTarget)
{
    const fs::path dir = FreshDir("discard");
    const fs::path target = dir / "out.dat";
    std::ofstream(target) << "old";
    {
        AtomicFile file;
        ASSERT_TRUE(file.open(target.string()));
        file.write("partial", 7);
        EXPECT_TRUE(fs::exists(file.tempPath()));
    }
    EXPECT_EQ(ReadAll(target), "old");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
}

TEST(AtomicFile, AMissingFolderFailsCleanly)
{
    AtomicFile file;
    EXPECT_FALSE(file.open("/nonexistent-altimo-folder/out.dat"));
    EXPECT_FALSE(file.commit());
}
