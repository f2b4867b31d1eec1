#include "platform/win32/win32_console_desktop.h"

#include <windows.h>

#include <cstdio>

#include "platform/win32/win32_desktop.h"

namespace ostrel::win32 {

int ConsoleDesktop::ShowMessageBox(const std::string& text, const std::string& caption,
                                   uint32_t style) {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    return (style & 0x0F) == kMbOkCancel ? kIdCancel : kIdOk;
}

void ConsoleDesktop::DoEvents() {
    PumpMessages();
}

bool ConsoleDesktop::WaitForMessage(uint32_t ms) {
    return WaitForThreadMessage(ms);
}

void ConsoleDesktop::Sleep(uint32_t ms) {
    ::Sleep(ms);
}

int ConsoleDesktop::SleepUntilSet(uint32_t ms, const std::vector<std::uintptr_t>& handles) {
    return WaitForHandles(ms, handles);
}

double ConsoleDesktop::SecondsSinceMidnight() {
    return LocalSecondsSinceMidnight();
}

int64_t ConsoleDesktop::MonotonicMicros() {
    return PerformanceMicros();
}

std::string ConsoleDesktop::TimeOfDayText() {
    return LocalTimeOfDayText();
}

std::string ConsoleDesktop::DateText() {
    return LocalDateText();
}

std::string ConsoleDesktop::ExeDirectory() {
    return ModuleDirectory();
}

uint32_t ConsoleDesktop::AppendToFile(const std::string& path, const std::string& bytes) {
    return AppendBytesToFile(path, bytes);
}

std::string ConsoleDesktop::ShownPath(const std::string& path) {
    return ShownPathText(path);
}

void ConsoleDesktop::EndProcess() {
    ExitProcess(0);
}

}  // namespace ostrel::win32
