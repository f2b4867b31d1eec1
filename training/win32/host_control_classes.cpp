#include "training/win32/host_control_classes.h"

#include <utility>
#include <vector>

#include "training/win32/host_control_dll.h"

namespace ostrel::training::win32 {

namespace {

// Owns an open registry key and closes it on every way out.
class RegKey {
  public:
    RegKey(HKEY root, const std::wstring& path, REGSAM access) {
        if (RegOpenKeyExW(root, path.c_str(), 0, access, &key_) != ERROR_SUCCESS) key_ = nullptr;
    }
    ~RegKey() {
        if (key_) RegCloseKey(key_);
    }
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;
    HKEY Get() const { return key_; }
    explicit operator bool() const { return key_ != nullptr; }

  private:
    HKEY key_ = nullptr;
};

std::wstring ClsidPath(const ClassesPlace& place) {
    return std::wstring(place.prefix) + L"CLSID\\" + kStandinClsidText;
}

std::wstring ProgIdPath(const ClassesPlace& place) {
    return std::wstring(place.prefix) + kHostProgId;
}

bool KeyExists(const ClassesPlace& place, const std::wstring& path) {
    return static_cast<bool>(RegKey(place.root, path, KEY_QUERY_VALUE | place.view));
}

bool SetText(const ClassesPlace& place, const std::wstring& path, const wchar_t* name,
             const std::wstring& value) {
    HKEY created = nullptr;
    if (RegCreateKeyExW(place.root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_SET_VALUE | place.view, nullptr, &created, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const LSTATUS status =
        RegSetValueExW(created, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(created);
    return status == ERROR_SUCCESS;
}

// Deletes the key and everything under it; a key that is not there is no failure.
bool DeleteTree(const ClassesPlace& place, const std::wstring& path) {
    {
        const RegKey key(place.root, path, KEY_ENUMERATE_SUB_KEYS | place.view);
        if (!key) return !KeyExists(place, path);
        std::wstring name(256, L'\0');  // registry key names are at most 255 characters
        for (;;) {
            DWORD length = static_cast<DWORD>(name.size());
            if (RegEnumKeyExW(key.Get(), 0, name.data(), &length, nullptr, nullptr, nullptr,
                              nullptr) != ERROR_SUCCESS) {
                break;
            }
            if (!DeleteTree(place, path + L"\\" + name.substr(0, length))) break;
        }
    }
    const LSTATUS status = RegDeleteKeyExW(place.root, path.c_str(), place.view, 0);
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

enum class Owner { Nobody, Us, Another };

// Whose the ProgID is in place: a key that exists but does not name our class is taken as
// another server's, whatever it holds.
Owner ProgIdOwner(const ClassesPlace& place) {
    const std::wstring path = ProgIdPath(place);
    if (!KeyExists(place, path)) return Owner::Nobody;
    const auto clsid = DefaultText(place.root, path + L"\\CLSID", place.view);
    return clsid && _wcsicmp(clsid->c_str(), kStandinClsidText) == 0 ? Owner::Us : Owner::Another;
}

// The key's name as the kernel has it (NtQueryKey's KeyNameInformation): two views that show
// one key give one name. "" when it cannot be told.
std::wstring KernelName(const ClassesPlace& place, const std::wstring& path) {
    using QueryKey = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
    static const auto query = reinterpret_cast<QueryKey>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryKey")));
    constexpr int kKeyNameInformation = 3;
    const RegKey key(place.root, path, KEY_QUERY_VALUE | place.view);
    std::vector<ULONG> name(1024);  // the name's length in bytes, then the name
    ULONG size = 0;
    if (!key || !query ||
        query(key.Get(), kKeyNameInformation, name.data(),
              static_cast<ULONG>(name.size() * sizeof(ULONG)), &size) < 0) {
        return {};
    }
    return std::wstring(reinterpret_cast<const wchar_t*>(name.data() + 1),
                        name[0] / sizeof(wchar_t));
}

// Whether a class of the stand-in still points to the ProgID in place: one in either registry
// view that sees this very ProgID key. Windows shares ProgIDs between the views and redirects
// CLSID only; Wine (8.0) redirects a machine's whole Classes key and none of a user's.
bool ProgIdStillNamed(const ClassesPlace& place) {
    const std::wstring progId = KernelName(place, ProgIdPath(place));
    for (const REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
        const ClassesPlace seen{place.root, place.prefix, view, place.name};
        if (KeyExists(seen, ClsidPath(seen)) &&
            _wcsicmp(KernelName(seen, ProgIdPath(seen)).c_str(), progId.c_str()) == 0) {
            return true;
        }
    }
    return false;
}

enum class ClassOwner { Nobody, ThisDll, AnotherCopy, Another };

// Whose the stand-in's class is in place. Another copy of the stand-in (its own description, an
// in-process server elsewhere) is told apart from another program's server: a copy moved to
// another folder is registered again over it, and the 32-bit and 64-bit builds are registered
// side by side. A class key described as the stand-in that names no server is this DLL's
// registration stopped half-way. server: the other server's file, for a message.
ClassOwner ClassOwnerOf(const ClassesPlace& place, const std::wstring& modulePath,
                        std::wstring* server = nullptr) {
    constexpr const wchar_t* kUnnamed = L"a server it does not name";
    const std::wstring clsid = ClsidPath(place);
    if (!KeyExists(place, clsid)) return ClassOwner::Nobody;
    const bool described = DefaultText(place.root, clsid, place.view) == kStandinDescription;
    if (KeyExists(place, clsid + L"\\LocalServer32")) {
        if (server) {
            *server =
                DefaultText(place.root, clsid + L"\\LocalServer32", place.view).value_or(kUnnamed);
        }
        return ClassOwner::Another;
    }
    if (!KeyExists(place, clsid + L"\\InprocServer32")) {
        return described ? ClassOwner::ThisDll : ClassOwner::Nobody;
    }
    const auto inproc = DefaultText(place.root, clsid + L"\\InprocServer32", place.view);
    if (inproc && _wcsicmp(inproc->c_str(), modulePath.c_str()) == 0) return ClassOwner::ThisDll;
    if (described) return inproc ? ClassOwner::AnotherCopy : ClassOwner::ThisDll;
    if (server) *server = inproc.value_or(kUnnamed);
    return ClassOwner::Another;
}

// 32-bit Windows has one registry view, and there a view's name would only confuse.
bool TwoViews() {
    SYSTEM_INFO system = {};
    GetNativeSystemInfo(&system);
    return system.wProcessorArchitecture != PROCESSOR_ARCHITECTURE_INTEL;
}

std::wstring Where(const ClassesPlace& place) {
    std::wstring where = std::wstring(L"in ") + place.name;
    if (TwoViews() && place.view == KEY_WOW64_32KEY) where += L" (32-bit view)";
    if (TwoViews() && place.view == KEY_WOW64_64KEY) where += L" (64-bit view)";
    return where;
}

}  // namespace

std::optional<std::wstring> DefaultText(HKEY root, const std::wstring& path, REGSAM view) {
    const RegKey key(root, path, KEY_QUERY_VALUE | view);
    if (!key) return std::nullopt;
    constexpr DWORD kTextTypes = RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND;
    DWORD size = 0;
    if (RegGetValueW(key.Get(), nullptr, nullptr, kTextTypes, nullptr, nullptr, &size) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
    size = static_cast<DWORD>(value.size() * sizeof(wchar_t));
    if (RegGetValueW(key.Get(), nullptr, nullptr, kTextTypes, nullptr, value.data(), &size) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    value.resize(wcsnlen(value.c_str(), value.size()));
    return value;
}

std::optional<std::wstring> AnotherServer(const ClassesPlace& place,
                                          const std::wstring& modulePath) {
    if (ProgIdOwner(place) == Owner::Another) {
        const auto clsid = DefaultText(place.root, ProgIdPath(place) + L"\\CLSID", place.view);
        return std::wstring(L"the host control's name ") + kHostProgId +
               L" is registered for another server (" +
               (clsid ? L"class " + *clsid : std::wstring(L"it names no class")) + L") " +
               Where(place);
    }
    std::wstring server;
    if (ClassOwnerOf(place, modulePath, &server) == ClassOwner::Another) {
        return std::wstring(L"the stand-in's class ") + kStandinClsidText +
               L" is registered for another server (" + server + L") " + Where(place);
    }
    return std::nullopt;
}

bool WriteClass(const ClassesPlace& place, const std::wstring& modulePath, bool& createdProgId) {
    const Owner owner = ProgIdOwner(place);
    createdProgId = owner == Owner::Nobody;
    if (owner == Owner::Another) return false;
    const std::wstring clsid = ClsidPath(place);
    const std::wstring server = clsid + L"\\InprocServer32";
    const std::wstring progId = ProgIdPath(place);
    return SetText(place, clsid, nullptr, kStandinDescription) &&
           SetText(place, server, nullptr, modulePath) &&
           SetText(place, server, L"ThreadingModel", L"Apartment") &&
           SetText(place, clsid + L"\\ProgID", nullptr, kHostProgId) &&
           SetText(place, progId + L"\\CLSID", nullptr, kStandinClsidText) &&
           SetText(place, progId, nullptr, kStandinDescription);
}

bool RemoveClass(const ClassesPlace& place, const std::wstring& modulePath, bool createdProgId) {
    bool removed = true;
    if (ClassOwnerOf(place, modulePath) == ClassOwner::ThisDll) {
        removed = DeleteTree(place, ClsidPath(place));
    }
    // The ProgID goes with the class it names; while another copy's class still points to it
    // (the other build's too, from the other view), it is that copy's.
    if (createdProgId || (ProgIdOwner(place) == Owner::Us && !ProgIdStillNamed(place))) {
        removed = DeleteTree(place, ProgIdPath(place)) && removed;
    }
    return removed;
}

}  // namespace ostrel::training::win32
