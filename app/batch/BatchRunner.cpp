// The run: Start on the caller's thread, then one worker thread (plus helpers when more
// than one picture is processed at once). Helpers take jobs in list order from a shared
// counter; outcomes are reported strictly in list order, so the log lines and the progress
// positions are the same whatever the number of helpers.
#include "app/batch/BatchRunner.h"

#include "app/batch/MarkStyle.h"
#include "app/batch/NameClashes.h"
#include "platform/FileSystem.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <new>
#include <system_error>

namespace vx::batch {

namespace {

constexpr std::int32_t kGroupSize = 8;
constexpr std::size_t kMaxMarkUnits = 255;
constexpr std::u16string_view kTips = u"Tips";

template <class... Args>
std::u16string Format(const char* format, Args... args)
{
    char buffer[128];
    std::snprintf(buffer, sizeof buffer, format, args...);
    const std::string text(buffer);
    return std::u16string(text.begin(), text.end());
}

// The first 255 units of the mark, without a lone half of a surrogate pair at the cut.
std::u16string_view CutMark(std::u16string_view text)
{
    if (text.size() <= kMaxMarkUnits)
        return text;
    std::size_t length = kMaxMarkUnits;
    if (text[length - 1] >= 0xD800 && text[length - 1] <= 0xDBFF)
        --length;
    return text.substr(0, length);
}

int ProgressAfter(int job, int count)
{
    return static_cast<int>(100LL * job / count);
}

} // namespace

BatchRunner::BatchRunner(BatchSink& sink, std::uint16_t languageId) : m_sink(sink), m_languageId(languageId)
{
    FillMarkStyle(m_textMark, u"", CharsetForLanguage(m_languageId));
}

BatchRunner::~BatchRunner()
{
    Cancel();
    Wait();
}

StartResult BatchRunner::Start(const BatchRequest& request)
{
    if (IsRunning())
        return StartResult::Busy;
    Wait(); // collects the thread of a run that has ended

    m_szDestPath = request.destination;
    if (m_szDestPath.empty()) {
        m_sink.ShowMessage(u"Please Select Destination Path First!", kTips, MessageOwner::Window);
        return StartResult::NoDestination;
    }
    // Created before anything else; an existing directory and a failure are alike here:
    // a destination that does not exist shows up as a failed save of each picture.
    vx::fs::MakeDirectory(m_szDestPath.c_str());
    FillMarkStyle(m_textMark, CutMark(request.markText), CharsetForLanguage(m_languageId));
    if (request.rows.empty())
        return StartResult::EmptyList;

    const int count = static_cast<int>(request.rows.size());
    try {
        m_pJobs.assign(request.rows.size(), ResizeJob{});
        m_rows = request.rows;
        m_outcomes.assign(request.rows.size(), JobOutcome{});
        m_done.assign(request.rows.size(), 0);
    } catch (const std::bad_alloc&) {
        m_pJobs.clear();
        return StartResult::NoMemory;
    }
    groups = 0;
    nLeave = 0;
    selCount = count;
    m_parallelJobs = std::max(1, request.parallelJobs);
    m_allocate = request.allocateImage ? request.allocateImage : &AllocateJobImage;
    m_options = request.options;

    const bool perRowFolders = request.rowFolders.size() == request.rows.size();
    for (int i = 0; i < count; ++i) {
        if (perRowFolders) {
            std::error_code ignored; // a folder that cannot be made shows up as a failed save
            std::filesystem::create_directories(std::filesystem::path(request.rowFolders[i]), ignored);
        }
        BuildResizeJob(m_pJobs[i], i, m_rows[i], perRowFolders ? request.rowFolders[i] : m_szDestPath, this);
    }
    ResolveNameClashes(m_pJobs.data(), count);
    AvoidOverwritingSources(m_pJobs.data(), count);

    groups = selCount / kGroupSize;
    nLeave = selCount % kGroupSize;
    Log(Format("Start resize,selCount=%d,groups=%d,nLeave=%d\n", selCount, groups, nLeave));

    // The Start command is disabled before the worker exists, so the worker's final
    // "enable" can never be overtaken by it.
    m_sink.SetStartEnabled(false);
    m_sink.SetProgressRange(0, 100);

    m_cancel.Reset();
    m_nextJob = 0;
    m_aborted = false;
    m_nextReport = 0;
    m_summary = RunSummary{};
    m_summary.jobs = count;
    m_running = true;
    try {
        m_worker = std::thread(&BatchRunner::RunWorker, this);
    } catch (const std::system_error&) {
        m_running = false;
        Log(u"Cannot start the resize worker");
        m_sink.SetStartEnabled(true);
        return StartResult::NoThread;
    }
    return StartResult::Started;
}

void BatchRunner::Cancel()
{
    m_cancel.Raise();
}

void BatchRunner::Wait()
{
    if (m_worker.joinable() && m_worker.get_id() != std::this_thread::get_id())
        m_worker.join();
}

bool BatchRunner::WaitFor(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_stateMutex);
    return m_finished.wait_for(lock, timeout, [this] { return !IsRunning(); });
}

RunSummary BatchRunner::LastRun() const
{
    return m_summary;
}

void BatchRunner::Log(std::u16string_view line)
{
    m_sink.LogLine(line);
}

void BatchRunner::RunWorker()
{
    m_sink.SetProgressRange(0, 100);
    m_sink.SetProgressPosition(0);
    Log(Format("Begin to resize:%d", selCount));

    std::vector<std::thread> helpers;
    for (int i = 1; i < std::min(m_parallelJobs, selCount); ++i) {
        try {
            helpers.emplace_back(&BatchRunner::WorkLoop, this);
        } catch (const std::system_error&) {
            break; // fewer helpers only make the run slower
        }
    }
    WorkLoop();
    for (std::thread& helper : helpers)
        helper.join();

    if (m_aborted) {
        m_summary.aborted = true;
        m_sink.ShowMessage(u"Error!", kTips, MessageOwner::None);
    } else if (m_nextReport < selCount) {
        m_summary.cancelled = true;
        Log(Format("Resize cancelled after %d of %d Pictures", m_nextReport, selCount));
        m_sink.SetProgressPosition(0);
    } else {
        Log(Format("Resize %d Pictures Finished!", selCount));
        m_sink.SetProgressPosition(0);
    }
    m_sink.SetStartEnabled(true);

    std::lock_guard lock(m_stateMutex);
    m_running = false;
    m_finished.notify_all();
}

void BatchRunner::WorkLoop()
{
    while (!m_aborted && !m_cancel.Raised()) {
        const int index = m_nextJob.fetch_add(1);
        if (index >= selCount)
            return;
        const ResizeJob& job = m_pJobs[index];
        JobOutcome outcome = ProcessResizeJob(job, job.pOwner->MarkStyle(), m_cancel, m_allocate, m_options);
        if (outcome.status == JobStatus::NoMemory) {
            m_aborted = true;
            return;
        }
        Report(index, std::move(outcome));
    }
}

void BatchRunner::Report(int index, JobOutcome outcome)
{
    std::lock_guard lock(m_reportMutex);
    m_outcomes[index] = std::move(outcome);
    m_done[index] = 1;
    while (!m_aborted && m_nextReport < selCount && m_done[m_nextReport]) {
        const JobOutcome& next = m_outcomes[m_nextReport];
        if (next.status == JobStatus::Cancelled)
            return;
        if (next.status == JobStatus::Failed) {
            ++m_summary.failed;
            Log(u"Cannot resize " + m_rows[m_nextReport] + u": " + next.reason);
        } else {
            ++m_summary.written;
            if (!next.note.empty())
                Log(u"Resized " + m_rows[m_nextReport] + u": " + next.note);
        }
        m_sink.SetProgressPosition(ProgressAfter(m_nextReport, selCount));
        if (m_nextReport == selCount - 1)
            m_sink.SetProgressPosition(100);
        ++m_nextReport;
    }
}

} // namespace vx::batch
