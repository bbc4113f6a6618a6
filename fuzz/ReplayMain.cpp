// The replay program of a fuzz target, built without libFuzzer:
//   fuzz_<target>_replay FILE_OR_DIRECTORY...   runs the target on each file (directories:
//                                               every file in them, hidden ones excepted)
//   fuzz_<target>_replay --seeds DIRECTORY      writes the target's seed corpus
// A finding aborts (or trips a sanitizer); otherwise it prints how many inputs it ran.
#include "fuzz/FuzzTarget.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

std::vector<std::filesystem::path> InputFiles(const std::filesystem::path& argument)
{
    if (!std::filesystem::is_directory(argument))
        return {argument};
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(argument))
        if (entry.is_regular_file() && entry.path().filename().string().front() != '.')
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

} // namespace

int main(int argc, char** argv)
{
    const vx::fuzz::Target& target = vx::fuzz::ThisTarget();
    if (argc == 3 && std::strcmp(argv[1], "--seeds") == 0) {
        target.writeSeeds(argv[2]);
        return 0;
    }
    int count = 0;
    for (int i = 1; i < argc; ++i) {
        if (!std::filesystem::exists(argv[i])) {
            std::fprintf(stderr, "%s: no such file or directory\n", argv[i]);
            return 2;
        }
        for (const std::filesystem::path& file : InputFiles(argv[i])) {
            std::ifstream in(file, std::ios::binary);
            const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
            std::fprintf(stderr, "replaying %s\n", file.string().c_str());
            target.run(bytes);
            ++count;
        }
    }
    std::printf("replayed %d inputs\n", count);
    return 0;
}
