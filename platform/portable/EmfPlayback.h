// Plays the records of an enhanced metafile into a device context. Every record's fields,
// counts and offsets are checked against its size; records of unknown or unused kinds, and
// comments (EMF+ drawing included, which GDI ignores too), are skipped.
#pragma once

#include "platform/portable/MetafileDevice.h"
#include "platform/MetafileRecords.h"

namespace vx::metafile {

void PlayEnhancedMetafile(ByteView data, const EmfHeader& header, MetafileDevice& device);

} // namespace vx::metafile
