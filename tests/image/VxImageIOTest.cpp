// Load, save and format dispatch: the error texts of unknown formats, missing files and refused
// images, the lastError restore of Load's second pass, and UTF-16 file names reaching the disk.
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

TEST(VxImageDispatch, DecodeRefusesNullStreamsAndUnknownCodes)
{
    VxImage image;
    EXPECT_FALSE(image.Decode(static_cast<VxStream*>(nullptr), kVxTypeJpg));
    EXPECT_STREQ(image.LastError(), "null file handler");
    image.SetLastError("");
    EXPECT_FALSE(image.Decode(static_cast<std::FILE*>(nullptr), kVxTypeUnknown));
    EXPECT_STREQ(image.LastError(), "null file handler");

    // Detection starts and ends where the stream stood.
    std::string bytes = "\xFF\xFF\xFF\xFF" + kNotAPicture;
    for (std::uint32_t code : {std::uint32_t{kVxTypeUnknown}, 4u, 6u, 11u, 0xFFFFFFFFu}) {
        VxMemStream stream(reinterpret_cast<std::uint8_t*>(bytes.data()), static_cast<std::int32_t>(bytes.size()));
        ASSERT_TRUE(stream.Seek(4, SEEK_SET));
        image.SetLastError("");
        EXPECT_FALSE(image.Decode(&stream, code));
        EXPECT_STREQ(image.LastError(), kUnknownDecode) << code;
        EXPECT_EQ(stream.Tell(), 4) << code;
    }
    EXPECT_FALSE(image.IsValid());
}

TEST(VxImageDispatch, LoadOfAMissingFileKeepsLastError)
{
    vx::test::ScratchDir dir;
    const std::u16string missing = vx::test::ToU16(dir / "missing.jpg");
    for (std::uint32_t code : {0u, 3u, 4u}) {
        VxImage image;
        image.SetLastError("before");
        EXPECT_FALSE(image.Load(missing.c_str(), code));
        EXPECT_STREQ(image.LastError(), "before") << code;
    }
    VxImage fromFile(missing.c_str(), kVxTypeJpg);
    EXPECT_FALSE(fromFile.IsValid());
    EXPECT_STREQ(fromFile.LastError(), "");
    EXPECT_EQ(fromFile.ImageType(), kVxTypeJpg);
}

TEST(VxImageDispatch, LoadOfAnUnrecognisedFile)
{
    vx::test::ScratchDir dir;
    const auto path = dir / "not-a-picture.jpg";
    vx::test::WriteFileBytes(path, std::vector<std::uint8_t>(kNotAPicture.begin(), kNotAPicture.end()));
    const std::u16string name = vx::test::ToU16(path);

    VxImage detect;
    EXPECT_FALSE(detect.Load(name.c_str(), kVxTypeUnknown));
    EXPECT_STREQ(detect.LastError(), kUnknownDecode);

    // A named format that fails keeps its own message rather than the detection message.
    VxImage named;
    EXPECT_FALSE(named.Load(name.c_str(), kVxTypeJpg));
    EXPECT_STRNE(named.LastError(), "");
    EXPECT_EQ(std::string(named.LastError()) == kUnknownDecode, FindCodec(kVxTypeJpg) == nullptr);

    // A code that names no format runs detection only and restores the text from before.
    VxImage unsupported;
    unsupported.SetLastError("before");
    EXPECT_FALSE(unsupported.Load(name.c_str(), 4));
    EXPECT_STREQ(unsupported.LastError(), "before");
}

TEST(VxImageDispatch, SaveFailures)
{
    vx::test::ScratchDir dir;
    VxImage image(4, 4, 24, kVxTypeUnknown);
    image.SetLastError("before");
    EXPECT_FALSE(image.Save(vx::test::ToU16(dir / "no-such-dir" / "out.jpg").c_str(), kVxTypeJpg));
    EXPECT_STREQ(image.LastError(), "before"); // the file could not be created

    VxImage empty;
    EXPECT_FALSE(empty.Save(vx::test::ToU16(dir / "empty.jpg").c_str(), kVxTypeJpg));
    EXPECT_STREQ(empty.LastError(), FindCodec(kVxTypeJpg) ? "null image!!!" : kUnknownEncode);

    // /dev/full accepts the open and buffered writes; the bytes are refused when flushed.
    // Small pictures fail at the close, large ones inside the codec's own writes.
    VxImage large(1500, 1000, 24, kVxTypeUnknown);
    for (VxImage* picture : {&image, &large}) {
        for (std::uint32_t code : {kVxTypeJpg, kVxTypeBmp, kVxTypeIco}) {
            if (!std::filesystem::exists("/dev/full") || !FindCodec(code))
                continue;
            picture->SetLastError("");
            EXPECT_FALSE(picture->Save(u"/dev/full", code)) << code;
            EXPECT_STRNE(picture->LastError(), "") << code;
        }
    }
}

TEST(VxImageDispatch, EncodeChecks)
{
    VxImage image(2, 2, 8, kVxTypeUnknown);
    EXPECT_FALSE(image.Encode(static_cast<VxStream*>(nullptr), 4));
    EXPECT_STREQ(image.LastError(), kUnknownEncode);
    VxMemStream stream;
    ASSERT_TRUE(stream.Open());
    image.SetLastError("");
    EXPECT_FALSE(image.Encode(&stream, kVxTypeUnknown));
    EXPECT_STREQ(image.LastError(), kUnknownEncode);
    EXPECT_EQ(stream.Size(), 0);

    image.SetLastError("unchanged");
    EXPECT_TRUE(image.EncodePrecheck(&stream));
    EXPECT_STREQ(image.LastError(), "unchanged");
    EXPECT_FALSE(image.EncodePrecheck(nullptr));
    EXPECT_STREQ(image.LastError(), "null file handler");
    VxImage empty;
    EXPECT_FALSE(empty.EncodePrecheck(&stream));
    EXPECT_STREQ(empty.LastError(), "null image!!!");
}

TEST(VxImageDispatch, NonAsciiFileNamesReachTheDisk)
{
    vx::test::ScratchDir dir;
    const std::u16string leaf = u"\u043f\u0440\u0438\u043c\u0435\u0440-\u753b\u50cf-\U0001F600.jpg";
    const std::filesystem::path path = dir.Path() / std::filesystem::path(leaf);
    const std::u16string name = vx::test::ToU16(path);

    VxImage image(2, 2, 24, kVxTypeUnknown);
    EXPECT_FALSE(image.Save(name.c_str(), 6)); // creates the file, then refuses the code
    EXPECT_STREQ(image.LastError(), kUnknownEncode);
    ASSERT_TRUE(std::filesystem::exists(path));
    EXPECT_EQ(std::filesystem::file_size(path), 0u);

    // The file opens by the same name: detection runs and reports, where a file that cannot be
    // opened would leave lastError as it was.
    VxImage loaded;
    loaded.SetLastError("before");
    EXPECT_FALSE(loaded.Load(name.c_str(), kVxTypeUnknown));
    EXPECT_STREQ(loaded.LastError(), kUnknownDecode);
}

// Only the detection pass can read a JPEG named with the code of another format (GIF): a Load
// that gave up after the named codec would lose it.
TEST(VxImageDispatch, LoadFindsByContentWhatTheNamedFormatCannotRead)
{
    vx::test::ScratchDir dir;
    const std::u16string name = vx::test::ToU16(dir / "photo.gif");
    VxImage picture(6, 4, 24, kVxTypeUnknown);
    ASSERT_TRUE(picture.Save(name.c_str(), kVxTypeJpg)) << picture.LastError();
    VxImage loaded;
    ASSERT_TRUE(loaded.Load(name.c_str(), kVxTypeGif)) << loaded.LastError();
    EXPECT_EQ(loaded.ImageType(), kVxTypeJpg);
    EXPECT_EQ(loaded.Width(), 6);
}

} // namespace
