// Load, save, decode and encode: the entry points that pick a codec from the codec table by
// type code, or try every codec in detection order when the code is 0, and carry the codec's
// error text back into this image. File names are UTF-16; handles are opened and closed here.
#include "image/VxImage.h"
#include "image/VxStream.h"
#include "image/codecs/CodecTable.h"
#include "platform/FileSystem.h"

#include <cstring>

namespace {

constexpr const char* kUnknownDecodeFormat = "Decode: Unknown or wrong format";
constexpr const char* kUnknownEncodeFormat = "Encode: Unknown format";
constexpr const char* kNullStream = "null file handler";

} // namespace

VxImage::VxImage(const char16_t* fileName, std::uint32_t type)
{
    Startup(type);
    Load(fileName, type); // callers test IsValid()
}

bool VxImage::Load(const char16_t* fileName, std::uint32_t type)
{
    if (OptionSlot(type) != 0) {
        std::FILE* file = vx::fs::OpenFile(fileName, "rb");
        if (!file)
            return false;
        const bool decoded = Decode(file, type);
        std::fclose(file);
        if (decoded)
            return true;
    }

    // The named codec's message (or, for a code naming no format, the text from before the
    // call) is what the caller should see if detection fails as well.
    char firstMessage[sizeof(info.lastError)];
    std::memcpy(firstMessage, info.lastError, sizeof(firstMessage));

    std::FILE* file = vx::fs::OpenFile(fileName, "rb");
    if (!file)
        return false;
    const bool detected = Decode(file, kVxTypeUnknown);
    std::fclose(file);
    if (!detected && type != kVxTypeUnknown)
        std::memcpy(info.lastError, firstMessage, sizeof(firstMessage));
    return detected;
}

bool VxImage::Decode(std::FILE* file, std::uint32_t type)
{
    if (!file)
        return Decode(static_cast<VxStream*>(nullptr), type);
    VxFileStream stream(file);
    return Decode(&stream, type);
}

bool VxImage::Decode(VxStream* stream, std::uint32_t type)
{
    if (!stream) {
        SetLastError(kNullStream);
        return false;
    }
    if (type == kVxTypeUnknown) {
        // Every codec starts reading where the caller left the stream.
        const std::int32_t start = stream->Tell();
        for (const CodecEntry& codec : CodecTable()) {
            if (codec.decode(*this, stream, false))
                return true;
            stream->Seek(start, SEEK_SET);
        }
        SetLastError(kUnknownDecodeFormat);
        return false;
    }
    const CodecEntry* codec = FindCodec(type);
    if (!codec) {
        SetLastError(kUnknownDecodeFormat);
        return false;
    }
    return codec->decode(*this, stream, true);
}

bool VxImage::Save(const char16_t* fileName, std::uint32_t type)
{
    std::FILE* file = vx::fs::OpenFile(fileName, "wb");
    if (!file)
        return false;
    bool saved = Encode(file, type);
    // Buffered bytes reach the disk only now: a failure here is a failed save too.
    if (std::fclose(file) != 0 && saved) {
        SetLastError("Save: the file could not be written");
        saved = false;
    }
    return saved;
}

bool VxImage::Encode(std::FILE* file, std::uint32_t type)
{
    if (!file)
        return Encode(static_cast<VxStream*>(nullptr), type);
    VxFileStream stream(file);
    return Encode(&stream, type);
}

bool VxImage::Encode(VxStream* stream, std::uint32_t type)
{
    const CodecEntry* codec = FindCodec(type);
    if (!codec) {
        SetLastError(kUnknownEncodeFormat);
        return false;
    }
    return codec->encode(*this, stream);
}

bool VxImage::EncodePrecheck(const VxStream* stream)
{
    if (!stream) {
        SetLastError(kNullStream);
        return false;
    }
    if (!dib) {
        SetLastError("null image!!!");
        return false;
    }
    return true;
}
