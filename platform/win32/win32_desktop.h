#pragma once
#include "platform/desktop.h"

namespace ostrel::win32 {

// Message boxes, the message pump, the system's time format and files, through user32 and
// kernel32.
class Win32Desktop : public Desktop {
  public:
    int ShowMessageBox(const std::string& text, const std::string& caption,
                       uint32_t style) override;
    void DoEvents() override;
    std::string TimeOfDayText() override;
    std::string ExeDirectory() override;
    uint32_t AppendToFile(const std::string& path, const std::string& bytes) override;
};

}  // namespace ostrel::win32
