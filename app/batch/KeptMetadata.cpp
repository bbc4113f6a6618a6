// Keeping a source's EXIF block and comment. A JPEG file is SOI followed by marker sections;
// the reader keeps the APP1 "Exif" section and the first COM section of the source, and later
// reads the output's sections back behind them and writes the whole file again.
#include "app/batch/KeptMetadata.h"

#include "image/VxStream.h"
#include "image/codecs/VxExifReader.h"
#include "platform/FileSystem.h"

#include <cstdio>
#include <new>

namespace vx::batch {

namespace {

constexpr std::int32_t kMarkerApp1 = 0xE1;

using FileHandle = std::unique_ptr<std::FILE, decltype(&std::fclose)>;

} // namespace

KeptMetadata::KeptMetadata() = default;
KeptMetadata::~KeptMetadata() = default;

void KeptMetadata::Drop(const char* reason)
{
    m_damage = vx::fs::FromUtf8(*reason != 0 ? reason : "unreadable");
    m_reader.reset();
}

void KeptMetadata::Read(const char16_t* sourcePath)
{
    m_reader.reset();
    m_damage.clear();
    FileHandle file(vx::fs::OpenFile(sourcePath, "rb"), &std::fclose);
    if (!file)
        return;
    m_reader.reset(new (std::nothrow) VxExifReader());
    if (!m_reader || !m_reader->Info()) {
        m_reader.reset(); // no memory for the sections: the output goes without them
        return;
    }
    VxFileStream stream(file.get());
    // A walk that stops after the EXIF block (too many sections, a cut file) still read it.
    m_reader->ReadSections(&stream, VxExifReader::kReadExif);
    for (int i = 0; i < m_reader->SectionCount(); ++i) {
        if (m_reader->Section(i).marker == kMarkerApp1 && !m_reader->Info()->isExif) {
            Drop(m_reader->LastError());
            return;
        }
    }
    m_reader->KeepExifAndComment();
}

std::int32_t KeptMetadata::Orientation() const
{
    return m_reader && m_reader->Info()->isExif ? m_reader->Info()->orientation : 0;
}

bool KeptMetadata::WriteInto(const std::u16string& outputPath, std::int32_t width, std::int32_t height, bool upright)
{
    if (!m_reader || m_reader->SectionCount() == 0)
        return true;
    if (!m_reader->FitExifTo(static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height), upright)) {
        Drop(m_reader->LastError());
        return true;
    }
    FileHandle file(vx::fs::OpenFile(outputPath.c_str(), "r+b"), &std::fclose);
    if (!file)
        return false;
    VxExifReader::MergeResult merged;
    {
        VxFileStream stream(file.get());
        merged = m_reader->MergeIntoPicture(&stream, 0);
    }
    m_reader.reset(); // its sections now hold the output's image data: only one write
    return merged == VxExifReader::MergeResult::Merged && std::fclose(file.release()) == 0;
}

} // namespace vx::batch
