// Starts ostrel.exe the way the host does and reports what it shows: its window's labels and
// any message box, which it answers (Cancel where there is one, else OK), until the program
// ends or a time limit passes. Used by the run command to show what happened.
//   ostrel_watch.exe <path of ostrel.exe> <argument> <seconds>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Found {
    DWORD pid;
    std::vector<HWND> windows;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM param) {
    auto* found = reinterpret_cast<Found*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == found->pid) found->windows.push_back(window);
    return TRUE;
}

BOOL CALLBACK CollectChild(HWND child, LPARAM param) {
    reinterpret_cast<std::vector<HWND>*>(param)->push_back(child);
    return TRUE;
}

std::string Text(HWND window) {
    char text[2048] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::string ClassOf(HWND window) {
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

// Shows line breaks as they stand in the text.
std::string OneLine(std::string text) {
    std::string out;
    for (char c : text) {
        if (c == '\r') continue;
        out += c == '\n' ? std::string(" / ") : std::string(1, c);
    }
    return out;
}

void ReportLabels(HWND window, std::string& last) {
    std::vector<HWND> children;
    EnumChildWindows(window, CollectChild, reinterpret_cast<LPARAM>(&children));
    std::string labels;
    for (HWND child : children) {
        if (ClassOf(child) == "Static") labels += " [" + Text(child) + "]";
    }
    const std::string line = "window \"" + Text(window) + "\":" + labels;
    if (line != last) std::printf("  %s\n", line.c_str());
    last = line;
}

void AnswerBox(HWND box) {
    char text[2048] = {};
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
    std::printf("  message box \"%s\": %s\n", Text(box).c_str(), OneLine(text).c_str());
    const bool hasCancel = GetDlgItem(box, IDCANCEL) != nullptr;
    std::printf("  answered %s\n", hasCancel ? "Cancel" : "OK");
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(hasCancel ? IDCANCEL : IDOK, BN_CLICKED), 0);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: ostrel_watch <ostrel.exe> <argument> <seconds>\n");
        return 2;
    }
    std::string command = std::string("\"") + argv[1] + "\" " + argv[2];
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        std::printf("could not start %s (error %lu)\n", argv[1], GetLastError());
        return 1;
    }
    std::printf("started: %s\n", command.c_str());
    const DWORD limit = static_cast<DWORD>(std::atoi(argv[3])) * 1000;
    const DWORD start = GetTickCount();
    std::string last;
    DWORD exitCode = STILL_ACTIVE;
    while (WaitForSingleObject(process.hProcess, 250) == WAIT_TIMEOUT) {
        Found found{process.dwProcessId, {}};
        EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&found));
        for (HWND window : found.windows) {
            const std::string kind = ClassOf(window);
            if (kind == "#32770" && IsWindowVisible(window)) {
                AnswerBox(window);
                Sleep(500);
            } else if (kind == "OstrelInterfaceWindow") {
                ReportLabels(window, last);
            }
        }
        if (GetTickCount() - start > limit) {
            std::printf("still running after %s s: stopped\n", argv[3]);
            TerminateProcess(process.hProcess, 1);
            WaitForSingleObject(process.hProcess, 5000);
            break;
        }
    }
    GetExitCodeProcess(process.hProcess, &exitCode);
    std::printf("ended after %.1f s, exit code %lu\n", (GetTickCount() - start) / 1000.0, exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return 0;
}
