// Small helpers shared by the test suites: a scratch directory per test, whole-file I/O and
// byte-block builders.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace vx::test {

using Bytes = std::vector<std::uint8_t>;

// head + tail, byte by byte: GCC 12 at -O2 sees phantom overflows in insert and resize here.
inline Bytes Joined(Bytes head, const Bytes& tail)
{
    head.reserve(head.size() + tail.size());
    for (std::uint8_t byte : tail)
        head.push_back(byte);
    return head;
}

// The low `size` bytes of v, least significant first.
inline Bytes LittleEndian(std::uint64_t v, int size)
{
    Bytes out;
    for (int i = 0; i < size; ++i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    return out;
}

// `file` with `flips` bits flipped at places drawn from `state`, a linear congruential
// generator that the caller keeps, so that successive damages differ and repeat run to run.
inline Bytes WithFlippedBits(Bytes file, std::uint32_t& state, std::size_t flips)
{
    for (std::size_t k = 0; k < flips && !file.empty(); ++k) {
        state = state * 1664525u + 1013904223u;
        file[(state >> 8) % file.size()] ^= static_cast<std::uint8_t>(1u << (state >> 29));
    }
    return file;
}

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
inline std::u16string ToU16(const std::filesystem::path& path) { return path.u16string(); }

} // namespace vx::test
