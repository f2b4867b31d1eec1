#include "training/win32/screen_board.h"

#include <cstring>
#include <utility>

namespace ostrel::training::win32 {

// Named in the session's own namespace: each trainee's emulator has a board of its own.
constexpr const char* kBoardName = "Local\\kt4r-host-emulator-screens";
// A longer screen text than a slot holds is asked of the emulator itself.
constexpr DWORD kSlotBytes = 256;
constexpr DWORD kRunningLookMs = 1000;

// Fixed-size fields only: a 32-bit stand-in reads what a 64-bit emulator wrote.
struct BoardLayout {
    // Odd while the emulator writes; a reader that sees it move reads again.
    volatile LONG sequence;
    volatile LONG emulatorId;  // 0 once the emulator has stopped answering
    volatile LONG answered[kSessionCount];
    volatile LONG lengths[kSessionCount];  // kSlotBytes and more: too long for its slot
    char texts[kSessionCount][kSlotBytes];
};

BoardView::BoardView(HANDLE mapping)
    : mapping_(mapping),
      board_(mapping ? static_cast<BoardLayout*>(MapViewOfFile(
                           mapping, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, sizeof(BoardLayout)))
                     : nullptr) {}

BoardView::~BoardView() {
    if (board_) UnmapViewOfFile(board_);
}

BoardView::BoardView(BoardView&& other) noexcept
    : mapping_(std::move(other.mapping_)), board_(std::exchange(other.board_, nullptr)) {}

BoardView& BoardView::operator=(BoardView&& other) noexcept {
    if (this != &other) {
        if (board_) UnmapViewOfFile(board_);
        mapping_ = std::move(other.mapping_);
        board_ = std::exchange(other.board_, nullptr);
    }
    return *this;
}

ScreenBoardWriter::ScreenBoardWriter()
    : board_(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                sizeof(BoardLayout), kBoardName)) {
    if (!board_) return;
    // A stand-in may still hold the board of an emulator before this one: counts it left
    // unlisted were that emulator's.
    for (auto& count : board_->answered)
        InterlockedExchange(&count, 0);
    InterlockedExchange(&board_->emulatorId, static_cast<LONG>(GetCurrentProcessId()));
}

ScreenBoardWriter::~ScreenBoardWriter() {
    Withdraw();
}

void ScreenBoardWriter::Publish(const HostScreens& screens) {
    if (!board_) return;
    InterlockedIncrement(&board_->sequence);
    for (int s = 0; s < kSessionCount; ++s) {
        const std::string& text = screens.Session(s).screenText;
        const DWORD length = static_cast<DWORD>(text.size());
        board_->lengths[s] = static_cast<LONG>(length < kSlotBytes ? length : kSlotBytes);
        if (length < kSlotBytes) std::memcpy(board_->texts[s], text.data(), length);
    }
    InterlockedIncrement(&board_->sequence);
}

std::array<LONG, kSessionCount> ScreenBoardWriter::TakeAnswered() {
    std::array<LONG, kSessionCount> taken = {};
    if (!board_) return taken;
    for (int s = 0; s < kSessionCount; ++s)
        taken[s] = InterlockedExchange(&board_->answered[s], 0);
    return taken;
}

void ScreenBoardWriter::Withdraw() {
    if (board_) InterlockedExchange(&board_->emulatorId, 0);
}

bool ScreenBoardReader::EmulatorRuns() {
    // Looked for on each question until an emulator has made it.
    if (!board_)
        board_ = BoardView(OpenFileMappingA(FILE_MAP_READ | FILE_MAP_WRITE, FALSE, kBoardName));
    if (!board_) return false;
    const DWORD id = static_cast<DWORD>(board_->emulatorId);
    if (id == 0) return false;
    if (id != emulatorId_) {
        // Another emulator has taken the board over.
        emulator_ = ostrel::win32::UniqueHandle(OpenProcess(SYNCHRONIZE, FALSE, id));
        emulatorId_ = emulator_ ? id : 0;
        seenRunningTick_ = 0;
        if (!emulator_) return false;
    }
    // An emulator that was ended from outside never withdrew its board. Looked at once a
    // second: the question comes twice a second, and each look is a call into the system.
    const DWORD now = GetTickCount();
    if (seenRunningTick_ != 0 && now - seenRunningTick_ < kRunningLookMs) return true;
    if (WaitForSingleObject(emulator_.Get(), 0) != WAIT_TIMEOUT) return false;
    seenRunningTick_ = now | 1;
    return true;
}

std::optional<std::string> ScreenBoardReader::ScreenText(int32_t infoKind, int32_t session) {
    if (infoKind != kInfoScreenText || session < 0 || session >= kSessionCount) return std::nullopt;
    if (!EmulatorRuns()) return std::nullopt;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const LONG before = InterlockedCompareExchange(&board_->sequence, 0, 0);
        if (before & 1) {
            YieldProcessor();
            continue;
        }
        const DWORD length = static_cast<DWORD>(board_->lengths[session]);
        if (length >= kSlotBytes) return std::nullopt;
        std::string text(board_->texts[session], length);
        if (InterlockedCompareExchange(&board_->sequence, 0, 0) != before) continue;
        InterlockedIncrement(&board_->answered[session]);
        return text;
    }
    return std::nullopt;
}

}  // namespace ostrel::training::win32
