#pragma once
// The event log through advapi32: the source is registered on the first entry and deregistered
// with this object.
#include <string>
#include <utility>

#include "platform/event_log.h"

namespace ostrel::win32 {

class Win32EventLog : public EventLog {
  public:
    explicit Win32EventLog(std::string source = kEventSource) : source_(std::move(source)) {}
    ~Win32EventLog() override;
    Win32EventLog(const Win32EventLog&) = delete;
    Win32EventLog& operator=(const Win32EventLog&) = delete;

    bool WriteEntry(EventType type, uint32_t eventId,
                     const std::vector<std::string>& strings) override;

  private:
    std::string source_;
    void* handle_ = nullptr;  // HANDLE from RegisterEventSourceA
};

}  // namespace ostrel::win32
