// Renaming clashing outputs. A candidate name "s<k>_<base>.jpg" is taken only when no other
// job's output has it (case ignored) and it is not a source of the run, so a renamed job can
// never collide with a job that has already had its turn either.
#include "app/batch/NameClashes.h"

#include "platform/FileSystem.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace vx::batch {

namespace {

char16_t FoldCase(char16_t c)
{
    if (c >= u'A' && c <= u'Z')
        return c + 32;
    if (c < 0xC0)
        return c;
    if ((c >= 0xC0 && c <= 0xDE && c != 0xD7) || (c >= 0x391 && c <= 0x3AB && c != 0x3A2) || (c >= 0x410 && c <= 0x42F))
        return c + 32;
    if (c >= 0x400 && c <= 0x40F)
        return c + 80;
    if (c == 0x178)
        return 0xFF;
    // Latin Extended-A: pairs of upper and lower case, upper first.
    const bool evenUpper = (c >= 0x100 && c <= 0x137 && c != 0x130) || (c >= 0x14A && c <= 0x177);
    const bool oddUpper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    if ((evenUpper && c % 2 == 0) || (oddUpper && c % 2 == 1))
        return c + 1;
    return c;
}

std::u16string_view OutputOf(const ResizeJob& job)
{
    return job.szDstPath;
}

struct RunPaths {
    ResizeJob* jobs;
    int count;
    std::vector<std::u16string> canonicalSources; // empty when sources are not consulted
};

bool NameIsTaken(const RunPaths& run, int self, std::u16string_view candidate)
{
    for (int i = 0; i < run.count; ++i)
        if (i != self && EqualIgnoringCase(OutputOf(run.jobs[i]), candidate))
            return true;
    if (run.canonicalSources.empty())
        return false;
    const std::u16string canonical = vx::fs::CanonicalPath(std::u16string(candidate).c_str());
    return std::any_of(run.canonicalSources.begin(), run.canonicalSources.end(),
                       [&](const std::u16string& source) { return vx::fs::SamePath(source, canonical); });
}

// Renames job `q` to the first free "s<k>_<base>.jpg" with k at least `k`; returns the k used.
int Rename(RunPaths& run, int q, int k)
{
    ResizeJob& job = run.jobs[q];
    char16_t directory[kMaxPathUnits];
    char16_t base[kMaxPathUnits];
    DirectoryOf(job.szDstPath, directory, kMaxPathUnits);
    BaseNameOf(job.szDstPath, base, kMaxPathUnits);
    for (;; ++k) {
        char prefix[24];
        std::snprintf(prefix, sizeof prefix, "s%d_", k);
        std::u16string name(prefix, prefix + std::strlen(prefix));
        name += base;
        name += u".jpg";
        const std::u16string path = JoinPath(directory, name);
        if (path.size() >= static_cast<std::size_t>(kMaxPathUnits) || vx::fs::PathExceedsLimit(path)) {
            job.szDstPath[0] = 0;
            return k;
        }
        if (!NameIsTaken(run, q, path)) {
            std::copy(path.begin(), path.end(), job.szDstPath);
            job.szDstPath[path.size()] = 0;
            return k;
        }
    }
}

} // namespace

bool EqualIgnoringCase(std::u16string_view first, std::u16string_view second)
{
    return first.size() == second.size() &&
           std::equal(first.begin(), first.end(), second.begin(),
                      [](char16_t a, char16_t b) { return FoldCase(a) == FoldCase(b); });
}

int ResolveNameClashes(ResizeJob* jobs, int count)
{
    if (jobs == nullptr || count <= 0)
        return -1;
    RunPaths run{jobs, count, {}};
    int renamed = 0;
    for (int p = 0; p < count; ++p) {
        if (jobs[p].szDstPath[0] == 0)
            continue;
        int k = 1;
        for (int q = p + 1; q < count; ++q) {
            if (!EqualIgnoringCase(OutputOf(jobs[p]), OutputOf(jobs[q])))
                continue;
            k = Rename(run, q, k) + 1;
            ++renamed;
        }
    }
    return renamed;
}

int AvoidOverwritingSources(ResizeJob* jobs, int count)
{
    if (jobs == nullptr || count <= 0)
        return 0;
    RunPaths run{jobs, count, {}};
    for (int i = 0; i < count; ++i)
        if (jobs[i].szSrcPath[0] != 0)
            run.canonicalSources.push_back(vx::fs::CanonicalPath(jobs[i].szSrcPath));
    if (run.canonicalSources.empty())
        return 0;
    int renamed = 0;
    for (int i = 0; i < count; ++i) {
        if (jobs[i].szDstPath[0] == 0)
            continue;
        const std::u16string output = vx::fs::CanonicalPath(jobs[i].szDstPath);
        const bool isSource = std::any_of(run.canonicalSources.begin(), run.canonicalSources.end(),
                                          [&](const std::u16string& source) { return vx::fs::SamePath(source, output); });
        if (isSource) {
            Rename(run, i, 1);
            ++renamed;
        }
    }
    return renamed;
}

} // namespace vx::batch
