// Building and processing one resize job. Every failure ends the job with a reason (the
// picture's lastError where the library left one) and nothing under the output name; a
// raised cancel signal stops the job between steps, and inside a decode or rescale through
// the source stream and the picture's escape.
#include "app/batch/ResizeJob.h"

#include "app/batch/CancelSignal.h"
#include "app/batch/KeptMetadata.h"
#include "app/batch/SourceDecoding.h"
#include "app/batch/StreamedResize.h"
#include "app/batch/TemporaryOutput.h"
#include "image/TextMark.h"
#include "image/VxImage.h"
#include "platform/FileSystem.h"

#include <algorithm>
#include <memory>
#include <new>

namespace vx::batch {

namespace {

bool CopyPath(std::u16string_view path, char16_t (&field)[kMaxPathUnits])
{
    if (path.size() >= static_cast<std::size_t>(kMaxPathUnits) || vx::fs::PathExceedsLimit(path))
        return false;
    std::copy(path.begin(), path.end(), field);
    field[path.size()] = 0;
    return true;
}

std::u16string ReasonFrom(const VxImage& image, std::u16string_view fallback)
{
    const char* message = image.LastError();
    return *message != 0 ? vx::fs::FromUtf8(message) : std::u16string(fallback);
}

std::u16string SizeText(std::int32_t width, std::int32_t height)
{
    const std::string text = std::to_string(width) + " x " + std::to_string(height);
    return std::u16string(text.begin(), text.end());
}

std::uint8_t OverWhite(std::uint8_t level, std::uint8_t opacity)
{
    return static_cast<std::uint8_t>((level * opacity + 255 * (255 - opacity) + 127) / 255);
}

// Makes the picture what a viewer shows and the JPEG encoder takes: transparent pixels (a
// transparent index or colour, or the alpha plane) over white, and palette pictures other than
// the grey ramp at 24 bits. Grey pictures stay grey.
bool FlattenForJpeg(VxImage& image)
{
    const std::int32_t width = image.Width();
    const std::int32_t height = image.Height();
    const std::int32_t transparent = image.TransparentIndex();
    const bool grey = image.IsGreyPalette();
    const RGBQUAD white{255, 255, 255, 0};
    if (image.HasPalette() && transparent >= 0) {
        if (!grey) {
            image.SetPaletteEntry(static_cast<std::uint8_t>(transparent), white);
        } else {
            const auto whiteIndex = static_cast<std::uint8_t>(image.ColourCount() - 1);
            for (std::int32_t y = 0; y < height; ++y)
                for (std::int32_t x = 0; x < width; ++x)
                    if (image.PixelIndexUnchecked(x, y) == transparent)
                        image.SetPixelIndexUnchecked(x, y, whiteIndex);
        }
    } else if (transparent >= 0) {
        const RGBQUAD key = image.TransparentColour();
        for (std::int32_t y = 0; y < height; ++y) {
            for (std::int32_t x = 0; x < width; ++x) {
                const RGBQUAD colour = image.PixelColourUnchecked(x, y, false);
                if (colour.rgbRed == key.rgbRed && colour.rgbGreen == key.rgbGreen && colour.rgbBlue == key.rgbBlue)
                    image.SetPixelColourUnchecked(x, y, white, false);
            }
        }
    }
    image.Info().transparentIndex = -1;
    if (image.HasPalette() && !grey && !image.IncreaseBpp(24))
        return false;

    if (image.HasAlpha()) {
        for (std::int32_t y = 0; y < height; ++y) {
            for (std::int32_t x = 0; x < width; ++x) {
                const std::uint8_t opacity = image.AlphaAtUnchecked(x, y);
                if (opacity == 255)
                    continue;
                if (grey) {
                    image.SetPixelIndexUnchecked(x, y, OverWhite(image.PixelIndexUnchecked(x, y), opacity));
                    continue;
                }
                std::uint8_t* pixel = image.PixelAddress24(x, y);
                for (int c = 0; c < 3; ++c)
                    pixel[c] = OverWhite(pixel[c], opacity);
            }
        }
        image.DeleteAlpha();
    }
    return true;
}

JobOutcome Failed(std::u16string reason)
{
    return {JobStatus::Failed, std::move(reason), {}};
}

// The log's note on a written picture: whether it was turned, and at what size it was written,
// and why its metadata was left out.
std::u16string NoteFor(const JobOptions& options, const KeptMetadata& metadata, std::int32_t orientation,
                       TargetSize written)
{
    std::u16string note;
    if (orientation > 1)
        note = u"turned upright (EXIF orientation " + vx::fs::FromUtf8(std::to_string(orientation)) +
               u"), written at " + SizeText(written.width, written.height);
    if (!metadata.Damage().empty()) {
        note += note.empty() ? u"" : u"; ";
        note += u"the EXIF block is damaged (" + metadata.Damage() + u")";
        note += options.keepMetadata ? u": written without metadata" : u": not turned";
    }
    return note;
}

} // namespace

void BuildResizeJob(ResizeJob& job, std::int32_t index, std::u16string_view source,
                    std::u16string_view destination, BatchRunner* owner)
{
    job.nPercent = 50;
    job.nWidth = 0;
    job.nHeight = 0;
    job.nIndex = index;
    job.pOwner = owner;
    if (!CopyPath(source, job.szSrcPath))
        return;
    CopyPath(OutputPathFor(source, destination), job.szDstPath);
}

TargetSize TargetSizeFor(const ResizeJob& job, std::int32_t width, std::int32_t height)
{
    if (job.nWidth > 0 && job.nHeight > 0)
        return {job.nWidth, job.nHeight};
    // The product is formed in 64 bits: the result never exceeds the source size for
    // percentages up to 100, where a 32-bit product of a very wide picture would wrap.
    const auto scale = [&](std::int32_t size) {
        return static_cast<std::int32_t>(static_cast<std::int64_t>(size) * job.nPercent / 100);
    };
    return {scale(width), scale(height)};
}

VxImage* AllocateJobImage()
{
    return new (std::nothrow) VxImage(kVxTypeJpg);
}

JobOutcome ProcessResizeJob(const ResizeJob& job, const TextMark& mark, CancelSignal& cancel, ImageAllocator allocate,
                            const JobOptions& options)
{
    if (job.szSrcPath[0] == 0)
        return Failed(u"the source path is empty or longer than 259 characters");
    if (job.szDstPath[0] == 0)
        return Failed(u"the output path would be longer than 259 characters");
    if (cancel.Raised())
        return {JobStatus::Cancelled, {}, {}};

    std::unique_ptr<VxImage> image(allocate());
    if (!image)
        return {JobStatus::NoMemory, {}, {}};
    AttachedImage attached(cancel, image.get());

    KeptMetadata metadata;
    if (options.keepMetadata || options.autoOrient)
        metadata.Read(job.szSrcPath);
    const std::int32_t orientation = options.autoOrient ? metadata.Orientation() : 0;
    KeptMetadata* kept = options.keepMetadata ? &metadata : nullptr;

    // JPEG sources stream; everything else, a picture to be turned, and what the streaming path
    // declines, loads whole.
    if (orientation <= 1) {
        if (std::optional<JobOutcome> streamed = ResizeStreamed(job, mark, cancel, *image, kept, options.autoOrient)) {
            if (streamed->status == JobStatus::Written)
                streamed->note = NoteFor(options, metadata, orientation, {});
            return *streamed;
        }
    }
    if (!LoadWithReason(*image, job.szSrcPath, cancel, UnrecognisedFile::JpegMessage)) {
        if (cancel.Raised())
            return {JobStatus::Cancelled, {}, {}};
        return Failed(ReasonFrom(*image, vx::fs::FileExists(job.szSrcPath) ? u"the file cannot be read"
                                                                            : u"the file does not exist"));
    }
    if (orientation > 1 && !image->ApplyOrientation(orientation))
        return Failed(ReasonFrom(*image, u"the picture cannot be turned upright"));

    const std::int32_t width = image->Width();
    const std::int32_t height = image->Height();
    const TargetSize target = TargetSizeFor(job, width, height);
    if (target.width <= 0 || target.height <= 0)
        return Failed(u"the picture is too small to halve (" + SizeText(width, height) + u")");
    image->SetLastError("");
    const bool rescaled = image->Rescale(target.width, target.height, kNearestPixel);
    if (cancel.Raised())
        return {JobStatus::Cancelled, {}, {}};
    if (!rescaled)
        return Failed(ReasonFrom(*image, u"the picture cannot be scaled"));
    const bool flattened = FlattenForJpeg(*image);
    if (cancel.Raised())
        return {JobStatus::Cancelled, {}, {}};
    if (!flattened)
        return Failed(ReasonFrom(*image, u"the picture cannot be brought to 24 bits"));

    TextMark ownMark = mark;
    image->DrawTextMark(nullptr, kMarkLeft, kMarkBaseline, &ownMark, false);

    TemporaryOutput output(job.szDstPath);
    if (output.Path().empty())
        return Failed(u"no room for a temporary file beside the output");
    image->SetLastError("");
    if (!image->Save(output.Path().c_str(), kVxTypeJpg)) {
        if (cancel.Raised())
            return {JobStatus::Cancelled, {}, {}};
        return Failed(ReasonFrom(*image, u"the output file cannot be created"));
    }
    if (cancel.Raised())
        return {JobStatus::Cancelled, {}, {}};
    if (kept && !kept->WriteInto(output.Path(), target.width, target.height, options.autoOrient))
        return Failed(u"the EXIF block and comment cannot be added to the output file");
    if (!output.Commit())
        return Failed(u"the output file cannot be put in place");
    return {JobStatus::Written, {}, NoteFor(options, metadata, orientation, target)};
}

} // namespace vx::batch
