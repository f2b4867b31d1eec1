#pragma once
// The main window's layout in twips and the DPI it is drawn at. Included by the window's files
// only.
#include <windows.h>

#include <array>

#include "platform/win32/win32_window.h"
#include "support/product.h"

namespace ostrel::win32 {

constexpr int kIconResource = 1;

struct LabelPlace {
    int left, top, width, height;  // twips (1440 to the inch)
    const char* text;              // at creation
};
// In the order of the Label enumeration. The status line is two lines high: its longest texts
// ("Credit Card information incomplete, Swipe Credit Card again!") wrap, and a clerk's
// instruction must not lose its second half. It still ends above the name (1060). The name is
// one word (first*middle*last) that cannot wrap: it is wide enough for 26 of the widest capitals.
constexpr std::array<LabelPlace, kLabelCount> kLabelPlaces = {{
    {885, 0, 2865, 360, kProductName},    // CompName: the title
    {330, 660, 3930, 390, "Status:"},     // Status
    {330, 1060, 4140, 225, "Name:"},      // CCHolder
    {330, 1460, 3930, 225, "ccno"},       // CCno
    {330, 1860, 2430, 225, ""},           // CCType
    {3000, 1860, 1215, 225, "Exp: Date"}  // Exp
}};
static_assert(static_cast<std::size_t>(Label::Exp) + 1 == kLabelPlaces.size());

// The screen's DPI: the system's, and every window's where there is no per-monitor DPI.
UINT ScreenDpi();
// The DPI of the monitor the window is on.
UINT WindowDpi(HWND window);
// The window's outer rectangle for a client area of the layout's size at the DPI.
RECT WindowFrameForDpi(DWORD style, UINT dpi);
// The program's icon at the notification area's size; owned by the caller.
HICON LoadTrayIcon();

}  // namespace ostrel::win32
