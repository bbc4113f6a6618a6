// The sink below receives the source rows top first. Destination row r (from the top) takes
// source row SourceRowOf(r), which grows with r, so every row arrives in order and exactly
// once; rows no destination row takes are skipped by the decoder. The mark's rows are the
// top kMarkBaseline + 1 rows: they are held in the job's picture, marked there as Rescale's
// result would be marked, and written when complete.
#include "app/batch/StreamedResize.h"

#include "app/batch/CancelSignal.h"
#include "app/batch/KeptMetadata.h"
#include "app/batch/TemporaryOutput.h"
#include "image/NearestSampling.h"
#include "image/TextMark.h"
#include "image/VxImage.h"
#include "image/codecs/VxImageJPG.h"
#include "platform/FileSystem.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace vx::batch {

namespace {

// The rows of the result the mark can touch: from the top down to the row that takes the
// mark's bottom row (an unboxed mark reaches no lower).
constexpr std::int32_t kBandRows = kMarkBaseline + 1;

using FileHandle = std::unique_ptr<std::FILE, decltype(&std::fclose)>;

// A library message as a reason, or `fallback` when the library left none.
std::u16string ReasonOr(const char* message, std::u16string_view fallback)
{
    return *message != 0 ? vx::fs::FromUtf8(message) : std::u16string(fallback);
}

class ScalingSink : public JpegRowSink {
public:
    ScalingSink(const ResizeJob& job, const TextMark& mark, const CancelSignal& cancel, VxImage& band,
                KeptMetadata* metadata, bool upright)
        : m_job(job), m_mark(mark), m_cancel(cancel), m_band(band), m_metadata(metadata), m_upright(upright)
    {
    }

    // False when Begin declined the picture before anything was made for it.
    bool Begun() const { return m_begun; }
    // Why the sink stopped the decode; empty when it did not, or when the reason is a
    // library message in the band's lastError.
    const std::u16string& Failure() const { return m_failure; }

    bool Begin(const VxImage& picture) override
    {
        m_target = TargetSizeFor(m_job, picture.Width(), picture.Height());
        if (m_target.width <= 0 || m_target.height <= 0)
            return false; // the general path reports it
        m_begun = true;
        m_sourceHeight = picture.Height();
        m_yScale = ScaleFactor(picture.Height(), m_target.height);
        const float xScale = ScaleFactor(picture.Width(), m_target.width);
        m_bytesPerPixel = picture.BitsPerPixel() / 8;
        try {
            m_columns.resize(static_cast<std::size_t>(m_target.width));
            m_line.resize(static_cast<std::size_t>(m_target.width) * m_bytesPerPixel);
        } catch (const std::bad_alloc&) {
            m_failure = u"not enough memory for a row of the picture";
            return false;
        }
        for (std::int32_t x = 0; x < m_target.width; ++x)
            m_columns[x] = NearestSource(x, xScale, picture.Width());

        // The band is what Rescale would make of the top rows: same depth, grey palette and
        // resolution, so that the mark and the encoder see the same picture.
        m_band.SetXDpi(picture.XDpi());
        m_band.SetYDpi(picture.YDpi());
        m_band.SetLastError("");
        if (!m_band.Create(static_cast<std::uint32_t>(m_target.width),
                           static_cast<std::uint32_t>(std::min(m_target.height, kBandRows)), picture.BitsPerPixel(),
                           kVxTypeJpg))
            return false;
        if (m_bytesPerPixel == 1)
            m_band.SetGreyPalette();

        m_output = std::make_unique<TemporaryOutput>(m_job.szDstPath);
        if (m_output->Path().empty()) {
            m_failure = u"no room for a temporary file beside the output";
            return false;
        }
        m_file.reset(vx::fs::OpenFile(m_output->Path().c_str(), "wb"));
        if (!m_file) {
            m_failure = u"the output file cannot be created";
            return false;
        }
        m_stream = std::make_unique<VxFileStream>(m_file.get());
        m_writer = std::make_unique<JpegRowWriter>(m_band);
        return m_writer->Begin(m_stream.get(), static_cast<std::uint32_t>(m_target.height));
    }

    std::uint32_t NextWantedRow(std::uint32_t) override
    {
        return m_nextRow < m_target.height ? SourceRowOf(m_nextRow) : static_cast<std::uint32_t>(m_sourceHeight);
    }

    bool TakeRow(std::uint32_t row, const std::uint8_t* pixels) override
    {
        if (m_cancel.Raised())
            return false;
        for (; m_nextRow < m_target.height && SourceRowOf(m_nextRow) == row; ++m_nextRow)
            if (!PutRow(m_nextRow, pixels))
                return false;
        return true;
    }

    // Ends the picture once every row is in, and puts the file in place.
    JobOutcome Finish()
    {
        if (m_nextRow < m_target.height)
            return {JobStatus::Failed, u"the picture ended early", {}};
        if (!m_writer->Finish())
            return {JobStatus::Failed, ReasonOr(m_band.LastError(), u"the output file cannot be written"), {}};
        m_stream.reset();
        if (std::fclose(m_file.release()) != 0)
            return {JobStatus::Failed, u"Save: the file could not be written", {}};
        if (m_cancel.Raised())
            return {JobStatus::Cancelled, {}, {}};
        if (m_metadata && !m_metadata->WriteInto(m_output->Path(), m_target.width, m_target.height, m_upright))
            return {JobStatus::Failed, u"the EXIF block and comment cannot be added to the output file", {}};
        if (!m_output->Commit())
            return {JobStatus::Failed, u"the output file cannot be put in place", {}};
        return {JobStatus::Written, {}, {}};
    }

private:
    // The source row (from the top) that destination row r (from the top) takes: Rescale maps
    // bottom-up row indices, so both ends are turned over.
    std::uint32_t SourceRowOf(std::int32_t r) const
    {
        const std::int32_t bottomUp = NearestSource(m_target.height - 1 - r, m_yScale, m_sourceHeight);
        return static_cast<std::uint32_t>(m_sourceHeight - 1 - bottomUp);
    }

    // Rows of the band are held until the last one is in; every later row is written at once.
    bool PutRow(std::int32_t r, const std::uint8_t* pixels)
    {
        const std::int32_t bandRows = m_band.Height();
        std::uint8_t* out = r < bandRows ? m_band.RowAddress(static_cast<std::uint32_t>(bandRows - 1 - r)) : m_line.data();
        // A grey picture's palette maps each index to itself, so indices are copied like bytes.
        if (m_bytesPerPixel == 1) {
            for (std::int32_t x = 0; x < m_target.width; ++x)
                out[x] = pixels[m_columns[x]];
        } else {
            for (std::int32_t x = 0; x < m_target.width; ++x)
                std::memcpy(out + 3 * static_cast<std::size_t>(x), pixels + 3 * static_cast<std::size_t>(m_columns[x]), 3);
        }
        if (r >= bandRows)
            return m_writer->WriteRow(out);
        if (r < bandRows - 1)
            return true;
        TextMark ownMark = m_mark;
        m_band.DrawTextMark(nullptr, kMarkLeft, kMarkBaseline, &ownMark, false);
        for (std::int32_t y = bandRows - 1; y >= 0; --y)
            if (!m_writer->WriteRow(m_band.RowAddress(static_cast<std::uint32_t>(y))))
                return false;
        return true;
    }

    const ResizeJob& m_job;
    const TextMark& m_mark;
    const CancelSignal& m_cancel;
    VxImage& m_band;
    KeptMetadata* m_metadata;
    bool m_upright;
    bool m_begun = false;
    std::u16string m_failure;
    TargetSize m_target{0, 0};
    std::int32_t m_sourceHeight = 0;
    float m_yScale = 1.0f;
    std::uint32_t m_bytesPerPixel = 3;
    std::vector<std::int32_t> m_columns;
    std::vector<std::uint8_t> m_line;
    std::int32_t m_nextRow = 0;
    // Declared so that the file is closed before an uncommitted temporary is removed.
    std::unique_ptr<TemporaryOutput> m_output;
    FileHandle m_file{nullptr, &std::fclose};
    std::unique_ptr<VxFileStream> m_stream;
    std::unique_ptr<JpegRowWriter> m_writer;
};

} // namespace

std::optional<JobOutcome> ResizeStreamed(const ResizeJob& job, const TextMark& mark, CancelSignal& cancel,
                                         VxImage& picture, KeptMetadata* metadata, bool upright)
{
    // A boxed mark reaches below its baseline row, beyond the band.
    if (mark.boxed)
        return std::nullopt;
    FileHandle file(vx::fs::OpenFile(job.szSrcPath, "rb"), &std::fclose);
    if (!file)
        return std::nullopt;
    CancellableFileStream stream(file.get(), cancel);
    VxImageJPG codec;
    codec.CopyInfoFrom(picture); // the settings a load into `picture` would decode with
    ScalingSink sink(job, mark, cancel, picture, metadata, upright);
    const bool decoded = codec.DecodeRows(&stream, sink);
    if (cancel.Raised())
        return JobOutcome{JobStatus::Cancelled, {}, {}};
    if (!sink.Begun())
        return std::nullopt;
    if (!decoded) {
        if (!sink.Failure().empty())
            return JobOutcome{JobStatus::Failed, sink.Failure(), {}};
        const char* message = *picture.LastError() != 0 ? picture.LastError() : codec.LastError();
        return JobOutcome{JobStatus::Failed, ReasonOr(message, u"the file cannot be read"), {}};
    }
    return sink.Finish();
}

} // namespace vx::batch
