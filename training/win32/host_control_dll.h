#pragma once
// What the stand-in host control's two halves share: its class id and ProgID, and the
// module's own handle for registration.
#include <windows.h>

namespace ostrel::training::win32 {

// {B1C5317A-2A98-4912-84D2-BC37EC6E35FF}: the stand-in's own class, never the real control's.
constexpr CLSID kStandinClsid = {
    0xb1c5317a, 0x2a98, 0x4912, {0x84, 0xd2, 0xbc, 0x37, 0xec, 0x6e, 0x35, 0xff}};
constexpr const wchar_t* kStandinClsidText = L"{B1C5317A-2A98-4912-84D2-BC37EC6E35FF}";
// The ProgID the program creates the host control by.
constexpr const wchar_t* kHostProgId = L"VEQSERVERLib.VEQServer";
// The name the control gives as the source of its errors.
constexpr const wchar_t* kStandinSource = L"kt4r_control";
constexpr const wchar_t* kStandinDescription =
    L"Ostrel training stand-in for the host control (forwards to the host emulator kt4r.exe)";

// The DLL's module, not the program that loaded it.
HMODULE ThisModule();

}  // namespace ostrel::training::win32
