// The main window: to be built. Until then a window-less stand-in that keeps the program
// building.
#include <windows.h>

#include "platform/win32/win32_desktop.h"

namespace ostrel::win32 {

struct Win32Desktop::Window {};

Win32Desktop::Win32Desktop() : window_(nullptr), instanceMutex_(nullptr), previousInstance_(false) {
    instanceMutex_ = CreateMutexA(nullptr, FALSE, "OstrelInterface.Instance");
    previousInstance_ = GetLastError() == ERROR_ALREADY_EXISTS;
}
Win32Desktop::~Win32Desktop() {
    if (instanceMutex_)
        CloseHandle(instanceMutex_);
}
void Win32Desktop::CreateMainWindow(WindowEvents&) {}
std::uintptr_t Win32Desktop::WindowHandle() {
    return 0;
}
std::uintptr_t Win32Desktop::WindowIcon() {
    return 0;
}
void Win32Desktop::SetWindowCaption(const std::string&) {}
void Win32Desktop::ShowWindow(WindowShow) {}
bool Win32Desktop::IsWindowVisible() {
    return false;
}
void Win32Desktop::SetLabel(Label, const std::string&) {}
std::string Win32Desktop::GetLabel(Label) {
    return "";
}
void Win32Desktop::SetMenuChecked(MenuItem, bool) {}
bool Win32Desktop::IsMenuChecked(MenuItem) {
    return false;
}
void Win32Desktop::SetTimerEnabled(bool) {}
bool Win32Desktop::IsTimerEnabled() {
    return false;
}
bool Win32Desktop::NotifyIcon(uint32_t, const NotifyIconRecord&) {
    return false;
}
bool Win32Desktop::SetForegroundWindow(std::uintptr_t) {
    return false;
}
void Win32Desktop::PopupToolsMenu() {}

}  // namespace ostrel::win32
