// VxImageWBMP (ImageMagick's files of one- and two-byte sides and ours, the size alone:
// CodecOracleTest; the writer's refusal: the command line's convert test): hostile headers and
// short files, which must fail cleanly without large allocations.
#include "image/codecs/VxImageWBMP.h"

#include "tests/image/codecs/CodecHarness.h"

namespace {

using namespace vx::test;

TEST(WbmpDecode, HostileHeadersAndShortFilesFailWithAMessage)
{
    const std::string truncated = "Corrupted WBMP: the file ends inside its rows";
    const struct { const char* name; Bytes bytes; std::string message; } cases[] = {
        {"width never ends", {0, 0, 0x81, 0x80, 0x80}, "Not a WBMP"},
        {"width beyond 32 bits", {0, 0, 0x90, 0x80, 0x80, 0x80, 0x00, 1, 0xFF}, "Not a WBMP"},
        {"header only", {0, 0, 1, 1}, "Not a WBMP"},
        {"type 1", {1, 0, 1, 1, 0xFF}, "Unsupported WBMP type"},
        {"fixed header set, as in an SKA file", {0, 1, 2, 1, 3, 0, 0, 0, 1}, "Not a WBMP"},
        {"width 0", {0, 0, 0, 1, 0xFF}, "Corrupted WBMP"},
        {"height 0", {0, 0, 1, 0, 0xFF}, "Corrupted WBMP"},
        {"width beyond a signed 32-bit side", {0, 0, 0x8F, 0xFF, 0xFF, 0xFF, 0x7F, 1, 0xFF}, "Corrupted WBMP"},
        {"last row short", {0, 0, 16, 3, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, truncated},
        {"enormous size, one byte of rows", {0, 0, 0x87, 0xFF, 0xFF, 0xFF, 0x7F, 0x87, 0xFF, 0xFF, 0xFF, 0x7F, 0},
         truncated},
    };
    for (const auto& c : cases)
        ExpectRefused(c.name, c.bytes, kVxTypeWbmp, c.message);
    ExpectSurvivesDamage<VxImageWBMP>(EncodeBytes(*IndexedImage(13, 5, 1), kVxTypeWbmp));
}

} // namespace
