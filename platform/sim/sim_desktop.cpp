#include "platform/sim/sim_desktop.h"

#include <cstdio>

namespace ostrel::sim {

int SimDesktop::ShowMessageBox(const std::string& text, const std::string& caption,
                               uint32_t style) {
    messageBoxes.push_back(MessageBoxShown{text, caption, style});
    if (answers.empty())
        return kIdOk;
    const int answer = answers.front();
    answers.pop_front();
    return answer;
}

void SimDesktop::DoEvents() {
    ++doEventsCount;
    if (onDoEvents)
        onDoEvents();
}

std::string SimDesktop::TimeOfDayText() {
    const auto total = static_cast<long>(secondsSinceMidnight);
    char text[16];
    std::snprintf(text, sizeof text, "%02ld:%02ld:%02ld", total / 3600 % 24, total / 60 % 60,
                  total % 60);
    return text;
}

uint32_t SimDesktop::AppendToFile(const std::string& path, const std::string& bytes) {
    for (const auto& [directory, error] : directoryErrors) {
        if (path.rfind(directory + "\\", 0) == 0)
            return error;
    }
    files[path] += bytes;
    return 0;
}

}  // namespace ostrel::sim
