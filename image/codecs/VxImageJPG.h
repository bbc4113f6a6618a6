// VxImageJPG: the JPEG codec (type code 3), driving libjpeg through source and destination
// managers over a VxStream. Decode reads baseline, progressive, greyscale and Adobe CMYK
// files into a bottom-up DIB (grey files as 8-bit with a grey palette), taking the
// resolution from EXIF or the JFIF header; Encode writes 24-bit and grey-palette images
// as JFIF with the image's quality, 2x2 luminance sampling and its resolution in dpi.
#pragma once

#include "image/VxImage.h"
#include "image/codecs/VxExifReader.h"

#include <cstdint>

class VxStream;
struct JpegDecodeSession;
struct JpegEncodeSession;
struct jpeg_decompress_struct;

class VxImageJPG : public VxImage {
public:
    VxImageJPG();
    ~VxImageJPG() override;

    bool Decode(VxStream* stream);
    bool Encode(VxStream* stream);

    // What the last decode's EXIF reader found (zero-filled before any decode).
    const ExifInfo& Exif() const { return m_exifInfo; }

private:
    void ReadExif(VxStream* stream);
    bool DecodeWithLibjpeg(JpegDecodeSession& session);
    bool EncodeWithLibjpeg(JpegEncodeSession& session);
    void SetResolution(const jpeg_decompress_struct& cinfo);
    bool WriteBackExif(VxStream* stream, std::int32_t start);

    VxExifReader* m_exifReader = nullptr;
    ExifInfo m_exifInfo{};
    std::int32_t m_smoothingFactor = 0;  // handed to libjpeg under encode option 0x40
    std::int32_t m_ditherMode;           // handed to libjpeg under decode option 0x200
};
