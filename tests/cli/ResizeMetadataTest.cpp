// resize --keep-metadata and --auto-orient. exiftool reads back what the outputs carry (camera
// fields, comment, the fitted sizes, orientation, no thumbnail); a corner marker shows the turn.
// Faults caught: a field lost or a size left at the source's, a thumbnail of the unmarked source
// kept, the tag not reaching the turn, metadata written without the option, a damaged block
// that stops the picture or leaks.
#include "image/VxImage.h"
#include "tests/app/batch/PictureFiles.h"
#include "tests/cli/CliHarness.h"
#include "tests/image/codecs/JpegTestBytes.h"
#include "tests/support/PixelOracle.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>

namespace vx::test {
namespace {

using Tags = std::map<std::string, std::string>;

// exiftool's reading of the file: tag name -> value as a number where it has one.
Tags ReadTags(const std::filesystem::path& file)
{
    const std::filesystem::path listing = file.string() + ".tags";
    RunTool("exiftool -S -n -Make -Model -DateTimeOriginal -Comment -ExifImageWidth -ExifImageHeight "
            "-IFD0:ImageWidth -IFD0:ImageHeight -Orientation -IFD1:all -Warning " +
            Quoted(file) + " > " + Quoted(listing));
    Tags tags;
    std::ifstream in(listing);
    for (std::string line; std::getline(in, line);) {
        const std::size_t colon = line.find(": ");
        if (colon != std::string::npos)
            tags[line.substr(0, colon)] = line.substr(colon + 2);
    }
    return tags;
}

class ResizeMetadataTest : public ::testing::Test {
protected:
    CliResult Resize(std::vector<std::string> options, const std::filesystem::path& source)
    {
        std::vector<std::string> args{"resize", "--dest", (scratch / "out").string()};
        args.insert(args.end(), options.begin(), options.end());
        args.push_back(source.string());
        return Cli(args);
    }
    std::filesystem::path Output(const std::string& name) { return scratch / "out" / (name + ".jpg"); }

    ScratchDir scratch;
};

TEST_F(ResizeMetadataTest, KeptFieldsAndCommentWithTheOutputSizeAndNoThumbnail)
{
    REQUIRE_TOOLS("exiftool");
    struct Case {
        const char* byteOrder;
        int orientation;
        bool autoOrient;
        int width, height; // of the output, as seen
        const char* orientationOut;
        int darkX, darkY; // where the stored top left corner is seen, from the top
    };
    const Case cases[] = {
        {"II", 1, false, 40, 30, "1", 3, 3}, // streamed
        {"MM", 6, false, 40, 30, "6", 3, 3}, // streamed, still to be turned by the viewer
        {"II", 8, true, 30, 40, "1", 3, 36}, // turned, through the general path (all eight: see the image suite)
    };
    ASSERT_TRUE(WritePicture(scratch / "thumb.jpg", 16, 12));
    VxImage stored(80, 60, 24, kVxTypeJpg); // white with a black 16 x 16 square at the top left
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 80; ++x) // rows count from the bottom
            stored.SetPixelColour(x, y, x < 16 && y >= 44 ? RGBQUAD{0, 0, 0, 0} : RGBQUAD{255, 255, 255, 0});
    const std::filesystem::path source = scratch / "camera.jpg";
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.byteOrder) + " orientation " + std::to_string(c.orientation));
        ASSERT_TRUE(stored.Save(ToU16(source).c_str(), kVxTypeJpg));
        RunTool("exiftool -q -overwrite_original -ExifByteOrder=" + std::string(c.byteOrder) +
                " -Make=VantryCam '-Model=Test Model' '-DateTimeOriginal=2026:12:07 10:11:12' '-Comment=kept comment'"
                " -ExifImageWidth=80 -ExifImageHeight=60 -IFD0:ImageWidth=80 -IFD0:ImageHeight=60 -Orientation#=" +
                std::to_string(c.orientation) + " '-ThumbnailImage<=" + (scratch / "thumb.jpg").string() + "' " +
                Quoted(source));
        ASSERT_EQ(ReadTags(source).count("ThumbnailImage"), 1u) << "the source needs a thumbnail to drop";

        std::vector<std::string> options{"--keep-metadata"};
        if (c.autoOrient)
            options.push_back("--auto-orient");
        const CliResult run = Resize(options, source);
        ASSERT_EQ(run.status, vx::cli::kExitOk) << run.out << run.err;
        EXPECT_EQ(run.out.find("turned upright") != std::string::npos, c.autoOrient) << run.out;

        const std::string width = std::to_string(c.width), height = std::to_string(c.height);
        // Equal maps: no thumbnail tag and no warning besides these.
        EXPECT_EQ(ReadTags(Output("camera")),
                  (Tags{{"Make", "VantryCam"}, {"Model", "Test Model"}, {"DateTimeOriginal", "2026:12:07 10:11:12"},
                        {"Comment", "kept comment"}, {"ExifImageWidth", width}, {"ExifImageHeight", height},
                        {"ImageWidth", width}, {"ImageHeight", height}, {"Orientation", c.orientationOut}}));
        const VxImage out(ToU16(Output("camera")).c_str(), kVxTypeJpg);
        ASSERT_EQ((std::pair{out.Width(), out.Height()}), (std::pair{c.width, c.height}));
        EXPECT_LT(out.PixelColour(c.darkX, c.height - 1 - c.darkY).rgbGreen, 64);
        std::filesystem::remove_all(scratch / "out");
    }
}

enum class Block { Sound, BadMainDirectory, BadExifDirectory, CommentOnly };

// SOI, then an APP1 "Exif" block whose main directory holds Make "VX" and a link to an empty
// EXIF directory, and a comment; then the rest of a plain JPEG. A bad directory's entry count
// runs past the block: in the main directory the picture's EXIF is unreadable, in the EXIF
// directory only the walk that fits the sizes finds it.
Bytes WithExifAndComment(const Bytes& jpeg, Block block)
{
    Tiff tiff(false);
    const std::uint32_t main = tiff.Directory({Text(0x010F, std::string("VX", 3)), Long(0x8769, 0)});
    const std::uint32_t exif = tiff.Directory({});
    tiff.Patch32(Tiff::ValueField(main, 1), exif);
    if (block == Block::BadMainDirectory || block == Block::BadExifDirectory) {
        const std::uint32_t bad = block == Block::BadMainDirectory ? main : exif;
        tiff.Raw()[bad] = tiff.Raw()[bad + 1] = 0xFF;
    }
    Bytes out{0xFF, 0xD8};
    if (block != Block::CommentOnly)
        out = Joined(out, tiff.App1());
    out = Joined(out, Section(0xFE, {'h', 'e', 'l', 'l', 'o'}));
    return Joined(out, Bytes(jpeg.begin() + 2, jpeg.end()));
}

TEST_F(ResizeMetadataTest, MetadataOnlyWhenAskedAndADamagedBlockNeverStopsThePicture)
{
    struct Case {
        Block block;
        std::vector<std::string> options;
        bool exifKept, commentKept;
        const char* logged; // in the log, or "" for no note
    };
    const Case cases[] = {
        {Block::Sound, {"--keep-metadata"}, true, true, ""},
        {Block::Sound, {}, false, false, ""},
        {Block::Sound, {"--auto-orient"}, false, false, ""}, // no orientation tag: no note
        {Block::CommentOnly, {"--keep-metadata"}, false, true, ""},
        {Block::BadMainDirectory, {"--keep-metadata"}, false, false,
         "the EXIF block is damaged (Illegally sized directory): written without metadata"},
        {Block::BadMainDirectory, {"--auto-orient"}, false, false,
         "the EXIF block is damaged (Illegally sized directory): not turned"},
        {Block::BadExifDirectory, {"--keep-metadata"}, false, false,
         "the EXIF block is damaged (Illegally sized directory): written without metadata"},
    };
    ASSERT_TRUE(WritePicture(scratch / "plain.jpg", 64, 48));
    const Bytes plain = ReadFileBytes(scratch / "plain.jpg");
    for (const Case& c : cases) {
        SCOPED_TRACE("block " + std::to_string(static_cast<int>(c.block)) +
                     (c.options.empty() ? "" : " " + c.options[0]));
        WriteFileBytes(scratch / "tagged.jpg", WithExifAndComment(plain, c.block));
        const CliResult run = Resize(c.options, scratch / "tagged.jpg");
        ASSERT_EQ(run.status, vx::cli::kExitOk) << run.out << run.err;
        const Bytes out = ReadFileBytes(Output("tagged"));
        const auto contains = [&out](const std::string& text) {
            return std::search(out.begin(), out.end(), text.begin(), text.end()) != out.end();
        };
        EXPECT_EQ(contains(std::string("Exif\0\0II", 8)), c.exifKept);
        EXPECT_EQ(contains("hello"), c.commentKept);
        EXPECT_EQ(run.out.find("Resized ") != std::string::npos, *c.logged != 0) << run.out;
        EXPECT_NE(run.out.find(c.logged), std::string::npos) << run.out;
        std::filesystem::remove_all(scratch / "out");
    }
}

} // namespace
} // namespace vx::test
