// The dispatch's detection (type 0): every codec in detection order on the same input.
#include "fuzz/FuzzTarget.h"
#include "image/VxImage.h"

VANTRY_FUZZ_TARGET(DecoderTarget(kVxTypeUnknown))
