// What a batch run reports and to whom: the window or console that drives a BatchRunner
// implements this interface. Calls never overlap; they come from the thread that calls
// Start (during Start) and from the run's worker threads (afterwards).
#pragma once

#include <string_view>

namespace vx::batch {

enum class MessageOwner {
    Window, // owned by the program's window (the destination prompt)
    None,   // a box of its own, shown from a worker thread
};

class BatchSink {
public:
    virtual ~BatchSink() = default;
    // One line for the log, as it should appear (the start line ends in a newline character).
    virtual void LogLine(std::u16string_view line) = 0;
    virtual void SetProgressRange(int minimum, int maximum) = 0;
    virtual void SetProgressPosition(int position) = 0;
    // Enables or disables the command that starts a run.
    virtual void SetStartEnabled(bool enabled) = 0;
    virtual void ShowMessage(std::u16string_view text, std::u16string_view caption, MessageOwner owner) = 0;
};

} // namespace vx::batch
