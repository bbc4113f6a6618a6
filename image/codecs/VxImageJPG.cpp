// VxImageJPG: JPEG decoding and encoding through libjpeg (API 62).
// libjpeg reads and writes through the source/destination managers below, which move the
// data through one 4,096-byte buffer over a VxStream. libjpeg reports fatal errors through
// error_exit, which never returns: ours formats the message into lastError and longjmps
// back to the setjmp of the call that drove libjpeg (DecodeWithLibjpeg, StreamWithLibjpeg,
// or each JpegRowWriter call). Only plain C records live in the frames it unwinds; the
// decode or the writer then destroys the libjpeg object and frees the buffer.
#include "image/codecs/VxImageJPG.h"

#include "image/MemoryBudget.h"
#include "image/VxStream.h"
#include "image/codecs/CodecSupport.h"

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include <jpeglib.h>
#include <jerror.h>

static_assert(JPEG_LIB_VERSION == 62, "the codec is written against the libjpeg 6b API");
#ifndef JCS_EXTENSIONS
#error "libjpeg-turbo's colour-space extensions (JCS_EXT_BGR) are needed"
#endif

namespace {

constexpr std::size_t kStreamBufferSize = 4096;

// Encode option bits (CodecOption(3)).
constexpr std::uint32_t kOptForceBaseline = 0x01;
constexpr std::uint32_t kOptArithmetic = 0x02;
constexpr std::uint32_t kOptGreyscale = 0x04;
constexpr std::uint32_t kOptOptimize = 0x08;
constexpr std::uint32_t kOptProgressive = 0x10;
constexpr std::uint32_t kOptSmoothing = 0x40;
constexpr std::uint32_t kOptLumaSample2x1 = 0x1000;
constexpr std::uint32_t kOptLumaSample1x1 = 0x2000;
// Decode option bits.
constexpr std::uint32_t kOptDecodeGrey = 0x80;
constexpr std::uint32_t kOptQuantize = 0x100;
constexpr std::uint32_t kOptDither = 0x200;
constexpr std::uint32_t kOptOnePassQuantize = 0x400;
constexpr std::uint32_t kOptNoFancyUpsampling = 0x800;

// libjpeg may hold a picture's whole-image buffers (see WholeImageBytes) plus this much for
// its tables and row buffers per 64 Ki output pixels of width; a larger demand ends the decode
// with libjpeg's "Backing store not supported". Until the header is read the limit is the
// fixed part alone.
constexpr long kLibjpegFixedMemory = 4L << 20;
constexpr long kLibjpegRowMemoryPer64KiColumns = 64L << 20;
// Real progressive files have about ten scans, libjpeg's own four-component script 18; a
// crafted file repeats scans to make the decode crawl, each scan a pass over every block.
constexpr int kMaxScans = 40;
// Decodes needing less than this keep working on files cut short however little data is
// left; larger ones need data enough to reach every block (MinimumDataBytes).
constexpr std::uint64_t kSmallDecodeBytes = 16u << 20;
// A resolution beyond this is taken as damage, not as a value to store.
constexpr double kMaxDpi = 1000000.0;

// The one record that carries both libjpeg stream managers; the callbacks find it from
// the manager pointer libjpeg hands them.
struct StreamManager {
    jpeg_destination_mgr destination;
    jpeg_source_mgr source;
    VxStream* stream;
    JOCTET* buffer;
    boolean startOfFile;
};

StreamManager* ManagerOf(j_decompress_ptr cinfo)
{
    return reinterpret_cast<StreamManager*>(reinterpret_cast<char*>(cinfo->src) -
                                            offsetof(StreamManager, source));
}

StreamManager* ManagerOf(j_compress_ptr cinfo)
{
    return reinterpret_cast<StreamManager*>(reinterpret_cast<char*>(cinfo->dest) -
                                            offsetof(StreamManager, destination));
}

struct ErrorRecord {
    jpeg_error_mgr manager; // first, so cinfo->err is the record's address
    std::jmp_buf jump;
    char* lastError;        // the image's 256-byte text
};

[[noreturn]] void ErrorExit(j_common_ptr cinfo)
{
    auto* record = reinterpret_cast<ErrorRecord*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, record->lastError); // at most JMSG_LENGTH_MAX (200) bytes
    std::longjmp(record->jump, 1);
}

void LimitScans(j_common_ptr cinfo)
{
    if (!cinfo->is_decompressor || reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number <= kMaxScans)
        return;
    auto* record = reinterpret_cast<ErrorRecord*>(cinfo->err);
    std::snprintf(record->lastError, JMSG_LENGTH_MAX, "JPEG image has more than %d scans", kMaxScans);
    std::longjmp(record->jump, 1);
}

// Bytes of libjpeg's whole-image buffers for this picture: the coefficients of every
// component (one JBLOCK per block, the block grid rounded up to the sampling factors) when
// the file has more than one scan, and the samples a two-pass colour quantiser keeps.
std::uint64_t WholeImageBytes(const jpeg_decompress_struct& cinfo)
{
    std::uint64_t bytes = 0;
    if (cinfo.progressive_mode || cinfo.comps_in_scan < cinfo.num_components || cinfo.buffered_image) {
        const auto roundUp = [](std::uint64_t value, int factor) { return (value + factor - 1) / factor * factor; };
        for (int c = 0; c < cinfo.num_components; ++c) {
            const jpeg_component_info& component = cinfo.comp_info[c];
            bytes += roundUp(component.width_in_blocks, component.h_samp_factor) *
                     roundUp(component.height_in_blocks, component.v_samp_factor) * sizeof(JBLOCK);
        }
    }
    if (cinfo.quantize_colors && cinfo.two_pass_quantize && cinfo.out_color_components == 3)
        bytes += std::uint64_t{cinfo.output_width} * cinfo.output_height * 3;
    return bytes;
}

// Huffman-coded data spends at least one bit on every block of every component (its first
// DC code), so shorter data cannot describe the picture: the file is cut short, or crafted
// to make the decoder allocate for a size it does not hold. Arithmetic coding has no floor.
std::uint64_t MinimumDataBytes(const jpeg_decompress_struct& cinfo)
{
    if (cinfo.arith_code)
        return 0;
    std::uint64_t blocks = 0;
    for (int c = 0; c < cinfo.num_components; ++c)
        blocks += std::uint64_t{cinfo.comp_info[c].width_in_blocks} * cinfo.comp_info[c].height_in_blocks;
    return blocks / 8;
}

// ---- Source manager ---------------------------------------------------------------------

void InitSource(j_decompress_ptr cinfo)
{
    ManagerOf(cinfo)->startOfFile = TRUE;
}

boolean FillInputBuffer(j_decompress_ptr cinfo)
{
    StreamManager* manager = ManagerOf(cinfo);
    std::size_t count = manager->stream->Read(manager->buffer, 1, kStreamBufferSize);
    if (count == 0) {
        if (manager->startOfFile)
            ERREXIT(cinfo, JERR_INPUT_EMPTY);
        // A file cut short: an end-of-image marker lets libjpeg finish with what it has.
        WARNMS(cinfo, JWRN_JPEG_EOF);
        manager->buffer[0] = 0xFF;
        manager->buffer[1] = JPEG_EOI;
        count = 2;
    }
    manager->source.next_input_byte = manager->buffer;
    manager->source.bytes_in_buffer = count;
    manager->startOfFile = FALSE;
    return TRUE;
}

void SkipInputData(j_decompress_ptr cinfo, long count)
{
    if (count <= 0)
        return;
    jpeg_source_mgr& source = ManagerOf(cinfo)->source;
    while (count > static_cast<long>(source.bytes_in_buffer)) {
        count -= static_cast<long>(source.bytes_in_buffer);
        FillInputBuffer(cinfo);
    }
    source.next_input_byte += count;
    source.bytes_in_buffer -= static_cast<std::size_t>(count);
}

void TermSource(j_decompress_ptr) {}

// ---- Destination manager ----------------------------------------------------------------

void InitDestination(j_compress_ptr cinfo)
{
    StreamManager* manager = ManagerOf(cinfo);
    manager->destination.next_output_byte = manager->buffer;
    manager->destination.free_in_buffer = kStreamBufferSize;
}

boolean EmptyOutputBuffer(j_compress_ptr cinfo)
{
    StreamManager* manager = ManagerOf(cinfo);
    if (manager->stream->Write(manager->buffer, 1, kStreamBufferSize) != kStreamBufferSize)
        ERREXIT(cinfo, JERR_FILE_WRITE);
    InitDestination(cinfo);
    return TRUE;
}

void TermDestination(j_compress_ptr cinfo)
{
    StreamManager* manager = ManagerOf(cinfo);
    const std::size_t count = kStreamBufferSize - manager->destination.free_in_buffer;
    // A short write is as much a failure as no write at all.
    if (count && manager->stream->Write(manager->buffer, 1, count) != count)
        ERREXIT(cinfo, JERR_FILE_WRITE);
    if (!manager->stream->Flush() || manager->stream->Error())
        ERREXIT(cinfo, JERR_FILE_WRITE);
}

// Stores a resolution unless it is not a number or too large to be one.
void StoreDpi(VxImage& image, double value, bool horizontal)
{
    if (!std::isfinite(value) || value >= kMaxDpi)
        return;
    const auto dpi = value <= 0 ? 0 : static_cast<std::int32_t>(value); // 0 and below become 96
    if (horizontal)
        image.SetXDpi(dpi);
    else
        image.SetYDpi(dpi);
}

// Points libjpeg's error reports at `record`, which formats them into the image's `lastError`.
jpeg_error_mgr* InstallErrorRecord(ErrorRecord& record, char* lastError)
{
    jpeg_error_mgr* manager = jpeg_std_error(&record.manager);
    manager->error_exit = ErrorExit;
    record.lastError = lastError;
    return manager;
}

// One decode: hands `run` a zeroed session that holds the stream and its buffer,
// then releases what libjpeg allocated (nothing when it never created its object) and the buffer.
template <typename Session, typename Run>
bool RunSession(VxImage& image, VxStream* stream, Run run)
{
    Session session;
    std::memset(&session, 0, sizeof session);
    session.manager.stream = stream;
    session.manager.buffer = static_cast<JOCTET*>(std::malloc(kStreamBufferSize));
    if (!session.manager.buffer) {
        image.SetLastError("Insufficient memory");
        return false;
    }
    const bool ok = run(session);
    jpeg_destroy(reinterpret_cast<j_common_ptr>(&session.cinfo));
    std::free(session.manager.buffer);
    // A decode's share of the memory budget goes back once libjpeg has freed its buffers.
    if constexpr (requires { session.reserved; }) {
        if (session.reserved)
            MemoryBudget::Shared().Release(session.reserved);
    }
    return ok;
}

} // namespace

// Everything a decode or encode keeps across libjpeg's non-local return: plain C records only.
struct JpegDecodeSession {
    jpeg_decompress_struct cinfo;
    ErrorRecord errors;
    StreamManager manager;
    jpeg_progress_mgr progress;
    std::uint64_t reserved; // taken from the shared memory budget
};

struct JpegEncodeSession {
    jpeg_compress_struct cinfo;
    ErrorRecord errors;
    StreamManager manager;
};

VxImageJPG::VxImageJPG() : VxImage(kVxTypeJpg), m_ditherMode(JDITHER_FS) {}

VxImageJPG::~VxImageJPG()
{
    delete m_exifReader;
}

// ---- Decode -------------------------------------------------------------------------------

void VxImageJPG::ReadExif(VxStream* stream)
{
    delete m_exifReader;
    std::memset(&m_exifInfo, 0, sizeof m_exifInfo);
    m_exifReader = new (std::nothrow) VxExifReader(&m_exifInfo);
    if (!m_exifReader)
        return; // no EXIF then; the picture itself can still be read
    const std::int32_t position = stream->Tell();
    m_exifReader->ReadSections(stream, VxExifReader::kReadExif);
    stream->Seek(position, SEEK_SET);
}

bool VxImageJPG::Decode(VxStream* stream)
{
    if (!stream) {
        SetLastError("null file handler");
        return false;
    }
    ReadExif(stream);

    return RunSession<JpegDecodeSession>(*this, stream,
                                         [this](JpegDecodeSession& session) { return DecodeWithLibjpeg(session); });
}

bool VxImageJPG::DecodeRows(VxStream* stream, JpegRowSink& sink)
{
    if (!stream) {
        SetLastError("null file handler");
        return false;
    }
    ReadExif(stream);

    return RunSession<JpegDecodeSession>(
        *this, stream, [this, &sink](JpegDecodeSession& session) { return StreamWithLibjpeg(session, sink); });
}

// Creates the decompressor over the session's stream and reads the header, then applies the
// decode options and the scale. libjpeg's errors jump to the caller's setjmp.
void VxImageJPG::ReadHeader(JpegDecodeSession& session)
{
    jpeg_decompress_struct& cinfo = session.cinfo;
    jpeg_create_decompress(&cinfo);
    cinfo.mem->max_memory_to_use = kLibjpegFixedMemory;
    session.progress.progress_monitor = LimitScans;
    cinfo.progress = &session.progress;
    jpeg_source_mgr& source = session.manager.source;
    source.init_source = InitSource;
    source.fill_input_buffer = FillInputBuffer;
    source.skip_input_data = SkipInputData;
    source.resync_to_restart = jpeg_resync_to_restart;
    source.term_source = TermSource;
    cinfo.src = &source;

    jpeg_read_header(&cinfo, TRUE);

    const std::uint32_t options = CodecOption(kVxTypeJpg);
    if (options & kOptDecodeGrey)
        cinfo.out_color_space = JCS_GRAYSCALE;
    if (options & kOptQuantize) {
        cinfo.quantize_colors = TRUE;
        cinfo.desired_number_of_colors = static_cast<std::uint8_t>(JpegQuality());
    }
    if (options & kOptDither)
        cinfo.dither_mode = static_cast<J_DITHER_MODE>(m_ditherMode);
    if (options & kOptOnePassQuantize)
        cinfo.two_pass_quantize = FALSE;
    if (options & kOptNoFancyUpsampling)
        cinfo.do_fancy_upsampling = FALSE;
    // DIB rows are blue, green, red: libjpeg-turbo can deliver them so (same values as RGB).
    if (cinfo.out_color_space == JCS_RGB && !cinfo.quantize_colors)
        cinfo.out_color_space = JCS_EXT_BGR;
    // The scale is 1/jpegScale. libjpeg-turbo reads a zero denominator as 2/1, so 0 is full size.
    cinfo.scale_num = 1;
    cinfo.scale_denom = info.jpegScale ? info.jpegScale : 1;
    jpeg_calc_output_dimensions(&cinfo);
}

namespace {

// Grey, RGB (from YCbCr or RGB) and CMYK (from CMYK or YCCK) are the pictures a DIB can hold;
// quantised colours come as one index per pixel.
void RequireDibComponents(jpeg_decompress_struct& cinfo)
{
    const int colourComponents = cinfo.out_color_components;
    if (colourComponents != 1 && colourComponents != 3 && colourComponents != 4)
        ERREXIT(&cinfo, JERR_CONVERSION_NOTIMPL);
}

// A row for ReadRow's CMYK conversion; null for every other kind of picture.
JSAMPARRAY CmykRowFor(jpeg_decompress_struct& cinfo)
{
    return cinfo.output_components == 4 ? (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo),
                                                                       JPOOL_IMAGE, cinfo.output_width * 4, 1)
                                        : nullptr;
}

// Reads the next row into `row` as the DIB holds it. Grey, index and blue-green-red samples go
// straight in; Adobe CMYK comes inverted from libjpeg, and each inverted ink times the
// inverted black gives one colour byte.
void ReadRow(jpeg_decompress_struct& cinfo, std::uint8_t* row, JSAMPARRAY cmykRow)
{
    if (!cmykRow) {
        JSAMPROW target = row;
        jpeg_read_scanlines(&cinfo, &target, 1);
        return;
    }
    jpeg_read_scanlines(&cinfo, cmykRow, 1);
    const JSAMPLE* ink = cmykRow[0];
    for (JDIMENSION x = 0; x < cinfo.output_width; ++x, ink += 4, row += 3) {
        row[0] = static_cast<std::uint8_t>(ink[2] * ink[3] / 255);
        row[1] = static_cast<std::uint8_t>(ink[1] * ink[3] / 255);
        row[2] = static_cast<std::uint8_t>(ink[0] * ink[3] / 255);
    }
}

} // namespace

// The bytes of the DIB a decode fills: 8 or 24 bits per pixel.
std::uint64_t VxImageJPG::PictureBytes(const jpeg_decompress_struct& cinfo)
{
    const std::uint64_t bitsPerPixel = cinfo.output_components == 1 ? 8 : 24;
    return std::uint64_t{cinfo.output_width} * cinfo.output_height * bitsPerPixel / 8;
}

// A picture whose pixels would exceed the image memory limit is refused before libjpeg
// allocates its whole-image buffers for it.
bool VxImageJPG::FitsImageMemory(jpeg_decompress_struct& cinfo)
{
    if (PictureBytes(cinfo) > VXIMAGE_MAX_MEMORY) {
        SetLastError("VXIMAGE_MAX_MEMORY exceeded");
        return false;
    }
    return true;
}

// Bounds what libjpeg may allocate to what this picture legitimately needs (its whole-image
// buffers, if any, and row buffers), refuses a large decode whose data is too short to reach
// every block, and takes the picture (`pictureBytes` held by the caller) and those buffers from
// the budget this process's decodes share; the reservation is given back once libjpeg has
// freed its buffers.
bool VxImageJPG::LimitDecoderMemory(JpegDecodeSession& session, std::uint64_t pictureBytes)
{
    jpeg_decompress_struct& cinfo = session.cinfo;
    const std::uint64_t wholeImageBytes = WholeImageBytes(cinfo);
    const std::uint64_t decodeBytes = pictureBytes + wholeImageBytes;
    if (decodeBytes > MemoryBudget::Shared().Capacity()) {
        SetLastError("VXIMAGE_MAX_MEMORY exceeded");
        return false;
    }
    if (decodeBytes > kSmallDecodeBytes && session.manager.stream->Size() >= 0 &&
        BytesLeft(*session.manager.stream) + session.manager.source.bytes_in_buffer < MinimumDataBytes(cinfo)) {
        char message[80];
        std::snprintf(message, sizeof message, "JPEG data too short for a %u x %u picture", cinfo.image_width,
                      cinfo.image_height);
        SetLastError(message);
        return false;
    }
    cinfo.mem->max_memory_to_use = static_cast<long>(wholeImageBytes) + kLibjpegFixedMemory +
                                   static_cast<long>(std::uint64_t{cinfo.output_width} *
                                                     kLibjpegRowMemoryPer64KiColumns / 65536);
    if (decodeBytes > kSmallDecodeBytes) {
        if (!MemoryBudget::Shared().Reserve(decodeBytes, info.escape)) {
            if (info.escape == 0) // cancelled while waiting: no message
                SetLastError("not enough memory left for the decode");
            return false;
        }
        session.reserved = decodeBytes;
    }
    return true;
}

bool VxImageJPG::DecodeWithLibjpeg(JpegDecodeSession& session)
{
    jpeg_decompress_struct& cinfo = session.cinfo;
    cinfo.err = InstallErrorRecord(session.errors, info.lastError);
    if (setjmp(session.errors.jump))
        return false; // libjpeg's message is in lastError

    ReadHeader(session);
    RequireDibComponents(cinfo);
    if (!FitsImageMemory(cinfo))
        return false;

    // The size only: given for exactly the pictures the full decode accepts up to here, so a
    // size shown for a picture means it can be read.
    if (info.escape == -1) {
        header.biWidth = static_cast<LONG>(cinfo.output_width);
        header.biHeight = static_cast<LONG>(cinfo.output_height);
        info.type = kVxTypeJpg;
        return true;
    }

    if (!LimitDecoderMemory(session, PictureBytes(cinfo)))
        return false;

    jpeg_start_decompress(&cinfo);
    const int components = cinfo.output_components;
    if (!Create(cinfo.output_width, cinfo.output_height, static_cast<std::uint32_t>(components) * 8, kVxTypeJpg))
        return false;
    SetResolution(cinfo);

    if (cinfo.quantize_colors) {
        // libjpeg's colour map has one row per colour component: grey, RGB or inverted CMYK.
        std::uint8_t red[256], green[256], blue[256];
        const JSAMPARRAY map = cinfo.colormap;
        const int colours = std::clamp(cinfo.actual_number_of_colors, 0, 256);
        for (int i = 0; i < colours; ++i) {
            if (cinfo.out_color_components == 1) {
                red[i] = green[i] = blue[i] = map[0][i];
            } else if (cinfo.out_color_components == 3) {
                red[i] = map[0][i];
                green[i] = map[1][i];
                blue[i] = map[2][i];
            } else {
                red[i] = static_cast<std::uint8_t>(map[0][i] * map[3][i] / 255);
                green[i] = static_cast<std::uint8_t>(map[1][i] * map[3][i] / 255);
                blue[i] = static_cast<std::uint8_t>(map[2][i] * map[3][i] / 255);
            }
        }
        SetPalette(static_cast<std::uint32_t>(colours), red, green, blue);
    } else if (cinfo.out_color_space == JCS_GRAYSCALE) {
        SetGreyPalette();
    }

    const JSAMPARRAY cmykRow = CmykRowFor(cinfo);
    // libjpeg delivers the picture top row first, which is the last row of the bottom-up DIB.
    while (cinfo.output_scanline < cinfo.output_height) {
        if (info.escape)
            return false; // cancelled: no message
        ReadRow(cinfo, RowAddress(cinfo.output_height - 1 - cinfo.output_scanline), cmykRow);
    }
    jpeg_finish_decompress(&cinfo);
    return true;
}

bool VxImageJPG::StreamWithLibjpeg(JpegDecodeSession& session, JpegRowSink& sink)
{
    jpeg_decompress_struct& cinfo = session.cinfo;
    cinfo.err = InstallErrorRecord(session.errors, info.lastError);
    if (setjmp(session.errors.jump))
        return false;

    ReadHeader(session);
    // Quantised colours need the whole picture and their own palette: not a streamed kind.
    if (cinfo.quantize_colors)
        ERREXIT(&cinfo, JERR_NOTIMPL);
    // A single-scan picture is decoded a band of rows at a time; the others are held whole
    // as coefficients, which the image memory limit bounds as it bounds Decode.
    RequireDibComponents(cinfo);
    if (jpeg_has_multiple_scans(&cinfo) && !FitsImageMemory(cinfo))
        return false;
    // Only a band of the picture is held here, by the sink.
    if (!LimitDecoderMemory(session, 0))
        return false;
    jpeg_start_decompress(&cinfo);
    header.biWidth = static_cast<LONG>(cinfo.output_width);
    header.biHeight = static_cast<LONG>(cinfo.output_height);
    header.biBitCount = cinfo.output_components == 1 ? 8 : 24;
    info.type = kVxTypeJpg;
    SetResolution(cinfo);
    if (!sink.Begin(*this))
        return false;

    const JSAMPARRAY row = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                                      cinfo.output_width * 3, 1);
    const JSAMPARRAY cmykRow = CmykRowFor(cinfo);
    while (cinfo.output_scanline < cinfo.output_height) {
        const JDIMENSION wanted = std::min<JDIMENSION>(sink.NextWantedRow(cinfo.output_scanline), cinfo.output_height);
        if (wanted > cinfo.output_scanline) {
            jpeg_skip_scanlines(&cinfo, wanted - cinfo.output_scanline);
            continue;
        }
        ReadRow(cinfo, row[0], cmykRow);
        if (!sink.TakeRow(wanted, row[0]))
            return false;
    }
    jpeg_finish_decompress(&cinfo);
    return true;
}

void VxImageJPG::SetResolution(const jpeg_decompress_struct& cinfo)
{
    // EXIF resolutions are given per unit; dividing by the unit's factor gives dots per inch.
    const ExifInfo& exif = m_exifInfo;
    const bool exifHasResolution =
        exif.isExif && exif.resolutionUnit != 0 && (exif.xResolution != 0 || exif.yResolution != 0);
    if (exifHasResolution) {
        if (exif.xResolution != 0)
            StoreDpi(*this, std::trunc(double{exif.xResolution / exif.resolutionUnit}), true);
        if (exif.yResolution != 0)
            StoreDpi(*this, std::trunc(double{exif.yResolution / exif.resolutionUnit}), false);
        return;
    }
    // JFIF density: unit 1 dots per inch, 2 dots per centimetre, 0 only an aspect ratio.
    switch (cinfo.density_unit) {
    case 0:
        if (cinfo.X_density && cinfo.Y_density)
            StoreDpi(*this, std::trunc(static_cast<double>(XDpi()) * cinfo.Y_density / cinfo.X_density), false);
        break;
    case 2:
        StoreDpi(*this, std::floor(cinfo.X_density * 2.54 + 0.5), true);
        StoreDpi(*this, std::floor(cinfo.Y_density * 2.54 + 0.5), false);
        break;
    default:
        StoreDpi(*this, cinfo.X_density, true);
        StoreDpi(*this, cinfo.Y_density, false);
        break;
    }
}

// ---- Encode -------------------------------------------------------------------------------

bool VxImageJPG::Encode(VxStream* stream)
{
    if (!EncodePrecheck(stream))
        return false;
    if (HasPalette() && !IsGreyPalette()) {
        SetLastError("JPEG can save only RGB or GreyScale images");
        return false;
    }
    const std::int32_t start = stream->Tell();

    // 8- and 24-bit rows go to libjpeg as they are, top row (the last in the DIB) first. Rows
    // below 8 bits per pixel are unpacked to one grey sample per byte (the index is the grey
    // level in a grey palette): libjpeg never sees packed pixels.
    const std::uint32_t width = static_cast<std::uint32_t>(Width());
    std::unique_ptr<std::uint8_t[]> unpacked;
    if (BitsPerPixel() < 8) {
        unpacked.reset(new (std::nothrow) std::uint8_t[width]);
        if (!unpacked) {
            SetLastError("Insufficient memory");
            return false;
        }
    }
    JpegRowWriter writer(*this, m_smoothingFactor);
    bool ok = writer.Begin(stream, static_cast<std::uint32_t>(Height()));
    for (std::int32_t y = Height() - 1; ok && y >= 0; --y) {
        const std::uint8_t* row = RowAddress(static_cast<std::uint32_t>(y));
        if (unpacked) {
            for (std::uint32_t x = 0; x < width; ++x)
                unpacked[x] = PixelIndexUnchecked(static_cast<std::int32_t>(x), y);
            row = unpacked.get();
        }
        ok = writer.WriteRow(row);
    }
    return ok && writer.Finish() && WriteBackExif(stream, start);
}

// ---- Row writer ---------------------------------------------------------------------------

JpegRowWriter::JpegRowWriter(VxImage& settings, std::int32_t smoothingFactor)
    : m_settings(settings), m_smoothingFactor(smoothingFactor)
{
}

JpegRowWriter::~JpegRowWriter()
{
    if (!m_session)
        return;
    jpeg_destroy(reinterpret_cast<j_common_ptr>(&m_session->cinfo));
    std::free(m_session->manager.buffer);
    delete m_session;
}

bool JpegRowWriter::Begin(VxStream* stream, std::uint32_t height)
{
    if (m_session || !stream) {
        m_settings.SetLastError(stream ? "JpegRowWriter: already begun" : "null file handler");
        return false;
    }
    m_session = new (std::nothrow) JpegEncodeSession;
    if (m_session) {
        std::memset(m_session, 0, sizeof *m_session);
        m_session->manager.buffer = static_cast<JOCTET*>(std::malloc(kStreamBufferSize));
    }
    if (!m_session || !m_session->manager.buffer) {
        m_settings.SetLastError("Insufficient memory");
        m_failed = true;
        return false;
    }
    m_session->manager.stream = stream;

    jpeg_compress_struct& cinfo = m_session->cinfo;
    cinfo.err = InstallErrorRecord(m_session->errors, m_settings.Info().lastError);
    if (setjmp(m_session->errors.jump)) {
        m_failed = true;
        return false;
    }

    jpeg_create_compress(&cinfo);
    jpeg_destination_mgr& destination = m_session->manager.destination;
    destination.init_destination = InitDestination;
    destination.empty_output_buffer = EmptyOutputBuffer;
    destination.term_destination = TermDestination;
    cinfo.dest = &destination;

    const bool grey = m_settings.HasPalette(); // Encode refuses every other palette
    cinfo.image_width = static_cast<JDIMENSION>(m_settings.Width());
    cinfo.image_height = height;
    cinfo.input_components = grey ? 1 : 3;
    cinfo.in_color_space = grey ? JCS_GRAYSCALE : JCS_EXT_BGR; // the DIB's own byte order
    jpeg_set_defaults(&cinfo);

    const std::uint32_t options = m_settings.CodecOption(kVxTypeJpg);
    if (options & kOptArithmetic)
        cinfo.arith_code = TRUE;
    if (options & kOptGreyscale)
        jpeg_set_colorspace(&cinfo, JCS_GRAYSCALE);
    if (options & kOptOptimize)
        cinfo.optimize_coding = TRUE;
    if (options & kOptSmoothing)
        cinfo.smoothing_factor = m_smoothingFactor;
    jpeg_set_quality(&cinfo, static_cast<std::uint8_t>(m_settings.JpegQuality()),
                     (options & kOptForceBaseline) ? TRUE : FALSE);
    if (options & kOptProgressive)
        jpeg_simple_progression(&cinfo);

    // 2x2 luminance sampling (4:2:0); jpeg_set_defaults allocated room for every component.
    cinfo.comp_info[0].h_samp_factor = 2;
    cinfo.comp_info[0].v_samp_factor = 2;
    for (int c = 1; c < 3; ++c) {
        cinfo.comp_info[c].h_samp_factor = 1;
        cinfo.comp_info[c].v_samp_factor = 1;
    }
    // 0x2000 means 1 x 1 whether or not 0x1000 (2 x 1) is set as well.
    if (options & kOptLumaSample1x1) {
        cinfo.comp_info[0].h_samp_factor = 1;
        cinfo.comp_info[0].v_samp_factor = 1;
    } else if (options & kOptLumaSample2x1) {
        cinfo.comp_info[0].v_samp_factor = 1;
    }

    // JFIF density in dots per inch; the field holds 16 bits.
    cinfo.density_unit = 1;
    cinfo.X_density = static_cast<UINT16>(std::clamp(m_settings.XDpi(), 1, 65535));
    cinfo.Y_density = static_cast<UINT16>(std::clamp(m_settings.YDpi(), 1, 65535));

    jpeg_start_compress(&cinfo, TRUE);
    return true;
}

bool JpegRowWriter::WriteRow(const std::uint8_t* row)
{
    if (!m_session || m_failed)
        return false;
    if (setjmp(m_session->errors.jump)) {
        m_failed = true;
        return false;
    }
    // libjpeg only reads the rows it is given.
    JSAMPROW samples = const_cast<JSAMPROW>(row);
    jpeg_write_scanlines(&m_session->cinfo, &samples, 1);
    return true;
}

bool JpegRowWriter::Finish()
{
    if (!m_session || m_failed)
        return false;
    if (setjmp(m_session->errors.jump)) {
        m_failed = true;
        return false;
    }
    jpeg_finish_compress(&m_session->cinfo);
    return true;
}

// A codec object that decoded a JPEG with EXIF carries that block (and the first comment)
// into the picture it has just written: the new picture's sections are read back from the
// stream and written again, over it, after the kept ones. Without EXIF nothing happens.
bool VxImageJPG::WriteBackExif(VxStream* stream, std::int32_t start)
{
    if (!m_exifReader || !m_exifInfo.isExif)
        return true;
    m_exifReader->KeepExifAndComment();
    // A stream that cannot be read back (a file opened for writing only) keeps the plain JPEG.
    if (m_exifReader->MergeIntoPicture(stream, start) != VxExifReader::MergeResult::WriteFailed)
        return true;
    // The picture is partly overwritten: that is a failed save, not a successful one.
    SetLastError("Output file write error --- out of disk space?");
    return false;
}
