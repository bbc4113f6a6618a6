// One job from list row to output file: the target size, the pixels written, every way a
// picture can fail without leaving anything under its output name, and the cancel signal.
#include "app/batch/ResizeJob.h"

#include "app/batch/CancelSignal.h"
#include "app/batch/MarkStyle.h"
#include "platform/FileSystem.h"
#include "tests/app/batch/PictureFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <memory>
#include <thread>

namespace vx::batch {
namespace {

using vx::test::ScratchDir;
using vx::test::ToU16;
using vx::test::WritePicture;

class ResizeJobTest : public ::testing::Test {
protected:
    ResizeJobTest() : mark(std::make_unique<TextMark>())
    {
        FillMarkStyle(*mark, u"Vantry", 0);
        std::filesystem::create_directory(scratch / "out");
    }

    ScratchDir scratch;
    std::unique_ptr<TextMark> mark;
    CancelSignal cancel;
};

TEST_F(ResizeJobTest, TargetIsHalfRoundedDown)
{
    ResizeJob job{};
    job.nPercent = 50;
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

// Every way a job fails gives its reason and leaves nothing in the destination but what was
// there: an older output of the same name, a directory in the way of the output (a missing
// source: see the runner suite).
TEST_F(ResizeJobTest, FailuresGiveTheirReasonAndLeaveNothing)
{
    ASSERT_TRUE(WritePicture(scratch / "thin.jpg", 1, 1000));
    ASSERT_TRUE(WritePicture(scratch / "x.jpg", 16, 16));
    vx::test::WriteFileBytes(scratch / "junk.jpg", {'n', 'o', 't', ' ', 'a', ' ', 'p', 'i', 'c'});
    vx::test::WriteFileBytes(scratch / "out" / "junk.jpg", {1, 2, 3});
    std::filesystem::create_directories(scratch / "out" / "x.jpg" / "inside");
    const std::u16string out = ToU16(scratch / "out");
    const struct {
        std::u16string source, destination, reason;
    } cases[] = {
        {u"/p/" + std::u16string(257, u'a'), out, u"the source path is empty or longer than 259 characters"},
        {u"/p/x.jpg", u"/" + std::u16string(254, u'd'), u"the output path would be longer than 259 characters"},
        {ToU16(scratch / "thin.jpg"), out, u"the picture is too small to halve (1 x 1000)"},
        {ToU16(scratch / "junk.jpg"), out, u"Not a JPEG file"}, // the JPEG codec's, kept through detection
        {ToU16(scratch / "x.jpg"), out, u"the output file cannot be put in place"},
    };
    for (const auto& c : cases) {
        ResizeJob job{};
        BuildResizeJob(job, 0, c.source, c.destination, nullptr);
        const JobOutcome outcome = ProcessResizeJob(job, *mark, cancel);
        EXPECT_EQ(outcome.status, JobStatus::Failed);
        EXPECT_EQ(outcome.reason.rfind(c.reason, 0), 0u) << vx::fs::ToUtf8(outcome.reason);
    }
    EXPECT_EQ(vx::test::DirectoryNames(scratch / "out"), (std::vector<std::string>{"junk.jpg", "x.jpg"}));
    EXPECT_EQ(vx::test::ReadFileBytes(scratch / "out" / "junk.jpg"), (vx::test::Bytes{1, 2, 3}));
}

// A cancel at any moment of a job ends it as cancelled or as it ends without one, never with
// another failure: a step that stops on the signal (the scaling above all) must be followed by
// a look at the signal. The job is nearly all scaling: a small picture blown up, its output
// refused at once (no such folder). The moments spread over a whole job, measured first in
// loop turns of another thread; a signal raised before the job, or before an image is
// attached, stops it at once.
TEST_F(ResizeJobTest, ACancelAtAnyMomentEndsTheJobAsCancelled)
{
    ASSERT_TRUE(VxImage(64, 48, 24, kVxTypeBmp).Save(ToU16(scratch / "x.bmp").c_str(), kVxTypeBmp));
    ResizeJob job{};
    BuildResizeJob(job, 0, ToU16(scratch / "x.bmp"), ToU16(scratch / "none"), nullptr);
    job.nWidth = job.nHeight = 3000;
    std::atomic<bool> stop{false};
    const auto spin = [&stop](long turns) {
        long turn = 0;
        while (turn < turns && !stop.load(std::memory_order_relaxed))
            ++turn;
        return turn;
    };
    long jobTurns = 0;
    std::thread measure([&] { jobTurns = spin(LONG_MAX); });
    const JobOutcome uncancelled = ProcessResizeJob(job, *mark, cancel);
    stop = true;
    measure.join();
    stop = false;
    ASSERT_EQ(uncancelled.status, JobStatus::Failed);
    cancel.Raise();
    EXPECT_EQ(ProcessResizeJob(job, *mark, cancel).status, JobStatus::Cancelled);
    {
        VxImage picture(8, 8, 24, kVxTypeJpg);
        AttachedImage attached(cancel, &picture);
        EXPECT_NE(picture.Info().escape, 0);
    }
    for (int trial = 0; trial < 40; ++trial) {
        cancel.Reset();
        std::thread canceller([&] {
            spin(jobTurns * trial / 40);
            cancel.Raise();
        });
        const JobOutcome outcome = ProcessResizeJob(job, *mark, cancel);
        canceller.join();
        if (outcome.status != JobStatus::Cancelled) {
            EXPECT_EQ(vx::fs::ToUtf8(outcome.reason), vx::fs::ToUtf8(uncancelled.reason)) << "trial " << trial;
        }
    }
}

// Each path of a source (streamed JPEG, 24 bits, palette, alpha) gives a 24-bit JPEG of half size,
// scaled by nearest pixel, with the red mark at its place, its transparent part white (the other
// codecs' reading is their own suites'). Faults caught: another scaling mode (one-pixel dark and
// light stripes stay dark when every second column is taken, turn mid-grey under any
// averaging), the mark drawn elsewhere (it must start right of x 30 and end at row 50), a
// picture of another format under a .jpg name not found by the detection pass.
TEST_F(ResizeJobTest, EveryKindBecomesAHalfSizeNearestPixelJpegMarkedInPlace)
{
    const struct {
        const char* name;
        std::uint32_t bits;
        std::uint32_t type;
    } sources[] = {{"streamed.jpg", 24, kVxTypeJpg}, {"bitmap.jpg", 24, kVxTypeBmp}, {"palette.gif", 8, kVxTypeGif},
                   {"icon.ico", 32, kVxTypeIco}};
    for (const auto& source : sources) {
        SCOPED_TRACE(source.name);
        VxImage picture(200, 120, source.bits == 32 ? 24 : source.bits, source.type);
        if (picture.HasPalette()) {
            picture.SetPaletteEntry(0, 30, 30, 30);
            picture.SetPaletteEntry(1, 220, 220, 220);
        }
        if (source.bits == 32) {
            ASSERT_TRUE(picture.CreateAlpha());
        }
        for (int y = 0; y < 120; ++y) {
            for (int x = 0; x < 200; ++x) {
                const BYTE level = x % 2 ? 220 : 30;
                if (picture.HasPalette())
                    picture.SetPixelIndex(x, y, static_cast<std::uint8_t>(x % 2));
                else
                    picture.SetPixelColour(x, y, RGBQUAD{level, level, level, BYTE(x < 150 ? 255 : 0)}, true);
            }
        }
        ASSERT_TRUE(picture.Save(ToU16(scratch / source.name).c_str(), source.type));

        ResizeJob job{};
        BuildResizeJob(job, 0, ToU16(scratch / source.name), ToU16(scratch / "out"), nullptr);
        ASSERT_EQ(ProcessResizeJob(job, *mark, cancel).status, JobStatus::Written);
        const std::filesystem::path output =
            scratch / "out" / (std::filesystem::path(source.name).stem().string() + ".jpg");
        VxImage out(ToU16(output).c_str(), kVxTypeJpg);
        ASSERT_EQ(out.BitsPerPixel(), 24);
        ASSERT_EQ(out.Width(), 100);
        ASSERT_EQ(out.Height(), 60);
        int left = out.Width(), bottom = -1;
        long darkSum = 0, darkCount = 0;
        for (int row = 0; row < out.Height(); ++row) { // row 0 is the top
            for (int x = 0; x < out.Width(); ++x) {
                const RGBQUAD c = out.PixelColour(x, out.Height() - 1 - row);
                if (c.rgbRed > 150 && c.rgbGreen < 110) {
                    left = std::min(left, x), bottom = std::max(bottom, row);
                } else if (row >= 52 && x < 70) {
                    darkSum += c.rgbGreen, ++darkCount;
                }
            }
        }
        EXPECT_LT(darkSum / std::max(darkCount, 1L), 80); // averaging gives about 125
        EXPECT_GE(left, 30);
        EXPECT_LE(left, 36);
        EXPECT_GE(bottom, 42);
        EXPECT_LE(bottom, 50);
        if (source.bits == 32) {
            const RGBQUAD behind = out.PixelColour(95, 4);
            EXPECT_GT(std::min({behind.rgbRed, behind.rgbGreen, behind.rgbBlue}), 240);
        }
    }
}

} // namespace
} // namespace vx::batch
