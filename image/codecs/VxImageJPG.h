// VxImageJPG: the JPEG codec (type code 3), driving libjpeg through source and destination
// managers over a VxStream. Decode reads baseline, progressive, greyscale and Adobe CMYK
// files into a bottom-up DIB (grey files as 8-bit with a grey palette), taking the
// resolution from EXIF or the JFIF header; Encode writes 24-bit and grey-palette images
// as JFIF with the image's quality, 2x2 luminance sampling and its resolution in dpi.
// DecodeRows streams a picture's rows to a JpegRowSink without holding the picture, and
// JpegRowWriter writes one row by row: together they halve pictures too large to hold.
#pragma once

#include "image/VxImage.h"
#include "image/codecs/VxExifReader.h"

#include <cstdint>

class VxStream;
struct JpegDecodeSession;
struct JpegEncodeSession;
struct jpeg_decompress_struct;

// Receives the rows of a picture from VxImageJPG::DecodeRows, top row first, each laid out as
// the picture's DIB row would hold it: one grey byte per pixel, or blue, green, red.
class JpegRowSink {
public:
    virtual ~JpegRowSink() = default;
    // `picture` has the size, depth (8 for grey, else 24) and resolution that Decode would
    // give it, but no pixels. False stops the decode.
    virtual bool Begin(const VxImage& picture) = 0;
    // The first row from `row` on (0 = top) that the sink wants; the height when none.
    virtual std::uint32_t NextWantedRow(std::uint32_t row) = 0;
    // Row `row` of the picture, valid during the call. False stops the decode.
    virtual bool TakeRow(std::uint32_t row, const std::uint8_t* pixels) = 0;
};

class VxImageJPG : public VxImage {
public:
    VxImageJPG();
    ~VxImageJPG() override;

    bool Decode(VxStream* stream);
    bool Encode(VxStream* stream);
    // Decodes like Decode but hands the rows the sink wants to the sink instead of keeping
    // them; rows it skips are not colour-converted. Only libjpeg's working memory is held, so
    // a single-scan (baseline) picture of any size streams; a multi-scan one, whose
    // coefficients libjpeg keeps whole, is refused beyond the image memory limit as Decode
    // refuses it. On failure the message is in lastError (empty when the sink stopped).
    bool DecodeRows(VxStream* stream, JpegRowSink& sink);

    // What the last decode's EXIF reader found (zero-filled before any decode).
    const ExifInfo& Exif() const { return m_exifInfo; }

private:
    void ReadExif(VxStream* stream);
    void ReadHeader(JpegDecodeSession& session);
    static std::uint64_t PictureBytes(const jpeg_decompress_struct& cinfo);
    bool FitsImageMemory(jpeg_decompress_struct& cinfo);
    bool LimitDecoderMemory(JpegDecodeSession& session, std::uint64_t pictureBytes);
    bool DecodeWithLibjpeg(JpegDecodeSession& session);
    bool StreamWithLibjpeg(JpegDecodeSession& session, JpegRowSink& sink);
    void SetResolution(const jpeg_decompress_struct& cinfo);
    bool WriteBackExif(VxStream* stream, std::int32_t start);

    VxExifReader* m_exifReader = nullptr;
    ExifInfo m_exifInfo{};
    std::int32_t m_smoothingFactor = 0;  // handed to libjpeg under encode option 0x40
    std::int32_t m_ditherMode;           // handed to libjpeg under decode option 0x200
};

// Writes one JPEG picture row by row, with the settings Encode takes from a picture: its
// width, grey palette or colour, quality, option word and resolution. The same rows give
// the same bytes as Encode of a picture holding them.
class JpegRowWriter {
public:
    // `settings` must outlive the writer; libjpeg's messages go to its lastError.
    explicit JpegRowWriter(VxImage& settings, std::int32_t smoothingFactor = 0);
    ~JpegRowWriter();
    JpegRowWriter(const JpegRowWriter&) = delete;
    JpegRowWriter& operator=(const JpegRowWriter&) = delete;

    // Writes the headers of a picture `height` rows high to the stream.
    bool Begin(VxStream* stream, std::uint32_t height);
    // The next row down, laid out as a DIB row of 8 (grey) or 24 bits (blue, green, red).
    bool WriteRow(const std::uint8_t* row);
    // Writes the end of the picture and flushes the stream.
    bool Finish();

private:
    VxImage& m_settings;
    std::int32_t m_smoothingFactor;
    JpegEncodeSession* m_session = nullptr;
    bool m_failed = false;
};
