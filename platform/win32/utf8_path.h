#pragma once
// Paths travel through the program in UTF-8 and reach Windows through the wide calls: a folder's
// name (a user profile's, say) may hold characters that the ANSI code page cannot, and an ANSI
// call would find another file or none. The program's texts stay in the ANSI code page.
#include <windows.h>

#include <string>
#include <string_view>

namespace ostrel::win32 {

inline std::wstring WidePath(std::string_view utf8) {
    if (utf8.empty()) return {};
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
    return wide;
}

inline std::string Utf8Path(std::wstring_view wide) {
    if (wide.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string utf8(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), n,
                        nullptr, nullptr);
    return utf8;
}

// How the ANSI code page stands in for a character it cannot hold.
enum class Unmappable {
    BestFit,   // a look-alike where there is one, as Windows gives GetCommandLineA
    Question,  // "?": a path shown so names no other folder
};

// UTF-8 in the ANSI code page, for the program's texts.
inline std::string AnsiText(std::string_view utf8, Unmappable unmappable) {
    const std::wstring wide = WidePath(utf8);
    if (wide.empty()) return {};
    const auto convert = [&](DWORD flags, char* out, int size) {
        return WideCharToMultiByte(CP_ACP, flags, wide.data(), static_cast<int>(wide.size()), out,
                                   size, nullptr, nullptr);
    };
    DWORD flags = unmappable == Unmappable::Question ? WC_NO_BEST_FIT_CHARS : 0;
    int n = convert(flags, nullptr, 0);
    // A UTF-8 ANSI code page (65001) refuses the flag, and holds every character anyway.
    if (n == 0 && GetLastError() == ERROR_INVALID_FLAGS) n = convert(flags = 0, nullptr, 0);
    std::string ansi(n, '\0');
    convert(flags, ansi.data(), n);
    return ansi;
}

// Whether two paths name the same file as the file system compares names, near enough: each
// upper-cased character by character, in every script, then compared.
inline bool SameFileName(std::string_view a, std::string_view b) {
    const std::wstring wa = WidePath(a);
    const std::wstring wb = WidePath(b);
    return CompareStringOrdinal(wa.data(), static_cast<int>(wa.size()), wb.data(),
                                static_cast<int>(wb.size()), TRUE) == CSTR_EQUAL;
}

// The text a call writes into a buffer it is given, which it answers with the length written, or
// with the size it needs (its NUL counted) when the buffer is too small; "" when it fails.
template <class Call>
std::wstring GrownText(Call&& call) {
    std::wstring text(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 4; ++attempt) {
        const DWORD n = call(text.data(), static_cast<DWORD>(text.size()));
        if (n == 0) return {};
        if (n < text.size()) return text.substr(0, n);
        text.resize(n);
    }
    return {};
}

inline std::wstring FullWidePath(const std::wstring& path) {
    if (path.empty()) return {};
    return GrownText([&](wchar_t* out, DWORD size) {
        return GetFullPathNameW(path.c_str(), size, out, nullptr);
    });
}

// A path as the file system names the file: in full against the working folder, and with long
// names for 8.3 ones where the file exists. "" when it cannot be made full.
inline std::string FullLongPath(std::string_view utf8) {
    const std::wstring full = FullWidePath(WidePath(utf8));
    if (full.empty()) return {};
    const std::wstring longForm = GrownText(
        [&](wchar_t* out, DWORD size) { return GetLongPathNameW(full.c_str(), out, size); });
    return Utf8Path(longForm.empty() ? full : longForm);
}

// A path the file calls reach at any length. Past MAX_PATH they fail unless the path has the
// "\\?\" form (full, "\" only), which every version takes; the manifest's longPathAware would
// need Windows 10 1607 and a machine policy that is off unless an administrator sets it.
inline std::wstring ReachablePath(const std::wstring& path) {
    if (path.starts_with(L"\\\\?\\") || path.starts_with(L"\\\\.\\")) return path;
    const std::wstring full = FullWidePath(path);
    if (full.size() < MAX_PATH) return path;  // as it always went
    if (full.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

}  // namespace ostrel::win32
