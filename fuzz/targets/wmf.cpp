// The WMF/EMF decoder over the platform's metafile player, header-only and in full.
#include "fuzz/FuzzTarget.h"
#include "image/VxImage.h"

VANTRY_FUZZ_TARGET(DecoderTarget(kVxTypeWmf))
