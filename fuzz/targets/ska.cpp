// The SKA decoder, header-only and in full, and the SKA encoder on what it decoded.
#include "fuzz/FuzzTarget.h"
#include "image/VxImage.h"

VANTRY_FUZZ_TARGET(DecoderTarget(kVxTypeSka))
