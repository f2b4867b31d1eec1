#include "shell/program_events.h"

#include <cstdio>

#include "carddata/redaction.h"
#include "platform/host_control.h"
#include "shell/status_texts.h"

namespace ostrel {

void ProgramEvents::Report(EventType type, uint32_t eventId, std::vector<std::string> strings) {
    for (std::string& text : strings)
        text = MaskCardNumbers(text);
    // Nothing waits on an entry: a till without an event log takes cards all the same.
    log_.WriteEntry(type, eventId, strings);
}

void ProgramEvents::SwipeNotRead(const std::string& line) {
    Report(EventType::Warning, event_id::kSwipeNotRead, {line});
}

void ProgramEvents::NoReader() {
    Report(EventType::Error, event_id::kNoReader, {});
}

void ProgramEvents::ReaderNotUsable(std::optional<uint16_t> makersDevice, bool programEnds,
                                    const std::string& reader) {
    if (!makersDevice) {
        if (programEnds) NoReader();
        return;
    }
    Report(EventType::Error, event_id::kReaderNotUsable,
           {std::to_string(*makersDevice),
            programEnds ? std::string("the program has ended")
                        : std::string("the program shows \"") + status::kImproperDevice + "\"",
            reader});
}

void ProgramEvents::ReaderChanged(const std::string& reader, const std::string& before) {
    Report(EventType::Information, event_id::kReaderChanged, {reader, before});
}

void ProgramEvents::ReaderFailing(const FailingReader& failing) {
    Report(EventType::Warning, event_id::kReaderFailing,
           {failing.reader, std::to_string(failing.failed), std::to_string(failing.of)});
}

void ProgramEvents::ResetOffered(const AppError& error) {
    if (error.Source() == kHostControlNotCreated) {
        char code[16];
        std::snprintf(code, sizeof code, "0x%08X", static_cast<uint32_t>(error.Number()));
        Report(EventType::Error, event_id::kHostControlNotCreated,
               {kHostControlProgId, code, error.Description()});
    }
    Report(EventType::Error, event_id::kReset,
           {std::to_string(error.Number()), error.Description()});
}

}  // namespace ostrel
