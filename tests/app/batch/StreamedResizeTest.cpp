// The streaming path for JPEG sources against the general one: the same bytes for every kind of
// JPEG the tools make; a baseline picture beyond the image memory limit halved all the same (its
// mark's place: see the job suite); a cancel in the middle leaving nothing.
#include "app/batch/StreamedResize.h"

#include "app/batch/CancelSignal.h"
#include "app/batch/MarkStyle.h"
#include "image/TextMark.h"
#include "image/VxStream.h"
#include "image/codecs/VxImageJPG.h"
#include "platform/FileSystem.h"
#include "tests/app/batch/PictureFiles.h"
#include "tests/image/codecs/CodecHarness.h"
#include "tests/image/codecs/JpegTestBytes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>

namespace vx::batch {
namespace {

using vx::test::Bytes;
using vx::test::Quoted;
using vx::test::Rational;
using vx::test::ScratchDir;
using vx::test::ToU16;

class StreamedResizeTest : public ::testing::Test {
protected:
    StreamedResizeTest() : mark(std::make_unique<TextMark>()) { FillMarkStyle(*mark, u"Vantry 2026", 0); }

    ResizeJob JobFor(const std::filesystem::path& source)
    {
        ResizeJob job{};
        BuildResizeJob(job, 0, ToU16(source), ToU16(scratch / "out"), nullptr);
        std::filesystem::create_directories(scratch / "out");
        return job;
    }

    ScratchDir scratch;
    std::unique_ptr<TextMark> mark;
    CancelSignal cancel;
};

TEST_F(StreamedResizeTest, SameBytesAsTheGeneralPathForEveryKindOfJpeg)
{
    REQUIRE_TOOLS("cjpeg convert");
    enum class Then { Nothing, AddExif, CutShort };
    struct Kind {
        const char* name;
        const char* command; // %s: the PPM source, then the JPEG to write
        Then then;
    };
    const Kind kinds[] = {
        {"420", "cjpeg -quality 85 -sample 2x2 %s > %s", Then::Nothing},
        {"422", "cjpeg -sample 2x1 %s > %s", Then::Nothing},
        {"grey", "cjpeg -grayscale %s > %s", Then::Nothing},
        {"progressive", "cjpeg -progressive %s > %s", Then::Nothing},
        {"restartEveryBlock", "cjpeg -sample 1x1 -restart 1B %s > %s", Then::Nothing},
        {"cmyk", "convert %s -colorspace CMYK -quality 92 %s", Then::Nothing},
        {"densityPerCentimetre", "convert %s -units PixelsPerCentimeter -density 40 %s", Then::Nothing},
        {"exifResolution", "cjpeg %s > %s", Then::AddExif},
        {"cutShort", "cjpeg -sample 1x1 %s > %s", Then::CutShort}, // libjpeg warns and fills the rest
        {"progressiveCutShort", "cjpeg -progressive %s > %s", Then::CutShort},
    };
    const std::pair<int, int> sizes[] = {{1, 1}, {2, 2}, {3, 5}, {17, 9}, {130, 121}, {33, 160}};
    for (const auto& [width, height] : sizes) {
        const std::filesystem::path ppm = scratch / "source.ppm";
        vx::test::WritePnm(ppm, vx::test::PatternPicture(width, height, 3));
        for (const Kind& kind : kinds) {
            SCOPED_TRACE(std::string(kind.name) + " " + std::to_string(width) + "x" + std::to_string(height));
            const std::filesystem::path source = scratch / "source.jpg";
            char command[1024];
            std::snprintf(command, sizeof command, kind.command, Quoted(ppm).c_str(), Quoted(source).c_str());
            vx::test::RunTool(command);
            const Bytes made = vx::test::ReadFileBytes(source);
            if (kind.then == Then::AddExif) // 300 x 200 dots per centimetre
                vx::test::WriteFileBytes(source, vx::test::WithMainAndThumbnailExif(made,
                    {Rational(0x011A, 300, 1), Rational(0x011B, 200, 1), vx::test::Short(0x0128, 3)}, {}));
            else if (kind.then == Then::CutShort)
                vx::test::WriteFileBytes(source,
                                         Bytes(made.begin(), made.begin() + static_cast<long>(made.size() * 2 / 3)));

            // The general path: load, Rescale mode 1, DrawTextMark, Save.
            const ResizeJob job = JobFor(source);
            VxImage image(ToU16(source).c_str(), kVxTypeJpg);
            const TargetSize target = TargetSizeFor(job, image.Width(), image.Height());
            bool written = image.IsValid() && target.width > 0 && target.height > 0 &&
                           image.Rescale(target.width, target.height, 1);
            TextMark own = *mark;
            if (written) {
                image.DrawTextMark(nullptr, kMarkLeft, kMarkBaseline, &own, false);
                written = image.Save(ToU16(scratch / "general.jpg").c_str(), kVxTypeJpg);
            }
            // Too small to scale, or cut short inside the header: left to the general path,
            // which writes nothing either.
            VxImage band(kVxTypeJpg);
            const std::optional<JobOutcome> streamed = ResizeStreamed(job, *mark, cancel, band);
            if (!streamed.has_value()) {
                EXPECT_FALSE(width >= 2 && height >= 2 && kind.then != Then::CutShort);
                EXPECT_FALSE(written);
                continue;
            }
            EXPECT_EQ(streamed->status, JobStatus::Written) << vx::fs::ToUtf8(streamed->reason);
            EXPECT_TRUE(written);
            EXPECT_TRUE(vx::test::ReadFileBytes(std::filesystem::path(std::u16string(job.szDstPath))) ==
                        vx::test::ReadFileBytes(scratch / "general.jpg"));
        }
    }
}

// A cancel once the picture's rows flow (its temporary output appears) leaves nothing; without
// one the picture is halved.
TEST_F(StreamedResizeTest, ABaselinePictureBeyondTheMemoryLimitIsHalvedOrCancelledCleanly)
{
    // 9472 x 9448 x 3 bytes is just over the 256 MiB an image may hold (loaded whole, it is
    // refused: see the progressive case below). Written row by row: flat 16 x 16 blocks whose
    // colour follows the block.
    const int width = 9472, height = 9448;
    const std::filesystem::path source = scratch / "large.jpg";
    {
        VxImage rowPicture(width, 1, 24, kVxTypeJpg);
        std::unique_ptr<std::FILE, decltype(&std::fclose)> file(vx::fs::OpenFile(ToU16(source).c_str(), "wb"),
                                                                &std::fclose);
        ASSERT_TRUE(file && rowPicture.IsValid());
        VxFileStream stream(file.get());
        JpegRowWriter writer(rowPicture);
        ASSERT_TRUE(writer.Begin(&stream, height));
        for (int y = 0; y < height; ++y) {
            std::uint8_t* row = rowPicture.RowAddress(0);
            for (int x = 0; y % 16 == 0 && x < width; ++x) { // blue, green, red
                row[3 * x] = std::uint8_t(x / 16 * 40), row[3 * x + 1] = std::uint8_t(y / 16 * 40);
                row[3 * x + 2] = 128;
            }
            ASSERT_TRUE(writer.WriteRow(row));
        }
        ASSERT_TRUE(writer.Finish());
    }

    const ResizeJob job = JobFor(source);
    std::atomic<bool> done{false};
    std::thread watcher([&] {
        while (!done && std::filesystem::is_empty(scratch / "out"))
            std::this_thread::yield();
        cancel.Raise();
    });
    const JobOutcome cancelled = ProcessResizeJob(job, *mark, cancel);
    done = true;
    watcher.join();
    EXPECT_EQ(cancelled.status, JobStatus::Cancelled);
    EXPECT_TRUE(vx::test::DirectoryNames(scratch / "out").empty());

    cancel.Reset();
    const JobOutcome outcome = ProcessResizeJob(job, *mark, cancel);
    ASSERT_EQ(outcome.status, JobStatus::Written) << vx::fs::ToUtf8(outcome.reason);
    const VxImage half(job.szDstPath, kVxTypeJpg);
    ASSERT_EQ(half.Width(), 4736);
    ASSERT_EQ(half.Height(), 4724);
    // Destination (x, y) from the top takes source column 2x and source row 2y + 1; the points
    // lie inside blocks, away from the chroma blending at block edges.
    for (const auto& [x, y] : {std::pair{1004, 1003}, {4003, 300}, {3, 4700}, {4725, 4715}}) {
        const RGBQUAD colour = half.PixelColour(x, half.Height() - 1 - y);
        EXPECT_NEAR(colour.rgbBlue, (2 * x) / 16 * 40 % 256, 6) << x << "," << y;
        EXPECT_NEAR(colour.rgbGreen, (2 * y + 1) / 16 * 40 % 256, 6) << x << "," << y;
    }
}

TEST_F(StreamedResizeTest, AProgressivePictureBeyondTheMemoryLimitIsRefusedAtOnce)
{
    // A small progressive picture whose frame header claims 9472 x 9448: refused from the header.
    VxImage small(16, 16, 24, kVxTypeJpg);
    small.Info().codecOptions[VxImage::OptionSlot(kVxTypeJpg)] = 0x10; // progressive
    Bytes bytes = vx::test::EncodeBytes(small, kVxTypeJpg);
    const Bytes progressiveFrame{0xFF, 0xC2};
    const auto sof = std::search(bytes.begin(), bytes.end(), progressiveFrame.begin(), progressiveFrame.end());
    ASSERT_LT(sof + 8, bytes.end());
    sof[5] = 9448 >> 8, sof[6] = 9448 & 0xFF, sof[7] = 9472 >> 8, sof[8] = 9472 & 0xFF; // height, width
    const std::filesystem::path source = scratch / "huge-progressive.jpg";
    vx::test::WriteFileBytes(source, bytes);

    const ResizeJob job = JobFor(source);
    const JobOutcome outcome = ProcessResizeJob(job, *mark, cancel);
    EXPECT_EQ(outcome.status, JobStatus::Failed);
    EXPECT_EQ(outcome.reason, u"VXIMAGE_MAX_MEMORY exceeded");
    EXPECT_TRUE(vx::test::DirectoryNames(scratch / "out").empty());
}

} // namespace
} // namespace vx::batch
