#pragma once
// Texts between the program's ANSI strings and COM's wide strings, in the ANSI code page: the
// program and the host's control convert the same way on both sides of a call.
#include <windows.h>

#include <string>

namespace ostrel::win32 {

inline std::wstring Widen(const std::string& text) {
    if (text.empty()) return {};
    const int n =
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(n, L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
    return wide;
}

inline std::string Narrow(const wchar_t* text, UINT length) {
    if (!text || length == 0) return {};
    const int n = WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(length), nullptr, 0,
                                      nullptr, nullptr);
    std::string narrow(n, '\0');
    WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(length), narrow.data(), n, nullptr,
                        nullptr);
    return narrow;
}

}  // namespace ostrel::win32
