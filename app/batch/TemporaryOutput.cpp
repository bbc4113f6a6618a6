// Temporary names are "~vx" with eight random hex digits and ".tmp", random so that parallel
// workers and other runs into the same directory never pick the same one. Where that name
// would pass the path limit, the temporary is "~" and up to eight hex digits, never longer
// than the final name: whenever the final path fits, its temporary fits too.
#include "app/batch/TemporaryOutput.h"

#include "app/batch/PathNames.h"
#include "platform/FileSystem.h"

#include <cstdint>
#include <mutex>
#include <random>

namespace vx::batch {

namespace {

std::uint32_t RandomTag()
{
    static std::mutex mutex;
    static std::mt19937 generator{std::random_device{}()};
    std::lock_guard lock(mutex);
    return static_cast<std::uint32_t>(generator());
}

constexpr char16_t kHexDigits[] = u"0123456789abcdef";

std::u16string UsualName(std::uint32_t tag)
{
    std::u16string name = u"~vx";
    for (int shift = 28; shift >= 0; shift -= 4)
        name += kHexDigits[(tag >> shift) & 0xF];
    return name + u".tmp";
}

// "~" and hex digits, `units` long at most (at least the "~").
std::u16string ShortName(std::uint32_t tag, std::size_t units)
{
    std::u16string name = u"~";
    for (int shift = 0; shift < 32 && name.size() < units; shift += 4)
        name += kHexDigits[(tag >> shift) & 0xF];
    return name;
}

std::u16string TemporaryNameBeside(const std::u16string& finalPath)
{
    const PathParts parts = SplitPath(finalPath);
    std::u16string directory(parts.drive);
    directory += parts.directory;
    const std::size_t finalNameUnits = finalPath.size() - directory.size();
    for (int attempt = 0; attempt < 16; ++attempt) {
        const std::uint32_t tag = RandomTag();
        std::u16string path = JoinPath(directory, UsualName(tag));
        if (vx::fs::PathExceedsLimit(path))
            path = JoinPath(directory, ShortName(tag, finalNameUnits));
        if (vx::fs::PathExceedsLimit(path))
            return std::u16string();
        if (!vx::fs::FileExists(path.c_str()))
            return path;
    }
    return std::u16string();
}

} // namespace

TemporaryOutput::TemporaryOutput(std::u16string finalPath)
    : m_finalPath(std::move(finalPath)), m_temporaryPath(TemporaryNameBeside(m_finalPath))
{
}

TemporaryOutput::~TemporaryOutput()
{
    if (!m_committed && !m_temporaryPath.empty())
        vx::fs::RemoveFile(m_temporaryPath.c_str());
}

bool TemporaryOutput::Commit()
{
    if (m_temporaryPath.empty())
        return false;
    m_committed = vx::fs::RenameOver(m_temporaryPath.c_str(), m_finalPath.c_str());
    return m_committed;
}

} // namespace vx::batch
