// The main window laid out for its monitor's DPI: label places scaled from twips, fonts, the
// rule's pen and the icons made for that DPI, and the window sized so that its client area
// keeps its twips size. Done once after creation and again on WM_DPICHANGED.
#include <windows.h>

#include <array>
#include <cstddef>
#include <utility>

#include "platform/win32/win32_window.h"
#include "platform/win32/win32_window_layout.h"

namespace ostrel::win32 {
namespace {

constexpr int kTwipsPerInch = 1440;
constexpr int kClientWidthTwips = 4680;
constexpr int kClientHeightTwips = 2370;
// The rule sits between the title's foot (360) and the status line (660).
constexpr int kRuleTopTwips = 480;
// 15.75 pt in hundredths of a point.
constexpr int kTitleCentiPoints = 1575;
constexpr COLORREF kRuleColour = RGB(0x80, 0x80, 0x80);

// The calls that came with per-monitor DPI (Windows 10 1607), looked up at run time so that the
// program still starts on older systems, where the screen's DPI is the window's.
struct DpiCalls {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    using AdjustWindowRectExForDpiFn = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
    using GetSystemMetricsForDpiFn = int(WINAPI*)(int, UINT);
    GetDpiForWindowFn getDpiForWindow = nullptr;
    AdjustWindowRectExForDpiFn adjustWindowRectExForDpi = nullptr;
    GetSystemMetricsForDpiFn getSystemMetricsForDpi = nullptr;

    DpiCalls() {
        if (HMODULE user32 = GetModuleHandleA("user32.dll")) {
            Find(user32, "GetDpiForWindow", getDpiForWindow);
            Find(user32, "AdjustWindowRectExForDpi", adjustWindowRectExForDpi);
            Find(user32, "GetSystemMetricsForDpi", getSystemMetricsForDpi);
        }
    }

    template <typename Fn>
    static void Find(HMODULE module, const char* name, Fn& call) {
        // Through the generic function pointer type, which any function pointer converts to.
        call = reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
    }
};

const DpiCalls& Calls() {
    static const DpiCalls calls;
    return calls;
}

int Scale(int twips, UINT dpi) {
    return MulDiv(twips, static_cast<int>(dpi), kTwipsPerInch);
}

int MetricForDpi(int index, UINT dpi) {
    const DpiCalls& calls = Calls();
    return calls.getSystemMetricsForDpi ? calls.getSystemMetricsForDpi(index, dpi)
                                        : GetSystemMetrics(index);
}

HFONT CreateTitleFont(UINT dpi) {
    return CreateFontA(-MulDiv(kTitleCentiPoints, static_cast<int>(dpi), 72 * 100), 0, 0, 0,
                       FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, VARIABLE_PITCH | FF_ROMAN, "Garamond");
}

// The stock GUI font's face and point size, for the window's DPI: the stock font itself is made
// for the system's DPI only.
HFONT CreateLabelFont(UINT dpi) {
    LOGFONTA font = {};
    if (!GetObjectA(GetStockObject(DEFAULT_GUI_FONT), sizeof font, &font)) return nullptr;
    font.lfHeight = MulDiv(font.lfHeight, static_cast<int>(dpi), static_cast<int>(ScreenDpi()));
    font.lfWidth = 0;
    return CreateFontIndirectA(&font);
}

HICON LoadIconOfSize(int width, int height) {
    // Not shared: a shared icon keeps the size it was first loaded at.
    return static_cast<HICON>(LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(kIconResource),
                                         IMAGE_ICON, width, height, 0));
}

}  // namespace

UINT ScreenDpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen) ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : USER_DEFAULT_SCREEN_DPI;
}

UINT WindowDpi(HWND window) {
    const DpiCalls& calls = Calls();
    const UINT dpi = calls.getDpiForWindow && window ? calls.getDpiForWindow(window) : 0;
    return dpi ? dpi : ScreenDpi();
}

RECT WindowFrameForDpi(DWORD style, UINT dpi) {
    RECT frame = {0, 0, Scale(kClientWidthTwips, dpi), Scale(kClientHeightTwips, dpi)};
    const DpiCalls& calls = Calls();
    if (!calls.adjustWindowRectExForDpi ||
        !calls.adjustWindowRectExForDpi(&frame, style, TRUE, 0, dpi)) {
        AdjustWindowRectEx(&frame, style, TRUE, 0);
    }
    return frame;
}

HICON LoadTrayIcon() {
    // The notification area is drawn at the system's DPI.
    return LoadIconOfSize(GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON));
}

void Win32Desktop::Window::Layout(UINT newDpi, const RECT* suggested) {
    const UINT dpi = newDpi ? newDpi : USER_DEFAULT_SCREEN_DPI;
    // The new fonts go to the labels before the old ones are released.
    UniqueFont newTitle(CreateTitleFont(dpi));
    UniqueFont newLabel(CreateLabelFont(dpi));
    const auto stock = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    for (std::size_t i = 0; i < labels.size(); ++i) {
        const LabelPlace& at = kLabelPlaces[i];
        const bool title = i == static_cast<std::size_t>(Label::CompName);
        MoveWindow(labels[i], Scale(at.left, dpi), Scale(at.top, dpi), Scale(at.width, dpi),
                   Scale(at.height, dpi), FALSE);
        HFONT font = title ? newTitle.get() : newLabel.get();
        SendMessageA(labels[i], WM_SETFONT, reinterpret_cast<WPARAM>(font ? font : stock), FALSE);
    }
    titleFont = std::move(newTitle);
    labelFont = std::move(newLabel);
    rulePen.reset(CreatePen(PS_SOLID, MulDiv(1, static_cast<int>(dpi), USER_DEFAULT_SCREEN_DPI),
                            kRuleColour));
    ruleTop = Scale(kRuleTopTwips, dpi);

    UniqueIcon big(LoadIconOfSize(MetricForDpi(SM_CXICON, dpi), MetricForDpi(SM_CYICON, dpi)));
    UniqueIcon small(
        LoadIconOfSize(MetricForDpi(SM_CXSMICON, dpi), MetricForDpi(SM_CYSMICON, dpi)));
    // Without its own icons the window shows the class's.
    SendMessageA(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big.get()));
    SendMessageA(hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small.get()));
    bigIcon = std::move(big);
    smallIcon = std::move(small);

    if (suggested) {
        SetWindowPos(hwnd, nullptr, suggested->left, suggested->top,
                     suggested->right - suggested->left, suggested->bottom - suggested->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    } else {
        const RECT frame = WindowFrameForDpi(GetWindowLongA(hwnd, GWL_STYLE), dpi);
        SetWindowPos(hwnd, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    FitClientArea({Scale(kClientWidthTwips, dpi), Scale(kClientHeightTwips, dpi)});
    InvalidateRect(hwnd, nullptr, TRUE);
}

void Win32Desktop::Window::FitClientArea(SIZE client) {
    // The menu bar may take another height than the frame was reckoned with (it wraps, or the
    // system's metrics differ), and a suggested rectangle is only the system's estimate.
    RECT actual, outer;
    GetClientRect(hwnd, &actual);
    if (actual.right == client.cx && actual.bottom == client.cy) return;
    GetWindowRect(hwnd, &outer);
    SetWindowPos(hwnd, nullptr, 0, 0, outer.right - outer.left + client.cx - actual.right,
                 outer.bottom - outer.top + client.cy - actual.bottom,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

HICON Win32Desktop::Window::TrayIcon() const {
    return trayIcon ? trayIcon.get() : classIcon;
}

}  // namespace ostrel::win32
