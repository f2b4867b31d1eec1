#include "platform/win32/win32_event_log.h"

#include <windows.h>

namespace ostrel::win32 {

static_assert(static_cast<WORD>(EventType::Error) == EVENTLOG_ERROR_TYPE);
static_assert(static_cast<WORD>(EventType::Warning) == EVENTLOG_WARNING_TYPE);
static_assert(static_cast<WORD>(EventType::Information) == EVENTLOG_INFORMATION_TYPE);

Win32EventLog::~Win32EventLog() {
    if (handle_) DeregisterEventSource(handle_);
}

bool Win32EventLog::WriteEntry(EventType type, uint32_t eventId,
                                const std::vector<std::string>& strings) {
    // A source that is not registered (a per-user install) still gets its entries; the event
    // viewer then shows the insertion strings without the message around them.
    if (!handle_) handle_ = RegisterEventSourceA(nullptr, source_.c_str());
    if (!handle_) return false;
    std::vector<const char*> texts;
    for (const std::string& text : strings)
        texts.push_back(text.c_str());
    return ReportEventA(handle_, static_cast<WORD>(type), 0, eventId, nullptr,
                        static_cast<WORD>(texts.size()), 0, texts.data(), nullptr) != FALSE;
}

}  // namespace ostrel::win32
