// vantry-cli run in-process: exit statuses, usage errors on stderr, the resize command's
// log and status, --jobs, Ctrl-C, convert and info.
#include "cli/RunCli.h"

#include "image/VxStream.h"
#include "image/codecs/VxExifReader.h"
#include "image/codecs/VxImageGIF.h"
#include "tests/app/batch/PictureFiles.h"
#include "tests/cli/CliHarness.h"
#include "tests/image/codecs/JpegTestBytes.h"
#include "tests/support/MetafileWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

namespace vx::cli {
namespace {

using vx::test::Cli;
using vx::test::CliResult;
using vx::test::ScratchDir;

std::string Str(const std::filesystem::path& path)
{
    return path.string();
}

void ExpectKeys(const std::string& line, std::initializer_list<const char*> keys)
{
    for (const char* key : keys)
        EXPECT_NE(line.find(key), std::string::npos) << key << " in " << line;
}

class RunCliTest : public ::testing::Test {
protected:
    std::vector<std::string> Pictures(int count)
    {
        std::vector<std::string> files;
        for (int i = 0; i < count; ++i) {
            const auto path = scratch / ("c" + std::to_string(i) + ".jpeg");
            EXPECT_TRUE(vx::test::WritePicture(path, 40 + 3 * i, 30 + i));
            files.push_back(Str(path));
        }
        return files;
    }

    ScratchDir scratch;
};

TEST_F(RunCliTest, HelpVersionAndUsageErrors)
{
    const CliResult help = Cli({"--help"});
    EXPECT_EQ(help.status, kExitOk);
    EXPECT_NE(help.out.find("Usage: vantry-cli"), std::string::npos);
    const CliResult version = Cli({"--version"});
    EXPECT_EQ(version.status, kExitOk);
    EXPECT_EQ(version.out.rfind("vantry-cli ", 0), 0u);

    EXPECT_EQ(Cli({"resize", "--help"}).status, kExitOk);
    EXPECT_EQ(Cli({}).status, kExitUsage);
    EXPECT_EQ(Cli({"info", "--", "--json"}).status, kExitFailed); // after "--" a file, not an option
    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"frobnicate"}, {"resize"}, {"resize", "--jobs", "0", "x.jpg"},
          {"resize", "--jobs=many", "x.jpg"}, {"resize", "--colour", "x.jpg"}, {"resize", "x.jpg", "--dest"},
          {"convert", "a.jpg"}, {"convert", "a.jpg", "b.xyz"}, {"convert", "--quality", "101", "a.jpg", "b.jpg"},
          {"info"}, {"info", "--json=yes", "a.jpg"}}) {
        const CliResult result = Cli(bad);
        EXPECT_EQ(result.status, kExitUsage) << bad[0] << " " << (bad.size() > 1 ? bad[1] : "");
        EXPECT_TRUE(result.out.empty());
        EXPECT_EQ(result.err.rfind("vantry-cli: ", 0), 0u) << result.err;
    }
    const CliResult noDestination = Cli({"resize", "--dest", "", "x.jpg"});
    EXPECT_EQ(noDestination.status, kExitUsage);
    EXPECT_EQ(noDestination.err, "vantry-cli: Please Select Destination Path First!\n");
}

// Two workers: the runner's log in row order on stdout (its lines: see the runner suite), a
// failed picture in the exit status.
TEST_F(RunCliTest, ResizePrintsTheRunnersLogAndFailsWithAPicture)
{
    std::vector<std::string> files = Pictures(3);
    files.push_back(Str(scratch / "missing.jpg"));
    std::vector<std::string> args{"resize", "--jobs", "2", "--mark", "Vantry 2026", "--dest", Str(scratch / "cli")};
    args.insert(args.end(), files.begin(), files.end());
    const CliResult cli = Cli(args);
    EXPECT_EQ(cli.status, kExitFailed);
    EXPECT_EQ(cli.out, "Start resize,selCount=4,groups=0,nLeave=4\nBegin to resize:4\nCannot resize " + files[3] +
                           ": the file does not exist\nResize 4 Pictures Finished!\n");
    EXPECT_TRUE(cli.err.empty()); // no terminal, no progress bar
    EXPECT_EQ(vx::test::DirectoryNames(scratch / "cli"), (std::vector<std::string>{"c0.jpg", "c1.jpg", "c2.jpg"}));
}

TEST_F(RunCliTest, InterruptCancelsCleanly)
{
    // Large enough that the first picture is still being worked on when the flag is seen.
    const std::string big = Str(scratch / "big.jpg");
    ASSERT_TRUE(vx::test::WritePicture(big, 1200, 900));
    std::atomic<bool> interrupted{true};
    const CliResult result = Cli({"resize", "--dest", Str(scratch / "out"), big, big, big}, &interrupted);
    EXPECT_EQ(result.status, kExitInterrupted);
    EXPECT_NE(result.out.find("Resize cancelled after "), std::string::npos);
    EXPECT_EQ(result.out.find("Finished"), std::string::npos); // (what is left on disk: see the job suite)
}

// A file that starts as a JPEG but cannot be decoded names its fault in info and convert;
// only a file no codec takes gets detection's message, a missing one its own. The EXIF block
// the decoder took its resolution from is reported, its fields in JSON (null without one),
// though the sections after it overflow the reader.
TEST_F(RunCliTest, InfoAndConvertGiveTheRealReasonAndTheExifUsed)
{
    using namespace vx::test;
    const std::string plain = Pictures(1)[0];
    const Bytes jpeg = ReadFileBytes(plain);
    Bytes twelveBit = jpeg;
    const Bytes baselineFrame{0xFF, 0xC0};
    const auto frame = std::search(twelveBit.begin(), twelveBit.end(), baselineFrame.begin(), baselineFrame.end());
    ASSERT_NE(frame, twelveBit.end());
    frame[4] = 12; // sample precision
    WriteFileBytes(scratch / "twelve.jpg", twelveBit);
    WriteFileBytes(scratch / "junk.bin", {1, 2, 3, 4});

    Bytes exif = WithMainAndThumbnailExif(jpeg,
                                          {Text(0x010F, std::string("Vantry", 7)), Rational(0x011A, 300, 1),
                                           Rational(0x011B, 300, 1), Short(0x0128, 2)},
                                          {});
    const long afterApp1 = 4 + exif[4] * 256 + exif[5];
    for (int i = 0; i < VxExifReader::kMaxSections; ++i)
        exif.insert(exif.begin() + afterApp1, {0xFF, 0xE2, 0x00, 0x03, 0x00});
    WriteFileBytes(scratch / "exif.jpg", exif);

    const CliResult info = Cli({"info", "--json", Str(scratch / "twelve.jpg"), Str(scratch / "junk.bin"),
                                Str(scratch / "missing.jpg"), Str(scratch / "exif.jpg"), plain});
    EXPECT_EQ(info.status, kExitFailed);
    std::vector<std::string> lines;
    std::istringstream stream(info.out);
    for (std::string line; std::getline(stream, line);)
        lines.push_back(line);
    ASSERT_EQ(lines.size(), 5u);
    ExpectKeys(lines[0], {"\"ok\":false", "\"error\":\"Unsupported JPEG data precision 12\""});
    ExpectKeys(lines[1], {"\"error\":\"Decode: Unknown or wrong format\""});
    ExpectKeys(lines[2], {"\"error\":\"no such file\""});
    ExpectKeys(lines[3], {"\"path\":", "\"ok\":true", "\"error\":null", "\"format\":\"JPEG\"", "\"type\":3",
                          "\"width\":40", "\"height\":30", "\"bpp\":24", "\"xdpi\":300", "\"ydpi\":300",
                          "\"frames\":1", "\"exif\":{", "\"xResolution\":300", "\"cameraMake\":\"Vantry\""});
    ExpectKeys(lines[4], {"\"xdpi\":96", "\"exif\":null"});

    const CliResult convert = Cli({"convert", Str(scratch / "twelve.jpg"), Str(scratch / "out.bmp")});
    EXPECT_EQ(convert.status, kExitFailed);
    EXPECT_NE(convert.err.find("twelve.jpg: Unsupported JPEG data precision 12"), std::string::npos) << convert.err;
}

// A tree: nested folders, a non-picture, hidden entries, a link back to the top and the
// destination inside the source. Each picture lands at its relative path; the same name in
// one output folder gets the clash prefix, in different folders it does not.
TEST_F(RunCliTest, ResizeRecursiveMirrorsTheTree)
{
    namespace stdfs = std::filesystem;
    const stdfs::path src = scratch / "src";
    for (const char* folder : {"sub/deeper", ".cache", "other"})
        stdfs::create_directories(src / folder);
    for (const char* file : {"a.jpg", "sub/a.jpg", "sub/deeper/b.jpeg", ".hidden.jpg", ".cache/c.jpg", "other/a.jpg"})
        ASSERT_TRUE(vx::test::WritePicture(src / file, 40, 30));
    vx::test::WriteFileBytes(src / "notes.txt", {'h', 'i', '\n'});
    std::error_code noLinks; // Wine cannot make one; the rest of the tree still counts
    stdfs::create_directory_symlink(src, src / "sub" / "loop", noLinks);

    EXPECT_EQ(Cli({"resize", "--dest", Str(scratch / "x"), Str(src)}).status, kExitUsage);
    for (int pass = 0; pass < 2; ++pass) { // the second finds the outputs of the first inside src
        const CliResult run =
            Cli({"resize", "--recursive", "--dest", Str(src / "out"), Str(src), Str(src / "other" / "a.jpg")});
        EXPECT_EQ(run.status, kExitOk) << run.err;
    }
    std::vector<std::string> written;
    for (const auto& entry : stdfs::recursive_directory_iterator(src / "out"))
        if (entry.is_regular_file())
            written.push_back(stdfs::relative(entry.path(), src / "out").generic_string());
    std::sort(written.begin(), written.end());
    EXPECT_EQ(written, (std::vector<std::string>{"a.jpg", "other/a.jpg", "s1_a.jpg", "sub/a.jpg", "sub/deeper/b.jpg"}));
}

// Conversions reach every writable format, named by --type whatever the file name says, or by
// the extension, and a picture a format cannot hold gets the codec's message with an older file
// of that name left as it was; info finds each by content, with its transparency, and EXIF for
// JPEG files only (GIF: see its own test).
TEST_F(RunCliTest, ConvertReachesEveryFormatAndInfoReportsTransparency)
{
    const std::string wbmp = Str(scratch / "in.wbmp"), ska = Str(scratch / "out.bin");
    vx::test::WriteFileBytes(wbmp, {0, 0, 16, 2, 0xF0, 0x0F, 0x00, 0xFF}); // 16 x 2, 1 = white
    ASSERT_EQ(Cli({"convert", "--type", "ska", wbmp, ska}).status, kExitOk);
    vx::test::WriteFileBytes(scratch / "back.wbmp", {5, 6});
    const CliResult back = Cli({"convert", ska, Str(scratch / "back.wbmp")});
    EXPECT_EQ(back.status, kExitFailed);
    EXPECT_NE(back.err.find("Can't save this image as WBMP"), std::string::npos) << back.err;
    EXPECT_EQ(vx::test::ReadFileBytes(scratch / "back.wbmp"), (vx::test::Bytes{5, 6}));

    const std::string jpeg = Pictures(1)[0], copy = Str(scratch / "copy.JPG");
    const std::string pcx = Str(scratch / "picture.bin"), tga = Str(scratch / "picture.jpg");
    const std::string bitmap = Str(scratch / "back.jpg");
    ASSERT_EQ(Cli({"convert", "--quality", "75", jpeg, copy}).status, kExitOk);
    ASSERT_EQ(Cli({"convert", "--type", "pcx", jpeg, pcx}).status, kExitOk);
    ASSERT_EQ(Cli({"convert", "--type", "tga", jpeg, tga}).status, kExitOk);
    ASSERT_EQ(Cli({"convert", "--type", "BMP", jpeg, bitmap}).status, kExitOk); // a BMP named .jpg
    const std::string rest = ", 96x96 dpi, 1 frame\n";
    EXPECT_EQ(Cli({"info", wbmp, ska, copy, pcx, tga, bitmap}).out,
              wbmp + ": WBMP 16x2, 1 bpp" + rest + ska + ": SKA 16x2, 8 bpp" + rest + copy + ": JPEG 40x30, 24 bpp" +
                  rest + pcx + ": PCX 40x30, 24 bpp" + rest + tga + ": TGA 40x30, 24 bpp" + rest + bitmap +
                  ": BMP 40x30, 24 bpp" + rest);

    // A 4-bit icon whose index 0 is transparent: read back, the masked pixels take the
    // highest unused index (15, white in the grey palette).
    VxImage palette(8, 8, 4, kVxTypeIco);
    palette.SetGreyPalette();
    palette.Clear(0);
    palette.SetPixelIndex(1, 1, 5);
    palette.SetTransparentIndex(0);
    ASSERT_TRUE(palette.Save(vx::test::ToU16(scratch / "keyed.ico").c_str(), kVxTypeIco));

    const CliResult json = Cli({"info", "--json", Str(scratch / "keyed.ico")});
    EXPECT_EQ(json.status, kExitOk) << json.err;
    ExpectKeys(json.out, {"\"format\":\"ICO\"", "\"bpp\":4", "\"transparentIndex\":15",
                          "\"transparentColour\":\"#FFFFFF\"", "\"alpha\":false"});
    EXPECT_EQ(json.out.find("\"exif\""), std::string::npos) << json.out;
}

// What info shows only for some formats: a GIF's frames, loops and comment; a metafile's
// rendered size.
TEST_F(RunCliTest, InfoShowsGifExtrasAndMetafileSizes)
{
    const std::string gif = Str(scratch / "anim.gif");
    const std::string wmf = Str(scratch / "drawing.wmf"), emf = Str(scratch / "drawing.jpg");
    VxImage frames[2] = {VxImage(6, 4, 8, kVxTypeGif), VxImage(3, 2, 8, kVxTypeGif)};
    VxImage* list[] = {&frames[0], &frames[1]};
    VxImageGIF writer;
    writer.SetLoopCount(3);
    writer.SetComment("two \"frames\"");
    std::FILE* file = std::fopen(gif.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    VxFileStream stream(file);
    EXPECT_TRUE(writer.Encode(&stream, list, 2));
    std::fclose(file);
    vx::test::WmfWriter drawing;
    drawing.SetWindowOrg(0, 0).SetWindowExt(100, 100);
    drawing.CreateBrush(0, 0x0000FF, 0).SelectObject(0).Ellipse(10, 10, 90, 90);
    vx::test::WriteFileBytes(wmf, drawing.Placeable(0, 0, 1440, 720, 1440)); // 1 x 0.5 inch
    vx::test::WriteFileBytes(emf, vx::test::EmfWriter(RECT{0, 0, 64, 48}, RECT{0, 0, 1687, 1269})
                                      .Ellipse(RECT{4, 4, 60, 44})
                                      .Metafile());

    const CliResult plain = Cli({"info", gif, wmf, emf});
    EXPECT_EQ(plain.status, kExitOk) << plain.err;
    EXPECT_EQ(plain.out, gif + ": GIF 6x4, 8 bpp, 96x96 dpi, 2 frames, loop count 3, comment \"two \\\"frames\\\"\"\n" +
                             wmf + ": WMF/EMF 96x48, 24 bpp, 96x96 dpi, 1 frame\n" + emf +
                             ": WMF/EMF 64x48, 24 bpp, 96x96 dpi, 1 frame\n");
    ExpectKeys(Cli({"info", "--json", gif}).out,
               {"\"frames\":2", "\"loopCount\":3", "\"comment\":\"two \\\"frames\\\"\""});
}

} // namespace
} // namespace vx::cli
