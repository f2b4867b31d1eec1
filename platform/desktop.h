#pragma once
// The desktop services the program uses: message boxes, the message pump, the clock's text,
// the executable's directory and appending to a file.
#include <cstdint>
#include <string>

namespace ostrel {

// MessageBox styles and answers.
constexpr uint32_t kMbOk = 0x00;
constexpr uint32_t kMbOkCancel = 0x01;
constexpr uint32_t kMbIconCritical = 0x10;
constexpr uint32_t kMbIconInformation = 0x40;
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;

class Desktop {
  public:
    virtual ~Desktop() = default;

    // A modal message box; returns the button pressed.
    virtual int ShowMessageBox(const std::string& text, const std::string& caption,
                               uint32_t style) = 0;
    // Dispatches every pending window message, then returns.
    virtual void DoEvents() = 0;
    // The time of day as the system formats a time.
    virtual std::string TimeOfDayText() = 0;
    // The directory of the program's executable, without a trailing "\".
    virtual std::string ExeDirectory() = 0;
    // Appends bytes to a file, creating it when missing; returns 0 or a Windows error code.
    virtual uint32_t AppendToFile(const std::string& path, const std::string& bytes) = 0;
};

}  // namespace ostrel
