// A BatchSink that records every call as a short text ("log:...", "range:0-100", "pos:33",
// "start:0", "box:Error!|Tips|none"), for the runner and command-line suites.
#pragma once

#include "app/batch/BatchSink.h"
#include "platform/FileSystem.h"

#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace vx::test {

class RecordingSink : public vx::batch::BatchSink {
public:
    void LogLine(std::u16string_view line) override { Record("log:" + vx::fs::ToUtf8(line)); }
    void SetProgressRange(int minimum, int maximum) override
    {
        Record(std::string("range:") + std::to_string(minimum) + "-" + std::to_string(maximum));
    }
    void SetProgressPosition(int position) override
    {
        Record(std::string("pos:") + std::to_string(position));
        if (onPosition)
            onPosition(position);
    }
    void SetStartEnabled(bool enabled) override { Record(enabled ? "start:1" : "start:0"); }
    void ShowMessage(std::u16string_view text, std::u16string_view caption, vx::batch::MessageOwner owner) override
    {
        Record("box:" + vx::fs::ToUtf8(text) + "|" + vx::fs::ToUtf8(caption) + "|" +
               (owner == vx::batch::MessageOwner::Window ? "window" : "none"));
    }

    std::vector<std::string> Events()
    {
        std::lock_guard lock(m_mutex);
        return m_events;
    }
    // Only the events that start with `prefix`.
    std::vector<std::string> Events(const std::string& prefix)
    {
        std::vector<std::string> selected;
        for (const std::string& event : Events())
            if (event.rfind(prefix, 0) == 0)
                selected.push_back(event);
        return selected;
    }

    std::function<void(int)> onPosition; // called on the worker, after recording

private:
    void Record(std::string event)
    {
        std::lock_guard lock(m_mutex);
        m_events.push_back(std::move(event));
    }

    std::mutex m_mutex;
    std::vector<std::string> m_events;
};

} // namespace vx::test
