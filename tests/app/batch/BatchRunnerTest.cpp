// The runner as the window and the command line drive it: the Start checks, the log lines
// and progress positions in order, failures, allocation failure, cancellation, and
// parallel runs that write the same bytes as a single worker.
#include "app/batch/BatchRunner.h"

#include "tests/app/batch/PictureFiles.h"
#include "tests/app/batch/RecordingSink.h"

#include <gtest/gtest.h>

#include <future>

namespace vx::batch {
namespace {

using vx::test::ScratchDir;
using vx::test::ToU16;
using vx::test::WritePicture;
using Events = std::vector<std::string>;

class BatchRunnerTest : public ::testing::Test {
protected:
    // `count` small pictures p0.jpg, p1.jpg ... as the rows of a run into scratch/out.
    BatchRequest Pictures(int count, int width = 24, int height = 16)
    {
        BatchRequest request;
        for (int i = 0; i < count; ++i) {
            const auto path = scratch / vx::test::Numbered("p", i, ".jpg");
            EXPECT_TRUE(WritePicture(path, width + i, height));
            request.rows.push_back(ToU16(path));
        }
        request.destination = ToU16(scratch / "out");
        request.markText = u"Vantry";
        return request;
    }

    Events RunToEnd(const BatchRequest& request)
    {
        EXPECT_EQ(runner.Start(request), StartResult::Started);
        runner.Wait();
        return sink.Events();
    }

    ScratchDir scratch;
    vx::test::RecordingSink sink;
    BatchRunner runner{sink, 0x0409};
};

TEST_F(BatchRunnerTest, ThreeRowsLogAndProgress)
{
    const Events events = RunToEnd(Pictures(3));
    EXPECT_EQ(events, (Events{"log:Start resize,selCount=3,groups=0,nLeave=3\n", "start:0", "range:0-100",
                              "range:0-100", "pos:0", "log:Begin to resize:3", "pos:0", "pos:33", "pos:66", "pos:100",
                              "log:Resize 3 Pictures Finished!", "pos:0", "start:1"}));
    EXPECT_EQ(vx::test::DirectoryNames(scratch / "out"), (std::vector<std::string>{"p0.jpg", "p1.jpg", "p2.jpg"}));
    EXPECT_EQ(vx::test::ReadPictureSize(scratch / "out" / "p1.jpg"), (vx::test::PictureSize{12, 8}));
    EXPECT_FALSE(runner.IsRunning());
    EXPECT_EQ(runner.LastRun().written, 3);
}

TEST_F(BatchRunnerTest, FourAndTwentyRows)
{
    RunToEnd(Pictures(4));
    EXPECT_EQ(sink.Events("pos:"), (Events{"pos:0", "pos:0", "pos:25", "pos:50", "pos:75", "pos:100", "pos:0"}));

    vx::test::RecordingSink twentySink;
    BatchRunner twenty(twentySink, 0x0409);
    ASSERT_EQ(twenty.Start(Pictures(20, 8, 8)), StartResult::Started);
    twenty.Wait();
    const Events logs = twentySink.Events("log:");
    EXPECT_EQ(logs, (Events{"log:Start resize,selCount=20,groups=2,nLeave=4\n", "log:Begin to resize:20",
                            "log:Resize 20 Pictures Finished!"}));
    Events positions{"pos:0"};
    for (int i = 0; i < 20; ++i)
        positions.push_back(vx::test::Numbered("pos:", 100 * i / 20));
    positions.push_back("pos:100");
    positions.push_back("pos:0");
    EXPECT_EQ(twentySink.Events("pos:"), positions);
}

TEST_F(BatchRunnerTest, EmptyDestinationPromptsAndDoesNothingElse)
{
    BatchRequest request = Pictures(2);
    request.destination.clear();
    EXPECT_EQ(runner.Start(request), StartResult::NoDestination);
    request.rows.clear();
    EXPECT_EQ(runner.Start(request), StartResult::NoDestination);
    const std::string box = "box:Please Select Destination Path First!|Tips|window";
    EXPECT_EQ(sink.Events(), (Events{box, box}));
    EXPECT_FALSE(std::filesystem::exists(scratch / "out"));
}

TEST_F(BatchRunnerTest, EmptyListCreatesTheDestinationAndRefreshesTheMark)
{
    BatchRequest request;
    request.destination = ToU16(scratch / "out");
    request.markText = std::u16string(300, u'm');
    EXPECT_EQ(runner.Start(request), StartResult::EmptyList);
    EXPECT_TRUE(std::filesystem::is_directory(scratch / "out"));
    EXPECT_EQ(std::u16string(runner.MarkStyle().text), std::u16string(255, u'm'));
    EXPECT_TRUE(sink.Events().empty());
    request.markText = std::u16string(254, u'm') + u"\U0001F600"; // the cut would split the pair
    EXPECT_EQ(runner.Start(request), StartResult::EmptyList);
    EXPECT_EQ(std::u16string(runner.MarkStyle().text), std::u16string(254, u'm'));
}

TEST_F(BatchRunnerTest, FailedPicturesAreLoggedAndTheRunGoesOn)
{
    BatchRequest request = Pictures(2);
    const std::u16string missing = ToU16(scratch / "missing.jpg");
    request.rows.insert(request.rows.begin() + 1, missing);
    const Events logs = (RunToEnd(request), sink.Events("log:"));
    ASSERT_EQ(logs.size(), 4u);
    EXPECT_EQ(logs[2], "log:Cannot resize " + vx::fs::ToUtf8(missing) + ": the file does not exist");
    EXPECT_EQ(logs[3], "log:Resize 3 Pictures Finished!"); // counts the jobs, not the files
    EXPECT_EQ(vx::test::DirectoryNames(scratch / "out"), (std::vector<std::string>{"p0.jpg", "p1.jpg"}));
    EXPECT_EQ(runner.LastRun().failed, 1);
}

TEST_F(BatchRunnerTest, DestinationWithoutParentGivesAFullRunWithoutFiles)
{
    BatchRequest request = Pictures(2);
    request.destination = ToU16(scratch / "no" / "such");
    const Events logs = (RunToEnd(request), sink.Events("log:"));
    ASSERT_EQ(logs.size(), 5u);
    EXPECT_EQ(logs.back(), "log:Resize 2 Pictures Finished!");
    EXPECT_FALSE(std::filesystem::exists(scratch / "no"));
    EXPECT_EQ(sink.Events("pos:").back(), "pos:0");
}

TEST_F(BatchRunnerTest, AllocationFailureShowsErrorAndEndsTheRun)
{
    BatchRequest request = Pictures(3);
    request.allocateImage = [] { return static_cast<VxImage*>(nullptr); };
    const Events events = RunToEnd(request);
    EXPECT_EQ(events, (Events{"log:Start resize,selCount=3,groups=0,nLeave=3\n", "start:0", "range:0-100",
                              "range:0-100", "pos:0", "log:Begin to resize:3", "box:Error!|Tips|none", "start:1"}));
    EXPECT_TRUE(runner.LastRun().aborted);
}

TEST_F(BatchRunnerTest, OutputsNeverReplaceSourcesAndClashNamesKeepTheExtension)
{
    std::filesystem::create_directories(scratch / "out");
    std::filesystem::create_directories(scratch / "b");
    BatchRequest request = Pictures(1);
    ASSERT_TRUE(WritePicture(scratch / "out" / "inside.jpg", 20, 20));
    ASSERT_TRUE(WritePicture(scratch / "b" / "p0.JPG", 30, 30));
    const auto insideBytes = vx::test::ReadFileBytes(scratch / "out" / "inside.jpg");
    request.rows.push_back(ToU16(scratch / "out" / "inside.jpg"));
    request.rows.push_back(ToU16(scratch / "b" / "p0.JPG"));
    RunToEnd(request);
    EXPECT_EQ(vx::test::DirectoryNames(scratch / "out"),
              (std::vector<std::string>{"inside.jpg", "p0.jpg", "s1_inside.jpg", "s1_p0.jpg"}));
    EXPECT_EQ(vx::test::ReadFileBytes(scratch / "out" / "inside.jpg"), insideBytes);
    EXPECT_EQ(vx::test::ReadPictureSize(scratch / "out" / "s1_p0.jpg"), (vx::test::PictureSize{15, 15}));
    EXPECT_EQ(vx::test::ReadPictureSize(scratch / "out" / "s1_inside.jpg"), (vx::test::PictureSize{10, 10}));
}

// A picture that does not stream (a bitmap) goes through Rescale: one-pixel dark and light
// stripes stay dark when every second column is taken (nearest pixel, mode 1) and turn
// mid-grey under any averaging mode.
TEST_F(BatchRunnerTest, BitmapsAreHalvedByNearestPixel)
{
    VxImage stripes(64, 40, 24, kVxTypeBmp);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 64; ++x)
            stripes.SetPixelColour(x, y, x % 2 ? RGBQUAD{220, 220, 220, 0} : RGBQUAD{30, 30, 30, 0});
    ASSERT_TRUE(stripes.Save(ToU16(scratch / "stripes.bmp").c_str(), kVxTypeBmp));
    BatchRequest request;
    request.rows = {ToU16(scratch / "stripes.bmp")};
    request.destination = ToU16(scratch / "out");
    RunToEnd(request);
    const VxImage out(ToU16(scratch / "out" / "stripes.jpg").c_str(), kVxTypeJpg);
    ASSERT_EQ(out.Width(), 32);
    EXPECT_LT(out.PixelColour(20, 2).rgbGreen, 80); // averaging gives about 125
}

TEST_F(BatchRunnerTest, ParallelRunWritesTheSameBytesAndLog)
{
    BatchRequest request = Pictures(9);
    const Events single = RunToEnd(request);

    vx::test::RecordingSink parallelSink;
    BatchRunner parallel(parallelSink, 0x0409);
    request.destination = ToU16(scratch / "out2");
    request.rows.push_back(ToU16(scratch / "missing.jpg"));
    request.parallelJobs = 3;
    ASSERT_EQ(parallel.Start(request), StartResult::Started);
    parallel.Wait();
    Events parallelEvents = parallelSink.Events();

    for (int i = 0; i < 9; ++i) {
        const std::string name = vx::test::Numbered("p", i, ".jpg");
        EXPECT_EQ(vx::test::ReadFileBytes(scratch / "out" / name), vx::test::ReadFileBytes(scratch / "out2" / name));
    }
    // Same sequence apart from the extra row: its failure line and its progress step.
    EXPECT_EQ(parallelEvents.front(), "log:Start resize,selCount=10,groups=1,nLeave=2\n");
    EXPECT_EQ(parallelSink.Events("pos:"),
              (Events{"pos:0", "pos:0", "pos:10", "pos:20", "pos:30", "pos:40", "pos:50", "pos:60", "pos:70", "pos:80",
                      "pos:90", "pos:100", "pos:0"}));
    EXPECT_EQ(parallelSink.Events("log:Cannot").size(), 1u);
}

TEST_F(BatchRunnerTest, CancelStopsCleanlyAndReenablesStart)
{
    BatchRequest request = Pictures(6, 200, 150);
    sink.onPosition = [this](int position) {
        if (position == 33)
            runner.Cancel();
    };
    const Events events = RunToEnd(request);
    const Events logs = sink.Events("log:");
    ASSERT_EQ(logs.size(), 3u);
    EXPECT_EQ(logs[2].rfind("log:Resize cancelled after ", 0), 0u);
    EXPECT_EQ(events.back(), "start:1");
    EXPECT_EQ(events[events.size() - 2], "pos:0");
    EXPECT_TRUE(runner.LastRun().cancelled);
    // Finished pictures stay; nothing partial or temporary is left.
    for (const std::string& name : vx::test::DirectoryNames(scratch / "out")) {
        EXPECT_EQ(name.rfind("~vx", 0), std::string::npos) << name;
        EXPECT_EQ(vx::test::ReadPictureSize(scratch / "out" / name).width > 0, true) << name;
    }
    EXPECT_LT(vx::test::DirectoryNames(scratch / "out").size(), 6u);
}

TEST_F(BatchRunnerTest, StartWhileRunningIsRefusedAndTheRunKeepsItsCopies)
{
    BatchRequest request = Pictures(2);
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    sink.onPosition = [released](int) { released.wait(); };
    ASSERT_EQ(runner.Start(request), StartResult::Started);
    EXPECT_TRUE(runner.IsRunning());
    request.rows.clear();
    EXPECT_EQ(runner.Start(request), StartResult::Busy);
    EXPECT_FALSE(runner.WaitFor(std::chrono::milliseconds(1)));
    release.set_value();
    EXPECT_TRUE(runner.WaitFor(std::chrono::minutes(1)));
    runner.Wait();
    EXPECT_EQ(runner.LastRun().written, 2);
    EXPECT_EQ(runner.Jobs().size(), 2u);
}

} // namespace
} // namespace vx::batch
