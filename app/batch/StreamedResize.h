// The resize job's path for JPEG sources: the decoder hands over only the rows that the
// nearest-pixel scaling keeps, their sampled columns go into the top band of the result (the
// rows the mark can touch) until it is complete and marked, and every later row goes straight
// to the encoder. Nothing the size of the picture is held, so a baseline picture beyond the
// image memory limit is halved too, and the output is byte for byte what loading, Rescale
// (mode 1), DrawTextMark and Save give.
#pragma once

#include "app/batch/ResizeJob.h"

#include <optional>

namespace vx::batch {

class KeptMetadata;

// Carries out `job` on the streaming path, with `picture` (the job's picture object) holding
// the top band. No value when the source is not for this path (not a JPEG, too small to scale,
// a multi-scan picture beyond the memory limit, a boxed mark): the general path then runs.
// With `metadata`, the output gets the kept sections (orientation 1 when `upright`).
std::optional<JobOutcome> ResizeStreamed(const ResizeJob& job, const TextMark& mark, CancelSignal& cancel,
                                         VxImage& picture, KeptMetadata* metadata = nullptr, bool upright = false);

} // namespace vx::batch
