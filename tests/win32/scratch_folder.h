#pragma once
// A folder of a test's own under the temporary folder, named as the test needs (in UTF-8, as
// the program's paths are), and removed with all it holds at the end; and what a test of a
// name outside the ANSI code page needs to know of the code page.
#include <windows.h>

#include <string>

#include "platform/win32/utf8_path.h"

namespace ostrel::win32 {

// "Касса" (a till), in UTF-8: a name no Western code page holds.
constexpr const char* kCyrillicName = "\xD0\x9A\xD0\xB0\xD1\x81\xD1\x81\xD0\xB0";

// Whether the ANSI code page holds every character of a UTF-8 text.
inline bool AnsiCodePageHolds(const std::string& utf8) {
    if (GetACP() == CP_UTF8) return true;
    const std::wstring wide = WidePath(utf8);
    BOOL usedDefault = FALSE;
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()),
                        nullptr, 0, nullptr, &usedDefault);
    return !usedDefault;
}

inline void RemoveTree(const std::wstring& path) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(path + L"\\" + name);
            } else {
                DeleteFileW((path + L"\\" + name).c_str());
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(path.c_str());
}

class ScratchFolder {
  public:
    explicit ScratchFolder(const std::string& name) {
        wchar_t temp[MAX_PATH];
        const DWORD length = GetTempPathW(MAX_PATH, temp);
        path = Utf8Path(std::wstring_view(temp, length)) + name + "-" +
               std::to_string(GetCurrentProcessId());
        RemoveTree(WidePath(path));  // whatever an earlier run left
        CreateDirectoryW(WidePath(path).c_str(), nullptr);
    }
    ~ScratchFolder() { RemoveTree(WidePath(path)); }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    std::string path;
};

// A file's bytes, shared with a program that may be writing it; empty when there is none.
inline std::string FileText(const std::string& path) {
    HANDLE file =
        CreateFileW(WidePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    std::string bytes(GetFileSize(file, nullptr), '\0');
    DWORD read = 0;
    ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
    CloseHandle(file);
    bytes.resize(read);
    return bytes;
}

}  // namespace ostrel::win32
