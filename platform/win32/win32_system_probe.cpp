#include "platform/win32/win32_system_probe.h"

#include <windows.h>

#include <vector>

#include "platform/app_error.h"
#include "platform/win32/ansi_text.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/utf8_path.h"
#include "platform/win32/win32_host_control.h"

namespace ostrel::win32 {

namespace {
// A path for the wide file calls, at any length. The program's paths are UTF-8; one that is not
// is a text read through the ANSI calls (a control's server path from the registry) and is
// taken as such.
std::wstring ProbePath(const std::string& path) {
    const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.data(),
                                      static_cast<int>(path.size()), nullptr, 0);
    return ReachablePath(n > 0 || path.empty() ? WidePath(path) : Widen(path));
}
}  // namespace

long Win32SystemProbe::OpenKey(RegKey root, const std::string& subKey, RegView view, RegKey* key) {
    HKEY opened = nullptr;
    const LONG rc = RegOpenKeyExA(reinterpret_cast<HKEY>(root), subKey.c_str(), 0,
                                  KEY_QUERY_VALUE | static_cast<REGSAM>(view), &opened);
    *key = rc == ERROR_SUCCESS ? reinterpret_cast<RegKey>(opened) : 0;
    return rc;
}

long Win32SystemProbe::GetDefaultText(RegKey key, std::string* text) {
    const HKEY hkey = reinterpret_cast<HKEY>(key);
    DWORD size = 0;
    LONG rc = RegGetValueA(hkey, nullptr, nullptr, RRF_RT_REG_SZ, nullptr, nullptr, &size);
    // The value may grow between the calls: each ERROR_MORE_DATA gives the size to try next.
    for (int attempt = 0; attempt < 4 && rc == ERROR_SUCCESS; ++attempt) {
        std::vector<char> data(static_cast<size_t>(size) + 1, '\0');
        size = static_cast<DWORD>(data.size());
        rc = RegGetValueA(hkey, nullptr, nullptr, RRF_RT_REG_SZ, nullptr, data.data(), &size);
        if (rc == ERROR_SUCCESS) {
            *text = std::string(data.data(), strnlen(data.data(), data.size()));
            return ERROR_SUCCESS;
        }
        if (rc == ERROR_MORE_DATA) rc = ERROR_SUCCESS;
    }
    return rc == ERROR_SUCCESS ? ERROR_MORE_DATA : rc;
}

long Win32SystemProbe::CloseKey(RegKey key) {
    return RegCloseKey(reinterpret_cast<HKEY>(key));
}

ProcessorArchitecture Win32SystemProbe::NativeArchitecture() {
    SYSTEM_INFO info = {};
    GetNativeSystemInfo(&info);
    return static_cast<ProcessorArchitecture>(info.wProcessorArchitecture);
}

uint32_t Win32SystemProbe::FileAttributes(const std::string& path) {
    return GetFileAttributesW(ProbePath(path).c_str());
}

uint32_t Win32SystemProbe::OpenForAppend(const std::string& path) {
    // The program's own access to its log: a per-machine install lets users append to the log
    // in a folder they cannot create files in. Never created here: a log made by an elevated
    // run would be one users cannot append to.
    UniqueHandle file(CreateFileW(ProbePath(path).c_str(), FILE_APPEND_DATA,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    return file ? 0 : GetLastError();
}

uint32_t Win32SystemProbe::MayCreateFileIn(const std::string& folder) {
    const std::wstring path = ProbePath(folder);
    constexpr SECURITY_INFORMATION kParts =
        OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    DWORD size = 0;
    GetFileSecurityW(path.c_str(), kParts, nullptr, 0, &size);
    if (size == 0) return GetLastError();
    std::vector<uint8_t> descriptor(size);
    if (!GetFileSecurityW(path.c_str(), kParts, descriptor.data(), size, &size))
        return GetLastError();
    // AccessCheck takes "a handle to an impersonation token" (AccessCheck, ClientToken): the
    // process's own token, duplicated at the identification level.
    HANDLE opened = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_QUERY, &opened))
        return GetLastError();
    const UniqueHandle processToken(opened);
    HANDLE duplicated = nullptr;
    if (!DuplicateToken(processToken.Get(), SecurityIdentification, &duplicated))
        return GetLastError();
    const UniqueHandle token(duplicated);
    GENERIC_MAPPING mapping = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE,
                               FILE_ALL_ACCESS};
    PRIVILEGE_SET privileges = {};
    DWORD privilegesSize = sizeof privileges;
    DWORD granted = 0;
    BOOL allowed = FALSE;
    if (!AccessCheck(descriptor.data(), token.Get(), FILE_ADD_FILE, &mapping, &privileges,
                     &privilegesSize, &granted, &allowed))
        return GetLastError();
    return allowed ? 0 : ERROR_ACCESS_DENIED;
}

uint32_t Win32SystemProbe::ReadFileEnd(const std::string& path, uint32_t maxBytes,
                                       std::string* bytes) {
    // Shared so that the program may go on appending while the tool reads.
    UniqueHandle file(CreateFileW(ProbePath(path).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return GetLastError();
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.Get(), &size)) return GetLastError();
    const LONGLONG start = size.QuadPart > maxBytes ? size.QuadPart - maxBytes : 0;
    LARGE_INTEGER at;
    at.QuadPart = start;
    if (!SetFilePointerEx(file.Get(), at, nullptr, FILE_BEGIN)) return GetLastError();
    std::string data(static_cast<size_t>(size.QuadPart - start), '\0');
    DWORD read = 0;
    if (!data.empty() &&
        !::ReadFile(file.Get(), data.data(), static_cast<DWORD>(data.size()), &read, nullptr)) {
        return GetLastError();
    }
    data.resize(read);
    *bytes = std::move(data);
    return 0;
}

int32_t Win32SystemProbe::CreateControl(const std::string& progId, std::string* description) {
    try {
        CreateHostControl(progId.c_str());
        return 0;
    } catch (const AppError& failure) {
        *description = failure.Description();
        return failure.Number();
    }
}

std::string Win32SystemProbe::ComputerName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    return GetComputerNameW(name, &size) ? Utf8Path(std::wstring_view(name, size)) : "";
}

std::string Win32SystemProbe::UserName() {
    wchar_t name[257] = {};  // UNLEN + 1
    DWORD size = 257;
    // The size given back counts the terminating zero.
    return GetUserNameW(name, &size) && size > 0 ? Utf8Path(std::wstring_view(name, size - 1)) : "";
}

UtcTime Win32SystemProbe::SystemTimeUtc() {
    SYSTEMTIME now = {};
    GetSystemTime(&now);
    return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

std::string Win32SystemProbe::AnsiToUtf8(const std::string& text) {
    return Utf8Path(Widen(text));
}

}  // namespace ostrel::win32
