// The EXIF block and comment of a JPEG source, carried into its resized output: read by the
// EXIF reader's section walk, fitted to the output (its size, orientation 1 when the pixels
// were turned upright, no thumbnail) and written in front of the output's own sections by
// the reader's section writer. The streamed and the general resize both call it once their
// plain output file is complete, so there is one way of writing the sections.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

class VxExifReader;

namespace vx::batch {

class KeptMetadata {
public:
    KeptMetadata();
    ~KeptMetadata();
    KeptMetadata(const KeptMetadata&) = delete;
    KeptMetadata& operator=(const KeptMetadata&) = delete;

    // Reads the sections of the file when it is a JPEG; any other file has nothing to keep.
    void Read(const char16_t* sourcePath);
    // The orientation (1-8) an undamaged EXIF block gives; 0 when there is none.
    std::int32_t Orientation() const;
    // Non-empty when the source's EXIF block cannot be walked: why. Nothing is then kept.
    const std::u16string& Damage() const { return m_damage; }

    // Puts the kept sections into the finished JPEG file, the EXIF block fitted to
    // width x height and, when `upright`, orientation 1. A block found damaged only now is
    // left out (see Damage). False when the file could not be rewritten.
    bool WriteInto(const std::u16string& outputPath, std::int32_t width, std::int32_t height, bool upright);

private:
    void Drop(const char* reason);

    std::unique_ptr<VxExifReader> m_reader;
    std::u16string m_damage;
};

} // namespace vx::batch
