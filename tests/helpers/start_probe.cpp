// A program that does nothing but start: the request benchmark has the host emulator start it in
// the program's place, as "Credit Card Scan" does. It makes its window, shows it and hides it
// again, as the program's first display does (it lives in the notification area), and tells the
// host it has started (its "CCSTATUS" becomes "started"). The time to that is Wine's own share
// of a request; under a display with no window manager it includes the up to 2 s that Wine's X11
// driver waits for one to have shown a window before it hides it.
//   start_probe "<session letter>,<screen text>"
#include <windows.h>

#include <cctype>
#include <cstring>

#include "training/emulator_core.h"
#include "training/win32/pipe.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = "StartProbe";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowA("StartProbe", "", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                100, 100, nullptr, nullptr, instance, nullptr);
    ShowWindow(window, SW_SHOW);
    ShowWindow(window, SW_HIDE);
    const char* letter = commandLine;
    while (*letter == ' ' || *letter == '"')
        ++letter;
    const int session = std::toupper(static_cast<unsigned char>(*letter)) - 'A';
    if (session < 0 || session > 24) return 2;
    using ostrel::training::ControlArg;
    const auto reply = ostrel::training::win32::CallEmulator(ostrel::training::ControlCall(
        39, {ControlArg::Text("CCSTATUS"), ControlArg::Long(0), ControlArg::Text("started"),
             ControlArg::Long(session)}));
    return reply ? 0 : 1;
}
