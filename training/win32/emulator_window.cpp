// The host emulator's window itself: its class and procedure, its buttons, and the requests from
// the pipe, which arrive by SendMessage so that only the window's thread touches the core.
#include "training/win32/emulator_window.h"

#include <exception>
#include <utility>

#include "platform/host_control.h"

namespace ostrel::training::win32 {
namespace {

// lParam: an Exchange; the pipe's thread waits in SendMessage until it is answered.
constexpr UINT kRequestMessage = WM_APP + 1;
// The error numbers of replies the window makes itself; start failures carry Windows' own.
constexpr long kClosing = 1;
constexpr long kFailed = 2;

constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr int kClientWidth = 660;
constexpr int kClientHeight = 566;

std::string SystemMessage(DWORD error) {
    char* text = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = length && text ? std::string(text, length) : std::string();
    if (text) LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == ' ' || message.back() == '.')) {
        message.pop_back();
    }
    return (message.empty() ? "Windows error" : message) + " (" + std::to_string(error) + ")";
}

// The host passes "letter,screen text" as one argument in quotes. The program takes all that
// follows its path and drops one pair of quotes around it, but keeps them when the text holds a
// quote of its own: such a text goes unquoted, which the program then takes exactly as it is.
std::string CommandLine(const std::string& program, const std::string& argument) {
    const bool quotable = argument.find('"') == std::string::npos;
    return "\"" + program + "\" " + (quotable ? "\"" + argument + "\"" : argument);
}

std::string FileName(const std::string& path) {
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

EmulatorWindow::~EmulatorWindow() {
    Destroy();
}

bool EmulatorWindow::Create(int session) {
    session_ = session;
    const HINSTANCE instance = GetModuleHandleA(nullptr);
    static const ATOM windowClass = [&] {
        WNDCLASSEXA wc = {};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = &EmulatorWindow::Procedure;
        wc.hInstance = instance;
        wc.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
        wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
        wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
        wc.lpszClassName = kEmulatorWindowClass;
        return RegisterClassExA(&wc);
    }();
    RECT frame = {0, 0, kClientWidth, kClientHeight};
    AdjustWindowRect(&frame, kWindowStyle, FALSE);
    // Procedure() keeps hwnd_ from WM_NCCREATE on; WM_CREATE makes the controls.
    if (!windowClass ||
        !CreateWindowExA(0, kEmulatorWindowClass, kEmulatorCaption, kWindowStyle, CW_USEDEFAULT,
                         CW_USEDEFAULT, frame.right - frame.left, frame.bottom - frame.top, nullptr,
                         nullptr, instance, this)) {
        return false;
    }
    // Requests wait in SendMessage until the message loop runs.
    target_ = hwnd_;
    return true;
}

void EmulatorWindow::Show(int how) {
    if (!hwnd_) return;
    running_ = true;
    ShowWindow(hwnd_, how);
    UpdateWindow(hwnd_);
}

void EmulatorWindow::Destroy() {
    if (hwnd_) DestroyWindow(hwnd_);
}

Message EmulatorWindow::Request(const Message& request) {
    // Runs on the pipe's thread, where nothing may throw into the pipe server.
    try {
        Message reply = ErrorReply(kClosing, "the host emulator is closing");
        Exchange exchange{&request, &reply};
        // Once the window is destroyed, SendMessage fails at once and the reply stays as it is.
        if (HWND target = target_.load()) {
            SendMessageA(target, kRequestMessage, 0, reinterpret_cast<LPARAM>(&exchange));
        }
        return reply;
    } catch (...) {
        return {};
    }
}

LRESULT CALLBACK EmulatorWindow::Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self =
            static_cast<EmulatorWindow*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
        self->hwnd_ = hwnd;
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<EmulatorWindow*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (!self) return DefWindowProcA(hwnd, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
        self->hwnd_ = nullptr;
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }
    try {
        return self->Handle(message, wParam, lParam);
    } catch (const std::exception& e) {
        return self->Failed(message, lParam, e.what());
    } catch (...) {
        return self->Failed(message, lParam, "unknown error");
    }
}

LRESULT EmulatorWindow::Failed(UINT message, LPARAM lParam, const char* what) noexcept {
    if (message == WM_CREATE) return -1;  // CreateWindowEx fails, and Create() says so
    try {
        const std::string text = std::string("The host emulator failed: ") + what;
        if (message == kRequestMessage) {
            *reinterpret_cast<Exchange*>(lParam)->reply = ErrorReply(kFailed, text);
        } else {
            SetStatus(text);
        }
    } catch (...) {
        // Out of memory even for the message: the request keeps its "closing" reply.
    }
    return 0;
}

LRESULT EmulatorWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case kRequestMessage: {
            const auto* exchange = reinterpret_cast<Exchange*>(lParam);
            *exchange->reply = Perform(*exchange->request);
            RefreshSoon();
            return 0;
        }
        case WM_TIMER:
            if (wParam == kBoardTimer) {
                if (ListBoardAnswers()) RefreshSoon();
                return 0;
            }
            if (wParam != kRefreshTimer) break;
            RefreshNow();
            return 0;
        case WM_CREATE:
            CreateControls();
            Refresh(true);
            board_.Publish(core_.Screens());
            SetTimer(hwnd_, kBoardTimer, kBoardListMs, nullptr);
            return 0;
        case WM_COMMAND:
            OnCommand(LOWORD(wParam), HIWORD(wParam));
            return 0;
        case WM_CLOSE:
            // The host ends: the loop stops, the pipe finishes the exchange in progress and the
            // process goes. Destroying the window first would keep it listed for seconds where
            // there is no window manager, while its control already failed.
            if (running_) {
                board_.Withdraw();
                PostQuitMessage(0);
                return 0;
            }
            break;
        case WM_DESTROY:
            // From here on the pipe's requests get the "closing" reply.
            target_ = nullptr;
            board_.Withdraw();
            if (running_) PostQuitMessage(0);
            return 0;
    }
    return DefWindowProcA(hwnd_, message, wParam, lParam);
}

void EmulatorWindow::OnCommand(int id, int code) {
    const std::string letter(1, LetterOfSession(session_));
    switch (id) {
        case kIdSession:
            if (code == CBN_SELCHANGE) {
                const auto chosen = SendDlgItemMessageA(hwnd_, kIdSession, CB_GETCURSEL, 0, 0);
                if (chosen >= 0 && chosen < kSessionCount) SelectSession(static_cast<int>(chosen));
            }
            return;
        case IDOK:
            // Enter in one of the edits presses the button beside it.
            if (GetFocus() == GetDlgItem(hwnd_, kIdScreenText)) OnCommand(kIdSetScreen, BN_CLICKED);
            if (GetFocus() == GetDlgItem(hwnd_, kIdTrack1) ||
                GetFocus() == GetDlgItem(hwnd_, kIdTrack2)) {
                OnCommand(kIdSwipeTyped, BN_CLICKED);
            }
            return;
    }
    if (code != BN_CLICKED) return;
    switch (id) {
        case kIdSetScreen:
            Run({"screen", letter, ControlText(kIdScreenText)},
                "Screen text of session " + letter + " set");
            return;
        case kIdScan:
            Run({"scan", letter});
            return;
        case kIdSwipe: {
            const auto card = SendDlgItemMessageA(hwnd_, kIdCard, CB_GETCURSEL, 0, 0);
            const auto& cards = TestCards();
            if (card < 0 || static_cast<size_t>(card) >= cards.size()) {
                SetStatus("Choose a test card first");
                return;
            }
            Run({"swipe", std::string(cards[card].name)},
                "Swiped " + std::string(cards[card].label));
            return;
        }
        case kIdSwipeTyped:
            Run({"swipe-tracks", ControlText(kIdTrack1), ControlText(kIdTrack2)},
                "Swiped the typed tracks");
            return;
    }
}

void EmulatorWindow::Run(const Message& request, const std::string& done) {
    const Message reply = Perform(request);
    if (!reply.empty() && reply[0] == kError) {
        SetStatus(reply.size() > 2 ? reply[2] : "failed");
    } else if (!done.empty()) {
        SetStatus(done);
    }
    Refresh();
}

bool EmulatorWindow::ListBoardAnswers() {
    const auto answered = board_.TakeAnswered();
    bool any = false;
    for (int s = 0; s < kSessionCount; ++s) {
        for (LONG i = 0; i < answered[s]; ++i) {
            core_.Screens().Apply(dispid::kGetSessionInfo,
                                  {ControlArg::Long(kInfoScreenText), ControlArg::Long(s)});
            any = true;
        }
    }
    return any;
}

Message EmulatorWindow::Perform(const Message& request) {
    // What the stand-in answered from the board came before this request.
    ListBoardAnswers();
    EmulatorReply handled = core_.Handle(request);
    board_.Publish(core_.Screens());
    if (swipeWaiting_) {
        if (core_.PendingSwipes() > 0) {
            SetEvent(swipeWaiting_.Get());
        } else {
            ResetEvent(swipeWaiting_.Get());
        }
    }
    const EmulatorAction& action = handled.action;
    switch (action.kind) {
        case EmulatorAction::Kind::StartProgram:
            return StartProgram(action);
        case EmulatorAction::Kind::Show:
            SelectSession(action.session);
            if (IsIconic(hwnd_)) ShowWindow(hwnd_, SW_RESTORE);
            break;
        case EmulatorAction::Kind::Quit:
            // Posted: the caller has its reply before the window closes.
            PostMessageA(hwnd_, WM_CLOSE, 0, 0);
            break;
        case EmulatorAction::Kind::None:
            break;
    }
    return std::move(handled.reply);
}

Message EmulatorWindow::StartProgram(const EmulatorAction& action) {
    const std::string program = core_.Program();
    std::string commandLine = CommandLine(program, action.argument);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
        const DWORD error = GetLastError();
        const std::string why = "Could not start " + program + ": " + SystemMessage(error);
        SetStatus(why);
        return ErrorReply(static_cast<long>(error), why);
    }
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    SetStatus("Started " + FileName(program) + " \"" + action.argument + "\" (process " +
              std::to_string(info.dwProcessId) + ")");
    return OkReply({std::to_string(info.dwProcessId)});
}

void EmulatorWindow::SelectSession(int session) {
    session_ = session;
    SendDlgItemMessageA(hwnd_, kIdSession, CB_SETCURSEL, session, 0);
    Refresh(true);
}

std::string EmulatorWindow::ControlText(int id) const {
    HWND control = GetDlgItem(hwnd_, id);
    if (!control) return {};
    std::string text(GetWindowTextLengthA(control) + 1, '\0');
    text.resize(GetWindowTextA(control, text.data(), static_cast<int>(text.size())));
    return text;
}

}  // namespace ostrel::training::win32
