// Registration of the stand-in host control for the current user, so that no administrator is
// needed to install it for training. Another server's registration of the ProgID is never
// overwritten: the real control may be installed on the same machine.
#include <olectl.h>

#include <new>
#include <optional>
#include <string>

#include "training/win32/host_control_dll.h"

namespace ostrel::training::win32 {

namespace {

constexpr const wchar_t* kUserClasses = L"Software\\Classes\\";

std::wstring ClsidPath(const std::wstring& prefix) {
    return prefix + L"CLSID\\" + kStandinClsidText;
}

std::wstring ProgIdPath(const std::wstring& prefix) {
    return prefix + kHostProgId;
}

std::wstring ModulePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n =
            GetModuleFileNameW(ThisModule(), path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return {};
        if (n < path.size()) return path.substr(0, n);
        if (path.size() >= 32768) return {};
        path.resize(path.size() * 2);
    }
}

bool SetText(HKEY root, const std::wstring& path, const wchar_t* name, const std::wstring& value) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                        nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const LSTATUS status =
        RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

// The key's default text; nothing when the key is missing or holds no text.
std::optional<std::wstring> DefaultText(HKEY root, const std::wstring& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    std::optional<std::wstring> text;
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(key, nullptr, nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
        type == REG_SZ) {
        std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
        size = static_cast<DWORD>(value.size() * sizeof(wchar_t));
        if (RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value.data()),
                             &size) == ERROR_SUCCESS) {
            value.resize(wcsnlen(value.c_str(), value.size()));
            text = std::move(value);
        }
    }
    RegCloseKey(key);
    return text;
}

bool KeyExists(HKEY root, const std::wstring& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

enum class Owner { Nobody, Us, Another };

// Whose the ProgID is under root: a key that exists but does not name our class is taken as
// another server's, whatever it holds.
Owner ProgIdOwner(HKEY root, const std::wstring& prefix) {
    const std::wstring path = ProgIdPath(prefix);
    if (!KeyExists(root, path)) return Owner::Nobody;
    const auto clsid = DefaultText(root, path + L"\\CLSID");
    return clsid && _wcsicmp(clsid->c_str(), kStandinClsidText) == 0 ? Owner::Us : Owner::Another;
}

// Deletes the key and everything under it; a key that is not there is no failure.
bool DeleteTree(HKEY root, const std::wstring& path) {
    HKEY key = nullptr;
    LSTATUS status = RegOpenKeyExW(root, path.c_str(), 0, KEY_ENUMERATE_SUB_KEYS, &key);
    if (status == ERROR_FILE_NOT_FOUND) return true;
    if (status != ERROR_SUCCESS) return false;
    std::wstring name(256, L'\0');  // registry key names are at most 255 characters
    for (;;) {
        DWORD length = static_cast<DWORD>(name.size());
        if (RegEnumKeyExW(key, 0, name.data(), &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        if (!DeleteTree(root, path + L"\\" + name.substr(0, length))) break;
    }
    RegCloseKey(key);
    status = RegDeleteKeyW(root, path.c_str());
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

// Writes the class and the ProgID under root (prefix: where its classes are). Refuses, writing
// nothing, when the ProgID there is another server's. createdProgId tells the caller that
// the ProgID key is ours to remove again even if its writing stopped half-way.
bool WriteClass(HKEY root, const std::wstring& prefix, const std::wstring& modulePath,
                bool& createdProgId) {
    const Owner owner = ProgIdOwner(root, prefix);
    createdProgId = owner == Owner::Nobody;
    if (owner == Owner::Another) return false;
    const std::wstring clsid = ClsidPath(prefix);
    const std::wstring server = clsid + L"\\InprocServer32";
    const std::wstring progId = ProgIdPath(prefix);
    return SetText(root, clsid, nullptr, kStandinDescription) &&
           SetText(root, server, nullptr, modulePath) &&
           SetText(root, server, L"ThreadingModel", L"Apartment") &&
           SetText(root, clsid + L"\\ProgID", nullptr, kHostProgId) &&
           SetText(root, progId + L"\\CLSID", nullptr, kStandinClsidText) &&
           SetText(root, progId, nullptr, kStandinDescription);
}

// Removes our class under root, and the ProgID when it names our class (or we made it).
bool RemoveClass(HKEY root, const std::wstring& prefix, bool createdProgId = false) {
    bool removed = true;
    if (createdProgId || ProgIdOwner(root, prefix) == Owner::Us) {
        removed = DeleteTree(root, ProgIdPath(prefix));
    }
    return DeleteTree(root, ClsidPath(prefix)) && removed;
}

// Whether COM, asked for the ProgID, comes to this very DLL.
bool ComFindsUs(const std::wstring& modulePath) {
    const HRESULT init = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    CLSID clsid = {};
    const HRESULT hr = CLSIDFromProgID(kHostProgId, &clsid);
    if (SUCCEEDED(init)) CoUninitialize();
    if (FAILED(hr) || !IsEqualCLSID(clsid, kStandinClsid)) return false;
    const auto server = DefaultText(HKEY_CLASSES_ROOT, ClsidPath(L"") + L"\\InprocServer32");
    return server && _wcsicmp(server->c_str(), modulePath.c_str()) == 0;
}

HRESULT Register() {
    const std::wstring modulePath = ModulePath();
    if (modulePath.empty()) return SELFREG_E_CLASS;
    bool createdProgId = false;
    if (!WriteClass(HKEY_CURRENT_USER, kUserClasses, modulePath, createdProgId)) {
        RemoveClass(HKEY_CURRENT_USER, kUserClasses, createdProgId);
        return SELFREG_E_CLASS;
    }
    if (ComFindsUs(modulePath)) return S_OK;
    // Wine (8.0) finds ProgIDs and classes in HKEY_CLASSES_ROOT only, never the user's own.
    bool createdRootProgId = false;
    if (WriteClass(HKEY_CLASSES_ROOT, L"", modulePath, createdRootProgId) &&
        ComFindsUs(modulePath)) {
        return S_OK;
    }
    // Registered but not found is no registration: take it all back.
    RemoveClass(HKEY_CLASSES_ROOT, L"", createdRootProgId);
    RemoveClass(HKEY_CURRENT_USER, kUserClasses, createdProgId);
    return SELFREG_E_CLASS;
}

HRESULT Unregister() {
    const bool user = RemoveClass(HKEY_CURRENT_USER, kUserClasses);
    const bool root = RemoveClass(HKEY_CLASSES_ROOT, L"");
    return user && root ? S_OK : SELFREG_E_CLASS;
}

}  // namespace

}  // namespace ostrel::training::win32

STDAPI DllRegisterServer() {
    try {
        return ostrel::training::win32::Register();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return SELFREG_E_CLASS;
    }
}

STDAPI DllUnregisterServer() {
    try {
        return ostrel::training::win32::Unregister();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return SELFREG_E_CLASS;
    }
}
