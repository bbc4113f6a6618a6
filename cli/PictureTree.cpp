#include "cli/PictureTree.h"

#include "image/VxImage.h"
#include "image/VxStream.h"
#include "platform/FileSystem.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <set>

#ifdef _WIN32
#include <windows.h>
#endif

namespace vx::cli {

namespace {

namespace stdfs = std::filesystem;

bool IsHidden(const stdfs::path& path)
{
    const std::u16string name = path.filename().u16string();
    if (!name.empty() && name[0] == u'.')
        return true;
#ifdef _WIN32
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_HIDDEN) != 0;
#else
    return false;
#endif
}

// A codec takes the file's header: decoders stop after it when escape is -1.
bool IsPicture(const stdfs::path& path)
{
    std::unique_ptr<std::FILE, decltype(&std::fclose)> file(vx::fs::OpenFile(path.u16string().c_str(), "rb"),
                                                            &std::fclose);
    if (!file)
        return false;
    VxFileStream stream(file.get());
    VxImage image(kVxTypeUnknown);
    image.Info().escape = -1;
    return image.Decode(&stream, kVxTypeUnknown);
}

class Walker {
public:
    Walker(const std::u16string& destination, std::vector<TreePicture>& pictures)
        : m_destination(vx::fs::CanonicalPath(destination.c_str())), m_pictures(pictures)
    {}

    void Walk(const stdfs::path& folder, const stdfs::path& outputFolder)
    {
        const std::u16string canonical = vx::fs::CanonicalPath(folder.u16string().c_str());
        if (canonical == m_destination || !m_visited.insert(canonical).second)
            return;
        std::error_code error;
        std::vector<stdfs::path> entries;
        for (stdfs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
            entries.push_back(it->path());
        std::sort(entries.begin(), entries.end());
        for (const stdfs::path& entry : entries) {
            if (IsHidden(entry))
                continue;
            if (stdfs::is_directory(entry, error))
                Walk(entry, outputFolder / entry.filename());
            else if (stdfs::is_regular_file(entry, error) && IsPicture(entry))
                m_pictures.push_back({entry.u16string(), outputFolder.u16string()});
        }
    }

private:
    std::u16string m_destination;
    std::vector<TreePicture>& m_pictures;
    std::set<std::u16string> m_visited;
};

} // namespace

void CollectPictures(const std::u16string& folder, const std::u16string& destination,
                     std::vector<TreePicture>& pictures)
{
    Walker(destination, pictures).Walk(stdfs::path(folder), stdfs::path(destination));
}

} // namespace vx::cli
