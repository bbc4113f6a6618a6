// Small helpers shared by the test suites: a scratch directory per test and whole-file I/O.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace vx::test {

// A fresh, empty directory for the calling test (removed when the object goes away).
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::filesystem::path& Path() const { return m_path; }
    std::filesystem::path operator/(const std::string& name) const { return m_path / name; }

private:
    std::filesystem::path m_path;
};

std::vector<std::uint8_t> ReadFileBytes(const std::filesystem::path& path);
void WriteFileBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);
std::u16string ToU16(const std::filesystem::path& path);

} // namespace vx::test
