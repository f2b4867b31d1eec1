// The host emulator window's controls, laid out in pixels at 96 DPI, and keeping them up to date
// with the core: only texts that changed are set again, so that nothing flickers while the
// control and the reader talk to the emulator several times a second.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <optional>
#include <stdexcept>

#include "platform/win32/gdi_selection.h"
#include "training/win32/emulator_window.h"

namespace ostrel::training::win32 {
namespace {

constexpr int kNameColumnWidth = 90;
constexpr int kValueColumnWidth = 250;

void SetTextIfChanged(HWND control, const std::string& text) {
    if (!control) return;
    std::string shown(GetWindowTextLengthA(control) + 1, '\0');
    shown.resize(GetWindowTextA(control, shown.data(), static_cast<int>(shown.size())));
    if (shown != text) SetWindowTextA(control, text.c_str());
}

void SetFieldValue(HWND list, size_t row, const std::string& text) {
    LVITEMA item = {};
    item.iSubItem = 1;
    item.pszText = const_cast<char*>(text.c_str());
    SendMessageA(list, LVM_SETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
}

void AddFieldRows(HWND list) {
    SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
    const char* titles[] = {"Field", "Value"};
    const int widths[] = {kNameColumnWidth, kValueColumnWidth};
    for (int i = 0; i < 2; ++i) {
        LVCOLUMNA column = {};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        column.pszText = const_cast<char*>(titles[i]);
        column.cx = widths[i];
        column.iSubItem = i;
        SendMessageA(list, LVM_INSERTCOLUMNA, i, reinterpret_cast<LPARAM>(&column));
    }
    for (size_t i = 0; i < kCardFields.size(); ++i) {
        const std::string name(kCardFields[i]);
        LVITEMA item = {};
        item.mask = LVIF_TEXT;
        item.iItem = static_cast<int>(i);
        item.pszText = const_cast<char*>(name.c_str());
        SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
    }
}

std::string AttachedText(const HostScreens& screens, int session) {
    if (screens.Session(session).attached) return "Control: attached to this session";
    for (int other = 0; other < kSessionCount; ++other) {
        if (screens.Session(other).attached) {
            return std::string("Control: attached to session ") + LetterOfSession(other);
        }
    }
    return "Control: not attached";
}

}  // namespace

HWND EmulatorWindow::Add(const char* windowClass, const char* text, DWORD style, int x, int y,
                         int width, int height, int id, DWORD exStyle) {
    HWND control = CreateWindowExA(
        exStyle, windowClass, text, WS_CHILD | WS_VISIBLE | style, x, y, width, height, hwnd_,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleA(nullptr), nullptr);
    if (!control) throw std::runtime_error("the window's controls could not be made");
    SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    return control;
}

void EmulatorWindow::CreateControls() {
    font_ = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    constexpr DWORD kLabel = SS_LEFT | SS_NOPREFIX;
    constexpr DWORD kButton = BS_PUSHBUTTON | WS_TABSTOP;
    constexpr DWORD kEdit = ES_AUTOHSCROLL | WS_TABSTOP;
    constexpr DWORD kPicker = CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP;

    // The session, its screen text and whether the control is attached to it.
    Add("STATIC", "Session", kLabel, 12, 16, 44, 16);
    HWND sessions = Add("COMBOBOX", "", kPicker, 58, 12, 50, 330, kIdSession);
    for (int i = 0; i < kSessionCount; ++i) {
        const char letter[2] = {LetterOfSession(i), '\0'};
        SendMessageA(sessions, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(letter));
    }
    SendMessageA(sessions, CB_SETCURSEL, session_, 0);
    Add("STATIC", "Screen text", kLabel, 122, 16, 62, 16);
    Add("EDIT", "", kEdit, 186, 12, 302, 22, kIdScreenText, WS_EX_CLIENTEDGE);
    Add("BUTTON", "Set screen", kButton, 498, 11, 150, 24, kIdSetScreen);
    Add("STATIC", "", kLabel, 12, 47, 476, 16, kIdAttached);
    Add("BUTTON", "Credit Card Scan", kButton, 498, 42, 150, 26, kIdScan);

    // The twelve fields as the host screen holds them, the card number in full.
    HWND fields =
        Add(WC_LISTVIEWA, "",
            LVS_REPORT | LVS_SINGLESEL | LVS_NOSORTHEADER | LVS_SHOWSELALWAYS | WS_TABSTOP, 12, 76,
            362, 262, kIdFields, WS_EX_CLIENTEDGE);
    AddFieldRows(fields);

    // What the training reader will read next.
    Add("BUTTON", "Card reader", BS_GROUPBOX, 386, 70, 262, 268);
    Add("STATIC", "Test card", kLabel, 398, 90, 238, 16);
    HWND cards = Add("COMBOBOX", "", kPicker, 398, 108, 238, 200, kIdCard);
    for (const TestCard& card : TestCards()) {
        const std::string label(card.label);
        SendMessageA(cards, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(label.c_str()));
    }
    SendMessageA(cards, CB_SETCURSEL, 0, 0);
    // The list opens wider than the box, so that the longer labels show whole.
    SendMessageA(cards, CB_SETDROPPEDWIDTH, 320, 0);
    Add("BUTTON", "Swipe", kButton, 398, 136, 100, 24, kIdSwipe);
    Add("STATIC", "Track 1", kLabel, 398, 174, 238, 16);
    Add("EDIT", "", kEdit, 398, 191, 238, 22, kIdTrack1, WS_EX_CLIENTEDGE);
    Add("STATIC", "Track 2", kLabel, 398, 219, 238, 16);
    Add("EDIT", "", kEdit, 398, 236, 238, 22, kIdTrack2, WS_EX_CLIENTEDGE);
    Add("BUTTON", "Swipe typed", kButton, 398, 266, 100, 24, kIdSwipeTyped);
    Add("STATIC", "", kLabel, 398, 306, 238, 16, kIdPending);

    // The control's calls, newest last, with their card digits masked.
    Add("STATIC", "Control calls", kLabel, 12, 350, 300, 16);
    Add("LISTBOX", "", LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_HSCROLL | WS_TABSTOP, 12, 368, 636,
        146, kIdCalls, WS_EX_CLIENTEDGE);
    Add("STATIC", "", kLabel | SS_PATHELLIPSIS, 12, 524, 636, 16, kIdProgram);
    Add("STATIC", "", kLabel | SS_ENDELLIPSIS, 12, 544, 636, 16, kIdStatus);
}

void EmulatorWindow::Refresh(bool force) {
    const HostScreens& screens = core_.Screens();
    if (force || screens.Revision() != shownRevision_) {
        shownRevision_ = screens.Revision();
        ShowSession(force);
        ShowCalls();
    }
    SetTextIfChanged(GetDlgItem(hwnd_, kIdPending),
                     "Swipes waiting for the reader: " + std::to_string(core_.PendingSwipes()));
    SetTextIfChanged(GetDlgItem(hwnd_, kIdProgram), "Program: " + core_.Program());
}

void EmulatorWindow::RefreshSoon() {
    const DWORD now = GetTickCount();
    if (!refreshDue_) firstUnshownMs_ = now;
    // Setting the timer again starts its time again. Without it, or once requests have kept
    // coming for the whole lag, the window is refreshed at once.
    if (now - firstUnshownMs_ < kEmulatorWindowLagMs &&
        SetTimer(hwnd_, kRefreshTimer, kRequestPauseMs, nullptr)) {
        refreshDue_ = true;
    } else {
        RefreshNow();
    }
}

void EmulatorWindow::RefreshNow() {
    KillTimer(hwnd_, kRefreshTimer);
    refreshDue_ = false;
    Refresh();
}

void EmulatorWindow::ShowSession(bool force) {
    const HostScreens& screens = core_.Screens();
    const HostSession& session = screens.Session(session_);
    // Only a new screen text replaces the edit's: what is being typed there stays otherwise.
    if (force || session.screenText != shownScreenText_) {
        SetWindowTextA(GetDlgItem(hwnd_, kIdScreenText), session.screenText.c_str());
        shownScreenText_ = session.screenText;
    }
    SetTextIfChanged(GetDlgItem(hwnd_, kIdAttached), AttachedText(screens, session_));
    HWND list = GetDlgItem(hwnd_, kIdFields);
    for (size_t i = 0; i < session.fields.size(); ++i) {
        if (force || session.fields[i] != shownFields_[i]) {
            SetFieldValue(list, i, session.fields[i]);
            shownFields_[i] = session.fields[i];
        }
    }
}

void EmulatorWindow::ShowCalls() {
    const std::vector<std::string>& calls = core_.Screens().Calls();
    if (shownCalls_ >= calls.size()) return;
    HWND list = GetDlgItem(hwnd_, kIdCalls);
    // The list is drawn once for all the lines added, not once per line.
    SendMessageA(list, WM_SETREDRAW, FALSE, 0);
    HDC dc = GetDC(list);
    {
        // The list's font measures the lines, for the width it scrolls over.
        const std::optional<ostrel::win32::GdiSelection> font =
            dc ? std::optional<ostrel::win32::GdiSelection>(std::in_place, dc, font_)
               : std::nullopt;
        for (; shownCalls_ < calls.size(); ++shownCalls_) {
            const std::string& line = calls[shownCalls_];
            SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
            SIZE size = {};
            if (dc &&
                GetTextExtentPoint32A(dc, line.c_str(), static_cast<int>(line.size()), &size)) {
                callsExtent_ = std::max(callsExtent_, static_cast<int>(size.cx) + 8);
            }
        }
    }
    if (dc) ReleaseDC(list, dc);
    SendMessageA(list, LB_SETHORIZONTALEXTENT, callsExtent_, 0);
    SendMessageA(list, LB_SETTOPINDEX, calls.size() - 1, 0);
    SendMessageA(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, TRUE);
}

void EmulatorWindow::SetStatus(const std::string& text) {
    SetTextIfChanged(GetDlgItem(hwnd_, kIdStatus), text);
}

}  // namespace ostrel::training::win32
