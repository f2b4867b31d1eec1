// The main window at 96, 120, 144 and 192 DPI: every label holds the longest text the program
// puts there, measured with the label's own font; no label overlaps another or leaves the client
// area; fonts and icons follow the DPI. Windows reads the DPI when a process starts, so each DPI
// is checked in a child run of this program (the DpiChild tests) started with the DPI set; a
// screenshot of each is left in the build folder. Also: the manifest the program carries.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "carddata/redaction.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/win32_desktop.h"
#include "tests/win32/no_events.h"
#include "shell/status_texts.h"
#include "support/product.h"
#include "tests/win32/window_pixels.h"

namespace ostrel::win32 {
namespace {

constexpr const char* kChildVariable = "OSTREL_DPI_CHILD";
constexpr const char* kDesktopKey = "Control Panel\\Desktop";

// The texts each label can show; the longest decide its room.
struct LabelTexts {
    Label label;
    const char* name;
    std::vector<std::string> texts;
};

std::vector<LabelTexts> LongestTexts() {
    namespace s = status;
    return {
        {Label::CompName, "title", {"Ostrel Interface"}},
        {Label::Status,
         "status",
         {"Status:", s::kAttachDevice, s::kSearching, s::kPleaseSwipe, s::kReactivated,
          s::kDeactivated, s::kTimedOut, s::kImproperDevice, s::kProcessing, s::kCardReadError,
          s::kInvalidCardData, s::kInvalidCard, s::kNoCardNumber, s::kNoHolderName, s::kNoExpiry,
          s::kIncomplete, s::kSent}},
        // Track 1 holds up to 26 name characters; the window shows first*middle*last, in
        // capitals: a long name, and the widest letters throughout.
        {Label::CCHolder,
         "holder",
         {"Name:", "MAXIMILIAN*W*WORTHINGMOORE", "WWWWWWWWWWWW*W*WWWWWWWWWWW"}},
        {Label::CCno, "number", {"ccno", MaskedCardNumber("6011000990139424123")}},
        {Label::CCType,
         "brand",
         {"American Express", "American Diners Club", "Carte Blanche", "Master Card", "Unknown"}},
        {Label::Exp, "expiry", {"Exp: Date", "1229", "0808"}},
    };
}

RECT InParent(HWND child) {
    RECT at;
    GetWindowRect(child, &at);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&at), 2);
    return at;
}

LOGFONTA FontOf(HWND label) {
    LOGFONTA font = {};
    GetObjectA(reinterpret_cast<HFONT>(SendMessageA(label, WM_GETFONT, 0, 0)), sizeof font, &font);
    return font;
}

// The room the text takes in the label, drawn as the label draws it: its font, its width and
// its alignment and word breaking.
SIZE TextExtent(HWND label, const std::string& text) {
    RECT room = InParent(label);
    RECT need = {0, 0, room.right - room.left, 0};
    const LONG style = GetWindowLongA(label, GWL_STYLE);
    UINT format = DT_CALCRECT | DT_EXPANDTABS | DT_WORDBREAK;
    if (style & SS_NOPREFIX) format |= DT_NOPREFIX;
    if ((style & SS_TYPEMASK) == SS_CENTER) format |= DT_CENTER;
    HDC dc = GetDC(label);
    HGDIOBJ before =
        SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(label, WM_GETFONT, 0, 0)));
    DrawTextA(dc, text.c_str(), -1, &need, format);
    SelectObject(dc, before);
    ReleaseDC(label, dc);
    return {need.right - need.left, need.bottom - need.top};
}

std::string BesideTests(const char* name) {
    char path[MAX_PATH];
    std::string dir(path, GetModuleFileNameA(nullptr, path, MAX_PATH));
    dir.resize(dir.rfind('\\'));  // .../tests
    return dir + "\\..\\" + name;
}

int ChildDpi() {
    const char* value = std::getenv(kChildVariable);
    return value ? std::atoi(value) : 0;
}

// Run in a child process started with the DPI set.
TEST(DpiChild, EveryLabelHoldsItsLongestTextAndFollowsTheDpi) {
    const int dpi = ChildDpi();
    ASSERT_GT(dpi, 0);
    HDC screen = GetDC(nullptr);
    const int screenDpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    ASSERT_EQ(screenDpi, dpi) << "the DPI setting did not reach this process";

    Win32Desktop desktop;
    NoEvents events;
    desktop.CreateMainWindow(events);
    const auto window = reinterpret_cast<HWND>(desktop.WindowHandle());
    desktop.SetWindowCaption("Ostrel Interface v. 5.1.1");
    RECT client;
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, MulDiv(4680, dpi, 1440));
    EXPECT_EQ(client.bottom, MulDiv(2370, dpi, 1440));

    std::vector<LabelTexts> all = LongestTexts();
    std::vector<RECT> places;
    for (LabelTexts& each : all) {
        SCOPED_TRACE(each.name);
        HWND label = reinterpret_cast<HWND>(
            GetDlgItem(window, static_cast<int>(static_cast<std::size_t>(each.label) + 1)));
        ASSERT_TRUE(label);
        const RECT at = InParent(label);
        places.push_back(at);
        EXPECT_GE(at.left, 0);
        EXPECT_GE(at.top, 0);
        EXPECT_LE(at.right, client.right);
        EXPECT_LE(at.bottom, client.bottom);
        std::size_t widest = 0;
        int widestExtent = -1;
        for (std::size_t i = 0; i < each.texts.size(); ++i) {
            const std::string& text = each.texts[i];
            desktop.SetLabel(each.label, text);
            ASSERT_EQ(desktop.GetLabel(each.label), text);
            const SIZE need = TextExtent(label, text);
            EXPECT_LE(need.cx, at.right - at.left) << '"' << text << "\" is cut at the side";
            EXPECT_LE(need.cy, at.bottom - at.top) << '"' << text << "\" is cut at the foot";
            if (need.cx * 1000 + need.cy > widestExtent) {
                widestExtent = need.cx * 1000 + need.cy;
                widest = i;
            }
        }
        // The screenshot shows the text that takes the most room.
        desktop.SetLabel(each.label, each.texts[widest]);
    }
    for (std::size_t i = 0; i < places.size(); ++i) {
        for (std::size_t j = i + 1; j < places.size(); ++j) {
            RECT both;
            EXPECT_FALSE(IntersectRect(&both, &places[i], &places[j]))
                << all[i].name << " overlaps " << all[j].name;
        }
    }

    HWND title = GetDlgItem(window, 1);
    const LOGFONTA titleFont = FontOf(title);
    EXPECT_EQ(titleFont.lfHeight, -MulDiv(1575, dpi, 7200));  // 15.75 pt
    EXPECT_EQ(titleFont.lfWeight, FW_BOLD);
    LOGFONTA stock = {};
    GetObjectA(GetStockObject(DEFAULT_GUI_FONT), sizeof stock, &stock);
    for (int id = 2; id <= 6; ++id) {
        const LOGFONTA font = FontOf(GetDlgItem(window, id));
        EXPECT_STREQ(font.lfFaceName, stock.lfFaceName) << id;
        // The stock font is the system's size; here the system's DPI is the window's. 8 pt.
        EXPECT_EQ(font.lfHeight, stock.lfHeight) << id;
        EXPECT_NEAR(font.lfHeight, -8.0 * dpi / 72, 1.0) << id;
    }

    const auto big = reinterpret_cast<HICON>(SendMessageA(window, WM_GETICON, ICON_BIG, 0));
    const auto small = reinterpret_cast<HICON>(SendMessageA(window, WM_GETICON, ICON_SMALL, 0));
    EXPECT_EQ(IconWidth(big), GetSystemMetrics(SM_CXICON));
    EXPECT_EQ(IconWidth(small), GetSystemMetrics(SM_CXSMICON));
    EXPECT_EQ(IconWidth(reinterpret_cast<HICON>(desktop.WindowIcon())),
              GetSystemMetrics(SM_CXSMICON));
    EXPECT_EQ(GetSystemMetrics(SM_CXSMICON), MulDiv(16, dpi, 96));

    SetWindowPos(window, HWND_TOP, 8, 8, 0, 0, SWP_NOSIZE);
    desktop.ShowWindow(WindowShow::Show);
    UpdateWindow(window);
    for (int i = 0; i < 10; ++i) {
        desktop.DoEvents();
        Sleep(20);
    }
    RECT frame;
    GetWindowRect(window, &frame);
    // In the build folder, found from this program's own path wherever the build was copied.
    const std::string shots = BesideTests("dpi");
    CreateDirectoryA(shots.c_str(), nullptr);
    const std::string path = shots + "\\ostrel-" + std::to_string(dpi) + "dpi.png";
    EXPECT_TRUE(SaveScreenPng(frame, path)) << path;
}

// Moved to a monitor of another DPI: everything is laid out again, at the suggested place, and
// what the old DPI's layout made is released.
TEST(DpiChange, TheWindowIsLaidOutAgainForTheNewDpiAndBack) {
    Win32Desktop desktop;
    NoEvents events;
    desktop.CreateMainWindow(events);
    const auto window = reinterpret_cast<HWND>(desktop.WindowHandle());
    HDC screen = GetDC(nullptr);
    const int system = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    LOGFONTA stock = {};
    GetObjectA(GetStockObject(DEFAULT_GUI_FONT), sizeof stock, &stock);
    const RECT twips[] = {{885, 0, 2865, 360},    {330, 660, 3930, 390},  {330, 1060, 4140, 225},
                          {330, 1460, 3930, 225}, {330, 1860, 2430, 225}, {3000, 1860, 1215, 225}};
    const auto font = [&](int id) {
        return SendMessageA(GetDlgItem(window, id), WM_GETFONT, 0, 0);
    };
    const auto icon = [&](WPARAM which) { return SendMessageA(window, WM_GETICON, which, 0); };

    for (const int dpi : {192, 120, 144, system}) {
        SCOPED_TRACE(dpi);
        const LRESULT oldTitle = font(1), oldLabel = font(2), oldBig = icon(ICON_BIG),
                      oldSmall = icon(ICON_SMALL);
        RECT suggested = {40, 30, 40 + MulDiv(4700, dpi, 1440), 30 + MulDiv(2900, dpi, 1440)};
        SendMessageA(window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                     reinterpret_cast<LPARAM>(&suggested));

        RECT frame, client;
        GetWindowRect(window, &frame);
        EXPECT_EQ(frame.left, 40);
        EXPECT_EQ(frame.top, 30);
        GetClientRect(window, &client);
        EXPECT_EQ(client.right, MulDiv(4680, dpi, 1440));
        EXPECT_EQ(client.bottom, MulDiv(2370, dpi, 1440));
        for (int id = 1; id <= 6; ++id) {
            const RECT at = InParent(GetDlgItem(window, id));
            const RECT& t = twips[id - 1];
            EXPECT_EQ(at.left, MulDiv(t.left, dpi, 1440)) << id;
            EXPECT_EQ(at.top, MulDiv(t.top, dpi, 1440)) << id;
            EXPECT_EQ(at.right - at.left, MulDiv(t.right, dpi, 1440)) << id;
            EXPECT_EQ(at.bottom - at.top, MulDiv(t.bottom, dpi, 1440)) << id;
        }
        EXPECT_EQ(FontOf(GetDlgItem(window, 1)).lfHeight, -MulDiv(1575, dpi, 7200));
        for (int id = 2; id <= 6; ++id) {
            EXPECT_EQ(font(id), font(2)) << "one font for the labels";
            EXPECT_EQ(FontOf(GetDlgItem(window, id)).lfHeight, MulDiv(stock.lfHeight, dpi, system));
        }
        EXPECT_EQ(IconWidth(reinterpret_cast<HICON>(icon(ICON_BIG))), MulDiv(32, dpi, 96));
        EXPECT_EQ(IconWidth(reinterpret_cast<HICON>(icon(ICON_SMALL))), MulDiv(16, dpi, 96));
        // The old layout's fonts and icons are gone, the notification area's icon stays.
        EXPECT_EQ(GetObjectType(reinterpret_cast<HGDIOBJ>(oldTitle)), 0u);
        EXPECT_EQ(GetObjectType(reinterpret_cast<HGDIOBJ>(oldLabel)), 0u);
        ICONINFO info = {};
        EXPECT_FALSE(GetIconInfo(reinterpret_cast<HICON>(oldBig), &info));
        EXPECT_FALSE(GetIconInfo(reinterpret_cast<HICON>(oldSmall), &info));
        EXPECT_EQ(IconWidth(reinterpret_cast<HICON>(desktop.WindowIcon())),
                  GetSystemMetrics(SM_CXSMICON));
    }
}

// Sets the DPI Windows gives processes started from now on, and puts back what was there.
class ScopedLogPixels {
  public:
    explicit ScopedLogPixels(DWORD dpi) {
        DWORD value = 0, size = sizeof value;
        if (RegGetValueA(HKEY_CURRENT_USER, kDesktopKey, "LogPixels", RRF_RT_REG_DWORD, nullptr,
                         &value, &size) == ERROR_SUCCESS) {
            previous_ = value;
        }
        Write(dpi);
    }
    ~ScopedLogPixels() {
        if (previous_) {
            Write(*previous_);
        } else {
            RegDeleteKeyValueA(HKEY_CURRENT_USER, kDesktopKey, "LogPixels");
        }
    }
    ScopedLogPixels(const ScopedLogPixels&) = delete;
    ScopedLogPixels& operator=(const ScopedLogPixels&) = delete;

  private:
    static void Write(DWORD dpi) {
        RegSetKeyValueA(HKEY_CURRENT_USER, kDesktopKey, "LogPixels", REG_DWORD, &dpi, sizeof dpi);
    }
    std::optional<DWORD> previous_;
};

// This program's child tests at the DPI; their exit code.
DWORD RunChildAt(int dpi) {
    const ScopedLogPixels set(dpi);
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string line = std::string("\"") + self + "\" --gtest_brief=1";
    SetEnvironmentVariableA(kChildVariable, std::to_string(dpi).c_str());
    // Its report goes to this program's output.
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION info = {};
    std::fflush(stdout);
    const BOOL started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                        nullptr, &startup, &info);
    SetEnvironmentVariableA(kChildVariable, nullptr);
    if (!started) return 0xFFFF;
    CloseHandle(info.hThread);
    const UniqueHandle child(info.hProcess);
    if (WaitForSingleObject(child.Get(), 30000) != WAIT_OBJECT_0) {
        TerminateProcess(child.Get(), 1);
        return 0xFFFE;
    }
    DWORD code = 1;
    GetExitCodeProcess(child.Get(), &code);
    return code;
}

// What Windows reads from the program before it runs a line of it.
TEST(ProgramResources, TheManifestAndVersionAreThere) {
    const std::string program = BesideTests("ostrel.exe");
    HMODULE image = LoadLibraryExA(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(image) << program;
    HRSRC found = FindResourceA(image, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    ASSERT_TRUE(found) << "no manifest";
    const std::string manifest(static_cast<const char*>(LockResource(LoadResource(image, found))),
                               SizeofResource(image, found));
    FreeLibrary(image);
    for (const char* part : {
             "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
             ">PerMonitorV2, PerMonitor</dpiAwareness>", ">true/pm</dpiAware>",
             "<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>",
             "{e2011457-1546-43c5-a5fe-008deee3d3f0}",  // Vista
             "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  // 7
             "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  // 8
             "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  // 8.1
             "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  // 10 and 11
         }) {
        EXPECT_NE(manifest.find(part), std::string::npos) << part;
    }

    std::string block(GetFileVersionInfoSizeA(program.c_str(), nullptr), '\0');
    ASSERT_FALSE(block.empty());
    ASSERT_TRUE(GetFileVersionInfoA(program.c_str(), 0, block.size(), block.data()));
    const auto text = [&](const char* name) {
        char* value = nullptr;
        UINT length = 0;
        const std::string path = std::string("\\StringFileInfo\\040904b0\\") + name;
        return VerQueryValueA(block.data(), path.c_str(), reinterpret_cast<void**>(&value),
                              &length) &&
                       value
                   ? std::string(value)
                   : std::string("<missing>");
    };
    EXPECT_EQ(text("CompanyName"), "Tovan");
    EXPECT_EQ(text("FileDescription"), "Ostrel Interface");
    EXPECT_EQ(text("ProductName"), "Ostrel Interface");
    EXPECT_EQ(text("ProductVersion"), kVersionText);
    EXPECT_EQ(text("FileVersion"), kVersionText);
    EXPECT_EQ(text("LegalCopyright"), "Copyright (c) 2026 the Ostrel Interface developers");
}

class DpiLayout : public ::testing::TestWithParam<int> {};

TEST_P(DpiLayout, TheWindowIsLaidOutForTheDpi) {
    EXPECT_EQ(RunChildAt(GetParam()), 0u) << "the child's failures are printed above";
}

INSTANTIATE_TEST_SUITE_P(Dpis, DpiLayout, ::testing::Values(96, 120, 144, 192));

}  // namespace
}  // namespace ostrel::win32

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // The child tests run only in a child; the parent starts one per DPI.
    std::string filter = ::testing::GTEST_FLAG(filter);
    if (ostrel::win32::ChildDpi() > 0) {
        filter = "DpiChild.*";
    } else {
        filter += filter.find('-') == std::string::npos ? "-DpiChild.*" : ":DpiChild.*";
    }
    ::testing::GTEST_FLAG(filter) = filter;
    return RUN_ALL_TESTS();
}
