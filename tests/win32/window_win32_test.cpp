// The main window, its timer, notification icon and pop-up menu on the real system.
#include <windows.h>
#include <dbt.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/app_error.h"
#include "platform/win32/win32_desktop.h"
#include "tests/win32/window_pixels.h"

namespace ostrel::win32 {
namespace {

struct RecordedEvents : WindowEvents {
    void OnClick() override { ++clicks; }
    void OnResize() override {
        ++resizes;
        if (onResize) onResize();
    }
    void OnIconMessage(uint32_t mouseMessage) override { iconMessages.push_back(mouseMessage); }
    void OnTimer() override { ++ticks; }
    void OnMenu(MenuItem item) override { menus.push_back(item); }
    void OnCloseRequest() override { ++closeRequests; }
    void OnEndSession() override {}
    std::uintptr_t WakeHandle() override { return reinterpret_cast<std::uintptr_t>(wake); }
    void OnWake() override { ++wakes; }
    void OnDeviceArrival() override { ++arrivals; }

    HANDLE wake = nullptr;
    int clicks = 0, resizes = 0, ticks = 0, closeRequests = 0, wakes = 0, arrivals = 0;
    std::vector<uint32_t> iconMessages;
    std::vector<MenuItem> menus;
    std::function<void()> onResize;
};

// Twips to pixels at the screen's resolution, across (x) or down.
int Pixels(int twips, bool across) {
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, across ? LOGPIXELSX : LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return MulDiv(twips, dpi, 1440);
}

std::string WindowText(HWND window) {
    char text[512] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

BOOL CALLBACK CollectChild(HWND child, LPARAM list) {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(child);
    return TRUE;
}

// A visible window of the class (and caption, if given); null after about 5 s.
HWND WaitForWindow(const char* windowClass, const char* caption = nullptr) {
    for (int i = 0; i < 100; ++i) {
        HWND found = FindWindowA(windowClass, caption);
        if (found && IsWindowVisible(found)) return found;
        Sleep(50);
    }
    return nullptr;
}

class WindowWin32 : public ::testing::Test {
  protected:
    void SetUp() override {
        desktop.CreateMainWindow(events);
        window = reinterpret_cast<HWND>(desktop.WindowHandle());
        ASSERT_TRUE(IsWindow(window));
    }

    void Pump(DWORD ms) {
        for (const DWORD start = GetTickCount(); GetTickCount() - start < ms; Sleep(10))
            desktop.DoEvents();
    }

    // Opens "Tools" at the cursor; another thread presses the keys on it.
    bool DrivePopup(std::vector<WPARAM> keys) {
        HWND menu = nullptr;
        std::thread driver([&] {
            menu = WaitForWindow("#32768");
            for (WPARAM key : keys) {
                Sleep(50);
                PostMessageA(menu, WM_KEYDOWN, key, 0);
            }
        });
        desktop.PopupToolsMenu();
        driver.join();
        desktop.DoEvents();
        return menu != nullptr;
    }

    Win32Desktop desktop;
    RecordedEvents events;
    HWND window = nullptr;
};

TEST_F(WindowWin32, IsCreatedHiddenWithAFixedFrameAndItsLabelsPlacedInTwips) {
    EXPECT_FALSE(desktop.IsWindowVisible());
    EXPECT_EQ(WindowText(window), "Ostrel Interface");
    const LONG style = GetWindowLongA(window, GWL_STYLE);
    EXPECT_FALSE(style & (WS_THICKFRAME | WS_MAXIMIZEBOX));
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    RECT client;
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, Pixels(4680, true));
    EXPECT_EQ(client.bottom, Pixels(2370, false));

    struct Expected {
        Label label;
        const char* text;
        int left, top, width, height;
    };
    const Expected expected[] = {
        {Label::CompName, "Ostrel Interface", 885, 0, 2865, 360},
        {Label::Status, "Status:", 330, 660, 3930, 390},  // two lines: its longest texts wrap
        {Label::CCHolder, "Name:", 330, 1060, 4140, 225},
        {Label::CCno, "ccno", 330, 1460, 3930, 225},
        {Label::CCType, "", 330, 1860, 2430, 225},
        {Label::Exp, "Exp: Date", 3000, 1860, 1215, 225},
    };
    std::vector<HWND> labels;  // in creation order, which is the layout's
    EnumChildWindows(window, CollectChild, reinterpret_cast<LPARAM>(&labels));
    ASSERT_EQ(labels.size(), std::size(expected));
    for (std::size_t i = 0; i < labels.size(); ++i) {
        const Expected& e = expected[i];
        SCOPED_TRACE(e.text);
        char name[16] = {};
        GetClassNameA(labels[i], name, sizeof name);
        EXPECT_EQ(lstrcmpiA(name, "Static"), 0);
        EXPECT_EQ(WindowText(labels[i]), e.text);
        EXPECT_EQ(desktop.GetLabel(e.label), e.text);
        RECT at;
        GetWindowRect(labels[i], &at);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&at), 2);
        EXPECT_EQ(at.left, Pixels(e.left, true));
        EXPECT_EQ(at.top, Pixels(e.top, false));
        EXPECT_EQ(at.right - at.left, Pixels(e.width, true));
        EXPECT_EQ(at.bottom - at.top, Pixels(e.height, false));
        EXPECT_TRUE(GetWindowLongA(labels[i], GWL_STYLE) & SS_NOPREFIX);
    }
    EXPECT_EQ(GetWindowLongA(labels[0], GWL_STYLE) & SS_TYPEMASK, SS_CENTER);

    LOGFONTA title = {};
    GetObjectA(reinterpret_cast<HFONT>(SendMessageA(labels[0], WM_GETFONT, 0, 0)), sizeof title,
               &title);
    EXPECT_STREQ(title.lfFaceName, "Garamond");
    EXPECT_EQ(title.lfWeight, FW_BOLD);
    EXPECT_EQ(title.lfHeight, -Pixels(1575 * 20 / 100, false));  // 15.75 pt in twips
    // The other labels: the stock GUI font's face and size, made for the window's DPI.
    LOGFONTA stock = {};
    GetObjectA(GetStockObject(DEFAULT_GUI_FONT), sizeof stock, &stock);
    for (std::size_t i = 1; i < labels.size(); ++i) {
        LOGFONTA font = {};
        GetObjectA(reinterpret_cast<HFONT>(SendMessageA(labels[i], WM_GETFONT, 0, 0)), sizeof font,
                   &font);
        EXPECT_STREQ(font.lfFaceName, stock.lfFaceName) << i;
        EXPECT_EQ(font.lfHeight, stock.lfHeight) << i;
        EXPECT_EQ(font.lfWeight, stock.lfWeight) << i;
    }
}

TEST_F(WindowWin32, CaptionAndLabelTextsComeBackExactly) {
    desktop.SetWindowCaption("Ostrel Interface v. 5.1.1");
    EXPECT_EQ(WindowText(window), "Ostrel Interface v. 5.1.1");
    const std::string padded = "Attach Device...                        ";
    desktop.SetLabel(Label::Status, padded);
    EXPECT_EQ(desktop.GetLabel(Label::Status), padded);
    desktop.SetLabel(Label::CCHolder, "O'NEIL & SONS");
    EXPECT_EQ(desktop.GetLabel(Label::CCHolder), "O'NEIL & SONS");
    const std::string longText(700, 'x');
    desktop.SetLabel(Label::CCno, longText);
    EXPECT_EQ(desktop.GetLabel(Label::CCno), longText);
}

TEST_F(WindowWin32, ToolsMenuHasAHeadingAndThreeEntriesThatReachTheLogic) {
    HMENU bar = GetMenu(window);
    ASSERT_EQ(GetMenuItemCount(bar), 1);
    char text[64] = {};
    GetMenuStringA(bar, 0, text, sizeof text, MF_BYPOSITION);
    EXPECT_STREQ(text, "Tools");
    HMENU tools = GetSubMenu(bar, 0);
    const char* entries[] = {"Credit Card Options", "Set logging on", "Clear/re&Attach", "E&xit"};
    ASSERT_EQ(GetMenuItemCount(tools), 4);
    for (int i = 0; i < 4; ++i) {
        GetMenuStringA(tools, i, text, sizeof text, MF_BYPOSITION);
        EXPECT_STREQ(text, entries[i]);
        EXPECT_EQ((GetMenuState(tools, i, MF_BYPOSITION) & MF_GRAYED) != 0, i == 0) << i;
    }

    desktop.SetMenuChecked(MenuItem::Logging, true);
    EXPECT_TRUE(desktop.IsMenuChecked(MenuItem::Logging));
    EXPECT_TRUE(GetMenuState(tools, 1, MF_BYPOSITION) & MF_CHECKED);
    desktop.SetMenuChecked(MenuItem::Logging, false);
    EXPECT_FALSE(desktop.IsMenuChecked(MenuItem::Logging));

    for (int i = 0; i < 4; ++i)
        PostMessageA(window, WM_COMMAND, GetMenuItemID(tools, i), 0);
    desktop.DoEvents();
    EXPECT_EQ(events.menus,
              (std::vector<MenuItem>{MenuItem::Logging, MenuItem::Attach, MenuItem::End}));
}

TEST_F(WindowWin32, TheNotificationIconUsesTheProgramsIconAndComesBackWithTheTaskbar) {
    // The notification area's own, at its size; the window has its own big and small ones.
    const auto icon = reinterpret_cast<HICON>(desktop.WindowIcon());
    EXPECT_EQ(IconWidth(icon), GetSystemMetrics(SM_CXSMICON));
    const auto small = reinterpret_cast<HICON>(SendMessageA(window, WM_GETICON, ICON_SMALL, 0));
    const auto big = reinterpret_cast<HICON>(SendMessageA(window, WM_GETICON, ICON_BIG, 0));
    EXPECT_EQ(IconWidth(small), GetSystemMetrics(SM_CXSMICON));
    EXPECT_EQ(IconWidth(big), GetSystemMetrics(SM_CXICON));
    EXPECT_NE(icon, small) << "the window's icons change with its DPI; the tray's must stay";
    EXPECT_EQ(reinterpret_cast<HICON>(GetClassLongPtrA(window, GCLP_HICON)),
              LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(1), IMAGE_ICON, 0, 0,
                         LR_DEFAULTSIZE | LR_SHARED));

    NotifyIconRecord record;
    record.cbSize = kNotifyIconRecordSize;
    record.hWnd = desktop.WindowHandle();
    record.uID = 1;
    record.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    record.uCallbackMessage = kIconCallbackMessage;
    record.hIcon = desktop.WindowIcon();
    std::memset(record.szTip, ' ', sizeof record.szTip);
    std::memcpy(record.szTip, "Ostrel", 7);
    ASSERT_TRUE(desktop.NotifyIcon(kNimAdd, record));

    // Changing nothing succeeds only for an icon the shell knows.
    NOTIFYICONDATAA probe = {};
    probe.cbSize = kNotifyIconRecordSize;
    probe.hWnd = window;
    probe.uID = 1;
    const UINT taskbarCreated = RegisterWindowMessageA("TaskbarCreated");
    ASSERT_TRUE(Shell_NotifyIconA(NIM_DELETE, &probe));  // as if the shell had restarted
    PostMessageA(window, taskbarCreated, 0, 0);
    desktop.DoEvents();
    EXPECT_TRUE(Shell_NotifyIconA(NIM_MODIFY, &probe));

    EXPECT_TRUE(desktop.NotifyIcon(kNimDelete, record));
    PostMessageA(window, taskbarCreated, 0, 0);
    desktop.DoEvents();
    EXPECT_FALSE(Shell_NotifyIconA(NIM_MODIFY, &probe));
}

// A pending read's event ends the program's waits, and DoEvents reports it before dispatching;
// the pass's sleep also ends for the other handles it is given, and says which was set.
TEST_F(WindowWin32, TheWakeHandleEndsWaitsAndDoEventsReportsIt) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE other = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_TRUE(event && other);
    const auto handles = [&] {
        return std::vector<std::uintptr_t>{0, reinterpret_cast<std::uintptr_t>(other),
                                           reinterpret_cast<std::uintptr_t>(event)};
    };
    events.wake = event;
    desktop.DoEvents();
    EXPECT_EQ(events.wakes, 0);
    DWORD start = GetTickCount();
    EXPECT_EQ(desktop.SleepUntilSet(300, handles()), -1);
    EXPECT_GE(GetTickCount() - start, 250u);

    std::thread setter([event] {
        Sleep(200);
        SetEvent(event);
    });
    start = GetTickCount();
    EXPECT_EQ(desktop.SleepUntilSet(10000, handles()), 2);
    EXPECT_LT(GetTickCount() - start, 5000u);
    setter.join();
    SetEvent(other);
    EXPECT_EQ(desktop.SleepUntilSet(10000, handles()), 1);
    CloseHandle(other);
    start = GetTickCount();
    EXPECT_TRUE(desktop.WaitForMessage(10000));
    EXPECT_LT(GetTickCount() - start, 5000u);
    desktop.DoEvents();
    EXPECT_EQ(events.wakes, 1);

    // A value that is no handle makes the waits plain ones, not waits that end at once.
    CloseHandle(event);
    events.wake = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(0x7FFF0));
    desktop.DoEvents();
    start = GetTickCount();
    EXPECT_EQ(desktop.SleepUntilSet(300, {events.WakeHandle()}), -1);
    EXPECT_FALSE(desktop.WaitForMessage(300));
    EXPECT_GE(GetTickCount() - start, 500u);
    EXPECT_EQ(events.wakes, 1);
}

// A device of the class the program registered for: the window's WM_DEVICECHANGE tells the
// logic of its arrival, and of nothing else the message brings.
TEST_F(WindowWin32, ADeviceArrivalReachesTheLogic) {
    SendMessageA(window, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);
    EXPECT_EQ(events.arrivals, 0);
    SendMessageA(window, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, 0);
    EXPECT_EQ(events.arrivals, 1);
}

TEST_F(WindowWin32, IconMessagesClicksAndCloseReachTheLogic) {
    // The notification icon's callback, as the shell sends it: the icon's id, its mouse message.
    PostMessageA(window, kIconCallbackMessage, 1, kWmLButtonDblClk);
    PostMessageA(window, kIconCallbackMessage, 1, kWmRButtonUp);
    // The mouse over the window is none of the icon's, even where its x matches their numbers.
    PostMessageA(window, WM_MOUSEMOVE, 0, MAKELPARAM(515, 40));
    PostMessageA(window, WM_MOUSEMOVE, 0, MAKELPARAM(517, 40));
    PostMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 20));
    PostMessageA(window, WM_LBUTTONUP, 0, MAKELPARAM(20, 20));
    PostMessageA(window, WM_LBUTTONUP, 0, MAKELPARAM(20, 20));  // no press before it
    PostMessageA(window, WM_CLOSE, 0, 0);
    desktop.DoEvents();
    EXPECT_EQ(events.iconMessages, (std::vector<uint32_t>{kWmLButtonDblClk, kWmRButtonUp}));
    EXPECT_EQ(events.clicks, 1);
    EXPECT_EQ(events.closeRequests, 1);
    EXPECT_TRUE(IsWindow(window)) << "closing is the logic's decision";
}

// The logic hides the window from its resize handler, so that a shown window goes back to the
// notification area.
TEST_F(WindowWin32, TheFirstShowMinimisingAndRestoringRaiseResizesThatMayHideTheWindow) {
    events.onResize = [&] { desktop.ShowWindow(WindowShow::Hide); };
    desktop.ShowWindow(WindowShow::Show);
    EXPECT_EQ(events.resizes, 1);
    EXPECT_FALSE(desktop.IsWindowVisible());

    desktop.ShowWindow(WindowShow::Minimize);
    desktop.DoEvents();
    EXPECT_GE(events.resizes, 2);
    EXPECT_TRUE(IsIconic(window));
    EXPECT_FALSE(desktop.IsWindowVisible());

    const int before = events.resizes;
    desktop.ShowWindow(WindowShow::Normal);
    desktop.DoEvents();
    EXPECT_GT(events.resizes, before);
    EXPECT_FALSE(IsIconic(window));
    EXPECT_FALSE(desktop.IsWindowVisible());
    events.onResize = nullptr;
    desktop.ShowWindow(WindowShow::Show);
    EXPECT_TRUE(desktop.IsWindowVisible());
}

TEST_F(WindowWin32, TheTimerTicksEverySecondUntilDisabled) {
    desktop.SetTimerEnabled(true);
    EXPECT_TRUE(desktop.IsTimerEnabled());
    // Enabling it again every 300 ms must not start its interval over, or it would never tick.
    for (int i = 0; i < 8; ++i) {
        Pump(300);
        desktop.SetTimerEnabled(true);
    }
    EXPECT_GE(events.ticks, 2);
    EXPECT_LE(events.ticks, 3);

    desktop.SetTimerEnabled(false);
    EXPECT_FALSE(desktop.IsTimerEnabled());
    const int ticks = events.ticks;
    Pump(1300);
    EXPECT_EQ(events.ticks, ticks);
}

TEST_F(WindowWin32, ThePopUpMenuReportsTheChosenEntryAndEscapeChoosesNothing) {
    // The first arrow lands on the greyed heading.
    ASSERT_TRUE(DrivePopup({VK_DOWN, VK_DOWN, VK_DOWN, VK_RETURN}));
    EXPECT_EQ(events.menus, std::vector<MenuItem>{MenuItem::Attach});
    ASSERT_TRUE(DrivePopup({VK_DOWN, VK_ESCAPE}));
    EXPECT_EQ(events.menus.size(), 1u);
}

TEST(WindowWin32Process, OnlyAnotherLiveDesktopMakesAPreviousInstance) {
    auto first = std::make_unique<Win32Desktop>();
    EXPECT_FALSE(first->PreviousInstance());
    {
        Win32Desktop second;
        EXPECT_TRUE(second.PreviousInstance());
    }
    first.reset();
    EXPECT_FALSE(Win32Desktop().PreviousInstance());
}

TEST(WindowWin32Process, TheVersionResourceGivesNameAndRevision) {
    const VersionInfo version = Win32Desktop().Version();
    EXPECT_EQ(version.productName, "Ostrel Interface");
    EXPECT_EQ(version.major, 5);
    EXPECT_EQ(version.minor, 1);
    EXPECT_EQ(version.revision, 1);
}

struct ThrowingEvents : RecordedEvents {
    void OnIconMessage(uint32_t) override { throw AppError(13, "test", "Type mismatch"); }
};

// An error must not unwind through the system's code: the program says what it was and ends.
TEST(WindowWin32DeathTest, AnErrorEscapingAHandlerIsShownAndEndsTheProcess) {
    EXPECT_EXIT(
        {
            Win32Desktop desktop;
            ThrowingEvents events;
            desktop.CreateMainWindow(events);
            std::thread reader([] {
                HWND box = WaitForWindow("#32770", "Ostrel Interface");
                char text[256] = {};
                GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
                std::fprintf(stderr, "box: %s\n", text);
                std::fflush(stderr);
                PostMessageA(box, WM_COMMAND, IDOK, 0);
            });
            reader.detach();
            PostMessageA(reinterpret_cast<HWND>(desktop.WindowHandle()), kIconCallbackMessage, 1,
                         0);
            desktop.DoEvents();
        },
        ::testing::ExitedWithCode(2), "box: Error 13: Type mismatch");
}

}  // namespace
}  // namespace ostrel::win32
