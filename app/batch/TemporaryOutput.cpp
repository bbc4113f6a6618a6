// Temporary names are "~vx" with eight random hex digits and ".tmp": short, so a final path
// near the length limit nearly always has room for its temporary (a job whose temporary would
// not fit is reported as a failure, never written elsewhere), and random, so that parallel
// workers and other runs into the same directory never pick the same one.
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

std::u16string TemporaryNameBeside(const std::u16string& finalPath)
{
    const PathParts parts = SplitPath(finalPath);
    std::u16string directory(parts.drive);
    directory += parts.directory;
    for (int attempt = 0; attempt < 16; ++attempt) {
        std::uint32_t tag = RandomTag();
        std::u16string name = u"~vx";
        for (int shift = 28; shift >= 0; shift -= 4)
            name += u"0123456789abcdef"[(tag >> shift) & 0xF];
        name += u".tmp";
        std::u16string path = JoinPath(directory, name);
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
