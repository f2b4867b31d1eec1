#pragma once
// An event log for tests: every entry kept, in order.
#include <string>
#include <vector>

#include "platform/event_log.h"

namespace ostrel::sim {

class SimEventLog : public EventLog {
  public:
    struct Entry {
        EventType type;
        uint32_t eventId;
        std::vector<std::string> strings;
    };

    bool WriteEntry(EventType type, uint32_t eventId,
                     const std::vector<std::string>& strings) override {
        entries.push_back({type, eventId, strings});
        return true;
    }

    std::vector<Entry> entries;
};

}  // namespace ostrel::sim
