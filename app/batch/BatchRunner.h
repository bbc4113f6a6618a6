// BatchRunner: turns a picture list into a run. Start checks the destination, creates it,
// refreshes the mark style, builds one ResizeJob per row (renaming clashing outputs) and
// starts a worker thread that processes the jobs in list order, reporting through a
// BatchSink: the log lines, the progress bar (0-100), the Start command's enabled state and
// the two message boxes. The run works on its own copies of the rows, destination and mark.
//
// Driving it from a window: call Start from the window's thread; the sink is then called
// from the worker, and its last call of a run is SetStartEnabled(true). To close the window
// during a run, call Cancel and keep handling messages until IsRunning() is false (a sink
// that sends messages to the window would otherwise wait for it forever), then destroy the
// runner.
#pragma once

#include "app/batch/BatchSink.h"
#include "app/batch/CancelSignal.h"
#include "app/batch/ResizeJob.h"
#include "image/TextMark.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vx::batch {

struct BatchRequest {
    std::vector<std::u16string> rows; // picture paths, top row first
    std::u16string destination;       // directory; its last component is created at Start
    std::u16string markText;          // the first 255 characters are drawn
    int parallelJobs = 1;             // pictures processed at once (outputs and log are the same)
    ImageAllocator allocateImage = &AllocateJobImage;
    // When there is one per row: the folder that row's output goes to instead of the
    // destination, made with its parents at Start. Name clashes are resolved per folder.
    std::vector<std::u16string> rowFolders;
    JobOptions options; // the program's own runs ask for nothing more
};

enum class StartResult {
    Started,
    NoDestination, // the destination was empty; the sink showed the prompt
    EmptyList,     // nothing to do (the directory was created and the mark refreshed)
    Busy,          // a run is still going on
    NoMemory,      // the job array could not be allocated
    NoThread,      // the worker could not be started; logged, Start enabled again
};

struct RunSummary {
    int jobs = 0;
    int written = 0;
    int failed = 0;
    bool cancelled = false;
    bool aborted = false; // a picture object could not be allocated ("Error!")
};

class BatchRunner {
public:
    // `languageId` chooses the character set of the mark font.
    explicit BatchRunner(BatchSink& sink, std::uint16_t languageId);
    ~BatchRunner(); // cancels a run in progress and waits for it
    BatchRunner(const BatchRunner&) = delete;
    BatchRunner& operator=(const BatchRunner&) = delete;

    StartResult Start(const BatchRequest& request);
    // Stops the run before its next picture and inside the current decode or rescale; the
    // run then logs one line, leaves no partial file and enables Start. Any thread.
    void Cancel();
    // Waits for the end of the run (not from inside a sink call).
    void Wait();
    // True when no run is going on once the wait is over.
    bool WaitFor(std::chrono::milliseconds timeout);
    bool IsRunning() const { return m_running.load(std::memory_order_acquire); }

    // The style every job draws its mark in; refreshed at each Start.
    const TextMark& MarkStyle() const { return m_textMark; }
    // The jobs and outcome of the current or last run; read them only while no run is going on.
    const std::vector<ResizeJob>& Jobs() const { return m_pJobs; }
    RunSummary LastRun() const;

private:
    void RunWorker();
    void WorkLoop();
    void Report(int index, JobOutcome outcome);
    void Log(std::u16string_view line);

    BatchSink& m_sink;
    std::uint16_t m_languageId;
    TextMark m_textMark;

    // Written by Start before the worker starts and not again while it runs.
    std::u16string m_szDestPath;
    std::vector<ResizeJob> m_pJobs;
    std::vector<std::u16string> m_rows;
    std::int32_t selCount = 0;
    std::int32_t groups = 0;
    std::int32_t nLeave = 0;
    int m_parallelJobs = 1;
    ImageAllocator m_allocate = &AllocateJobImage;
    JobOptions m_options;

    // Run progress, shared by the worker threads.
    CancelSignal m_cancel;
    std::atomic<int> m_nextJob{0};
    std::atomic<bool> m_aborted{false};
    std::mutex m_reportMutex;
    std::vector<JobOutcome> m_outcomes;
    std::vector<char> m_done;
    int m_nextReport = 0;
    RunSummary m_summary;

    std::thread m_worker;
    std::atomic<bool> m_running{false};
    std::mutex m_stateMutex;
    std::condition_variable m_finished;
};

} // namespace vx::batch
