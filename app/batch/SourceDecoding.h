// Reading a source picture of any format with the reason it could not be read. The JPEG
// codec goes first, as the program's loader asks for JPEG, then every codec by content.
// Detection alone can only say "Decode: Unknown or wrong format"; for a file that starts as a
// JPEG (FF D8) the JPEG codec's message is kept instead: too large, 12-bit samples, too many
// scans. Other codecs are not asked by name for a reason: several answer foreign data with a
// message of their own, which would blame a format the file is not in.
#pragma once

#include "app/batch/CancelSignal.h"

class VxImage;

namespace vx::batch {

// The message for any other file no codec takes: the JPEG codec's, as the program's loader
// leaves it ("Not a JPEG file: starts with ..."), or detection's.
enum class UnrecognisedFile { JpegMessage, UnknownFormat };

// False without a message when the file cannot be opened or the signal was raised.
bool LoadWithReason(VxImage& image, const char16_t* path, const CancelSignal& cancel, UnrecognisedFile unrecognised);

} // namespace vx::batch
