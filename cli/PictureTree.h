// The pictures under folders, for resize --recursive: every file a codec recognises by its
// content (the header is enough), with the folder its output goes to, which mirrors the
// file's place below the folder given under the destination.
#pragma once

#include <string>
#include <vector>

namespace vx::cli {

struct TreePicture {
    std::u16string source;
    std::u16string outputFolder;
};

// Walks `folder` in name order. Hidden files and folders (a leading dot, or the hidden
// attribute on Windows) are skipped, a folder reached a second time (a symbolic-link loop)
// and the destination itself (when it lies inside the folder) are not entered.
void CollectPictures(const std::u16string& folder, const std::u16string& destination,
                     std::vector<TreePicture>& pictures);

} // namespace vx::cli
