#pragma once
// What the Windows tests that drive whole programs share: waiting for a condition, finding a
// process's top-level window, reading the program's registry values as they stand, and
// whether a real card reader is plugged in.
#include <windows.h>
#include <setupapi.h>

extern "C" {
#include <hidsdi.h>
}

#include <functional>
#include <string>
#include <vector>

namespace ostrel::win32 {

inline bool WaitFor(const std::function<bool()>& condition, DWORD ms) {
    for (const DWORD start = GetTickCount(); GetTickCount() - start < ms; Sleep(50)) {
        if (condition()) return true;
    }
    return condition();
}

struct WindowSearch {
    DWORD pid;
    const char* windowClass;
    HWND found = nullptr;

    static BOOL CALLBACK Visit(HWND window, LPARAM param) {
        auto* search = reinterpret_cast<WindowSearch*>(param);
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        char name[64] = {};
        GetClassNameA(window, name, sizeof name);
        if (owner != search->pid || lstrcmpiA(name, search->windowClass) != 0) return TRUE;
        search->found = window;
        return FALSE;
    }
};

// The process's first top-level window of this class; nullptr when it has none.
inline HWND WindowOf(DWORD pid, const char* windowClass) {
    WindowSearch search{pid, windowClass};
    EnumWindows(&WindowSearch::Visit, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// A value under the program's key; "<missing>" when it is not there.
inline std::string ProgramSetting(const char* name) {
    char data[1024] = {};
    DWORD size = sizeof data;
    if (RegGetValueA(HKEY_CURRENT_USER, "Software\\TOVAN\\RODazedur", name, RRF_RT_REG_SZ, nullptr,
                     data, &size) != ERROR_SUCCESS) {
        return "<missing>";
    }
    return data;
}

// The paths of the HID interfaces Windows lists now, in lower case.
inline std::vector<std::string> ListedHidPaths() {
    GUID hid;
    HidD_GetHidGuid(&hid);
    std::vector<std::string> paths;
    HDEVINFO set =
        SetupDiGetClassDevsA(&hid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) return paths;
    SP_DEVICE_INTERFACE_DATA data = {};
    data.cbSize = sizeof data;
    for (DWORD i = 0; SetupDiEnumDeviceInterfaces(set, nullptr, &hid, i, &data); ++i) {
        char buffer[1024] = {};
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer);
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
        if (SetupDiGetDeviceInterfaceDetailA(set, &data, detail, sizeof buffer, nullptr, nullptr)) {
            std::string path = detail->DevicePath;
            CharLowerBuffA(path.data(), static_cast<DWORD>(path.size()));
            paths.push_back(path);
        }
    }
    SetupDiDestroyDeviceInfoList(set);
    return paths;
}

// Whether Windows lists a HID interface of the card reader's maker (vendor 0x0801): a real
// reader plugged in, which the program would find. Tests that count on none skip then.
inline bool RealReaderPlugged() {
    for (const std::string& path : ListedHidPaths()) {
        if (path.find("vid_0801") != std::string::npos) return true;
    }
    return false;
}

}  // namespace ostrel::win32
