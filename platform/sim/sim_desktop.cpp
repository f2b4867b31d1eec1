#include "platform/sim/sim_desktop.h"

#include "platform/app_error.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace ostrel::sim {

namespace {
constexpr int64_t kTimerInterval = 1000 * 1000;
}

void SimDesktop::CreateMainWindow(WindowEvents& events) {
    if (failWindowCreations > 0) {
        --failWindowCreations;
        throw AppError(errnum::kOutOfMemory, "CreateMainWindow",
                       "The main window could not be created");
    }
    events_ = &events;
    caption = version.productName;
    labels = {{Label::CompName, version.productName},
              {Label::Status, "Status:"},
              {Label::CCHolder, "Name:"},
              {Label::CCno, "ccno"},
              {Label::CCType, ""},
              {Label::Exp, "Exp: Date"}};
}

void SimDesktop::ShowWindow(WindowShow how) {
    // Minimising, and restoring a minimised window, change its size: that raises a resize.
    bool resized = false;
    switch (how) {
        case WindowShow::Hide:
            visible = false;
            break;
        case WindowShow::Show:
            // As on Windows, a window's first showing sizes it: that raises a resize.
            resized = !shownBefore_;
            shownBefore_ = true;
            visible = true;
            break;
        case WindowShow::Minimize:
            shownBefore_ = true;
            resized = !minimized;
            minimized = true;
            visible = true;
            break;
        case WindowShow::Normal:
            shownBefore_ = true;
            resized = minimized;
            minimized = false;
            visible = true;
            break;
    }
    if (resized && events_) events_->OnResize();
}

void SimDesktop::SetLabel(Label label, const std::string& text) {
    labels[label] = text;
    if (label == Label::Status) {
        statusHistory.push_back(text);
    } else {
        labelHistory.emplace_back(label, text);
    }
}

void SimDesktop::SetTimerEnabled(bool enabled) {
    if (enabled && !timerEnabled) nextTickMicros = nowMicros + kTimerInterval;
    timerEnabled = enabled;
}

bool SimDesktop::NotifyIcon(uint32_t message, const NotifyIconRecord& record) {
    iconCalls.push_back(IconCall{message, record});
    if (message == kNimAdd) {
        const bool added = !iconPresent;
        iconPresent = true;
        return added;
    }
    if (message == kNimDelete) {
        const bool removed = iconPresent;
        iconPresent = false;
        return removed;
    }
    return false;
}

bool SimDesktop::SetForegroundWindow(std::uintptr_t window) {
    ++foregroundCalls;
    return window == kWindow;
}

void SimDesktop::PopupToolsMenu() {
    ++popups;
    // The choice is posted to the window, so it arrives with the next round of the pump.
    if (popupChoice && events_) {
        PostMenu(nowMicros, *popupChoice);
        popupChoice.reset();
    }
}

int SimDesktop::ShowMessageBox(const std::string& text, const std::string& caption,
                               uint32_t style) {
    int answer = kIdOk;
    if (!answers.empty()) {
        answer = answers.front();
        answers.pop_front();
    }
    messageBoxes.push_back(MessageBoxShown{text, caption, style, answer});
    return answer;
}

void SimDesktop::DoEvents() {
    ++doEventsCount;
    PassTimeUntil(nowMicros + pumpStepMicros, {});
    if (onDoEvents) onDoEvents();
    if (events_) {
        events_->OnYield();
        if (const std::uintptr_t wake = WakeHandle(); wake && handleSet && handleSet(wake)) {
            ++wakes;
            events_->OnWake();
        }
    }
    RunDue(false);
    // Like WM_TIMER: one tick however many intervals have passed.
    if (timerEnabled && events_ && nowMicros >= nextTickMicros) {
        nextTickMicros = nowMicros + kTimerInterval;
        ++timerTicks;
        events_->OnTimer();
        if (afterTick) afterTick();
    }
}

void SimDesktop::DispatchCommands() {
    RunDue(true);
}

void SimDesktop::RunDue(bool commandsOnly) {
    for (;;) {
        auto due = script_.end();
        for (auto it = script_.begin(); it != script_.end(); ++it) {
            if (it->at <= nowMicros && (it->kind != Kind::Posted || !commandsOnly) &&
                (due == script_.end() || it->at < due->at))
                due = it;
        }
        if (due == script_.end()) return;
        const std::function<void()> action = due->action;
        script_.erase(due);
        action();
    }
}

bool SimDesktop::WaitForMessage(uint32_t ms) {
    ++messageWaits;
    // What the pump would deliver next: a scripted event or Timer1's tick, if one comes first.
    const int64_t deadline = nowMicros + int64_t{ms} * 1000;
    int64_t next = deadline;
    for (const Scripted& event : script_)
        next = std::min(next, event.at);
    if (timerEnabled && events_) next = std::min(next, nextTickMicros);
    if (PassTimeUntil(next, {WakeHandle()}, true) >= 0) return true;
    return next < deadline;
}

int SimDesktop::SleepUntilSet(uint32_t ms, const std::vector<std::uintptr_t>& handles) {
    return PassTimeUntil(nowMicros + int64_t{ms} * 1000, handles);
}

void SimDesktop::PassTime(int64_t micros) {
    PassTimeUntil(nowMicros + micros, {});
}

std::uintptr_t SimDesktop::WakeHandle() const {
    return events_ ? events_->WakeHandle() : 0;
}

int SimDesktop::FirstSet(const std::vector<std::uintptr_t>& handles) const {
    for (size_t i = 0; i < handles.size(); ++i) {
        if (handles[i] && handleSet && handleSet(handles[i])) return static_cast<int>(i);
    }
    return -1;
}

int SimDesktop::PassTimeUntil(int64_t until, const std::vector<std::uintptr_t>& handles,
                              bool forMessages) {
    for (;;) {
        if (const int set = FirstSet(handles); set >= 0) return set;
        if (forMessages && std::any_of(script_.begin(), script_.end(),
                                       [this](const Scripted& s) { return s.at <= nowMicros; }))
            return static_cast<int>(handles.size());
        const auto due =
            std::min_element(outside_.begin(), outside_.end(),
                             [](const Scripted& a, const Scripted& b) { return a.at < b.at; });
        if (due == outside_.end() || due->at > until) break;
        nowMicros = std::max(nowMicros, due->at);
        const std::function<void()> action = due->action;
        outside_.erase(due);
        action();
        // What else happens at this moment happens before the program can look.
        if (FirstSet(handles) >= 0) RunOutsideDue();
    }
    nowMicros = std::max(nowMicros, until);
    return -1;
}

double SimDesktop::SecondsSinceMidnight() {
    return std::fmod(clockStartSeconds + static_cast<double>(nowMicros) / 1e6, 86400.0);
}

std::string SimDesktop::TimeOfDayText() {
    const auto total = static_cast<long>(SecondsSinceMidnight());
    char text[16];
    std::snprintf(text, sizeof text, "%02ld:%02ld:%02ld", total / 3600 % 24, total / 60 % 60,
                  total % 60);
    return text;
}

uint32_t SimDesktop::AppendToFile(const std::string& path, const std::string& bytes) {
    for (const auto& [directory, error] : directoryErrors) {
        if (path.rfind(directory + "\\", 0) == 0) return error;
    }
    if (const auto held = heldUntil.find(path); held != heldUntil.end() && nowMicros < held->second)
        return kErrorSharingViolation;
    files[path] += bytes;
    return 0;
}

std::string SimDesktop::ShownPath(const std::string& path) {
    std::string shown;
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80)
            shown += c;
        else if (byte >= 0xC0)
            shown += '?';  // a character's first byte; the rest follow it
    }
    return shown;
}

void SimDesktop::AnswerSentMessage() {
    if (!InSentMessage()) return;
    ++sentAnswered;
    if (onSentAnswered) onSentAnswered();
}

void SimDesktop::EndProcess() {
    ended = true;
    if (onEnd) onEnd();
    throw ProcessEnded{};
}

void SimDesktop::At(int64_t at, std::function<void()> action) {
    script_.push_back(Scripted{at, std::move(action)});
}

void SimDesktop::PostMenu(int64_t at, MenuItem item) {
    script_.push_back(Scripted{at, [this, item] { events_->OnMenu(item); }, Kind::Command});
}

void SimDesktop::PostClose(int64_t at) {
    script_.push_back(Scripted{at, [this] { events_->OnCloseRequest(); }, Kind::Command});
}

void SimDesktop::SendDeviceArrival(int64_t at) {
    Send(at, [this] { events_->OnDeviceArrival(); });
}

void SimDesktop::SendEndSession(int64_t at) {
    Send(at, [this] { events_->OnEndSession(); });
}

void SimDesktop::Send(int64_t at, std::function<void()> handler) {
    script_.push_back(Scripted{at,
                               [this, handler] {
                                   struct Handled {
                                       int& depth;
                                       ~Handled() { --depth; }
                                   } handled{++sentDepth_};
                                   handler();
                               },
                               Kind::Sent});
}

void SimDesktop::RunOutsideDue() {
    for (;;) {
        const auto due = std::find_if(outside_.begin(), outside_.end(),
                                      [this](const Scripted& s) { return s.at <= nowMicros; });
        if (due == outside_.end()) return;
        const std::function<void()> action = due->action;
        outside_.erase(due);
        action();
    }
}

void SimDesktop::AtOutside(int64_t at, std::function<void()> action) {
    outside_.push_back(Scripted{at, std::move(action)});
}

}  // namespace ostrel::sim
