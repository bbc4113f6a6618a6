// The GetMessageW loop with its filters, and the wait that keeps cross-thread
// SendMessageW calls flowing.
#include "app/MessageLoop.h"

#include <algorithm>

namespace vx::app {

void MessageLoop::AddFilter(MessageFilter* filter)
{
    if (filter && std::find(m_filters.begin(), m_filters.end(), filter) == m_filters.end())
        m_filters.push_back(filter);
}

void MessageLoop::RemoveFilter(MessageFilter* filter)
{
    m_filters.erase(std::remove(m_filters.begin(), m_filters.end(), filter), m_filters.end());
}

bool MessageLoop::Filter(MSG& message)
{
    // A filter may remove itself while handling (the dialog closing on Enter): iterate a copy.
    const std::vector<MessageFilter*> filters = m_filters;
    for (MessageFilter* filter : filters) {
        if (filter->PreTranslateMessage(message))
            return true;
    }
    return false;
}

int MessageLoop::Run()
{
    MSG message;
    for (;;) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0)
            break;
        if (got == -1)
            continue;
        if (!Filter(message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return static_cast<int>(message.wParam);
}

void ServeSentMessagesUntil(const std::function<bool()>& done)
{
    while (!done()) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_SENDMESSAGE);
        MSG message;
        PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

} // namespace vx::app
