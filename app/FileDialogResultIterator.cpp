// Splitting the open-file dialog's selection buffer into full paths.
#include "app/FileDialogResultIterator.h"

#include <cwchar>

namespace vx::app {

FileDialogResultIterator::FileDialogResultIterator(const wchar_t* buffer) : m_next(buffer)
{
    if (!buffer || !*buffer) {
        m_next = nullptr;
        return;
    }
    const wchar_t* afterFirst = buffer + std::wcslen(buffer) + 1;
    if (*afterFirst) {
        m_directory = buffer;
        m_next = afterFirst;
    }
}

bool FileDialogResultIterator::Next(std::wstring& path)
{
    if (!m_next || !*m_next)
        return false;
    const size_t length = std::wcslen(m_next);
    if (!m_directory) {
        path.assign(m_next, length);
        m_next = nullptr;
        return true;
    }
    path = m_directory;
    if (!path.empty() && path.back() != L'\\' && path.back() != L'/')
        path += L'\\';
    path.append(m_next, length);
    m_next += length + 1;
    return true;
}

} // namespace vx::app
