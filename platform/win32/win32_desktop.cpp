#include "platform/win32/win32_desktop.h"

#include <windows.h>

#include "platform/win32/unique_handle.h"

namespace ostrel::win32 {

int Win32Desktop::ShowMessageBox(const std::string& text, const std::string& caption,
                                 uint32_t style) {
    return MessageBoxA(nullptr, text.c_str(), caption.c_str(), style);
}

void Win32Desktop::DoEvents() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

std::string Win32Desktop::TimeOfDayText() {
    char text[64] = {};
    if (GetTimeFormatA(LOCALE_USER_DEFAULT, 0, nullptr, nullptr, text, sizeof text) == 0) {
        SYSTEMTIME now;
        GetLocalTime(&now);
        wsprintfA(text, "%02u:%02u:%02u", now.wHour, now.wMinute, now.wSecond);
    }
    return text;
}

std::string Win32Desktop::ExeDirectory() {
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dir(path, length);
    const auto slash = dir.rfind('\\');
    return slash == std::string::npos ? dir : dir.substr(0, slash);
}

uint32_t Win32Desktop::AppendToFile(const std::string& path, const std::string& bytes) {
    UniqueHandle file(CreateFileA(path.c_str(), FILE_APPEND_DATA,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return GetLastError();
    DWORD written = 0;
    if (!WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) {
        return GetLastError();
    }
    return written == bytes.size() ? 0 : ERROR_WRITE_FAULT;
}

}  // namespace ostrel::win32
