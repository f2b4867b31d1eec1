// kt4r.exe, the host emulator: a window standing in for the host program's screens, serving the
// emulator's pipe to the stand-in control, the training reader and kt4r_remote.
//
//   kt4r.exe [/program <path>] [/show <letter>]
#include <windows.h>
#include <commctrl.h>

#include <cstdlib>
#include <exception>
#include <memory>
#include <optional>
#include <string>

#include "platform/win32/unique_handle.h"
#include "training/emulator_core.h"
#include "training/win32/emulator_window.h"
#include "training/win32/pipe.h"

namespace {

using namespace ostrel::training;
using namespace ostrel::training::win32;

constexpr int kUsageExitCode = 2;
constexpr int kFailureExitCode = 1;
// How long closing waits for an exchange in progress, a "quit" reply among them, to finish.
constexpr DWORD kFinishExchangeMs = 3000;

constexpr char kInstanceMutex[] = "Kt4rHostEmulator.Instance";
constexpr char kAnotherRuns[] =
    "Another host emulator (kt4r.exe) is running already in this Windows session: it holds the "
    "emulator's pipe. This one ends.";

constexpr char kUsage[] =
    "kt4r.exe [/program <path>] [/show <letter>]\n\n"
    "/program  the program that \"Credit Card Scan\" starts; ostrel-training.exe beside\n"
    "          kt4r.exe unless given\n"
    "/show     the session the window shows first, A to Y";

struct Options {
    std::string program;
    int session = 0;
};

std::string DefaultProgram() {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dir(path, length < MAX_PATH ? length : 0);
    const size_t slash = dir.rfind('\\');
    dir.resize(slash == std::string::npos ? 0 : slash + 1);
    return dir + "ostrel-training.exe";
}

// Nothing when an argument is not understood; unknown then holds it.
std::optional<Options> ParseOptions(int argc, char** argv, std::string& unknown) {
    Options options{DefaultProgram(), 0};
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc && argv[i + 1][0] != '\0';
        if (lstrcmpiA(argv[i], "/program") == 0 && hasValue) {
            options.program = argv[++i];
        } else if (lstrcmpiA(argv[i], "/show") == 0 && hasValue && SessionOfLetter(argv[i + 1])) {
            options.session = *SessionOfLetter(argv[++i]);
        } else {
            unknown = argv[i];
            return std::nullopt;
        }
    }
    return options;
}

void Tell(const std::string& text) {
    MessageBoxA(nullptr, text.c_str(), kEmulatorCaption, MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
}

DWORD WINAPI FinishAndStop(void* server) {
    // The exchange in progress ends when its caller has hung up, that is once it has its reply.
    static_cast<PipeServer*>(server)->WaitIdle(kFinishExchangeMs);
    delete static_cast<PipeServer*>(server);
    return 0;
}

// The pipe's thread may be inside SendMessage to this thread while the server stops, so this
// thread keeps answering sent messages until it has.
void StopServing(std::unique_ptr<PipeServer> server) {
    HANDLE stopper = CreateThread(nullptr, 0, &FinishAndStop, server.get(), 0, nullptr);
    if (!stopper) return;  // server stops here, without waiting for the exchange in progress
    server.release();
    while (MsgWaitForMultipleObjects(1, &stopper, FALSE, INFINITE, QS_SENDMESSAGE) ==
           WAIT_OBJECT_0 + 1) {
        MSG message;
        PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    CloseHandle(stopper);
}

int Run(int show) {
    std::string unknown;
    const auto options = ParseOptions(__argc, __argv, unknown);
    if (!options) {
        Tell("kt4r.exe does not understand \"" + unknown + "\".\n\n" + kUsage);
        return kUsageExitCode;
    }
    // Wine lets a second server share the pipe's name, so the pipe alone does not keep a second
    // emulator out; the mutex does, on Windows and Wine alike. Its name, like the pipe's, is the
    // session's own, so other trainees' emulators do not count. Held until Run() returns.
    const ostrel::win32::UniqueHandle instance(CreateMutexA(nullptr, FALSE, kInstanceMutex));
    const DWORD instanceError = GetLastError();
    if (instanceError == ERROR_ALREADY_EXISTS ||
        (!instance && instanceError == ERROR_ACCESS_DENIED)) {
        Tell(kAnotherRuns);
        return kFailureExitCode;
    }
    const INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);

    EmulatorCore core;
    core.SetProgram(options->program);
    EmulatorWindow window(core);
    if (!window.Create(options->session)) {
        Tell("The host emulator's window could not be made.");
        return kFailureExitCode;
    }
    auto server = std::make_unique<PipeServer>(
        [&window](const Message& request) { return window.Request(request); });
    if (!server->Started()) {
        server.reset();
        window.Destroy();
        Tell(kAnotherRuns);
        return kFailureExitCode;
    }
    window.Show(show);
    const HWND hwnd = window.Hwnd();
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (IsDialogMessageA(hwnd, &message)) continue;  // Tab moves between the controls
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    StopServing(std::move(server));
    ExitProcess(0);  // at once: taking the window down first would only keep the host listed
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int show) {
    try {
        return Run(show);
    } catch (const std::exception& e) {
        Tell(std::string("The host emulator failed: ") + e.what());
        return kFailureExitCode;
    }
}
