// FileDialogResultIterator: walks the file buffer an open-file dialog filled. A single
// selection is one full path; several are the directory followed by each file name, every
// string NUL-terminated and the list ended by an empty string. The buffer must be
// zero-filled before the dialog writes it, so that a single path is followed by a NUL.
#pragma once

#include <string>

namespace vx::app {

class FileDialogResultIterator {
public:
    explicit FileDialogResultIterator(const wchar_t* buffer);

    // The next full path in buffer order; false after the last one.
    bool Next(std::wstring& path);

private:
    const wchar_t* m_directory = nullptr; // null for a single selection
    const wchar_t* m_next;                // next string to hand out, or null when done
};

} // namespace vx::app
