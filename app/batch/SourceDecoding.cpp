#include "app/batch/SourceDecoding.h"

#include "image/VxImage.h"
#include "platform/FileSystem.h"

#include <algorithm>
#include <memory>

namespace vx::batch {

namespace {

constexpr const char* kUnknownFormat = "Decode: Unknown or wrong format";

bool StartsAsJpeg(VxStream& stream)
{
    return stream.Seek(0, SEEK_SET) && stream.GetC() == 0xFF && stream.GetC() == 0xD8;
}

} // namespace

bool LoadWithReason(VxImage& image, const char16_t* path, const CancelSignal& cancel, UnrecognisedFile unrecognised)
{
    std::unique_ptr<std::FILE, decltype(&std::fclose)> file(vx::fs::OpenFile(path, "rb"), &std::fclose);
    if (!file)
        return false;
    CancellableFileStream stream(file.get(), cancel);
    if (image.Decode(&stream, kVxTypeJpg))
        return true;
    char jpegMessage[sizeof image.Info().lastError];
    std::copy(std::begin(image.Info().lastError), std::end(image.Info().lastError), jpegMessage);
    if (cancel.Raised() || !stream.Seek(0, SEEK_SET))
        return false;
    if (image.Decode(&stream, kVxTypeUnknown))
        return true;
    if (cancel.Raised())
        return false;
    const bool jpeg = StartsAsJpeg(stream);
    image.SetLastError(jpeg || unrecognised == UnrecognisedFile::JpegMessage ? jpegMessage : kUnknownFormat);
    return false;
}

} // namespace vx::batch
