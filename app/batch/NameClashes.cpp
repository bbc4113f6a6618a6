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
        if (i != self && vx::fs::EqualIgnoringCase(OutputOf(run.jobs[i]), candidate))
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
            if (!vx::fs::EqualIgnoringCase(OutputOf(jobs[p]), OutputOf(jobs[q])))
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
