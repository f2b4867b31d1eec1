#pragma once
// The host emulator's window: one host session at a time (its screen text, whether the control
// is attached to it, its twelve card fields), the control calls received, the "Credit Card
// Scan" button and the swipe panel. Requests from the pipe are handed to the window's thread,
// which alone touches the emulator's state.
#include <windows.h>

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/win32/unique_handle.h"
#include "training/emulator_core.h"
#include "training/win32/screen_board.h"

namespace ostrel::training::win32 {

constexpr char kEmulatorWindowClass[] = "Kt4rHostEmulator";
constexpr char kEmulatorCaption[] = "kt4r host emulator";
// The window shows what the pipe's requests changed once they pause for a moment, and at the
// latest this long after the first of them: redrawing after every call, or in the middle of a
// delivery's dozen calls, made the control's calls several times slower.
constexpr UINT kEmulatorWindowLagMs = 500;

class EmulatorWindow {
  public:
    explicit EmulatorWindow(EmulatorCore& core) : core_(core) {}
    ~EmulatorWindow();
    EmulatorWindow(const EmulatorWindow&) = delete;
    EmulatorWindow& operator=(const EmulatorWindow&) = delete;

    // Makes the window, hidden, showing session; false when it could not be made. Requests
    // are taken from here on.
    bool Create(int session);
    // Shows the window; closing it from then on ends the message loop.
    void Show(int how);
    void Destroy();
    HWND Hwnd() const { return hwnd_; }

    // Called on the pipe's thread: the request as the window's thread answered it, or an error
    // once the window is gone.
    Message Request(const Message& request);

  private:
    static constexpr UINT_PTR kRefreshTimer = 1;
    static constexpr UINT kRequestPauseMs = 50;
    // Questions the stand-in answered from the board are listed at least this often.
    static constexpr UINT_PTR kBoardTimer = 2;
    static constexpr UINT kBoardListMs = 250;
    enum ControlId : int {
        kIdSession = 101,
        kIdScreenText,
        kIdSetScreen,
        kIdAttached,
        kIdScan,
        kIdFields,
        kIdCard,
        kIdSwipe,
        kIdTrack1,
        kIdTrack2,
        kIdSwipeTyped,
        kIdPending,
        kIdCalls,
        kIdProgram,
        kIdStatus,
    };
    struct Exchange {
        const Message* request;
        Message* reply;
    };

    static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    // What an exception that reached the window procedure leaves behind.
    LRESULT Failed(UINT message, LPARAM lParam, const char* what) noexcept;
    void OnCommand(int id, int code);
    // A request from the pipe or from the window's own buttons, with its action taken.
    Message Perform(const Message& request);
    // Lists the questions answered from the board since the last time; true when there were.
    bool ListBoardAnswers();
    Message StartProgram(const EmulatorAction& action);
    // A button's request: its failure goes to the status line.
    void Run(const Message& request, const std::string& done = {});
    void SelectSession(int session);
    std::string ControlText(int id) const;

    // emulator_view.cpp: the controls and keeping them up to date.
    void CreateControls();
    HWND Add(const char* windowClass, const char* text, DWORD style, int x, int y, int width,
             int height, int id = 0, DWORD exStyle = 0);
    // Shows what changed since the last time; everything of the session when forced.
    void Refresh(bool force = false);
    // Refresh() once requests pause, or the lag has passed since the first not yet shown.
    void RefreshSoon();
    // Refresh() of what is due, with the timer stopped.
    void RefreshNow();
    void ShowSession(bool force);
    void ShowCalls();
    void SetStatus(const std::string& text);

    EmulatorCore& core_;
    ScreenBoardWriter board_;
    // Set while swipes wait for the training reader.
    ostrel::win32::UniqueHandle swipeWaiting_{
        CreateEventA(nullptr, TRUE, FALSE, kSwipeWaitingEvent)};
    HWND hwnd_ = nullptr;
    // The window while it takes requests; read by the pipe's thread.
    std::atomic<HWND> target_ = nullptr;
    bool running_ = false;
    HFONT font_ = nullptr;
    int session_ = 0;

    // What the controls show, so that only changed texts are set again.
    uint64_t shownRevision_ = 0;
    std::string shownScreenText_;
    std::array<std::string, kCardFields.size()> shownFields_;
    size_t shownCalls_ = 0;
    bool refreshDue_ = false;
    DWORD firstUnshownMs_ = 0;  // GetTickCount() of the first request not yet shown
    int callsExtent_ = 0;
};

}  // namespace ostrel::training::win32
