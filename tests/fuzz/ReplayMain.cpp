// Runs a fuzz target's entry function over files without libFuzzer, so that the normal
// sanitizer build replays the seed corpus and every input that once crashed. Arguments are files
// or folders (every regular file in them, in name order); a folder that does not exist is
// skipped, so a target without regressions needs no empty folder.
#include "FuzzSupport.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace
{
std::vector<std::uint8_t> ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
} // namespace

int main(int argc, char** argv)
{
    fuzz::replaying = true;
    std::vector<std::filesystem::path> inputs;
    for (int i = 1; i < argc; ++i)
    {
        const std::filesystem::path argument = argv[i];
        if (std::filesystem::is_directory(argument))
        {
            for (const auto& entry : std::filesystem::directory_iterator(argument))
                if (entry.is_regular_file())
                    inputs.push_back(entry.path());
        }
        else if (std::filesystem::is_regular_file(argument))
            inputs.push_back(argument);
    }
    std::sort(inputs.begin(), inputs.end());
    for (const auto& path : inputs)
    {
        const std::vector<std::uint8_t> bytes = ReadFile(path);
        std::fprintf(stderr, "%s (%zu bytes)\n", path.c_str(), bytes.size());
        LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    }
    // The plain closing line: every input ran to its end (a finding aborts before this).
    std::printf("%zu passed, 0 failed\n", inputs.size());
    return inputs.empty() ? 1 : 0;
}
