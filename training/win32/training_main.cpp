// The training build's entry point: the program exactly as ostrel.exe runs it (registry,
// window, icon, timer, process check, the host's control), with a simulated card reader whose
// swipes come from the host emulator's swipe panel.
#include <windows.h>

#include <cstdlib>

#include "platform/win32/unique_handle.h"
#include "platform/win32/win32_event_log.h"
#include "platform/win32/win32_desktop.h"
#include "platform/win32/win32_host_control.h"
#include "platform/win32/win32_process_memory.h"
#include "platform/win32/win32_processes.h"
#include "platform/win32/win32_registry.h"
#include "shell/scanner_form.h"
#include "shell/win32/program_argument.h"
#include "training/emulator_core.h"
#include "training/training_reader.h"
#include "training/win32/pipe.h"

namespace {

// Swipes from the emulator. Asked once per timer tick while the program reads; an emulator
// that is not running simply has no swipe.
class EmulatorSwipes : public ostrel::training::SwipeSource {
  public:
    std::optional<ostrel::training::TrainingSwipe> Take() override {
        // The emulator's event says whether a swipe waits; the pipe is asked only then.
        OpenWaiting();
        if (waiting_ && WaitForSingleObject(waiting_.Get(), 0) != WAIT_OBJECT_0)
            return std::nullopt;
        constexpr DWORD kTimeoutMs = 500;
        auto reply =
            ostrel::training::win32::CallEmulator({ostrel::training::kTakeSwipe}, kTimeoutMs);
        if (!reply) return std::nullopt;
        auto swipe = ostrel::training::SwipeOfReply(*reply);
        // The reply's texts are the card's tracks: the swipe has its own copy now.
        ostrel::training::WipeMessage(*reply);
        return swipe;
    }

    std::uintptr_t WaitHandle() override {
        OpenWaiting();
        return reinterpret_cast<std::uintptr_t>(waiting_.Get());
    }

  private:
    void OpenWaiting() {
        if (!waiting_) {
            waiting_ = ostrel::win32::UniqueHandle(
                OpenEventA(SYNCHRONIZE, FALSE, ostrel::training::kSwipeWaitingEvent));
        }
    }

    ostrel::win32::UniqueHandle waiting_;
};

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    using namespace ostrel::win32;
    // The reader model a trainer wants to see, by product id; the usual one otherwise.
    const auto model = ostrel::training::TrainingReaderModel(std::getenv("OSTREL_TRAINING_READER"));
    if (!model) {
        MessageBoxA(nullptr, "OSTREL_TRAINING_READER names no reader model (1, 2, 3, 9, 14, 15).",
                    "Ostrel training", MB_OK | MB_ICONERROR);
        return 1;
    }
    Win32Registry registry;
    Win32Processes processes;
    Win32Desktop desktop;
    EmulatorSwipes swipes;
    ostrel::training::TrainingReaderHid hid(swipes, *model);
    LazyHostControl hostControl;
    // A source of its own: a trainer's swipes are no till's trouble to a fleet's collector.
    Win32EventLog eventLog("Ostrel Interface training");
    Win32ProcessMemory memory;
    ostrel::OstrelCopy copy(
        ostrel::Platform{registry, processes, desktop, hid, hostControl, eventLog, memory});
    // Nor are its simulated reader's swipes a till reader's: counted apart.
    copy.statistics.SetPath(ostrel::kTrainingStatisticsPath);
    copy.Main(ProgramArgument());
}
