// VxExifReader: walks the marker sections of a JPEG stream, keeps them in memory (at most
// 20, the image data included), parses the APP1 "Exif" block (a TIFF structure of image
// file directories, either byte order) and the first comment into an ExifInfo, and can
// write the kept sections back out as a JPEG stream. Every length, count and offset taken
// from the file is checked against the block it points into before it is used.
#pragma once

#include <cstdint>

class VxStream;

// What the reader learned about a picture; zero-filled before use.
struct ExifInfo {
    char version[5];
    char cameraMake[32];
    char cameraModel[40];
    char dateTime[20];
    std::int32_t height;
    std::int32_t width;
    std::int32_t orientation;
    std::int32_t isColour;
    std::int32_t process;          // SOFn marker code
    std::int32_t flashUsed;
    float focalLength;
    float exposureTime;
    float apertureFNumber;
    float distance;
    float ccdWidth;
    float exposureBias;
    std::int32_t whiteBalance;
    std::int32_t meteringMode;
    std::int32_t exposureProgram;
    std::int32_t isoEquivalent;
    std::int32_t compressionLevel;
    float focalPlaneXRes;
    float focalPlaneYRes;
    float focalPlaneUnits;         // factor: resolution per unit / factor = resolution per inch
    float xResolution;
    float yResolution;
    float resolutionUnit;          // factor, as focalPlaneUnits
    float brightness;
    char comments[1000];
    const std::uint8_t* thumbnail; // inside the kept APP1 block; valid while the reader keeps it
    std::int32_t thumbnailSize;
    bool isExif;                   // the APP1 "Exif" block parsed without error
};

struct JpegSection {
    std::uint8_t* data;  // owned; begins with the section's two length bytes
    std::int32_t marker; // kJpegImageData for the image-data pseudo-section
    std::int32_t size;   // bytes in data
};

class VxExifReader {
public:
    static constexpr int kMaxSections = 20;
    static constexpr int kReadExif = 1; // parse APP1 "Exif" and the first comment
    static constexpr int kReadAll = 2;  // also keep everything after the start of scan
    static constexpr std::int32_t kJpegImageData = 0x123;

    // With a null block the reader allocates (and later frees) a zero-filled one of its own.
    explicit VxExifReader(ExifInfo* info = nullptr);
    ~VxExifReader();
    VxExifReader(const VxExifReader&) = delete;
    VxExifReader& operator=(const VxExifReader&) = delete;

    // Appends the stream's sections to the ones already kept; see kReadExif / kReadAll.
    bool ReadSections(VxStream* stream, int mode);
    // Keeps only the first APP1 and the first COM section, in slots 0 and 1.
    void KeepExifAndComment();
    // Writes SOI; a JFIF header when the first kept section is neither APP0 nor APP1 (the last
    // plain one read, else one of 300 dpi); every kept section; the image data read last.
    bool WriteSections(VxStream* stream);
    // Makes the kept EXIF block (see KeepExifAndComment) describe a re-encoded picture of
    // width x height: ImageWidth/ImageLength of the main directory and PixelXDimension/
    // PixelYDimension of the EXIF directory get the new size, Orientation becomes 1 when
    // `upright` (the pixels were turned), and the thumbnail directory is unlinked, its bytes cut
    // off when they end the block (a thumbnail of the source would misrepresent the picture).
    // Everything else stays byte for byte. True when there is no EXIF block; false with
    // lastError when the block cannot be walked, and it must then not be written.
    bool FitExifTo(std::uint32_t width, std::uint32_t height, bool upright);
    enum class MergeResult { Merged, NotRead, WriteFailed };
    // Puts the kept sections in front of the JPEG picture that starts at `start` in the stream:
    // the picture's own sections are read back after them and everything is written over the
    // picture again. NotRead leaves the stream as it was (one opened for writing only).
    MergeResult MergeIntoPicture(VxStream* stream, std::int32_t start);
    // First kept section with this marker, the last kept section excluded.
    const JpegSection* FindSection(std::int32_t marker) const;

    const char* LastError() const { return m_lastError; }
    ExifInfo* Info() const { return m_info; }
    int SectionCount() const { return m_sectionCount; }
    const JpegSection& Section(int index) const { return m_sections[index]; }

private:
    bool ParseExif(const std::uint8_t* data, std::uint32_t length);
    // Checks the "Exif" and TIFF headers of an APP1 body and sets the byte order and block.
    bool OpenTiff(const std::uint8_t* data, std::uint32_t length);
    enum class DirectoryKind { Main, Exif, Other };
    // One directory of the main picture and its sub-directories, sizes written as FitExifTo
    // says; `extent` grows to the end of every byte they use.
    bool FitDirectory(std::uint8_t* tiff, std::uint32_t offset, int nesting, DirectoryKind kind, std::uint32_t width,
                      std::uint32_t height, bool upright, std::uint64_t& extent);
    // The first byte of the thumbnail directory, its values and the thumbnail; 0 when the
    // directory is not whole, so that nothing is cut.
    std::uint32_t ThumbnailStart(std::uint32_t offset);
    void Put16(std::uint8_t* p, std::uint16_t value) const;
    void Put32(std::uint8_t* p, std::uint32_t value) const;
    // One 12-byte directory entry at `entryOffset` of `tiff`; its value lies at `valueOffset`
    // (in the entry itself up to 4 bytes, else where the entry points, checked to fit the block).
    struct DirectoryEntry {
        std::uint32_t tag;
        std::uint32_t format;
        std::uint32_t components;
        std::uint64_t byteCount;
        std::uint32_t valueOffset;
    };
    bool ReadEntry(const std::uint8_t* tiff, std::uint32_t entryOffset, DirectoryEntry& entry);
    // mainPicture: IFD0 and its sub-directories, whose tags describe the picture itself.
    bool ParseDirectory(std::uint32_t offset, int nesting, bool mainPicture);
    void HandleTag(std::uint32_t tag, std::uint32_t format, const std::uint8_t* value, std::uint32_t byteCount,
                   bool mainPicture, std::uint32_t& thumbOffset, std::uint32_t& thumbSize);
    void ParseComment(const std::uint8_t* data, std::uint32_t length);
    void ParseFrameHeader(const std::uint8_t* data, std::int32_t size, std::int32_t marker);
    double NumberValue(const std::uint8_t* value, std::uint32_t format, std::uint32_t byteCount) const;
    std::uint16_t Get16(const std::uint8_t* p) const;
    std::uint32_t Get32(const std::uint8_t* p) const;
    bool KeepSection(std::uint8_t* data, std::int32_t marker, std::int32_t size);
    void SetError(const char* text);

    ExifInfo* m_info;
    char m_lastError[256];
    std::int32_t m_exifImageWidth = 0;
    bool m_motorolaOrder = false;
    JpegSection m_sections[kMaxSections];
    int m_sectionCount = 0;
    bool m_ownsInfo;
    // The last plain JFIF header read (APP0, 16 bytes long), marker included.
    std::uint8_t m_jfifHeader[18] = {};
    bool m_haveJfifHeader = false;

    // The TIFF block of the EXIF section being parsed and how many directories it has
    // cost so far (a bound on the work a hostile chain of links can cause).
    const std::uint8_t* m_tiff = nullptr;
    std::uint32_t m_tiffLength = 0;
    int m_directoriesParsed = 0;
};
