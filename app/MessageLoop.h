// The program's message loop: waits for the thread's messages, offers each to the
// registered filters (the main dialog's keyboard handling) and translates and dispatches
// the rest, until WM_QUIT, whose code it returns.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <functional>
#include <vector>

namespace vx::app {

class MessageFilter {
public:
    virtual ~MessageFilter() = default;
    // True when the message was taken and must not be dispatched.
    virtual bool PreTranslateMessage(MSG& message) = 0;
};

class MessageLoop {
public:
    void AddFilter(MessageFilter* filter);
    void RemoveFilter(MessageFilter* filter);
    // Offers `message` to the filters; true when one of them took it.
    bool Filter(MSG& message);
    // Runs until WM_QUIT; returns its exit code.
    int Run();

private:
    std::vector<MessageFilter*> m_filters;
};

// Waits until `done` returns true while serving the messages other threads send to this
// thread's windows (a worker blocked in SendMessageW can go on); posted messages stay
// queued.
void ServeSentMessagesUntil(const std::function<bool()>& done);

} // namespace vx::app
