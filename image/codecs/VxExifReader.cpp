// VxExifReader: JPEG section walker and EXIF (TIFF directory) parser.
// A JPEG is a sequence of sections FF <marker> <length hi> <length lo> <data>, up to the
// start of scan, after which the entropy-coded image data runs to the end of the file.
// The APP1 "Exif" section holds a TIFF block: a byte-order mark ("II" little-endian,
// "MM" big-endian), the number 42, and a chain of 12-byte-entry directories.
#include "image/codecs/VxExifReader.h"

#include "image/VxStream.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

constexpr std::int32_t kMarkerSos = 0xDA;
constexpr std::int32_t kMarkerEoi = 0xD9;
constexpr std::int32_t kMarkerApp0 = 0xE0;
constexpr std::int32_t kMarkerApp1 = 0xE1;
constexpr std::int32_t kMarkerCom = 0xFE;

// A marker preceded by more fill bytes than this is taken as garbage.
constexpr int kMaxMarkerPadding = 6;
// Directories parsed per EXIF block. Links may point back at directories already read, and
// without a budget a few thousand such links nested five deep would never finish.
constexpr int kMaxDirectories = 64;
constexpr int kMaxNesting = 4;
constexpr std::size_t kMaxCommentBytes = 1000;
constexpr std::uint32_t kMaxUserCommentBytes = 199;

// Bytes per component of the TIFF value formats 0..12 (format 0 does not exist: 0 bytes).
constexpr std::uint32_t kFormatSize[13] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};

enum TiffFormat : std::uint32_t {
    kUByte = 1, kAscii = 2, kUShort = 3, kULong = 4, kURational = 5, kSByte = 6, kUndefined = 7,
    kSShort = 8, kSLong = 9, kSRational = 10, kFloat = 11, kDouble = 12,
};

// Written when the kept sections start with neither APP0 nor APP1 and no JFIF header was read:
// JFIF 1.01, 300 x 300 dpi.
constexpr std::uint8_t kJfifHeader[18] = {0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0x00, 0x01,
                                          0x01, 0x01, 0x01, 0x2C, 0x01, 0x2C, 0x00, 0x00};

bool IsFrameHeader(std::int32_t marker)
{
    // SOF0-SOF15 without DHT (C4), JPG (C8) and DAC (CC).
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

// Truncates toward zero, saturating at the ends of the range (NaN gives 0).
std::int32_t ToInt(double value)
{
    if (!(value == value))
        return 0;
    if (value >= 2147483647.0)
        return std::numeric_limits<std::int32_t>::max();
    if (value <= -2147483648.0)
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(value);
}

float ToFloat(double value)
{
    constexpr double kMax = std::numeric_limits<float>::max();
    if (value > kMax)
        return std::numeric_limits<float>::infinity();
    if (value < -kMax)
        return -std::numeric_limits<float>::infinity();
    return static_cast<float>(value);
}

// Resolution units as factors: resolution per unit / factor = resolution per inch.
void SetUnitFactor(float& field, std::int32_t unit)
{
    switch (unit) {
    case 1:
    case 2: field = 1.0f; break;            // none given / inch
    case 3: field = 0.3937007874f; break;   // centimetre (1 / 2.54)
    case 4: field = 0.03937008f; break;     // millimetre
    case 5: field = 0.00003937008f; break;  // micrometre
    default: break;
    }
}

// Copies text of at most capacity - 1 bytes, stopping at a zero byte and at the value's end.
void CopyText(char* destination, std::size_t capacity, const std::uint8_t* source, std::uint64_t sourceBytes)
{
    std::size_t n = 0;
    while (n + 1 < capacity && n < sourceBytes && source[n] != 0) {
        destination[n] = static_cast<char>(source[n]);
        ++n;
    }
    destination[n] = '\0';
}

} // namespace

VxExifReader::VxExifReader(ExifInfo* info)
    : m_info(info), m_lastError{}, m_sections{}, m_ownsInfo(info == nullptr)
{
    if (m_ownsInfo) {
        m_info = static_cast<ExifInfo*>(std::calloc(1, sizeof(ExifInfo)));
        if (!m_info)
            m_ownsInfo = false;
    }
}

VxExifReader::~VxExifReader()
{
    for (int i = 0; i < m_sectionCount; ++i)
        std::free(m_sections[i].data);
    if (m_ownsInfo)
        std::free(m_info);
}

void VxExifReader::SetError(const char* text)
{
    std::snprintf(m_lastError, sizeof(m_lastError), "%s", text);
}

bool VxExifReader::KeepSection(std::uint8_t* data, std::int32_t marker, std::int32_t size)
{
    if (m_sectionCount >= kMaxSections) {
        std::free(data);
        SetError("Too many sections in jpg file");
        return false;
    }
    m_sections[m_sectionCount++] = JpegSection{data, marker, size};
    return true;
}

bool VxExifReader::ReadSections(VxStream* stream, int mode)
{
    if (!stream || !m_info)
        return false;
    if (stream->GetC() != 0xFF || stream->GetC() != 0xD8)
        return false;

    bool commentSeen = false;
    for (;;) {
        if (m_sectionCount >= kMaxSections) {
            SetError("Too many sections in jpg file");
            return false;
        }

        int marker = 0;
        for (int padding = 0;; ++padding) {
            marker = stream->GetC();
            if (marker != 0xFF)
                break;
            if (padding >= kMaxMarkerPadding) {
                // Diagnostics go to stderr, never into the output of a program that loads pictures.
                std::fputs("too many padding bytes\n", stderr);
                return false;
            }
        }

        const int lengthHigh = stream->GetC();
        const int lengthLow = stream->GetC();
        const std::int32_t length = (lengthHigh < 0 || lengthLow < 0) ? -1 : (lengthHigh << 8) | lengthLow;
        if (length < 2) {
            SetError("invalid marker");
            return false;
        }

        auto* data = static_cast<std::uint8_t*>(std::malloc(static_cast<std::size_t>(length)));
        if (!data) {
            SetError("Could not allocate memory");
            return false;
        }
        data[0] = static_cast<std::uint8_t>(lengthHigh);
        data[1] = static_cast<std::uint8_t>(lengthLow);
        const std::uint32_t wanted = static_cast<std::uint32_t>(length - 2);
        if (stream->Read(data + 2, 1, wanted) != wanted) {
            std::free(data);
            SetError("Premature end of file?");
            return false;
        }

        if (IsFrameHeader(marker)) {
            ParseFrameHeader(data, length, marker);
            KeepSection(data, marker, length);
            continue;
        }
        switch (marker) {
        case kMarkerEoi:
            std::free(data);
            std::fputs("No image in jpeg!\n", stderr);
            return false;

        case kMarkerSos: {
            KeepSection(data, marker, length);
            if (!(mode & kReadAll))
                return true;
            // Everything after the scan header (entropy-coded data, EOI, any trailer) as one block.
            const std::int32_t position = stream->Tell();
            const bool sized = stream->Seek(0, SEEK_END);
            const std::int32_t end = stream->Tell();
            stream->Seek(position, SEEK_SET);
            if (!sized || position < 0 || end < position) {
                SetError("could not read the rest of the image");
                return false;
            }
            const std::uint32_t rest = static_cast<std::uint32_t>(end - position);
            auto* image = static_cast<std::uint8_t*>(std::malloc(rest ? rest : 1));
            if (!image) {
                SetError("could not allocate data for entire image");
                return false;
            }
            if (stream->Read(image, 1, rest) != rest) {
                std::free(image);
                SetError("could not read the rest of the image");
                return false;
            }
            return KeepSection(image, kJpegImageData, static_cast<std::int32_t>(rest));
        }

        case kMarkerApp0:
            // A plain JFIF header is remembered for WriteSections, which otherwise has to
            // invent one and would claim a resolution the picture does not have.
            if (length == 16 && std::memcmp(data + 2, "JFIF", 5) == 0) {
                m_jfifHeader[0] = 0xFF;
                m_jfifHeader[1] = kMarkerApp0;
                std::memcpy(m_jfifHeader + 2, data, 16);
                m_haveJfifHeader = true;
            }
            std::free(data);
            break;

        case kMarkerApp1:
            if ((mode & kReadExif) && length >= 6 && std::memcmp(data + 2, "Exif", 4) == 0) {
                m_info->isExif = ParseExif(data + 2, static_cast<std::uint32_t>(length));
                KeepSection(data, marker, length);
            } else {
                std::free(data);
            }
            break;

        case kMarkerCom:
            if ((mode & kReadExif) && !commentSeen) {
                commentSeen = true;
                ParseComment(data, static_cast<std::uint32_t>(length));
                KeepSection(data, marker, length);
            } else {
                std::free(data);
            }
            break;

        default: // DQT, DHT, DRI, APP2-APP15 ... kept as they are
            KeepSection(data, marker, length);
            break;
        }
    }
}

void VxExifReader::ParseFrameHeader(const std::uint8_t* data, std::int32_t size, std::int32_t marker)
{
    // length(2) precision(1) height(2) width(2) components(1), always big-endian.
    if (size < 8)
        return;
    m_info->height = (data[3] << 8) | data[4];
    m_info->width = (data[5] << 8) | data[6];
    m_info->isColour = data[7] == 3 ? 1 : 0;
    m_info->process = marker;
}

void VxExifReader::ParseComment(const std::uint8_t* data, std::uint32_t length)
{
    const std::size_t end = length < kMaxCommentBytes ? length : kMaxCommentBytes;
    std::size_t out = 0;
    for (std::size_t a = 2; a < end; ++a) {
        const std::uint8_t ch = data[a];
        if (ch == '\r' && a + 1 < end && data[a + 1] == '\n')
            continue; // CR LF becomes LF
        const bool printable = ch >= 0x20 && ch < 0x7F;
        m_info->comments[out++] = (printable || ch == '\n' || ch == '\t') ? static_cast<char>(ch) : '?';
    }
    m_info->comments[out] = '\0';
}

std::uint16_t VxExifReader::Get16(const std::uint8_t* p) const
{
    return m_motorolaOrder ? static_cast<std::uint16_t>((p[0] << 8) | p[1])
                           : static_cast<std::uint16_t>((p[1] << 8) | p[0]);
}

std::uint32_t VxExifReader::Get32(const std::uint8_t* p) const
{
    if (m_motorolaOrder)
        return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
    return (std::uint32_t{p[3]} << 24) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[1]} << 8) | p[0];
}

double VxExifReader::NumberValue(const std::uint8_t* value, std::uint32_t format, std::uint32_t byteCount) const
{
    // An inline value always has its 4-byte field; a longer format needs the bytes it names.
    const std::uint32_t available = byteCount > 4 ? byteCount : 4;
    if (format > kDouble || kFormatSize[format] > available)
        return 0;
    switch (format) {
    case kUByte: return value[0];
    case kUShort: return Get16(value);
    case kULong: return Get32(value);
    case kURational: {
        const std::uint32_t denominator = Get32(value + 4);
        return denominator ? static_cast<double>(Get32(value)) / denominator : 0;
    }
    case kSRational: {
        const auto denominator = static_cast<std::int32_t>(Get32(value + 4));
        return denominator ? static_cast<double>(static_cast<std::int32_t>(Get32(value))) / denominator : 0;
    }
    case kSByte: return static_cast<std::int8_t>(value[0]);
    case kSShort: return static_cast<std::int16_t>(Get16(value));
    case kSLong: return static_cast<std::int32_t>(Get32(value));
    case kFloat: {
        const std::uint32_t bits = Get32(value);
        float f;
        std::memcpy(&f, &bits, sizeof f);
        return f;
    }
    case kDouble: {
        const std::uint64_t first = Get32(value);
        const std::uint64_t second = Get32(value + 4);
        const std::uint64_t bits = m_motorolaOrder ? (first << 32) | second : (second << 32) | first;
        double d;
        std::memcpy(&d, &bits, sizeof d);
        return d;
    }
    default: return 0; // ASCII text, undefined bytes
    }
}

bool VxExifReader::ParseExif(const std::uint8_t* data, std::uint32_t length)
{
    m_info->flashUsed = 0;
    m_info->comments[0] = '\0';
    m_exifImageWidth = 0;
    if (!OpenTiff(data, length))
        return false;

    // The first directory usually follows the header at offset 8, but may lie anywhere.
    const std::uint32_t firstOffset = Get32(m_tiff + 4);
    m_directoriesParsed = 0;
    if (!ParseDirectory(firstOffset > 8 ? firstOffset : 8, 0, true))
        return false;

    if (m_info->focalPlaneXRes != 0)
        m_info->ccdWidth = ToFloat(static_cast<double>(m_exifImageWidth) * m_info->focalPlaneUnits /
                                   m_info->focalPlaneXRes);
    return true;
}

bool VxExifReader::OpenTiff(const std::uint8_t* data, std::uint32_t length)
{
    // "Exif" 0 0, then the TIFF header: byte order (2), 42 (2), first directory offset (4).
    if (length < 16 || std::memcmp(data, "Exif\0\0", 6) != 0) {
        SetError("Incorrect Exif header");
        return false;
    }
    if (data[6] == 'I' && data[7] == 'I') {
        m_motorolaOrder = false;
    } else if (data[6] == 'M' && data[7] == 'M') {
        m_motorolaOrder = true;
    } else {
        SetError("Invalid Exif alignment marker.");
        return false;
    }
    m_tiff = data + 6;
    m_tiffLength = length - 8;
    if (Get16(m_tiff + 2) != 42) {
        SetError("Invalid Exif start (1)");
        return false;
    }
    return true;
}

bool VxExifReader::ReadEntry(const std::uint8_t* tiff, std::uint32_t entryOffset, DirectoryEntry& entry)
{
    const std::uint8_t* at = tiff + entryOffset;
    entry.tag = Get16(at);
    entry.format = Get16(at + 2);
    entry.components = Get32(at + 4);
    if (entry.format > kDouble) {
        SetError("Illegal format code in EXIF dir");
        return false;
    }
    // Up to 4 bytes sit in the entry itself; longer values at an offset in the block.
    entry.byteCount = std::uint64_t{entry.components} * kFormatSize[entry.format];
    entry.valueOffset = entryOffset + 8;
    if (entry.byteCount > 4) {
        entry.valueOffset = Get32(at + 8);
        if (entry.valueOffset + entry.byteCount > m_tiffLength) {
            SetError("Illegal pointer offset value in EXIF.");
            return false;
        }
    }
    return true;
}

bool VxExifReader::ParseDirectory(std::uint32_t offset, int nesting, bool mainPicture)
{
    if (nesting > kMaxNesting) {
        SetError("Maximum directory nesting exceeded (corrupt exif header)");
        return false;
    }
    if (++m_directoriesParsed > kMaxDirectories) {
        SetError("Too many directories (corrupt exif header)");
        return false;
    }
    if (std::uint64_t{offset} + 2 > m_tiffLength) {
        SetError("Illegally sized directory");
        return false;
    }
    const std::uint32_t entries = Get16(m_tiff + offset);
    const std::uint64_t entriesEnd = std::uint64_t{offset} + 2 + 12ull * entries;
    if (entriesEnd > m_tiffLength) {
        SetError("Illegally sized directory");
        return false;
    }

    std::uint32_t thumbOffset = 0;
    std::uint32_t thumbSize = 0;
    for (std::uint32_t i = 0; i < entries; ++i) {
        DirectoryEntry entry;
        if (!ReadEntry(m_tiff, offset + 2 + 12 * i, entry))
            return false;
        const std::uint32_t tag = entry.tag, format = entry.format;
        const std::uint64_t byteCount = entry.byteCount;
        const std::uint8_t* value = m_tiff + entry.valueOffset;

        if (tag == 0x8769 || tag == 0xA005) { // EXIF and interoperability sub-directories
            const std::uint32_t subOffset = Get32(value);
            if (subOffset > 8) {
                if (subOffset >= m_tiffLength) {
                    SetError("Illegal subdirectory link");
                    return false;
                }
                ParseDirectory(subOffset, nesting + 1, mainPicture);
            }
            continue;
        }
        HandleTag(tag, format, value, static_cast<std::uint32_t>(byteCount), mainPicture, thumbOffset, thumbSize);
    }

    // The link to the next directory follows the entries, when the block holds it. The
    // directory after the first one (IFD1) describes the thumbnail, not the picture.
    if (entriesEnd + 4 <= m_tiffLength) {
        const std::uint32_t next = Get32(m_tiff + entriesEnd);
        if (next != 0) {
            if (next >= m_tiffLength) {
                SetError("Illegal subdirectory link");
                return false;
            }
            ParseDirectory(next, nesting + 1, false);
        }
    }

    if (thumbOffset && thumbSize && std::uint64_t{thumbOffset} + thumbSize <= m_tiffLength) {
        m_info->thumbnail = m_tiff + thumbOffset;
        m_info->thumbnailSize = static_cast<std::int32_t>(thumbSize);
    }
    return true;
}

void VxExifReader::HandleTag(std::uint32_t tag, std::uint32_t format, const std::uint8_t* value,
                             std::uint32_t byteCount, bool mainPicture, std::uint32_t& thumbOffset,
                             std::uint32_t& thumbSize)
{
    ExifInfo& info = *m_info;
    const auto number = [&] { return NumberValue(value, format, byteCount); };
    const auto integer = [&] { return ToInt(number()); };
    const auto real = [&] { return ToFloat(number()); };
    // A negative offset or size is no thumbnail.
    const auto unsignedInteger = [&] { return static_cast<std::uint32_t>(integer() > 0 ? integer() : 0); };

    switch (tag) {
    case 0x010F: CopyText(info.cameraMake, sizeof info.cameraMake, value, byteCount); break;
    case 0x0110: CopyText(info.cameraModel, sizeof info.cameraModel, value, byteCount); break;
    case 0x9000: CopyText(info.version, sizeof info.version, value, byteCount); break;
    case 0x9003: CopyText(info.dateTime, sizeof info.dateTime, value, byteCount); break;
    // Orientation and resolution of the thumbnail say nothing about the picture itself.
    case 0x0112:
        if (!mainPicture)
            break;
        info.orientation = integer();
        if (info.orientation < 1 || info.orientation > 8) {
            SetError("Undefined rotation value");
            info.orientation = 0;
        }
        break;
    case 0x011A:
        if (mainPicture)
            info.xResolution = real();
        break;
    case 0x011B:
        if (mainPicture)
            info.yResolution = real();
        break;
    case 0x0128:
        if (mainPicture)
            SetUnitFactor(info.resolutionUnit, integer());
        break;
    case 0x0201: thumbOffset = unsignedInteger(); break;
    case 0x0202: thumbSize = unsignedInteger(); break;
    case 0x829A: info.exposureTime = real(); break;
    case 0x829D: info.apertureFNumber = real(); break;
    case 0x8822: info.exposureProgram = integer(); break;
    case 0x8827: {
        // Some cameras store the ISO setting divided by 200.
        const std::int64_t iso = integer();
        info.isoEquivalent = static_cast<std::int32_t>(iso < 50 ? std::max<std::int64_t>(iso * 200, INT32_MIN) : iso);
        break;
    }
    case 0x9102: info.compressionLevel = integer(); break;
    case 0x9201: // shutter speed as an APEX value
        if (info.exposureTime == 0)
            info.exposureTime = ToFloat(1.0 / std::exp2(number()));
        break;
    case 0x9202: // aperture and largest aperture as APEX values
    case 0x9205:
        if (info.apertureFNumber == 0)
            info.apertureFNumber = ToFloat(std::exp2(number() / 2));
        break;
    case 0x9203: info.brightness = real(); break;
    case 0x9204: info.exposureBias = real(); break;
    case 0x9206: info.distance = real(); break;
    case 0x9207: info.meteringMode = integer(); break;
    case 0x9208: info.whiteBalance = integer(); break;
    case 0x9209: info.flashUsed = (integer() & 7) ? 1 : 0; break;
    case 0x920A: info.focalLength = real(); break;
    case 0x9286: { // user comment: an 8-byte character code, then the text
        std::uint32_t n = byteCount;
        while (n > 0 && value[n - 1] == ' ')
            --n; // trailing spaces are padding
        std::uint32_t start = 0;
        if (n >= 5 && std::memcmp(value, "ASCII", 5) == 0) {
            start = n; // nothing unless a text character follows the code
            for (std::uint32_t a = 5; a < 10 && a < n; ++a) {
                if (value[a] != 0 && value[a] != ' ') {
                    start = a;
                    break;
                }
            }
            if (start == n)
                break;
        }
        CopyText(info.comments, kMaxUserCommentBytes + 1, value + start, n - start);
        break;
    }
    case 0xA002:
    case 0xA003:
        if (integer() > m_exifImageWidth)
            m_exifImageWidth = integer();
        break;
    case 0xA20E: info.focalPlaneXRes = real(); break;
    case 0xA20F: info.focalPlaneYRes = real(); break;
    case 0xA210: SetUnitFactor(info.focalPlaneUnits, integer()); break;
    default: break;
    }
}

void VxExifReader::KeepExifAndComment()
{
    int app1 = -1;
    int comment = -1;
    for (int i = 0; i < m_sectionCount; ++i) {
        if (m_sections[i].marker == kMarkerApp1 && app1 < 0)
            app1 = i;
        else if (m_sections[i].marker == kMarkerCom && comment < 0)
            comment = i;
    }
    JpegSection kept[2] = {};
    int keptCount = 0;
    if (app1 >= 0)
        kept[keptCount++] = m_sections[app1];
    if (comment >= 0)
        kept[keptCount++] = m_sections[comment];
    for (int i = 0; i < m_sectionCount; ++i) {
        if (i != app1 && i != comment)
            std::free(m_sections[i].data);
        m_sections[i] = JpegSection{};
    }
    for (int i = 0; i < keptCount; ++i)
        m_sections[i] = kept[i];
    m_sectionCount = keptCount;
}

const JpegSection* VxExifReader::FindSection(std::int32_t marker) const
{
    // The last section is not searched: a scan header counts only when the image data read
    // after it follows, which is how WriteSections knows the whole file was read.
    for (int i = 0; i + 1 < m_sectionCount; ++i)
        if (m_sections[i].marker == marker)
            return &m_sections[i];
    return nullptr;
}

bool VxExifReader::WriteSections(VxStream* stream)
{
    if (!FindSection(kMarkerSos)) {
        SetError("Can't write exif : didn't read all");
        return false;
    }
    if (!stream)
        return false;
    const auto put = [&](const void* bytes, std::size_t count) {
        return count == 0 || stream->Write(bytes, 1, count) == count;
    };
    bool ok = stream->PutC(0xFF) && stream->PutC(0xD8);
    if (ok && m_sections[0].marker != kMarkerApp1 && m_sections[0].marker != kMarkerApp0)
        ok = put(m_haveJfifHeader ? m_jfifHeader : kJfifHeader, sizeof kJfifHeader);
    for (int i = 0; ok && i + 1 < m_sectionCount; ++i) {
        const JpegSection& section = m_sections[i];
        ok = stream->PutC(0xFF) && stream->PutC(static_cast<std::uint8_t>(section.marker)) &&
             put(section.data, static_cast<std::size_t>(section.size));
    }
    if (ok) {
        const JpegSection& last = m_sections[m_sectionCount - 1];
        ok = put(last.data, static_cast<std::size_t>(last.size));
    }
    if (!ok)
        SetError("Can't write exif : write failed");
    return ok;
}

// ---- Carrying a kept block into a re-encoded picture ------------------------------------------

void VxExifReader::Put16(std::uint8_t* p, std::uint16_t value) const
{
    const std::uint8_t high = static_cast<std::uint8_t>(value >> 8);
    const std::uint8_t low = static_cast<std::uint8_t>(value);
    p[0] = m_motorolaOrder ? high : low;
    p[1] = m_motorolaOrder ? low : high;
}

void VxExifReader::Put32(std::uint8_t* p, std::uint32_t value) const
{
    Put16(p + (m_motorolaOrder ? 0 : 2), static_cast<std::uint16_t>(value >> 16));
    Put16(p + (m_motorolaOrder ? 2 : 0), static_cast<std::uint16_t>(value));
}

bool VxExifReader::FitExifTo(std::uint32_t width, std::uint32_t height, bool upright)
{
    JpegSection* section = nullptr;
    for (int i = 0; i < m_sectionCount && !section; ++i)
        if (m_sections[i].marker == kMarkerApp1)
            section = &m_sections[i];
    if (!section)
        return true;
    // The body after the length bytes: "Exif" 0 0 and the TIFF block.
    std::uint8_t* body = section->data + 2;
    if (!OpenTiff(body, static_cast<std::uint32_t>(section->size)))
        return false;
    std::uint8_t* tiff = body + 6;
    m_directoriesParsed = 0;
    const std::uint32_t firstOffset = Get32(tiff + 4) > 8 ? Get32(tiff + 4) : 8;
    std::uint64_t extent = 8;
    if (!FitDirectory(tiff, firstOffset, 0, DirectoryKind::Main, width, height, upright, extent))
        return false;

    // The link after the main directory's entries leads to the thumbnail's directory.
    const std::uint64_t link = std::uint64_t{firstOffset} + 2 + 12ull * Get16(tiff + firstOffset);
    if (link + 4 <= m_tiffLength && Get32(tiff + link) != 0) {
        const std::uint32_t thumbnailStart = ThumbnailStart(Get32(tiff + link));
        Put32(tiff + link, 0);
        if (thumbnailStart >= extent && thumbnailStart < m_tiffLength) {
            // Nothing of the main picture lies beyond: the thumbnail's bytes end the block.
            section->size = static_cast<std::int32_t>(thumbnailStart + 8);
            section->data[0] = static_cast<std::uint8_t>(section->size >> 8);
            section->data[1] = static_cast<std::uint8_t>(section->size);
        }
    }
    m_info->thumbnail = nullptr;
    m_info->thumbnailSize = 0;
    return true;
}

bool VxExifReader::FitDirectory(std::uint8_t* tiff, std::uint32_t offset, int nesting, DirectoryKind kind,
                                std::uint32_t width, std::uint32_t height, bool upright, std::uint64_t& extent)
{
    if (nesting > kMaxNesting || ++m_directoriesParsed > kMaxDirectories) {
        SetError("Maximum directory nesting exceeded (corrupt exif header)");
        return false;
    }
    if (std::uint64_t{offset} + 2 > m_tiffLength ||
        std::uint64_t{offset} + 2 + 12ull * Get16(tiff + offset) > m_tiffLength) {
        SetError("Illegally sized directory");
        return false;
    }
    const std::uint32_t entries = Get16(tiff + offset);
    const std::uint64_t entriesEnd = std::uint64_t{offset} + 2 + 12ull * entries;
    extent = std::max(extent, std::min<std::uint64_t>(entriesEnd + 4, m_tiffLength));
    for (std::uint32_t i = 0; i < entries; ++i) {
        DirectoryEntry read;
        if (!ReadEntry(tiff, offset + 2 + 12 * i, read))
            return false;
        const std::uint32_t tag = read.tag, format = read.format, components = read.components;
        std::uint8_t* entry = tiff + offset + 2 + 12 * i;
        if (read.byteCount > 4) {
            extent = std::max(extent, read.valueOffset + read.byteCount);
            continue;
        }
        // EXIF, GPS and interoperability directories hang off the main one.
        if ((tag == 0x8769 || tag == 0x8825 || tag == 0xA005) && Get32(entry + 8) > 8) {
            const DirectoryKind subKind = tag == 0x8769 ? DirectoryKind::Exif : DirectoryKind::Other;
            if (!FitDirectory(tiff, Get32(entry + 8), nesting + 1, subKind, width, height, upright, extent))
                return false;
            continue;
        }
        // Sizes and the orientation are single SHORT or LONG values, held in the entry itself.
        std::int64_t newValue = -1;
        if (kind == DirectoryKind::Main && (tag == 0x0100 || tag == 0x0101))
            newValue = tag == 0x0100 ? width : height;
        else if (kind == DirectoryKind::Exif && (tag == 0xA002 || tag == 0xA003))
            newValue = tag == 0xA002 ? width : height;
        else if (kind == DirectoryKind::Main && tag == 0x0112 && upright)
            newValue = 1;
        if (newValue < 0 || components != 1)
            continue;
        if (format == kUShort)
            Put16(entry + 8, static_cast<std::uint16_t>(std::min<std::int64_t>(newValue, 0xFFFF)));
        else if (format == kULong)
            Put32(entry + 8, static_cast<std::uint32_t>(newValue));
    }
    return true;
}

std::uint32_t VxExifReader::ThumbnailStart(std::uint32_t offset)
{
    if (std::uint64_t{offset} + 2 > m_tiffLength)
        return 0;
    const std::uint32_t entries = Get16(m_tiff + offset);
    if (std::uint64_t{offset} + 2 + 12ull * entries > m_tiffLength)
        return 0;
    std::uint32_t start = offset;
    std::uint32_t thumbnailOffset = 0;
    for (std::uint32_t i = 0; i < entries; ++i) {
        const std::uint8_t* entry = m_tiff + offset + 2 + 12 * i;
        const std::uint32_t format = Get16(entry + 2);
        if (format > kDouble)
            return 0;
        const std::uint64_t byteCount = std::uint64_t{Get32(entry + 4)} * kFormatSize[format];
        if (byteCount > 4)
            start = std::min(start, Get32(entry + 8));
        if (Get16(entry) == 0x0201)
            thumbnailOffset = Get32(entry + 8);
    }
    if (thumbnailOffset != 0)
        start = std::min(start, thumbnailOffset);
    return start;
}

VxExifReader::MergeResult VxExifReader::MergeIntoPicture(VxStream* stream, std::int32_t start)
{
    const std::int32_t end = stream->Tell();
    stream->Seek(start, SEEK_SET);
    if (!ReadSections(stream, kReadAll)) {
        stream->Seek(end, SEEK_SET);
        return MergeResult::NotRead;
    }
    stream->Seek(start, SEEK_SET);
    return WriteSections(stream) ? MergeResult::Merged : MergeResult::WriteFailed;
}
