// The EXIF section reader alone: marker sections, the TIFF directories, writing them back.
#include "fuzz/FuzzTarget.h"

VANTRY_FUZZ_TARGET(ExifTarget())
