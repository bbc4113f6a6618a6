// The JPEG decoder, its EXIF reading included, and the JPEG encoder on what it decoded.
#include "fuzz/FuzzTarget.h"
#include "image/VxImage.h"

VANTRY_FUZZ_TARGET(DecoderTarget(kVxTypeJpg))
