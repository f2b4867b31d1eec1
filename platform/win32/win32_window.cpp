// The program's one window: a small fixed status window with six labels, a grey rule and the
// "Tools" menu, and its timer. The notification icon and pop-up menu are in win32_tray.cpp.
#include "platform/win32/win32_window.h"

#include <dbt.h>

#include <array>
#include <cstddef>
#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <utility>

#include "platform/app_error.h"
#include "platform/win32/gdi_selection.h"
#include "platform/win32/win32_window_layout.h"
#include "support/product.h"

namespace ostrel::win32 {
namespace {

constexpr char kClassName[] = "OstrelInterfaceWindow";
constexpr char kInstanceMutexName[] = "OstrelInterface.Instance";
constexpr UINT kTimerIntervalMs = 1000;
// What the run cycle returns after an error; used when an error escapes an event handler.
constexpr UINT kFailureExitCode = 2;

// A cashier's status window: it should not be resized or maximised, only minimised and closed.
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

constexpr COLORREF kTitleColour = RGB(0x40, 0x40, 0x40);

// No message of the system's, nor another program's registered one, can be taken for it.
static_assert(kIconCallbackMessage >= WM_APP && kIconCallbackMessage <= 0xBFFF);

UINT MenuId(MenuItem item) {
    switch (item) {
        case MenuItem::Logging:
            return kIdLogging;
        case MenuItem::Attach:
            return kIdAttach;
        case MenuItem::End:
            return kIdEnd;
    }
    return 0;
}

HICON LoadClassIcon(HINSTANCE instance) {
    // Shared: the system keeps it for the module's life, so the class can hold it too.
    auto icon = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(kIconResource), IMAGE_ICON,
                                              0, 0, LR_DEFAULTSIZE | LR_SHARED));
    return icon ? icon : LoadIconA(nullptr, IDI_APPLICATION);
}

HMENU CreateToolsMenu() {
    HMENU tools = CreatePopupMenu();
    AppendMenuA(tools, MF_STRING | MF_GRAYED, kIdOptions, "Credit Card Options");
    AppendMenuA(tools, MF_STRING, kIdLogging, "Set logging on");
    AppendMenuA(tools, MF_STRING, kIdAttach, "Clear/re&Attach");
    AppendMenuA(tools, MF_STRING, kIdEnd, "E&xit");
    return tools;
}

}  // namespace

Win32Desktop::Window::~Window() {
    events = nullptr;
    RemoveIcon();
    if (hwnd) {
        if (timerOn) KillTimer(hwnd, kTimerId);
        DestroyWindow(hwnd);
    }
}

void Win32Desktop::Window::Create() {
    const HINSTANCE instance = GetModuleHandleA(nullptr);
    classIcon = LoadClassIcon(instance);
    static const ATOM windowClass = [&] {
        WNDCLASSEXA wc = {};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = &Window::Procedure;
        wc.hInstance = instance;
        wc.hIcon = classIcon;
        wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
        wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
        wc.lpszClassName = kClassName;
        return RegisterClassExA(&wc);
    }();
    // Sized for the system's DPI at first; Layout() sizes it again for its monitor's.
    const RECT frame = WindowFrameForDpi(kWindowStyle, ScreenDpi());
    tools = CreateToolsMenu();
    HMENU bar = CreateMenu();
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(tools), "Tools");
    // Procedure() stores hwnd when WM_NCCREATE arrives.
    if (!windowClass || !CreateWindowExA(0, kClassName, kProductName, kWindowStyle, CW_USEDEFAULT,
                                         CW_USEDEFAULT, frame.right - frame.left,
                                         frame.bottom - frame.top, nullptr, bar, instance, this)) {
        DestroyMenu(bar);
        tools = nullptr;
        hwnd = nullptr;
        throw AppError(errnum::kOutOfMemory, "CreateMainWindow",
                       "The main window could not be created");
    }
    for (std::size_t i = 0; i < kLabelPlaces.size(); ++i) {
        const bool title = i == static_cast<std::size_t>(Label::CompName);
        // SS_NOPREFIX: an "&" in a card holder's name shows as itself. Placed by Layout().
        labels[i] = CreateWindowExA(
            0, "STATIC", kLabelPlaces[i].text,
            WS_CHILD | WS_VISIBLE | SS_NOPREFIX | (title ? SS_CENTER : SS_LEFT), 0, 0, 0, 0, hwnd,
            reinterpret_cast<HMENU>(static_cast<UINT_PTR>(i + 1)), instance, nullptr);
    }
    trayIcon.reset(LoadTrayIcon());
    Layout(WindowDpi(hwnd), nullptr);
    taskbarCreated = RegisterWindowMessageA("TaskbarCreated");
    LetTaskbarMessageIn();
}

HWND Win32Desktop::Window::LabelWindow(Label label) const {
    const auto index = static_cast<std::size_t>(label);
    return index < labels.size() ? labels[index] : nullptr;
}

LRESULT CALLBACK Win32Desktop::Window::Procedure(HWND hwnd, UINT message, WPARAM wParam,
                                                 LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<Window*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
        self->hwnd = hwnd;
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<Window*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (!self) return DefWindowProcA(hwnd, message, wParam, lParam);
    // The logic's handlers catch their own errors; anything that still gets here must not
    // unwind through the system's code.
    char text[512];
    try {
        return self->Handle(message, wParam, lParam);
    } catch (const AppError& e) {
        std::snprintf(text, sizeof text, "Error %ld: %s", static_cast<long>(e.Number()),
                      e.Description().c_str());
    } catch (const std::exception& e) {
        std::snprintf(text, sizeof text, "Error: %s", e.what());
    } catch (...) {
        std::snprintf(text, sizeof text, "An unknown error ended the program.");
    }
    self->Fail(text);
}

LRESULT Win32Desktop::Window::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == taskbarCreated && taskbarCreated != 0) {
        OnTaskbarCreated();
        return 0;
    }
    switch (message) {
        case WM_PAINT:
            OnPaint();
            return 0;
        case WM_CTLCOLORSTATIC:
            return OnControlColour(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
        case WM_COMMAND:
            if (lParam == 0 && HIWORD(wParam) == 0)  // a menu's, not a control's
                OnCommand(LOWORD(wParam));
            return 0;
        case WM_TIMER:
            if (wParam == kTimerId && timerOn && events) events->OnTimer();
            return 0;
        case WM_SIZE:
            if (events) events->OnResize();
            return 0;
        case WM_DPICHANGED:
            // Moved to a monitor of another DPI, or the user changed it.
            Layout(LOWORD(wParam), reinterpret_cast<const RECT*>(lParam));
            return 0;
        case WM_LBUTTONDOWN:
            buttonDown = true;
            return 0;
        case WM_LBUTTONUP:
            if (std::exchange(buttonDown, false) && events) events->OnClick();
            return 0;
        case kIconCallbackMessage:
            // The mouse message in the low word, whichever way the shell fills the rest.
            if (events) events->OnIconMessage(LOWORD(lParam));
            return 0;
        case WM_CLOSE:
            // The logic decides; unloading ends the process.
            if (events) events->OnCloseRequest();
            return 0;
        case WM_QUERYENDSESSION:
            // Never in the way: another program may still refuse, so nothing ends here.
            return TRUE;
        case WM_ENDSESSION:
            if (wParam && events) events->OnEndSession();
            return 0;
        case WM_DEVICECHANGE:
            // Sent only for the classes the program registered for.
            if (wParam == DBT_DEVICEARRIVAL && events) events->OnDeviceArrival();
            return TRUE;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

void Win32Desktop::Window::OnPaint() {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(hwnd, &paint);
    RECT client;
    GetClientRect(hwnd, &client);
    {
        const GdiSelection pen(dc, rulePen.get());
        MoveToEx(dc, 0, ruleTop, nullptr);
        LineTo(dc, client.right, ruleTop);
    }
    EndPaint(hwnd, &paint);
}

LRESULT Win32Desktop::Window::OnControlColour(HDC dc, HWND control) {
    if (control != LabelWindow(Label::CompName))
        return DefWindowProcA(hwnd, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                              reinterpret_cast<LPARAM>(control));
    SetTextColor(dc, kTitleColour);
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
}

void Win32Desktop::Window::OnCommand(UINT id) {
    if (!events) return;
    for (MenuItem item : {MenuItem::Logging, MenuItem::Attach, MenuItem::End}) {
        if (MenuId(item) == id) {
            events->OnMenu(item);
            return;
        }
    }
}

void Win32Desktop::Window::Fail(const char* text) noexcept {
    events = nullptr;
    RemoveIcon();
    MessageBoxA(nullptr, text, kProductName, MB_OK | MB_ICONERROR | MB_SETFOREGROUND | MB_TOPMOST);
    ExitProcess(kFailureExitCode);
}

Win32Desktop::Win32Desktop() : window_(std::make_unique<Window>()) {
    instanceMutex_ = UniqueHandle(CreateMutexA(nullptr, FALSE, kInstanceMutexName));
    const DWORD error = GetLastError();
    // Denied access also means that another copy (another user's, say) holds it.
    previousInstance_ =
        error == ERROR_ALREADY_EXISTS || (!instanceMutex_ && error == ERROR_ACCESS_DENIED);
}

Win32Desktop::~Win32Desktop() = default;

void Win32Desktop::CreateMainWindow(WindowEvents& events) {
    // One window per program: a second call only redirects the events.
    if (!window_->hwnd) window_->Create();
    window_->events = &events;
}

std::uintptr_t Win32Desktop::WindowHandle() {
    return reinterpret_cast<std::uintptr_t>(window_->hwnd);
}

std::uintptr_t Win32Desktop::WindowIcon() {
    return reinterpret_cast<std::uintptr_t>(window_->TrayIcon());
}

void Win32Desktop::SetWindowCaption(const std::string& caption) {
    SetWindowTextA(window_->hwnd, caption.c_str());
}

void Win32Desktop::ShowWindow(WindowShow how) {
    HWND hwnd = window_->hwnd;
    if (!hwnd) return;
    int command = SW_HIDE;
    switch (how) {
        case WindowShow::Hide:
            command = SW_HIDE;
            break;
        case WindowShow::Show:
            command = SW_SHOW;
            break;
        case WindowShow::Minimize:
            command = SW_MINIMIZE;
            break;
        case WindowShow::Normal:
            command = IsIconic(hwnd) ? SW_RESTORE : SW_SHOWNORMAL;
            break;
    }
    ::ShowWindow(hwnd, command);
}

bool Win32Desktop::IsWindowVisible() {
    return window_->hwnd && ::IsWindowVisible(window_->hwnd);
}

void Win32Desktop::SetLabel(Label label, const std::string& text) {
    if (HWND control = window_->LabelWindow(label)) SetWindowTextA(control, text.c_str());
}

std::string Win32Desktop::GetLabel(Label label) {
    HWND control = window_->LabelWindow(label);
    if (!control) return {};
    std::string text(GetWindowTextLengthA(control) + 1, '\0');
    text.resize(GetWindowTextA(control, text.data(), static_cast<int>(text.size())));
    return text;
}

void Win32Desktop::SetMenuChecked(MenuItem item, bool checked) {
    if (window_->tools)
        CheckMenuItem(window_->tools, MenuId(item), MF_BYCOMMAND | (checked ? MF_CHECKED : 0));
}

bool Win32Desktop::IsMenuChecked(MenuItem item) {
    if (!window_->tools) return false;
    const UINT state = GetMenuState(window_->tools, MenuId(item), MF_BYCOMMAND);
    return state != static_cast<UINT>(-1) && (state & MF_CHECKED) != 0;
}

void Win32Desktop::SetTimerEnabled(bool enabled) {
    Window& w = *window_;
    if (!w.hwnd || enabled == w.timerOn)
        return;  // enabling a running timer does not start its interval again
    if (enabled) {
        w.timerOn = SetTimer(w.hwnd, kTimerId, kTimerIntervalMs, nullptr) != 0;
    } else {
        KillTimer(w.hwnd, kTimerId);
        w.timerOn = false;
    }
}

bool Win32Desktop::IsTimerEnabled() {
    return window_->timerOn;
}

}  // namespace ostrel::win32
