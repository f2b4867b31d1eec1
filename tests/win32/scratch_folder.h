#pragma once
// A folder of a test's own under the temporary folder, named as the test needs (in UTF-8, as
// the program's paths are), and removed with all it holds at the end; and what a test of a
// name outside the ANSI code page needs to know of the code page.
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>

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

class ScratchFolder {
  public:
    explicit ScratchFolder(const std::string& name)
        : where_(std::filesystem::temp_directory_path() /
                 WidePath(name + "-" + std::to_string(GetCurrentProcessId()))) {
        std::error_code ignored;
        std::filesystem::remove_all(where_, ignored);  // whatever an earlier run left
        std::filesystem::create_directory(where_, ignored);
        path = Utf8Path(where_.native());
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(where_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    std::string path;

  private:
    std::filesystem::path where_;
};

// A file's bytes; empty when there is none.
inline std::string FileText(const std::string& path) {
    std::ifstream in(std::filesystem::path(WidePath(path)), std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

}  // namespace ostrel::win32
