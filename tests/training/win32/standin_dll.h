#pragma once
// The stand-in host control's DLL as the tests register and load it: its class, its ProgID and
// where the build puts it.
#include <windows.h>

#include <string>

namespace ostrel::training {

inline const CLSID kStandinClsid = {
    0xb1c5317a, 0x2a98, 0x4912, {0x84, 0xd2, 0xbc, 0x37, 0xec, 0x6e, 0x35, 0xff}};
inline const std::string kStandinClsidText = "{B1C5317A-2A98-4912-84D2-BC37EC6E35FF}";
inline const std::string kHostProgId = "VEQSERVERLib.VEQServer";

inline std::string StandinDllPath() {
    char path[MAX_PATH];
    std::string dir(path, GetModuleFileNameA(nullptr, path, MAX_PATH));
    dir.resize(dir.rfind('\\'));  // .../tests
    GetFullPathNameA((dir + "\\..\\training\\kt4r_control.dll").c_str(), MAX_PATH, path, nullptr);
    return path;
}

// Where the host maker's control is registered under its ProgID for a server other than the
// stand-in, in words for a skip ("" where it is not: no real host control on this machine).
// A test that would write or delete keys under that name skips there, since it would change
// the real control's registration; and the stand-in refuses to register over it.
inline std::string RealHostControlRegistered() {
    const struct {
        HKEY root;
        REGSAM view;
        const char* name;
    } places[] = {
        {HKEY_CURRENT_USER, KEY_WOW64_64KEY, "for the user (64-bit view)"},
        {HKEY_CURRENT_USER, KEY_WOW64_32KEY, "for the user (32-bit view)"},
        {HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, "for the machine (64-bit view)"},
        {HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, "for the machine (32-bit view)"},
    };
    const std::string key = "Software\\Classes\\" + kHostProgId;
    for (const auto& place : places) {
        HKEY progId = nullptr;
        if (RegOpenKeyExA(place.root, key.c_str(), 0, KEY_QUERY_VALUE | place.view, &progId)) {
            continue;
        }
        char clsid[128] = {};
        DWORD size = sizeof clsid;
        const LSTATUS named =
            RegGetValueA(progId, "CLSID", nullptr, RRF_RT_REG_SZ, nullptr, clsid, &size);
        RegCloseKey(progId);
        if (named == ERROR_SUCCESS && lstrcmpiA(clsid, kStandinClsidText.c_str()) == 0) continue;
        return "the host control " + kHostProgId + " is registered here " + place.name + " (" +
               (named == ERROR_SUCCESS ? "class " + std::string(clsid) : "no class named") +
               "): the test would change its registration, and the stand-in does not register "
               "over it";
    }
    return {};
}

// The DLL loaded straight: the same module COM loads, so its object counts are the same.
struct StandinDll {
    StandinDll() : module(LoadLibraryA(StandinDllPath().c_str())) {}
    ~StandinDll() { FreeLibrary(module); }
    StandinDll(const StandinDll&) = delete;
    StandinDll& operator=(const StandinDll&) = delete;
    template <class F>
    F* Export(const char* name) const {
        return reinterpret_cast<F*>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
    }
    HRESULT Call(const char* name) const { return Export<HRESULT __stdcall()>(name)(); }
    HMODULE module;
};

}  // namespace ostrel::training
