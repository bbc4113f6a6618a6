// An output file that appears under its final name only when it is complete: the picture is
// written to a temporary file in the same directory, which `Commit` renames over the final
// name in one step. Until then an older file of that name stays as it was, and a temporary
// that is not committed is removed when the object goes away.
#pragma once

#include <string>

namespace vx::batch {

class TemporaryOutput {
public:
    explicit TemporaryOutput(std::u16string finalPath);
    ~TemporaryOutput();
    TemporaryOutput(const TemporaryOutput&) = delete;
    TemporaryOutput& operator=(const TemporaryOutput&) = delete;

    // Where to write: a fresh name beside the final path, or empty when none fits the
    // system's path limits.
    const std::u16string& Path() const { return m_temporaryPath; }
    // Renames the temporary over the final path; false (temporary removed) when that fails.
    bool Commit();

private:
    std::u16string m_finalPath;
    std::u16string m_temporaryPath;
    bool m_committed = false;
};

} // namespace vx::batch
