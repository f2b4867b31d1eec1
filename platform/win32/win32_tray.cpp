// The main window's notification icon and its "Tools" pop-up menu.
#include <algorithm>
#include <cstddef>
#include <cstring>

#include "platform/win32/win32_window.h"

namespace ostrel::win32 {
namespace {

// NOTIFYICONDATAA's first form ends right after a 64-byte tip.
static_assert(kNotifyIconRecordSize == NOTIFYICONDATAA_V1_SIZE);
static_assert(sizeof(void*) != 4 || kNotifyIconRecordSize == 88);
static_assert(offsetof(NotifyIconRecord, hIcon) == offsetof(NOTIFYICONDATAA, hIcon));
static_assert(sizeof(NotifyIconRecord::szTip) <= sizeof(NOTIFYICONDATAA::szTip));

NOTIFYICONDATAA ToNotifyIconData(const NotifyIconRecord& record) {
    NOTIFYICONDATAA data = {};
    // Never let the shell read past the structure, whatever size the record claims.
    data.cbSize = std::min<DWORD>(record.cbSize, sizeof data);
    data.hWnd = reinterpret_cast<HWND>(record.hWnd);
    data.uID = record.uID;
    data.uFlags = record.uFlags;
    data.uCallbackMessage = record.uCallbackMessage;
    data.hIcon = reinterpret_cast<HICON>(record.hIcon);
    // The whole field; the zeros after it end a tip that fills all 64 bytes.
    std::memcpy(data.szTip, record.szTip, sizeof record.szTip);
    return data;
}

}  // namespace

void Win32Desktop::Window::RemoveIcon() {
    if (iconAdded) Shell_NotifyIconA(NIM_DELETE, &iconRecord);
}

void Win32Desktop::Window::LetTaskbarMessageIn() {
    // Windows 7's call, looked up at run time so that the program still starts without it.
    using FilterFn = BOOL(WINAPI*)(HWND, UINT, DWORD, CHANGEFILTERSTRUCT*);
    const auto filter = reinterpret_cast<FilterFn>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleA("user32.dll"), "ChangeWindowMessageFilterEx")));
    if (filter && taskbarCreated != 0) filter(hwnd, taskbarCreated, MSGFLT_ALLOW, nullptr);
}

void Win32Desktop::Window::OnTaskbarCreated() {
    // The shell restarted and forgot every icon.
    if (iconAdded) Shell_NotifyIconA(NIM_ADD, &iconRecord);
}

bool Win32Desktop::NotifyIcon(uint32_t message, const NotifyIconRecord& record) {
    Window& w = *window_;
    NOTIFYICONDATAA data = ToNotifyIconData(record);
    // Kept even when the shell refuses: once a taskbar appears, the icon is added there.
    if (message == NIM_ADD || (message == NIM_MODIFY && w.iconAdded)) {
        w.iconRecord = data;
        w.iconAdded = true;
    } else if (message == NIM_DELETE) {
        w.iconAdded = false;
    }
    return Shell_NotifyIconA(message, &data) != FALSE;
}

bool Win32Desktop::SetForegroundWindow(std::uintptr_t window) {
    return ::SetForegroundWindow(reinterpret_cast<HWND>(window)) != FALSE;
}

void Win32Desktop::PopupToolsMenu() {
    Window& w = *window_;
    if (!w.hwnd) return;
    POINT at = {};
    GetCursorPos(&at);
    // The choice comes back as WM_COMMAND, like one from the menu bar.
    TrackPopupMenu(w.tools, 0, at.x, at.y, 0, w.hwnd, nullptr);
    // Lets the next pop-up from the notification area close when the user clicks elsewhere.
    PostMessageA(w.hwnd, WM_NULL, 0, 0);
}

}  // namespace ostrel::win32
