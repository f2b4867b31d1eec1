#include "shell/event_gate.h"

#include <algorithm>

namespace ostrel {

void EventGate::Take(WindowEvent event) {
    if (event == WindowEvent::Tick) {
        // Like WM_TIMER: one tick stands for however many fell due meanwhile.
        if (readerWork_ > 0) return;
        if (std::find(held_.begin(), held_.end(), WindowEvent::Tick) != held_.end()) return;
    }
    held_.push_back(event);
}

std::optional<WindowEvent> EventGate::Next() {
    const auto next = std::find_if(held_.begin(), held_.end(),
                                   [this](WindowEvent event) { return MayRun(event); });
    if (next == held_.end()) return std::nullopt;
    const WindowEvent event = *next;
    held_.erase(next);
    return event;
}

bool EventGate::MayRun(WindowEvent event) const {
    if (hostCalls_ > 0) return false;
    switch (event) {
        case WindowEvent::Tick:
        case WindowEvent::Attach:
            return readerWork_ == 0;
        case WindowEvent::Logging:
        case WindowEvent::End:
        case WindowEvent::Close:
            return true;
    }
    return true;
}

}  // namespace ostrel
