// The least a window program can do: one window and a message loop, nothing else. The idle
// benchmark sets the program's CPU use beside this one's under the same Wine.
//   idle_window          waits for messages
//   idle_window paced    wakes as the program's loop does, with nothing to do: a 1 s timer,
//                        and every 0.5 s the pending messages dispatched and a sleep
//   idle_window shown    shows its window as it was started to (maximised, say), then waits:
//                        another program in front, for the window tests
#include <windows.h>

#include <cstring>

namespace {

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcA(window, message, wParam, lParam);
}

// false once WM_QUIT has come.
bool DispatchPending() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) return false;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return true;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int show) {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = "IdleWindow";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowA("IdleWindow", "idle", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                CW_USEDEFAULT, 200, 100, nullptr, nullptr, instance, nullptr);
    if (std::strstr(commandLine, "shown")) ShowWindow(window, show);
    if (std::strstr(commandLine, "paced")) {
        SetTimer(window, 1, 1000, nullptr);
        while (DispatchPending())
            Sleep(500);
        return 0;
    }
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}
