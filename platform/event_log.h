#pragma once
// The Windows event log, shaped like ReportEventA on the source that RegisterEventSourceA
// opened: an entry of a type and an event id whose message, in the source's message file,
// takes the insertion strings given. (The method is named apart from the Windows call, which is
// a macro there.)
#include <cstdint>
#include <string>
#include <vector>

namespace ostrel {

// The event source: the Application log's entries of the program are filed under this name.
constexpr const char* kEventSource = "Ostrel Interface";

enum class EventType : uint16_t {
    Error = 0x0001,        // EVENTLOG_ERROR_TYPE
    Warning = 0x0002,      // EVENTLOG_WARNING_TYPE
    Information = 0x0004,  // EVENTLOG_INFORMATION_TYPE
};

class EventLog {
  public:
    virtual ~EventLog() = default;

    // False when the entry could not be written; a till goes on without it all the same.
    virtual bool WriteEntry(EventType type, uint32_t eventId,
                             const std::vector<std::string>& strings) = 0;
};

}  // namespace ostrel
