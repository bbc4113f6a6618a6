// Load, save and format dispatch: the error texts of unknown formats, missing files and refused
// images, the lastError restore of Load's second pass, and UTF-16 file names. (That the second
// pass finds what the named format cannot read is the metafile codec's test.)
#include "image/VxImage.h"
#include "image/VxStream.h"
#include "image/codecs/CodecTable.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr const char* kUnknownDecode = "Decode: Unknown or wrong format";
constexpr const char* kUnknownEncode = "Encode: Unknown format";

// No picture format accepts it: no BMP/JPEG/ICO/GIF signature, TGA colour-map type 'h', WBMP type not 0.
const std::string kNotAPicture = "this is not a picture\n";

TEST(VxImageDispatch, DecodeRefusesNullStreamsAndUnknownCodesWhereTheStreamStood)
{
    VxImage image; // a null FILE goes the way of a null stream
    EXPECT_FALSE(image.Decode(static_cast<std::FILE*>(nullptr), kVxTypeUnknown));
    EXPECT_STREQ(image.LastError(), "null file handler");

    std::string bytes = "\xFF\xFF\xFF\xFF" + kNotAPicture;
    for (std::uint32_t code : {std::uint32_t{kVxTypeUnknown}, 4u, 6u, 11u, 0xFFFFFFFFu}) {
        VxMemStream stream(reinterpret_cast<std::uint8_t*>(bytes.data()), static_cast<std::int32_t>(bytes.size()));
        ASSERT_TRUE(stream.Seek(4, SEEK_SET));
        image.SetLastError("");
        EXPECT_FALSE(image.Decode(&stream, code));
        EXPECT_STREQ(image.LastError(), kUnknownDecode) << code;
        EXPECT_EQ(stream.Tell(), 4) << code;
    }
}

// A missing file leaves lastError alone; an unreadable one reports the named format's own
// message or, for detection and codes that name no format, the detection message; a UTF-16
// name reaches the disk both ways.
TEST(VxImageDispatch, LoadAndSaveMessages)
{
    vx::test::ScratchDir dir;
    const std::u16string missing = (dir / "missing.jpg").u16string();
    for (std::uint32_t code : {0u, 3u, 4u}) {
        VxImage image;
        image.SetLastError("before");
        EXPECT_FALSE(image.Load(missing.c_str(), code));
        EXPECT_STREQ(image.LastError(), "before") << code;
    }

    const std::filesystem::path path = dir.Path() / std::filesystem::path(u"\u043f\u0440-\u753b-\U0001F600.jpg");
    const std::u16string name = path.u16string();
    VxImage image(2, 2, 24, kVxTypeUnknown);
    EXPECT_FALSE(image.Save(name.c_str(), 6)); // creates the file, then refuses the code
    EXPECT_STREQ(image.LastError(), kUnknownEncode);
    ASSERT_EQ(std::filesystem::file_size(path), 0u);
    VxImage detect, named, unsupported;
    detect.SetLastError("before"); // the file opens by the same name: detection reports
    EXPECT_FALSE(detect.Load(name.c_str(), kVxTypeUnknown));
    EXPECT_STREQ(detect.LastError(), kUnknownDecode);

    const std::u16string text = (dir / "not-a-picture.jpg").u16string();
    vx::test::WriteFileBytes(dir / "not-a-picture.jpg", vx::test::Bytes(kNotAPicture.begin(), kNotAPicture.end()));
    EXPECT_FALSE(named.Load(text.c_str(), kVxTypeJpg));
    EXPECT_STRNE(named.LastError(), "");
    EXPECT_EQ(std::string(named.LastError()) == kUnknownDecode, FindCodec(kVxTypeJpg) == nullptr);
    unsupported.SetLastError("before");
    EXPECT_FALSE(unsupported.Load(text.c_str(), 4));
    EXPECT_STREQ(unsupported.LastError(), "before");
}

TEST(VxImageDispatch, SaveAndEncodeFailures)
{
    vx::test::ScratchDir dir;
    VxImage image(4, 4, 24, kVxTypeUnknown), empty;
    image.SetLastError("before");
    EXPECT_FALSE(image.Save((dir / "no-such-dir" / "out.jpg").u16string().c_str(), kVxTypeJpg));
    EXPECT_STREQ(image.LastError(), "before"); // the file could not be created
    EXPECT_FALSE(empty.Save((dir / "empty.jpg").u16string().c_str(), kVxTypeJpg));
    EXPECT_STREQ(empty.LastError(), FindCodec(kVxTypeJpg) ? "null image!!!" : kUnknownEncode);

    // /dev/full accepts the open and buffered writes; the bytes are refused when flushed:
    // small pictures fail at the close, large ones inside the codec's own writes. (Large
    // pictures of the other formats meet /dev/full in the codec oracle's tests.)
    VxImage large(1500, 1000, 24, kVxTypeUnknown);
    for (auto [picture, code] : {std::pair{&image, kVxTypeJpg}, {&image, kVxTypeBmp}, {&large, kVxTypeJpg}}) {
        if (!std::filesystem::exists("/dev/full") || !FindCodec(code))
            continue;
        picture->SetLastError("");
        EXPECT_FALSE(picture->Save(u"/dev/full", code)) << code;
        EXPECT_STRNE(picture->LastError(), "") << code;
    }

    EXPECT_FALSE(image.Encode(static_cast<VxStream*>(nullptr), 4));
    EXPECT_STREQ(image.LastError(), kUnknownEncode);
    VxMemStream stream;
    ASSERT_TRUE(stream.Open());
    EXPECT_FALSE(image.Encode(&stream, kVxTypeUnknown));
    EXPECT_EQ(stream.Size(), 0);
    image.SetLastError("unchanged");
    EXPECT_TRUE(image.EncodePrecheck(&stream));
    EXPECT_STREQ(image.LastError(), "unchanged");
    EXPECT_FALSE(image.EncodePrecheck(nullptr));
    EXPECT_STREQ(image.LastError(), "null file handler"); // an empty image's refusal is Save's above
}

} // namespace
