#pragma once
// What stops a cashier, told to the Windows event log, where a fleet's tools (event forwarding,
// SIEM agents) collect it: a swipe not read, no reader or one that cannot be used, the host's
// control not created, the reset dialog; and what an inventory of the readers needs: a reader
// other than the one used before, and a reader failing most of its swipes. A successful swipe
// writes nothing. The log file stays as it is; these come beside it.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/app_error.h"
#include "platform/event_log.h"
#include "reader/reader_statistics.h"

namespace ostrel {

// The message ids of the event source's message table (res/ostrel_events.mc).
namespace event_id {
constexpr uint32_t kSwipeNotRead = 1;
constexpr uint32_t kNoReader = 2;
constexpr uint32_t kReaderNotUsable = 3;
constexpr uint32_t kHostControlNotCreated = 4;
constexpr uint32_t kReset = 5;
constexpr uint32_t kReaderChanged = 6;
constexpr uint32_t kReaderFailing = 7;
}  // namespace event_id

class ProgramEvents {
  public:
    explicit ProgramEvents(EventLog& log) : log_(log) {}

    // line: the process log's line for it ("Card data err**..."), without the holder's name.
    void SwipeNotRead(const std::string& line);
    void NoReader();
    // A search that took no reader. The device of the reader's maker it listed (its product id,
    // and reader: what its identity shows) is shown as improper and kept (programEnds false),
    // or the program ends. With none listed there is no reader, whatever else the till lists
    // (keyboard, mouse): NoReader when the program ends.
    void ReaderNotUsable(std::optional<uint16_t> makersDevice, bool programEnds,
                         const std::string& reader);
    // The reader taken is another than the one this Windows user's copies took last (before).
    void ReaderChanged(const std::string& reader, const std::string& before);
    void ReaderFailing(const FailingReader& failing);
    // An error reached the reset dialog; one of a control that could not be created says so
    // first.
    void ResetOffered(const AppError& error);

  private:
    // Every insertion string with no more than the first four digits of a card number.
    void Report(EventType type, uint32_t eventId, std::vector<std::string> strings);

    EventLog& log_;
};

}  // namespace ostrel
