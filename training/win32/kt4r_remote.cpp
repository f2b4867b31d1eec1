// kt4r_remote: drives the host emulator from a shell. Most commands go to kt4r.exe as they are;
// a few look at the windows on the screen instead (see the usage text).
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/desktop.h"
#include "training/emulator_core.h"
#include "training/win32/emulator_window.h"
#include "training/win32/pipe.h"
#include "training/win32/png_encode.h"
#include "training/win32/screen_capture.h"

namespace {

using namespace ostrel::training;
using ostrel::training::win32::CallEmulator;
using ostrel::training::win32::kEmulatorWindowClass;
using ostrel::training::win32::kEmulatorWindowLagMs;

constexpr int kDone = 0;
constexpr int kFailed = 1;
constexpr int kNotRunning = 2;  // also: the command line was not understood
constexpr int kNoProgramWindow = 3;

constexpr char kProgramClass[] = "OstrelInterfaceWindow";
constexpr DWORD kCallTimeoutMs = 5000;
// The program's notification icon's id, which the shell sends with the icon's mouse messages.
constexpr WPARAM kProgramIconId = 1;

constexpr char kUsageHead[] =
    "kt4r_remote <command> [arguments...]: drives the host emulator kt4r.exe\n"
    "\n"
    "Sent to the emulator:\n";
constexpr char kUsageTail[] =
    "\n"
    "Each result is printed on a line of its own; session prints the screen text, \"attached\"\n"
    "or \"detached\", then one \"NAME<tab>value\" line per field, and cards one\n"
    "\"name<tab>label\" line per card.\n"
    "\n"
    "Done here:\n"
    "  wait [<seconds>]               wait until the emulator answers (30 seconds unless given)\n"
    "  wait-status <letter> <seconds> [--after <n>] <text>...\n"
    "                                 wait until the session's \"CCSTATUS\" is one of the texts;\n"
    "                                 with --after, until one of the texts is among the statuses\n"
    "                                 received after the first n (prints it; exit 1 on time-out)\n"
    "  labels                         the program window's caption, then its labels' texts\n"
    "  show-program                   show the program's window, as its icon's double click\n"
    "  screenshot <file.png>          save the emulator's window, and the program's when shown\n"
    "\n"
    "Exit codes: 0 done, 1 the emulator refused (why on stderr), 2 the emulator is not running\n"
    "or the command line was not understood, 3 the program has no window.\n";

void Print(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
}

int NotRunning() {
    std::fputs("the host emulator kt4r.exe is not running\n", stderr);
    return kNotRunning;
}

// On stdout when asked for, on stderr after a command line that was not understood.
int Usage(FILE* to = stderr) {
    std::fputs(kUsageHead, to);
    std::fputs(kCommandSummary, to);
    std::fputs(kUsageTail, to);
    return kNotRunning;
}

int PrintReply(const std::string& command, const Message& reply) {
    if (!reply.empty() && reply[0] == kError) {
        std::fprintf(stderr, "%s\n", reply.size() > 2 ? reply[2].c_str() : "the emulator refused");
        return kFailed;
    }
    if (reply.empty() || reply[0] != kOk) {
        std::fputs("the emulator's reply was not understood\n", stderr);
        return kFailed;
    }
    // session: the screen text and the attached state, then name and value pairs; cards: pairs.
    const size_t pairsFrom = command == "session" ? 3 : command == "cards" ? 1 : reply.size();
    for (size_t i = 1; i < reply.size(); ++i) {
        if (i >= pairsFrom && i + 1 < reply.size()) {
            Print(reply[i] + "\t" + reply[i + 1]);
            ++i;
        } else {
            Print(reply[i]);
        }
    }
    return kDone;
}

int Wait(const char* secondsText) {
    long seconds = 30;
    if (secondsText) {
        char* end = nullptr;
        seconds = std::strtol(secondsText, &end, 10);
        if (*secondsText == '\0' || *end != '\0' || seconds < 0 || seconds > 24 * 3600) {
            return Usage();
        }
    }
    const DWORD start = GetTickCount();
    const DWORD limitMs = static_cast<DWORD>(seconds) * 1000;
    for (;;) {
        const auto reply = CallEmulator({"pending"}, 1000);
        if (reply && !reply->empty() && (*reply)[0] == kOk) return kDone;
        if (GetTickCount() - start >= limitMs) return NotRunning();
        Sleep(100);
    }
}

// Polls the emulator's list of the session's statuses, so that a shell waits in one process
// instead of starting one per look (each start of a Wine process costs seconds in a VM).
int WaitStatus(int argc, char** argv) {
    char* end = nullptr;
    const long seconds = std::strtol(argv[3], &end, 10);
    if (*argv[3] == '\0' || *end != '\0' || seconds < 0 || seconds > 24 * 3600) return Usage();
    int first = 4;
    long after = -1;  // -1: the current status only
    if (argc > 5 && std::string(argv[4]) == "--after") {
        after = std::strtol(argv[5], &end, 10);
        if (*argv[5] == '\0' || *end != '\0' || after < 0) return Usage();
        first = 6;
    }
    if (first >= argc) return Usage();
    const std::vector<std::string> wanted(argv + first, argv + argc);
    const DWORD start = GetTickCount();
    std::string last;
    for (;;) {
        const auto reply = CallEmulator({"statuses", argv[2]}, kCallTimeoutMs);
        const bool timeUp = GetTickCount() - start >= static_cast<DWORD>(seconds) * 1000;
        // A call that did not get through (the emulator busy with the control's calls on a
        // loaded machine) is asked again while there is time.
        if (!reply) {
            if (timeUp) return NotRunning();
            Sleep(100);
            continue;
        }
        if (reply->empty() || (*reply)[0] != kOk) return PrintReply("statuses", *reply);
        const size_t from =
            after < 0 ? std::max<size_t>(reply->size(), 2) - 1 : static_cast<size_t>(after) + 1;
        for (size_t i = from; i < reply->size(); ++i) {
            for (const std::string& text : wanted) {
                if ((*reply)[i] == text) {
                    Print(text);
                    return kDone;
                }
            }
        }
        if (reply->size() > 1) last = reply->back();
        if (timeUp) {
            std::fprintf(stderr, "after %ld s the status is \"%s\"\n", seconds, last.c_str());
            return kFailed;
        }
        Sleep(100);
    }
}

std::string WindowText(HWND window) {
    // Asked for with a time limit: the window belongs to another program, which may be busy.
    char text[1024] = {};
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                             SMTO_ABORTIFHUNG, 2000, &copied)) {
        return {};
    }
    return std::string(text, copied < sizeof text ? copied : 0);
}

BOOL CALLBACK AddStatic(HWND child, LPARAM param) {
    char name[32] = {};
    GetClassNameA(child, name, sizeof name);
    if (lstrcmpiA(name, "Static") == 0)
        reinterpret_cast<std::vector<HWND>*>(param)->push_back(child);
    return TRUE;
}

int Labels() {
    HWND program = FindWindowA(kProgramClass, nullptr);
    if (!program) {
        std::fputs("the program has no window\n", stderr);
        return kNoProgramWindow;
    }
    std::vector<HWND> labels;
    EnumChildWindows(program, AddStatic, reinterpret_cast<LPARAM>(&labels));
    Print(WindowText(program));
    for (HWND label : labels)
        Print(WindowText(label));
    return kDone;
}

int ShowProgram() {
    HWND program = FindWindowA(kProgramClass, nullptr);
    if (!program) {
        std::fputs("the program has no window\n", stderr);
        return kNoProgramWindow;
    }
    PostMessageA(program, ostrel::kIconCallbackMessage, kProgramIconId, WM_LBUTTONDBLCLK);
    // Beside the emulator rather than over its fields, when both fit on the screen.
    RECT emulator;
    HWND host = FindWindowA(kEmulatorWindowClass, nullptr);
    if (host && GetWindowRect(host, &emulator) &&
        emulator.right + 50 < GetSystemMetrics(SM_CXSCREEN)) {
        SetWindowPos(program, nullptr, emulator.right + 8, emulator.top, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    return kDone;
}

struct Search {
    const char* windowClass;
    HWND found = nullptr;
};

BOOL CALLBACK FindVisible(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    if (lstrcmpA(name, search->windowClass) == 0 && IsWindowVisible(window) && !IsIconic(window)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND VisibleWindow(const char* windowClass) {
    Search search{windowClass};
    EnumWindows(FindVisible, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

int Screenshot(const char* path) {
    HWND emulator = VisibleWindow(kEmulatorWindowClass);
    if (!emulator) return NotRunning();
    // What the last requests changed is on the screen by then.
    Sleep(kEmulatorWindowLagMs);
    RECT area;
    GetWindowRect(emulator, &area);
    if (HWND program = VisibleWindow(kProgramClass)) {
        RECT more;
        GetWindowRect(program, &more);
        UnionRect(&area, &area, &more);
    }
    const RECT screen = {
        GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
        GetSystemMetrics(SM_XVIRTUALSCREEN) + GetSystemMetrics(SM_CXVIRTUALSCREEN),
        GetSystemMetrics(SM_YVIRTUALSCREEN) + GetSystemMetrics(SM_CYVIRTUALSCREEN)};
    std::string rgb;
    if (!IntersectRect(&area, &area, &screen) || !ostrel::training::CaptureScreen(area, rgb)) {
        std::fputs("the screen could not be read\n", stderr);
        return kFailed;
    }
    const auto width = static_cast<uint32_t>(area.right - area.left);
    const auto height = static_cast<uint32_t>(area.bottom - area.top);
    const std::string png = EncodePng(width, height, rgb);
    FILE* file = std::fopen(path, "wb");
    const bool written = file && std::fwrite(png.data(), 1, png.size(), file) == png.size();
    if (!file || std::fclose(file) != 0 || !written) {
        std::fprintf(stderr, "%s could not be written\n", path);
        return kFailed;
    }
    std::printf("%s %ux%u\n", path, static_cast<unsigned>(width), static_cast<unsigned>(height));
    return kDone;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    const std::string command = argv[1];
    if (command == "help" || command == "-h" || command == "/?" || command == "--help") {
        return Usage(stdout);
    }
    if (command == "wait" && argc <= 3) return Wait(argc == 3 ? argv[2] : nullptr);
    if (command == "wait-status" && argc >= 5) return WaitStatus(argc, argv);
    if (command == "labels" && argc == 2) return Labels();
    if (command == "show-program" && argc == 2) return ShowProgram();
    if (command == "screenshot" && argc == 3) return Screenshot(argv[2]);
    if (command == "wait" || command == "wait-status" || command == "labels" ||
        command == "show-program" || command == "screenshot") {
        return Usage();
    }
    const Message request(argv + 1, argv + argc);
    const auto reply = CallEmulator(request, kCallTimeoutMs);
    if (!reply) return NotRunning();
    return PrintReply(command, *reply);
}
