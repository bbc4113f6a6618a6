#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>

namespace vx::test {

namespace {
std::filesystem::path ScratchRoot()
{
    if (const char* root = std::getenv("VANTRY_TEST_TMP"))
        return root;
    return std::filesystem::temp_directory_path() / "vantry-tests";
}

// Runs of the same suite may share the machine (several builds, the mutation check): each
// process gets names of its own, so no run removes or overwrites another's files.
const std::string& ProcessTag()
{
    static const std::string tag = std::to_string(std::random_device{}());
    return tag;
}
} // namespace

ScratchDir::ScratchDir()
{
    static std::atomic<int> counter{0};
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = test ? std::string(test->test_suite_name()) + "." + test->name() : "scratch";
    for (char& c : name)
        if (c == '/')
            c = '_';
    m_path = ScratchRoot() / (name + "-" + ProcessTag() + "-" + std::to_string(counter++));
    std::filesystem::remove_all(m_path);
    std::filesystem::create_directories(m_path);
}

ScratchDir::~ScratchDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

std::vector<std::uint8_t> ReadFileBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteFileBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

} // namespace vx::test
