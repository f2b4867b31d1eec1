// Registration of the stand-in host control for the current user, so that no administrator is
// needed to install it for training. A registration per user outranks the machine's, so the
// stand-in is registered only where no other server has the host control's name or the
// stand-in's class anywhere COM looks: the real control may be installed on the same machine.
#include <olectl.h>
#include <shellapi.h>

#include <new>
#include <string>

#include "platform/win32/com_ref.h"
#include "platform/win32/unique_handle.h"
#include "training/win32/host_control_classes.h"
#include "training/win32/host_control_dll.h"

namespace ostrel::training::win32 {

namespace {

using ostrel::win32::ComRef;
using ostrel::win32::UniqueHandle;

const ClassesPlace kUserClasses = {HKEY_CURRENT_USER, L"Software\\Classes\\", 0,
                                   L"HKEY_CURRENT_USER\\Software\\Classes"};
const ClassesPlace kRootClasses = {HKEY_CLASSES_ROOT, L"", 0, L"HKEY_CLASSES_ROOT"};
// Where COM looks for a class: the user's classes before the machine's, each in the 32-bit and
// the 64-bit view (the class keys differ between them; the ProgIDs are shared on Windows).
const ClassesPlace kComLooks[] = {
    {HKEY_CURRENT_USER, L"Software\\Classes\\", KEY_WOW64_64KEY,
     L"HKEY_CURRENT_USER\\Software\\Classes"},
    {HKEY_CURRENT_USER, L"Software\\Classes\\", KEY_WOW64_32KEY,
     L"HKEY_CURRENT_USER\\Software\\Classes"},
    {HKEY_LOCAL_MACHINE, L"Software\\Classes\\", KEY_WOW64_64KEY,
     L"HKEY_LOCAL_MACHINE\\Software\\Classes"},
    {HKEY_LOCAL_MACHINE, L"Software\\Classes\\", KEY_WOW64_32KEY,
     L"HKEY_LOCAL_MACHINE\\Software\\Classes"},
};

constexpr const wchar_t* kNotRegistered = L"The stand-in host control was not registered: ";
constexpr const wchar_t* kNothingChanged = L" Nothing was changed.";
constexpr const wchar_t* kTakesOver =
    L". Registering the training stand-in over it would send this user's programs to the "
    L"stand-in instead.";
constexpr const wchar_t* kElevated =
    L"this program runs elevated (as administrator), and elevated programs ignore the "
    L"registrations made for a user, which is how the stand-in is registered. Run regsvr32 "
    L"kt4r_control.dll from a command prompt that is not run as administrator.";
constexpr const wchar_t* kNotWritten =
    L"its keys could not all be written for the current user, so those written were taken "
    L"back.";
constexpr const wchar_t* kNotFound =
    L"after its keys were written COM did not find it under the host control's name, so they "
    L"were taken back.";

std::wstring ModulePath(HMODULE module) {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return {};
        if (n < path.size()) return path.substr(0, n);
        if (path.size() >= 32768) return {};
        path.resize(path.size() * 2);
    }
}

// Wine's COM reads only the machine's classes, and Wine runs every program elevated.
bool OnWine() {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

// An elevated process does not load per-user classes, so it would never find the stand-in.
bool Elevated() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    const UniqueHandle owned(token);
    TOKEN_ELEVATION elevation = {};
    DWORD size = 0;
    return GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) &&
           elevation.TokenIsElevated != 0;
}

// Whether COM, asked for the ProgID, comes to this very DLL.
bool ComFindsUs(const std::wstring& modulePath) {
    const HRESULT init = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    CLSID clsid = {};
    const HRESULT hr = CLSIDFromProgID(kHostProgId, &clsid);
    if (SUCCEEDED(init)) CoUninitialize();
    if (FAILED(hr) || !IsEqualCLSID(clsid, kStandinClsid)) return false;
    const auto server = DefaultText(
        HKEY_CLASSES_ROOT, std::wstring(L"CLSID\\") + kStandinClsidText + L"\\InprocServer32");
    return server && _wcsicmp(server->c_str(), modulePath.c_str()) == 0;
}

// regsvr32 started by a person, without /s: it shows only the code DllRegisterServer returns.
bool InteractiveRegsvr32() {
    const std::wstring program = ModulePath(nullptr);
    const size_t slash = program.find_last_of(L"\\/");
    const std::wstring name = slash == std::wstring::npos ? program : program.substr(slash + 1);
    if (_wcsicmp(name.c_str(), L"regsvr32.exe") != 0) return false;
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!arguments) return false;
    bool silent = false;
    for (int i = 1; i < count; ++i) {
        const wchar_t* argument = arguments[i];
        silent = silent || ((argument[0] == L'/' || argument[0] == L'-') &&
                            _wcsicmp(argument + 1, L"s") == 0);
    }
    LocalFree(arguments);
    return !silent;
}

// Why registering failed: for a COM caller where it looks (as the control's operations report
// through EXCEPINFO), and for a person who ran regsvr32 in a message box.
HRESULT Refuse(const std::wstring& reason) {
    const std::wstring text = kNotRegistered + reason;
    ComRef<ICreateErrorInfo> create;
    ComRef<IErrorInfo> info;
    if (SUCCEEDED(CreateErrorInfo(create.Put())) &&
        SUCCEEDED(create->SetSource(const_cast<LPOLESTR>(kStandinSource))) &&
        SUCCEEDED(create->SetDescription(const_cast<LPOLESTR>(text.c_str()))) &&
        SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(info.Put())))) {
        SetErrorInfo(0, info.Get());
    }
    if (InteractiveRegsvr32()) {
        MessageBoxW(nullptr, text.c_str(), kStandinSource, MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
    }
    return SELFREG_E_CLASS;
}

HRESULT Register() {
    const std::wstring modulePath = ModulePath(ThisModule());
    if (modulePath.empty()) return SELFREG_E_CLASS;
    const bool wine = OnWine();
    if (!wine && Elevated()) return Refuse(std::wstring(kElevated) + kNothingChanged);
    for (const ClassesPlace& place : kComLooks) {
        if (const auto other = AnotherServer(place, modulePath)) {
            return Refuse(*other + kTakesOver + kNothingChanged);
        }
    }
    bool createdProgId = false;
    if (!WriteClass(kUserClasses, modulePath, createdProgId)) {
        RemoveClass(kUserClasses, modulePath, createdProgId);
        return Refuse(kNotWritten);
    }
    if (ComFindsUs(modulePath)) return S_OK;
    // Wine (8.0) finds ProgIDs and classes in HKEY_CLASSES_ROOT only, never the user's own.
    if (wine) {
        bool createdRootProgId = false;
        if (WriteClass(kRootClasses, modulePath, createdRootProgId) && ComFindsUs(modulePath)) {
            return S_OK;
        }
        RemoveClass(kRootClasses, modulePath, createdRootProgId);
    }
    // Registered but not found is no registration: take it all back.
    RemoveClass(kUserClasses, modulePath, createdProgId);
    return Refuse(kNotFound);
}

HRESULT Unregister() {
    const std::wstring modulePath = ModulePath(ThisModule());
    if (modulePath.empty()) return SELFREG_E_CLASS;
    const bool user = RemoveClass(kUserClasses, modulePath);
    const bool root = RemoveClass(kRootClasses, modulePath);
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
