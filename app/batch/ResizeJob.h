// ResizeJob: the work for one picture of a run (where it comes from, where its result goes,
// how large the result is), how a job is built from a list row, and the steps that carry it
// out: load (JPEG first, then any format by content), scale with nearest-pixel sampling,
// flatten transparency over white and bring colour palettes to 24 bits, stamp the mark at
// (30, 50), write a JPEG through a temporary file. JPEG sources take these steps row by row
// (StreamedResize.h), with the same result. On request the picture is first turned upright by
// its EXIF orientation, and the output keeps the source's EXIF block and comment.
#pragma once

#include "app/batch/PathNames.h"

#include <cstdint>
#include <string>
#include <string_view>

class VxImage;
struct TextMark;

namespace vx::batch {

class BatchRunner;
class CancelSignal;

struct ResizeJob {
    std::int32_t nIndex;                  // list row when the run started, 0 = top
    char16_t szSrcPath[kMaxPathUnits];    // source picture; empty when the row's path is too long
    std::int32_t curIndex;                // run index, 0 for the sequential runner
    std::int32_t curGroup;                // group number, 0
    BatchRunner* pOwner;                  // the runner whose mark style the job draws
    char16_t szDstPath[kMaxPathUnits];    // output file; empty when it would not fit
    std::int32_t nWidth;                  // explicit target size; 0 or less = none
    std::int32_t nHeight;
    std::int32_t nPercent;                // scale in percent when there is no explicit size
};

// Fills a zeroed job for list row `index`: 50 percent, no explicit size, the source path
// and the output path in `destination`. A path that does not fit in its field (259 units)
// or that the file system would refuse for its length is left empty.
void BuildResizeJob(ResizeJob& job, std::int32_t index, std::u16string_view source,
                    std::u16string_view destination, BatchRunner* owner);

// How a job scales (Rescale mode 1, the nearest pixel) and where it stamps the mark: x from
// the left, and the picture row (from the top) that takes the mark's bottom row. The
// preview shows a picture the same way.
inline constexpr std::int32_t kNearestPixel = 1;
inline constexpr std::int32_t kMarkLeft = 30;
inline constexpr std::int32_t kMarkBaseline = 50;

struct TargetSize {
    std::int32_t width;
    std::int32_t height;
};

// The explicit size when both dimensions are positive, else `nPercent` of the source size,
// truncated toward zero (801 x 601 at 50 percent gives 400 x 300).
TargetSize TargetSizeFor(const ResizeJob& job, std::int32_t width, std::int32_t height);

enum class JobStatus {
    Written,   // the output file is complete under its final name
    Failed,    // nothing written; `reason` says why
    Cancelled, // stopped by the cancel signal; nothing written
    NoMemory,  // the picture object could not be allocated
};

struct JobOutcome {
    JobStatus status;
    std::u16string reason;
    std::u16string note; // for a written picture: what the log should add about it, or empty
};

// What the command line may ask of a job beyond the program's own steps.
struct JobOptions {
    // The source's EXIF block and comment go into the output, fitted to it (KeptMetadata.h).
    bool keepMetadata = false;
    // The EXIF orientation is applied to the pixels before the mark is drawn.
    bool autoOrient = false;
};

// Makes the picture object a job works on; null when it cannot be allocated.
using ImageAllocator = VxImage* (*)();
VxImage* AllocateJobImage();

// Carries out one job. `mark` is copied before drawing, so workers may share it.
JobOutcome ProcessResizeJob(const ResizeJob& job, const TextMark& mark, CancelSignal& cancel,
                            ImageAllocator allocate = &AllocateJobImage, const JobOptions& options = {});

} // namespace vx::batch
