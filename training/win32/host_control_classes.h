#pragma once
// The stand-in host control's keys in one place where COM looks for classes: its class and the
// host control's name (ProgID) there, whose they are, writing them and taking them back.
#include <windows.h>

#include <optional>
#include <string>

namespace ostrel::training::win32 {

// The classes under root\prefix as one registry view sees them (0: the process's own view).
struct ClassesPlace {
    HKEY root;
    const wchar_t* prefix;  // "Software\\Classes\\", or "" for HKEY_CLASSES_ROOT itself
    REGSAM view;
    const wchar_t* name;  // as a person finds it in the registry editor
};

// The key's default text (a string, unexpanded); nothing when the key or the text is missing.
std::optional<std::wstring> DefaultText(HKEY root, const std::wstring& path, REGSAM view = 0);

// What another server has registered in place under the host control's name or the stand-in's
// class, in words for a message; nothing when it has nothing there.
std::optional<std::wstring> AnotherServer(const ClassesPlace& place,
                                          const std::wstring& modulePath);

// Writes the class and the ProgID in place. Refuses, writing nothing, when the ProgID there is
// another server's. createdProgId tells the caller that the ProgID key is ours to remove again
// even if its writing stopped half-way.
bool WriteClass(const ClassesPlace& place, const std::wstring& modulePath, bool& createdProgId);

// Removes from place the stand-in's class where it points at this DLL (modulePath), and the
// ProgID when it names that class and no other copy of the stand-in is registered under it
// there, in either registry view (or the caller made it); another server's registration, or
// another copy's, stays.
bool RemoveClass(const ClassesPlace& place, const std::wstring& modulePath,
                 bool createdProgId = false);

}  // namespace ostrel::training::win32
