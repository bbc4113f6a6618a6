// Plays the records of a Windows metafile into a device context. Every record's parameters
// are checked against its length; records of unknown or unused kinds are skipped.
#pragma once

#include "platform/portable/MetafileDevice.h"
#include "platform/MetafileRecords.h"

namespace vx::metafile {

void PlayWindowsMetafile(ByteView data, const WmfHeader& header, MetafileDevice& device);

} // namespace vx::metafile
