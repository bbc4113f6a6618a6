// One job from list row to output file: the fields, the target size, the pixels written,
// and every way a picture can fail without leaving anything under its output name.
#include "app/batch/ResizeJob.h"

#include "app/batch/CancelSignal.h"
#include "app/batch/MarkStyle.h"
#include "app/batch/TemporaryOutput.h"
#include "tests/app/batch/PictureFiles.h"
#include "tests/image/codecs/JpegTestBytes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

namespace vx::batch {
namespace {

using vx::test::ReadPictureSize;
using vx::test::ScratchDir;
using vx::test::ToU16;
using vx::test::WritePicture;

class ResizeJobTest : public ::testing::Test {
protected:
    ResizeJobTest() : mark(std::make_unique<TextMark>()) { FillMarkStyle(*mark, u"Vantry", 0); }

    JobOutcome Run(const std::filesystem::path& source, const std::filesystem::path& destination)
    {
        ResizeJob job{};
        BuildResizeJob(job, 0, ToU16(source), ToU16(destination), nullptr);
        return ProcessResizeJob(job, *mark, cancel);
    }

    ScratchDir scratch;
    std::unique_ptr<TextMark> mark;
    CancelSignal cancel;
};

TEST_F(ResizeJobTest, NewJobFields)
{
    ResizeJob job{};
    BuildResizeJob(job, 7, u"/p/holiday.jpeg", u"/out", nullptr);
    EXPECT_EQ(job.nIndex, 7);
    EXPECT_EQ(job.nPercent, 50);
    EXPECT_EQ(job.nWidth, 0);
    EXPECT_EQ(job.nHeight, 0);
    EXPECT_EQ(job.curIndex, 0);
    EXPECT_EQ(job.curGroup, 0);
    EXPECT_EQ(std::u16string(job.szSrcPath), u"/p/holiday.jpeg");
    EXPECT_EQ(std::u16string(job.szDstPath).substr(5), u"holiday.jpg");
}

TEST_F(ResizeJobTest, PathsThatDoNotFitAreLeftEmpty)
{
    ResizeJob job{};
    BuildResizeJob(job, 0, u"/p/" + std::u16string(257, u'a'), u"/out", nullptr);
    EXPECT_EQ(job.szSrcPath[0], 0);
    EXPECT_EQ(ProcessResizeJob(job, *mark, cancel).status, JobStatus::Failed);

    ResizeJob longOutput{};
    BuildResizeJob(longOutput, 0, u"/p/x.jpg", u"/" + std::u16string(254, u'd'), nullptr);
    EXPECT_NE(longOutput.szSrcPath[0], 0);
    EXPECT_EQ(longOutput.szDstPath[0], 0); // 255 + "/x.jpg" is over 259 units
    const JobOutcome outcome = ProcessResizeJob(longOutput, *mark, cancel);
    EXPECT_EQ(outcome.status, JobStatus::Failed);
    EXPECT_NE(outcome.reason.find(u"259"), std::u16string::npos);
}

TEST_F(ResizeJobTest, TargetIsHalfRoundedDown)
{
    ResizeJob job{};
    job.nPercent = 50;
    EXPECT_EQ(TargetSizeFor(job, 800, 600).width, 400);
    EXPECT_EQ(TargetSizeFor(job, 801, 601).height, 300);
    EXPECT_EQ(TargetSizeFor(job, 1023, 767).width, 511);
    EXPECT_EQ(TargetSizeFor(job, 1023, 767).height, 383);
    EXPECT_EQ(TargetSizeFor(job, 1, 1000).width, 0);
    EXPECT_EQ(TargetSizeFor(job, 100000000, 2).width, 50000000); // no 32-bit wrap-around
    job.nPercent = 25;
    EXPECT_EQ(TargetSizeFor(job, 800, 600).width, 200);
    job.nPercent = 50;
    job.nWidth = 64;
    EXPECT_EQ(TargetSizeFor(job, 800, 600).width, 400); // both explicit sizes are needed
    job.nHeight = 48;
    EXPECT_EQ(TargetSizeFor(job, 800, 600).height, 48);
}

TEST_F(ResizeJobTest, WritesHalfSizeJpegUnderTheSourceName)
{
    ASSERT_TRUE(WritePicture(scratch / "holiday.jpeg", 1023, 767));
    const JobOutcome outcome = Run(scratch / "holiday.jpeg", scratch / "out");
    // The destination does not exist: the save fails and says so.
    EXPECT_EQ(outcome.status, JobStatus::Failed);

    std::filesystem::create_directory(scratch / "out");
    ASSERT_EQ(Run(scratch / "holiday.jpeg", scratch / "out").status, JobStatus::Written);
    EXPECT_EQ(ReadPictureSize(scratch / "out" / "holiday.jpg"), (vx::test::PictureSize{511, 383}));
    EXPECT_EQ(vx::test::DirectoryNames(scratch / "out"), std::vector<std::string>{"holiday.jpg"});
}

// Pictures of other formats and depths: each gives a 24-bit JPEG of half size with a red mark,
// its transparent part white.
TEST_F(ResizeJobTest, EveryDepthBecomesAMarkedTrueColourJpeg)
{
    const struct {
        const char* name;
        std::uint32_t bits;
        std::uint32_t type;
    } sources[] = {{"bitmap.jpg", 24, kVxTypeBmp},
                   {"palette.bmp", 8, kVxTypeBmp},
                   {"mono.bmp", 1, kVxTypeBmp},
                   {"palette.gif", 8, kVxTypeGif},
                   {"icon.ico", 32, kVxTypeIco},
                   {"phone.wbmp", 1, kVxTypeWbmp},
                   {"sprite.ska", 8, kVxTypeSka}};
    std::filesystem::create_directory(scratch / "out");
    for (const auto& source : sources) {
        SCOPED_TRACE(source.name);
        VxImage picture(200, 120, source.bits == 32 ? 24 : source.bits, source.type);
        for (std::uint32_t i = 0; i < picture.ColourCount(); ++i)
            picture.SetPaletteEntry(static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i / 2), 128,
                                    static_cast<std::uint8_t>(255 - i));
        if (source.bits == 32) {
            ASSERT_TRUE(picture.CreateAlpha());
        }
        for (int y = 0; y < 120; ++y) {
            for (int x = 0; x < 200; ++x) {
                if (picture.HasPalette())
                    picture.SetPixelIndex(x, y, static_cast<std::uint8_t>(x + y));
                else
                    picture.SetPixelColour(x, y, RGBQUAD{200, 150, 0, static_cast<BYTE>(x < 150 ? 255 : 0)}, true);
            }
        }
        ASSERT_TRUE(picture.Save(ToU16(scratch / source.name).c_str(), source.type));

        ASSERT_EQ(Run(scratch / source.name, scratch / "out").status, JobStatus::Written);
        const std::filesystem::path output =
            scratch / "out" / (std::filesystem::path(source.name).stem().string() + ".jpg");
        VxImage result(ToU16(output).c_str(), kVxTypeJpg);
        ASSERT_TRUE(result.IsValid());
        EXPECT_EQ(result.ImageType(), kVxTypeJpg);
        EXPECT_EQ(result.BitsPerPixel(), 24);
        EXPECT_EQ(result.Width(), 100);
        EXPECT_EQ(result.Height(), 60);
        int redness = -255;
        for (int y = 60 - 50; y < 60 - 28; ++y) {
            for (int x = 30; x < 100; ++x) {
                const RGBQUAD c = result.PixelColour(x, y, false);
                redness = std::max(redness, c.rgbRed - std::max(c.rgbGreen, c.rgbBlue));
            }
        }
        EXPECT_GT(redness, 120);
        if (source.bits == 32) {
            const RGBQUAD behind = result.PixelColour(95, 5, false);
            EXPECT_GT(std::min({behind.rgbRed, behind.rgbGreen, behind.rgbBlue}), 240);
        }
    }
}

TEST_F(ResizeJobTest, TooSmallAndMissingSourcesFailWithAReason)
{
    std::filesystem::create_directory(scratch / "out");
    ASSERT_TRUE(WritePicture(scratch / "thin.jpg", 1, 1000));
    JobOutcome thin = Run(scratch / "thin.jpg", scratch / "out");
    EXPECT_EQ(thin.status, JobStatus::Failed);
    EXPECT_NE(thin.reason.find(u"1 x 1000"), std::u16string::npos);

    JobOutcome missing = Run(scratch / "missing.jpg", scratch / "out");
    EXPECT_EQ(missing.status, JobStatus::Failed);
    EXPECT_EQ(missing.reason, u"the file does not exist");

    vx::test::WriteFileBytes(scratch / "junk.jpg", {'n', 'o', 't', ' ', 'a', ' ', 'p', 'i', 'c'});
    JobOutcome junk = Run(scratch / "junk.jpg", scratch / "out");
    EXPECT_EQ(junk.status, JobStatus::Failed);
    EXPECT_EQ(junk.reason.rfind(u"Not a JPEG file", 0), 0u); // the JPEG codec's message, kept through detection
    EXPECT_TRUE(vx::test::DirectoryNames(scratch / "out").empty());
}

TEST_F(ResizeJobTest, AFailedJobLeavesAnOlderOutputAlone)
{
    std::filesystem::create_directory(scratch / "out");
    vx::test::WriteFileBytes(scratch / "out" / "x.jpg", {1, 2, 3});
    vx::test::WriteFileBytes(scratch / "x.jpg", {9, 9, 9});
    EXPECT_EQ(Run(scratch / "x.jpg", scratch / "out").status, JobStatus::Failed);
    EXPECT_EQ(vx::test::ReadFileBytes(scratch / "out" / "x.jpg"), (std::vector<std::uint8_t>{1, 2, 3}));
}

TEST_F(ResizeJobTest, AnOutputThatCannotBePutInPlaceLeavesNoTemporary)
{
    ASSERT_TRUE(WritePicture(scratch / "x.jpg", 16, 16));
    std::filesystem::create_directories(scratch / "out" / "x.jpg" / "inside"); // a directory in the way
    const JobOutcome outcome = Run(scratch / "x.jpg", scratch / "out");
    EXPECT_EQ(outcome.status, JobStatus::Failed);
    EXPECT_EQ(vx::test::DirectoryNames(scratch / "out"), std::vector<std::string>{"x.jpg"});
    EXPECT_TRUE(std::filesystem::is_directory(scratch / "out" / "x.jpg"));
}

TEST_F(ResizeJobTest, AllocationFailureIsReportedAsSuch)
{
    ResizeJob job{};
    BuildResizeJob(job, 0, u"/p/x.jpg", u"/out", nullptr);
    EXPECT_EQ(ProcessResizeJob(job, *mark, cancel, [] { return static_cast<VxImage*>(nullptr); }).status,
              JobStatus::NoMemory);
}

TEST_F(ResizeJobTest, ARaisedSignalStopsTheJobAndSetsEscape)
{
    std::filesystem::create_directory(scratch / "out");
    ASSERT_TRUE(WritePicture(scratch / "x.jpg", 64, 64));
    cancel.Raise();
    EXPECT_EQ(Run(scratch / "x.jpg", scratch / "out").status, JobStatus::Cancelled);
    EXPECT_TRUE(vx::test::DirectoryNames(scratch / "out").empty());

    VxImage picture(8, 8, 24, kVxTypeJpg);
    cancel.Attach(&picture); // attached after the signal: escape set at once
    EXPECT_NE(picture.Info().escape, 0);
    cancel.Detach(&picture);

    CancelSignal fresh;
    VxImage other(8, 8, 24, kVxTypeJpg);
    AttachedImage attached(fresh, &other);
    EXPECT_EQ(other.Info().escape, 0);
    fresh.Raise();
    EXPECT_NE(other.Info().escape, 0);
}

TEST_F(ResizeJobTest, TemporaryOutputAppearsOnlyWhenCommitted)
{
    const auto final = scratch / "result.jpg";
    vx::test::WriteFileBytes(final, {7});
    {
        TemporaryOutput output(ToU16(final));
        ASSERT_FALSE(output.Path().empty());
        vx::test::WriteFileBytes(std::filesystem::path(output.Path()), {1, 2});
    }
    EXPECT_EQ(vx::test::DirectoryNames(scratch.Path()), std::vector<std::string>{"result.jpg"});
    EXPECT_EQ(vx::test::ReadFileBytes(final), std::vector<std::uint8_t>{7});

    TemporaryOutput output(ToU16(final));
    vx::test::WriteFileBytes(std::filesystem::path(output.Path()), {1, 2});
    EXPECT_TRUE(output.Commit());
    EXPECT_EQ(vx::test::ReadFileBytes(final), (std::vector<std::uint8_t>{1, 2}));
    EXPECT_EQ(vx::test::DirectoryNames(scratch.Path()), std::vector<std::string>{"result.jpg"});
}

// The output keeps the main picture's resolution, not the one of the thumbnail's directory.
TEST_F(ResizeJobTest, OutputDensityIsTheMainPicturesNotTheThumbnails)
{
    using namespace vx::test;
    ASSERT_TRUE(WritePicture(scratch / "photo.jpg", 64, 48));
    WriteFileBytes(scratch / "photo.jpg",
                   WithMainAndThumbnailExif(ReadFileBytes(scratch / "photo.jpg"),
                                            {Rational(0x011A, 300, 1), Rational(0x011B, 300, 1), Short(0x0128, 2)},
                                            {Rational(0x011A, 72, 1), Rational(0x011B, 72, 1), Short(0x0128, 2)}));
    std::filesystem::create_directory(scratch / "out");
    ASSERT_EQ(Run(scratch / "photo.jpg", scratch / "out").status, JobStatus::Written);
    const VxImage output(ToU16(scratch / "out" / "photo.jpg").c_str(), kVxTypeJpg);
    EXPECT_EQ((std::vector<int>{output.Width(), output.XDpi(), output.YDpi()}), (std::vector<int>{32, 300, 300}));
}

// Only the detection pass reads a picture of another format under a .jpg name.
TEST_F(ResizeJobTest, APictureInAnotherFormatIsFoundByContent)
{
    VxImage picture(40, 30, 24, kVxTypeUnknown);
    if (!picture.Save(ToU16(scratch / "other.jpg").c_str(), kVxTypeBmp))
        GTEST_SKIP() << "no codec other than JPEG can write a picture";
    std::filesystem::create_directory(scratch / "out");
    ASSERT_EQ(Run(scratch / "other.jpg", scratch / "out").status, JobStatus::Written);
    EXPECT_EQ(ReadPictureSize(scratch / "out" / "other.jpg"), (vx::test::PictureSize{20, 15}));
}

// Catches a job that scales by another mode or draws its mark elsewhere: one-pixel dark and
// light stripes stay dark when every second column is taken (nearest pixel, mode 1) but turn
// mid-grey under any averaging mode; the red text must sit right of x 30 and end at row 50.
TEST_F(ResizeJobTest, OutputIsNearestPixelWithTheMarkAtItsPlace)
{
    VxImage stripes(240, 200, 24, kVxTypeJpg);
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 240; ++x) {
            const BYTE level = x % 2 ? 220 : 30;
            stripes.SetPixelColour(x, y, RGBQUAD{level, level, level, 0});
        }
    ASSERT_TRUE(stripes.Save(ToU16(scratch / "stripes.jpg").c_str(), kVxTypeJpg));
    std::filesystem::create_directory(scratch / "out");
    ASSERT_EQ(Run(scratch / "stripes.jpg", scratch / "out").status, JobStatus::Written);

    VxImage out(ToU16(scratch / "out" / "stripes.jpg").c_str(), kVxTypeJpg);
    ASSERT_EQ(out.Width(), 120);
    ASSERT_EQ(out.Height(), 100);
    int left = out.Width(), right = -1, top = out.Height(), bottom = -1;
    long darkSum = 0, darkCount = 0;
    for (int row = 0; row < out.Height(); ++row) { // row 0 is the top
        for (int x = 0; x < out.Width(); ++x) {
            const RGBQUAD c = out.PixelColour(x, out.Height() - 1 - row);
            if (c.rgbRed > 150 && c.rgbGreen < 110) {
                left = std::min(left, x), right = std::max(right, x);
                top = std::min(top, row), bottom = std::max(bottom, row);
            } else if (row >= 70) {
                darkSum += c.rgbGreen, ++darkCount;
            }
        }
    }
    EXPECT_LT(darkSum / std::max(darkCount, 1L), 80); // averaging gives about 125
    EXPECT_GE(left, 30);
    EXPECT_LE(left, 36);
    EXPECT_GT(right, left + 20);    // "Vantry" in a 24-pixel font
    EXPECT_GE(bottom, 42);
    EXPECT_LE(bottom, 50);
    EXPECT_LT(top, bottom - 8);
}

} // namespace
} // namespace vx::batch
