// The program's window at the DPI of the child run (dpi_win32_test.cpp starts one per DPI), with
// the program's own logic behind it: a mouse move over the window is no event of the
// notification icon, wherever it lands. From 168 DPI up the client area is wider than the icon's
// mouse messages (515, 517) are large; below, no move can be mistaken and the test is skipped.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/sim/sim_event_log.h"
#include "platform/sim/sim_hid.h"
#include "platform/sim/sim_host_screen.h"
#include "platform/sim/sim_process_memory.h"
#include "platform/sim/sim_processes.h"
#include "platform/sim/sim_registry.h"
#include "platform/win32/win32_desktop.h"
#include "shell/scanner_form.h"

namespace ostrel::win32 {
namespace {

TEST(DpiChild, MouseMovesOverTheWindowAreNoIconEvents) {
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    if (MulDiv(4680, dpi, 1440) <= 517)  // the client area's width in twips
        GTEST_SKIP() << "at " << dpi << " DPI no mouse move over the window has an x of 515";
    sim::SimRegistry registry;
    sim::SimProcesses processes;
    sim::SimHid hid;
    sim::SimHostScreen host;
    processes.Start("C:\\Apps\\Host\\kt4r.exe");
    Win32Desktop desktop;
    sim::SimEventLog events;
    sim::SimProcessMemory memory;
    OstrelCopy copy(Platform{registry, processes, desktop, hid, host, events, memory});
    ParseCommandLine("C,Front Desk", copy.session);
    copy.form.Show();  // loaded: the icon is there, the window hidden
    // The reader's ticks would change the status line meanwhile.
    desktop.SetTimerEnabled(false);
    const auto window = reinterpret_cast<HWND>(desktop.WindowHandle());
    const auto pump = [&] {
        for (int i = 0; i < 10; ++i) {
            desktop.DoEvents();
            Sleep(20);
        }
    };
    // As the shell sends the icon's mouse messages: its id in wParam.
    const auto icon = [&](UINT mouseMessage) {
        PostMessageA(window, kIconCallbackMessage, 1, mouseMessage);
        pump();
    };
    SetWindowPos(window, HWND_TOP, 8, 8, 0, 0, SWP_NOSIZE);
    icon(WM_LBUTTONDBLCLK);
    ASSERT_TRUE(IsWindowVisible(window));

    // Another window in front (the host's, say), away from the mouse's path.
    HWND other = CreateWindowExA(0, "STATIC", "other program", WS_POPUP | WS_VISIBLE | WS_BORDER,
                                 700, 600, 200, 100, nullptr, nullptr, nullptr, nullptr);
    SetForegroundWindow(other);
    pump();
    ASSERT_EQ(GetForegroundWindow(), other);
    const std::size_t writes = registry.writes.size();
    // Counts the pop-up menus that open from here on and closes each with Escape.
    std::atomic<int> menus = 0;
    std::atomic<bool> done = false;
    std::thread watch([&] {
        for (HWND menu = nullptr; !done; Sleep(10)) {
            HWND open = FindWindowA("#32768", nullptr);
            if (open && IsWindowVisible(open) && open != menu) {
                ++menus;
                PostMessageA(menu = open, WM_KEYDOWN, VK_ESCAPE, 0);
            }
            if (open && !IsWindowVisible(open)) menu = nullptr;
        }
    });
    for (const int x : {515, 517}) {
        SCOPED_TRACE(x);
        PostMessageA(window, WM_MOUSEMOVE, 0, MAKELPARAM(x, 40));
        pump();
        EXPECT_EQ(menus, 0);
        EXPECT_TRUE(IsWindowVisible(window));
        EXPECT_FALSE(IsIconic(window));
        EXPECT_EQ(GetForegroundWindow(), other);
        EXPECT_EQ(registry.writes.size(), writes);
    }

    // The icon's right button still brings the window forward and opens "Tools".
    const int before = menus;
    icon(WM_RBUTTONUP);
    EXPECT_EQ(menus, before + 1);
    EXPECT_EQ(GetForegroundWindow(), window);
    done = true;
    watch.join();
    DestroyWindow(other);
}

}  // namespace
}  // namespace ostrel::win32
