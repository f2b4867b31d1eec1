#pragma once
// The screen texts of the emulator's sessions, in memory the stand-in control reads. The
// program asks for the screen text twice a second; answered from here, the question costs it
// no exchange with the emulator. The emulator still lists each question, as it next handles a
// request or on its window's timer, before anything that came after it.
#include <windows.h>

#include <array>
#include <optional>
#include <string>

#include "platform/win32/unique_handle.h"
#include "training/host_screens.h"

namespace ostrel::training::win32 {

struct BoardLayout;

// The board's section and this process's view of it, let go of together; empty when the
// section could not be had or mapped.
class BoardView {
  public:
    BoardView() = default;
    explicit BoardView(HANDLE mapping);
    ~BoardView();
    BoardView(BoardView&& other) noexcept;
    BoardView& operator=(BoardView&& other) noexcept;

    BoardLayout* operator->() const { return board_; }
    explicit operator bool() const { return board_ != nullptr; }

  private:
    ostrel::win32::UniqueHandle mapping_;
    BoardLayout* board_ = nullptr;
};

// The emulator's side: it makes the board and writes the texts whenever it may have changed
// them.
class ScreenBoardWriter {
  public:
    ScreenBoardWriter();
    ~ScreenBoardWriter();
    ScreenBoardWriter(const ScreenBoardWriter&) = delete;
    ScreenBoardWriter& operator=(const ScreenBoardWriter&) = delete;

    void Publish(const HostScreens& screens);
    // How many questions about each session were answered from the board since the last
    // take; they are the emulator's to list.
    std::array<LONG, kSessionCount> TakeAnswered();
    // The emulator stops answering: the board sends its readers to the pipe, which fails.
    void Withdraw();

  private:
    BoardView board_;
};

// The stand-in's side.
class ScreenBoardReader {
  public:
    // The screen text of session when infoKind asks for it and a running emulator has the
    // board up, counted as answered; nothing otherwise (the question then goes to the pipe).
    std::optional<std::string> ScreenText(int32_t infoKind, int32_t session);

  private:
    bool EmulatorRuns();

    BoardView board_;
    ostrel::win32::UniqueHandle emulator_;  // the process that wrote the board, to wait on
    DWORD emulatorId_ = 0;
    DWORD seenRunningTick_ = 0;  // GetTickCount() of the last look that found it running
};

}  // namespace ostrel::training::win32
