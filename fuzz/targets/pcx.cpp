// The PCX decoder, header-only and in full, and the PCX encoder on what it decoded.
#include "fuzz/FuzzTarget.h"
#include "image/VxImage.h"

VANTRY_FUZZ_TARGET(DecoderTarget(kVxTypePcx))
