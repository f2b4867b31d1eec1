#pragma once
// The main window's state, shared by win32_window.cpp (the window, its labels, menu and timer),
// win32_window_layout.cpp (its layout for the monitor's DPI) and win32_tray.cpp (its
// notification icon and pop-up menu). Only those include it.
#include <windows.h>
#include <shellapi.h>

#include <array>
#include <cstddef>
#include <memory>
#include <type_traits>

#include "platform/win32/win32_desktop.h"

namespace ostrel::win32 {

constexpr std::size_t kLabelCount = 6;  // one for each Label

struct GdiDeleter {
    void operator()(HGDIOBJ object) const { DeleteObject(object); }
};
using UniqueFont = std::unique_ptr<std::remove_pointer_t<HFONT>, GdiDeleter>;
using UniquePen = std::unique_ptr<std::remove_pointer_t<HPEN>, GdiDeleter>;
struct IconDeleter {
    void operator()(HICON icon) const { DestroyIcon(icon); }
};
using UniqueIcon = std::unique_ptr<std::remove_pointer_t<HICON>, IconDeleter>;

struct Win32Desktop::Window {
    WindowEvents* events = nullptr;  // set once the window is built: no events during creation
    // Made for the window's DPI, and again when it changes; released after the labels and the
    // window have let go of them.
    UniqueFont titleFont;
    UniqueFont labelFont;
    UniquePen rulePen;
    UniqueIcon bigIcon;
    UniqueIcon smallIcon;
    // The notification area's, at the system's DPI; kept for the window's life, since the icon
    // is added again from it when the taskbar comes back.
    UniqueIcon trayIcon;
    int ruleTop = 0;
    HICON classIcon = nullptr;  // shared: the system keeps it for the module's life
    HWND hwnd = nullptr;
    HMENU tools = nullptr;  // a part of the menu bar, which the window destroys
    std::array<HWND, kLabelCount> labels = {};
    UINT taskbarCreated = 0;
    bool timerOn = false;
    bool buttonDown = false;
    bool iconAdded = false;  // asked for and not removed since: the shell may have lost it
    NOTIFYICONDATAA iconRecord = {};

    Window() = default;
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;
    ~Window();

    void Create();
    // Places the labels, makes the fonts, pen and icons for the DPI and sizes the window to it,
    // at the suggested rectangle if one is given.
    void Layout(UINT newDpi, const RECT* suggested);
    void FitClientArea(SIZE client);
    HICON TrayIcon() const;
    HWND LabelWindow(Label label) const;

    static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void OnPaint();
    LRESULT OnControlColour(HDC dc, HWND control);
    void OnCommand(UINT id);
    void OnTaskbarCreated();
    // Lets "TaskbarCreated" through the message filter of an elevated program, which drops it
    // when it comes from Explorer, running with less.
    void LetTaskbarMessageIn();
    void RemoveIcon();
    // The last resort for an error that reached the window procedure.
    [[noreturn]] void Fail(const char* text) noexcept;
};

}  // namespace ostrel::win32
