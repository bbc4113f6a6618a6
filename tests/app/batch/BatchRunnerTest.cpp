// The runner as the window and the command line drive it: the Start checks, the log lines
// and progress positions in order (also from parallel workers), failures, allocation
// failure, cancellation and a start while running.
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
    BatchRequest Pictures(int count)
    {
        BatchRequest request;
        for (int i = 0; i < count; ++i) {
            const auto path = scratch / ("p" + std::to_string(i) + ".jpg");
            EXPECT_TRUE(WritePicture(path, 24 + i, 16));
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

// Three workers on three rows: the log and the progress still come in row order (the same
// files and log as one worker: see the command-line suite).
TEST_F(BatchRunnerTest, ThreeRowsLogAndProgress)
{
    BatchRequest request = Pictures(3);
    request.parallelJobs = 3;
    const Events events = RunToEnd(request);
    EXPECT_EQ(events, (Events{"log:Start resize,selCount=3,groups=0,nLeave=3\n", "start:0", "range:0-100",
                              "range:0-100", "pos:0", "log:Begin to resize:3", "pos:0", "pos:33", "pos:66", "pos:100",
                              "log:Resize 3 Pictures Finished!", "pos:0", "start:1"}));
    EXPECT_EQ(vx::test::DirectoryNames(scratch / "out"), (std::vector<std::string>{"p0.jpg", "p1.jpg", "p2.jpg"}));
    EXPECT_EQ(runner.LastRun().written, 3);
}

// No destination prompts (before an empty list is looked at) and does nothing else; an empty
// list creates the destination and refreshes the mark, cut to 255 units but not inside a pair.
TEST_F(BatchRunnerTest, StartsThatRunNothing)
{
    BatchRequest request = Pictures(2);
    request.destination.clear();
    EXPECT_EQ(runner.Start(request), StartResult::NoDestination);
    request.rows.clear();
    EXPECT_EQ(runner.Start(request), StartResult::NoDestination);
    const std::string box = "box:Please Select Destination Path First!|Tips|window";
    EXPECT_EQ(sink.Events(), (Events{box, box}));
    EXPECT_FALSE(std::filesystem::exists(scratch / "out"));

    request.destination = ToU16(scratch / "out");
    request.markText = std::u16string(300, u'm');
    EXPECT_EQ(runner.Start(request), StartResult::EmptyList);
    EXPECT_TRUE(std::filesystem::is_directory(scratch / "out"));
    EXPECT_EQ(std::u16string(runner.MarkStyle().text), std::u16string(255, u'm'));
    request.markText = std::u16string(254, u'm') + u"\U0001F600";
    EXPECT_EQ(runner.Start(request), StartResult::EmptyList);
    EXPECT_EQ(std::u16string(runner.MarkStyle().text), std::u16string(254, u'm'));
    EXPECT_EQ(sink.Events().size(), 2u);
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

// A row inside the destination, named there in another spelling, is not written over; a row
// elsewhere keeps its name.
TEST_F(BatchRunnerTest, AnOutputNeverReplacesItsSource)
{
    BatchRequest request = Pictures(1);
    const auto inside = scratch / "out" / "x.jpg";
    std::filesystem::create_directories(scratch / "out");
    ASSERT_TRUE(WritePicture(inside, 20, 20));
    const auto insideBytes = vx::test::ReadFileBytes(inside);
    request.rows.push_back(ToU16(inside));
    request.destination = ToU16(scratch / "out" / "." / "");
    RunToEnd(request);
    EXPECT_EQ(vx::test::ReadFileBytes(inside), insideBytes);
    EXPECT_EQ(vx::test::DirectoryNames(scratch / "out"), (std::vector<std::string>{"p0.jpg", "s1_x.jpg", "x.jpg"}));
    EXPECT_EQ(vx::test::ReadPictureSize(scratch / "out" / "s1_x.jpg"), (std::pair{10, 10}));
}

// The cancel is raised on the worker as the second row is reported: the worker takes no
// further row (the next one, whose path does not fit, would fail before it looks at the
// signal); finished pictures stay, nothing partial or temporary is left.
TEST_F(BatchRunnerTest, CancelStopsTheWorkerAtOnceAndReenablesStart)
{
    BatchRequest request = Pictures(3);
    request.rows.insert(request.rows.begin() + 2, u"/p/" + std::u16string(257, u'a'));
    sink.onPosition = [this](int position) {
        if (position == 25)
            runner.Cancel();
    };
    const Events events = RunToEnd(request);
    EXPECT_EQ(sink.Events("log:"), (Events{"log:Start resize,selCount=4,groups=0,nLeave=4\n", "log:Begin to resize:4",
                                           "log:Resize cancelled after 2 of 4 Pictures"}));
    EXPECT_EQ(events.back(), "start:1");
    EXPECT_EQ(events[events.size() - 2], "pos:0");
    EXPECT_TRUE(runner.LastRun().cancelled);
    EXPECT_EQ(vx::test::DirectoryNames(scratch / "out"), (std::vector<std::string>{"p0.jpg", "p1.jpg"}));
}

TEST_F(BatchRunnerTest, StartWhileRunningIsRefusedAndTheRunKeepsItsCopies)
{
    BatchRequest request = Pictures(2);
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    sink.onPosition = [released](int) { released.wait(); };
    ASSERT_EQ(runner.Start(request), StartResult::Started);
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
