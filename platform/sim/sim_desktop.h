#pragma once
// A desktop for tests: message boxes answered from a script and recorded, a pump that counts
// its rounds, a clock set by the test and files kept in memory.
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/desktop.h"

namespace ostrel::sim {

class SimDesktop : public Desktop {
  public:
    struct MessageBoxShown {
        std::string text;
        std::string caption;
        uint32_t style;
    };

    int ShowMessageBox(const std::string& text, const std::string& caption,
                       uint32_t style) override;
    void DoEvents() override;
    std::string TimeOfDayText() override;
    std::string ExeDirectory() override { return exeDirectory; }
    uint32_t AppendToFile(const std::string& path, const std::string& bytes) override;

    // Test side.
    std::vector<MessageBoxShown> messageBoxes;
    std::deque<int> answers;  // pressed in turn; OK when the script runs out
    int doEventsCount = 0;
    std::function<void()> onDoEvents;
    double secondsSinceMidnight = 0;
    std::string exeDirectory = "C:\\Ostrel";
    std::map<std::string, std::string> files;         // by full path
    std::map<std::string, uint32_t> directoryErrors;  // appends below a directory fail so
};

}  // namespace ostrel::sim
