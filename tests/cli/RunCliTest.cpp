// vantry-cli run in-process: exit statuses, usage errors on stderr, the resize command's
// equality with the runner (files and log), --jobs, Ctrl-C, convert and info.
#include "cli/RunCli.h"

#include "app/batch/BatchRunner.h"
#include "image/VxStream.h"
#include "image/codecs/VxExifReader.h"
#include "image/codecs/VxImageGIF.h"
#include "platform/SystemLanguage.h"
#include "tests/app/batch/PictureFiles.h"
#include "tests/app/batch/RecordingSink.h"
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

std::vector<std::string> Lines(const std::string& out)
{
    std::vector<std::string> lines;
    std::istringstream stream(out);
    for (std::string line; std::getline(stream, line);)
        lines.push_back(line);
    return lines;
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
            const auto path = scratch / vx::test::Numbered("c", i, ".jpeg");
            EXPECT_TRUE(vx::test::WritePicture(path, 40 + 3 * i, 30 + i));
            files.push_back(Str(path));
        }
        return files;
    }

    std::vector<std::string> ResizeArgs(const std::string& dest, const std::vector<std::string>& files)
    {
        std::vector<std::string> args{"resize", "--mark", "Vantry 2026", "--dest", dest};
        args.insert(args.end(), files.begin(), files.end());
        return args;
    }

    ScratchDir scratch;
};

TEST_F(RunCliTest, HelpVersionAndUsageErrors)
{
    const CliResult help = Cli({"--help"});
    EXPECT_EQ(help.status, kExitOk);
    EXPECT_NE(help.out.find("Usage: vantry-cli"), std::string::npos);
    EXPECT_TRUE(help.err.empty());

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

// Two pictures at once on the command line, one at a time in the runner: the same files,
// byte for byte, and the same log.
TEST_F(RunCliTest, ResizeMatchesTheRunnerFileForFileAndLineForLine)
{
    std::vector<std::string> files = Pictures(5);
    files.push_back(Str(scratch / "missing.jpg"));
    std::vector<std::string> args = ResizeArgs(Str(scratch / "cli"), files);
    args.insert(args.begin() + 1, {"--jobs", "2"});
    const CliResult cli = Cli(args);
    EXPECT_EQ(cli.status, kExitFailed); // one picture failed

    vx::test::RecordingSink sink;
    vx::batch::BatchRunner runner(sink, vx::platform::SystemDefaultLanguageId());
    vx::batch::BatchRequest request;
    for (const std::string& file : files)
        request.rows.push_back(vx::fs::FromUtf8(file));
    request.destination = vx::test::ToU16(scratch / "gui");
    request.markText = u"Vantry 2026";
    ASSERT_EQ(runner.Start(request), vx::batch::StartResult::Started);
    runner.Wait();

    std::string expectedOut;
    for (const std::string& line : sink.Events("log:"))
        expectedOut += line.substr(4) + (line.back() == '\n' ? "" : "\n");
    EXPECT_EQ(cli.out, expectedOut);
    EXPECT_TRUE(cli.err.empty()); // no terminal, no progress bar
    const auto names = vx::test::DirectoryNames(scratch / "cli");
    EXPECT_EQ(names, (std::vector<std::string>{"c0.jpg", "c1.jpg", "c2.jpg", "c3.jpg", "c4.jpg"}));
    for (const std::string& name : names)
        EXPECT_EQ(vx::test::ReadFileBytes(scratch / "cli" / name), vx::test::ReadFileBytes(scratch / "gui" / name));
}

TEST_F(RunCliTest, InterruptCancelsCleanly)
{
    // Large enough that the first picture is still being worked on when the flag is seen.
    std::vector<std::string> files;
    for (int i = 0; i < 3; ++i) {
        files.push_back(Str(scratch / vx::test::Numbered("big", i, ".jpg")));
        ASSERT_TRUE(vx::test::WritePicture(files.back(), 1200, 900));
    }
    std::atomic<bool> interrupted{true};
    const CliResult result = Cli(ResizeArgs(Str(scratch / "out"), files), &interrupted);
    EXPECT_EQ(result.status, kExitInterrupted);
    EXPECT_NE(result.out.find("Resize cancelled after "), std::string::npos);
    EXPECT_EQ(result.out.find("Finished"), std::string::npos);
    for (const std::string& name : vx::test::DirectoryNames(scratch / "out"))
        EXPECT_EQ(name.rfind("~vx", 0), std::string::npos) << name;
}

TEST_F(RunCliTest, ConvertWritesTheNamedFormatOrReportsTheLibraryError)
{
    const std::string input = Pictures(1)[0];
    const CliResult ok = Cli({"convert", "--quality", "75", input, Str(scratch / "copy.JPG")});
    EXPECT_EQ(ok.status, kExitOk) << ok.err;
    EXPECT_EQ(vx::test::ReadPictureSize(scratch / "copy.JPG"), (vx::test::PictureSize{40, 30}));

    // An older file survives a failed conversion untouched (the message: see the next test).
    vx::test::WriteFileBytes(scratch / "keep.jpg", {5, 6});
    vx::test::WriteFileBytes(scratch / "junk.bin", {1, 2, 3, 4});
    EXPECT_EQ(Cli({"convert", Str(scratch / "junk.bin"), Str(scratch / "keep.jpg")}).status, kExitFailed);
    EXPECT_EQ(vx::test::ReadFileBytes(scratch / "keep.jpg"), (std::vector<std::uint8_t>{5, 6}));
}

TEST_F(RunCliTest, InfoPlainAndJson)
{
    const std::string picture = Pictures(1)[0];
    const CliResult plain = Cli({"info", picture});
    EXPECT_EQ(plain.status, kExitOk);
    EXPECT_EQ(plain.out, picture + ": JPEG 40x30, 24 bpp, 96x96 dpi, 1 frame\n");

    const CliResult json = Cli({"info", "--json", picture, Str(scratch / "missing.jpg")});
    EXPECT_EQ(json.status, kExitFailed);
    const std::vector<std::string> lines = Lines(json.out);
    ASSERT_EQ(lines.size(), 2u);
    ExpectKeys(lines[0], {"\"path\":", "\"ok\":true", "\"error\":null", "\"format\":\"JPEG\"", "\"type\":3",
                          "\"width\":40", "\"height\":30", "\"bpp\":24", "\"xdpi\":96", "\"ydpi\":96", "\"frames\":1",
                          "\"exif\":"});
    ExpectKeys(lines[1], {"\"ok\":false", "\"error\":\"no such file\""});
}

// A file that starts as a JPEG but cannot be decoded names its fault in info and convert;
// only a file no codec takes gets detection's message. The EXIF block the decoder took
// its resolution from is reported, its fields in JSON, though the sections after it
// overflow the reader.
TEST_F(RunCliTest, InfoAndConvertGiveTheRealReasonAndTheExifUsed)
{
    using namespace vx::test;
    const Bytes jpeg = ReadFileBytes(Pictures(1)[0]);
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
                                Str(scratch / "exif.jpg")});
    const std::vector<std::string> lines = Lines(info.out);
    ASSERT_EQ(lines.size(), 3u);
    ExpectKeys(lines[0], {"\"error\":\"Unsupported JPEG data precision 12\""});
    ExpectKeys(lines[1], {"\"error\":\"Decode: Unknown or wrong format\""});
    ExpectKeys(lines[2], {"\"xdpi\":300", "\"exif\":{", "\"xResolution\":300", "\"cameraMake\":\"Vantry\""});

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
    EXPECT_EQ(vx::test::ReadPictureSize(src / "out" / "sub" / "deeper" / "b.jpg"), (vx::test::PictureSize{20, 15}));
}

// Conversions reach every writable format, named by --type whatever the file name says, or by
// the extension, and a picture a format cannot hold gets the codec's message; info finds each
// by content, with its transparency, and EXIF for JPEG files only; PCX and TGA (under a .jpg
// name) resize into half-size JPEGs.
TEST_F(RunCliTest, ConvertReachesEveryFormatAndInfoReportsTransparency)
{
    const std::string wbmp = Str(scratch / "in.wbmp"), ska = Str(scratch / "out.bin");
    vx::test::WriteFileBytes(wbmp, {0, 0, 16, 2, 0xF0, 0x0F, 0x00, 0xFF}); // 16 x 2, 1 = white
    ASSERT_EQ(Cli({"convert", "--type", "ska", wbmp, ska}).status, kExitOk);
    EXPECT_EQ(Cli({"info", wbmp, ska}).out,
              wbmp + ": WBMP 16x2, 1 bpp, 96x96 dpi, 1 frame\n" + ska + ": SKA 16x2, 8 bpp, 96x96 dpi, 1 frame\n");
    const CliResult back = Cli({"convert", ska, Str(scratch / "back.wbmp")});
    EXPECT_EQ(back.status, kExitFailed);
    EXPECT_NE(back.err.find("Can't save this image as WBMP"), std::string::npos) << back.err;

    const std::string jpeg = Pictures(1)[0];
    const std::string pcx = Str(scratch / "picture.bin"), tga = Str(scratch / "picture.jpg");
    const std::string icon = Str(scratch / "small.ico"), bitmap = Str(scratch / "back.jpg");
    const std::string gif = Str(scratch / "g.out");
    ASSERT_EQ(Cli({"convert", "--type", "pcx", jpeg, pcx}).status, kExitOk);
    ASSERT_EQ(Cli({"convert", "--type", "tga", jpeg, tga}).status, kExitOk);
    ASSERT_EQ(Cli({"convert", "--type", "gif", jpeg, gif}).status, kExitOk);
    ASSERT_EQ(Cli({"convert", "--type", "bmp", jpeg, Str(scratch / "picture.dat")}).status, kExitOk);
    ASSERT_EQ(Cli({"convert", Str(scratch / "picture.dat"), icon}).status, kExitOk);
    ASSERT_EQ(Cli({"convert", "--type", "BMP", icon, bitmap}).status, kExitOk); // a BMP named .jpg
    EXPECT_EQ(Cli({"info", pcx, tga}).out,
              pcx + ": PCX 40x30, 24 bpp, 96x96 dpi, 1 frame\n" + tga + ": TGA 40x30, 24 bpp, 96x96 dpi, 1 frame\n");
    EXPECT_EQ(Cli({"info", gif}).out.rfind(gif + ": GIF 40x30, 24 bpp", 0), 0u);
    const CliResult resized = Cli(ResizeArgs(Str(scratch / "small"), {pcx, tga}));
    EXPECT_EQ(resized.status, kExitOk) << resized.err;
    EXPECT_EQ(vx::test::ReadPictureSize(scratch / "small" / "picture.jpg"), (vx::test::PictureSize{20, 15}));
    EXPECT_TRUE(std::filesystem::exists(scratch / "small" / "s1_picture.jpg"));

    // A 4-bit icon whose index 0 is transparent: read back, the masked pixels take the
    // highest unused index (15, white in the grey palette).
    VxImage palette(8, 8, 4, kVxTypeIco);
    palette.SetGreyPalette();
    palette.Clear(0);
    palette.SetPixelIndex(1, 1, 5);
    palette.SetTransparentIndex(0);
    ASSERT_TRUE(palette.Save(vx::test::ToU16(scratch / "keyed.ico").c_str(), kVxTypeIco));

    const CliResult json = Cli({"info", "--json", bitmap, icon, Str(scratch / "keyed.ico")});
    EXPECT_EQ(json.status, kExitOk) << json.err;
    const std::vector<std::string> lines = Lines(json.out);
    ASSERT_EQ(lines.size(), 3u);
    ExpectKeys(lines[0], {"\"format\":\"BMP\"", "\"width\":40", "\"bpp\":24", "\"transparentIndex\":null",
                          "\"transparentColour\":null", "\"alpha\":false"});
    ExpectKeys(lines[1], {"\"format\":\"ICO\"", "\"height\":30", "\"frames\":1", "\"alpha\":false"});
    ExpectKeys(lines[2], {"\"format\":\"ICO\"", "\"bpp\":4", "\"transparentIndex\":15",
                          "\"transparentColour\":\"#FFFFFF\"", "\"alpha\":false"});
    for (const std::string& line : lines)
        EXPECT_EQ(line.find("\"exif\""), std::string::npos) << line;
}

TEST_F(RunCliTest, GifInfoShowsFramesLoopsAndComment)
{
    VxImage frames[2] = {VxImage(6, 4, 8, kVxTypeGif), VxImage(3, 2, 8, kVxTypeGif)};
    VxImage* list[] = {&frames[0], &frames[1]};
    VxImageGIF writer;
    writer.SetLoopCount(3);
    writer.SetComment("two \"frames\"");
    std::FILE* file = std::fopen(Str(scratch / "anim.gif").c_str(), "wb");
    ASSERT_NE(file, nullptr);
    VxFileStream stream(file);
    EXPECT_TRUE(writer.Encode(&stream, list, 2));
    std::fclose(file);

    const CliResult plain = Cli({"info", Str(scratch / "anim.gif")});
    EXPECT_EQ(plain.out, Str(scratch / "anim.gif") +
                             ": GIF 6x4, 8 bpp, 96x96 dpi, 2 frames, loop count 3, comment \"two \\\"frames\\\"\"\n");
    ExpectKeys(Cli({"info", "--json", Str(scratch / "anim.gif")}).out,
               {"\"frames\":2", "\"loopCount\":3", "\"comment\":\"two \\\"frames\\\"\""});
}

// Metafiles through the command line: info names the format and the rendered size, resize
// halves the rendering into a JPEG, and convert cannot write one.
TEST_F(RunCliTest, InfoAndResizeReachWmfAndEmf)
{
    vx::test::WmfWriter drawing;
    drawing.SetWindowOrg(0, 0).SetWindowExt(100, 100).CreateBrush(0, 0x0000FF, 0).SelectObject(0).Ellipse(10, 10, 90, 90);
    const std::string wmf = Str(scratch / "drawing.wmf"), emf = Str(scratch / "drawing.jpg");
    vx::test::WriteFileBytes(wmf, drawing.Placeable(0, 0, 1440, 720, 1440)); // 1 x 0.5 inch
    vx::test::WriteFileBytes(emf, vx::test::EmfWriter(RECT{0, 0, 64, 48}, RECT{0, 0, 1687, 1269})
                                      .Ellipse(RECT{4, 4, 60, 44})
                                      .Metafile());
    const CliResult info = Cli({"info", wmf, emf});
    EXPECT_EQ(info.status, kExitOk) << info.err;
    EXPECT_EQ(info.out, wmf + ": WMF/EMF 96x48, 24 bpp, 96x96 dpi, 1 frame\n" + emf +
                            ": WMF/EMF 64x48, 24 bpp, 96x96 dpi, 1 frame\n");

    const CliResult resize = Cli({"resize", "--dest", Str(scratch / "out"), wmf, emf});
    EXPECT_EQ(resize.status, kExitOk) << resize.err;
    EXPECT_EQ(vx::test::ReadPictureSize(scratch / "out" / "drawing.jpg"), (vx::test::PictureSize{48, 24}));
    EXPECT_EQ(vx::test::ReadPictureSize(scratch / "out" / "s1_drawing.jpg"), (vx::test::PictureSize{32, 24}));

    const CliResult convert = Cli({"convert", emf, Str(scratch / "back.wmf")});
    EXPECT_EQ(convert.status, kExitFailed);
    EXPECT_NE(convert.err.find("Save WMF not supported"), std::string::npos) << convert.err;
}

} // namespace
} // namespace vx::cli
