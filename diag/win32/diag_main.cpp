// The diagnostics tool's entry point: the real platform, a console, and Ctrl+C to end a watch.
#include <windows.h>

#include <shellapi.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "diag/diag_run.h"
#include "platform/win32/utf8_path.h"
#include "platform/win32/win32_console_desktop.h"
#include "platform/win32/win32_hid.h"
#include "platform/win32/win32_host_control.h"
#include "platform/win32/win32_processes.h"
#include "platform/win32/win32_registry.h"
#include "platform/win32/win32_system_probe.h"

namespace {

std::atomic<bool> stopRequested{false};

// Runs on a thread of its own: it only raises the flag the watch looks at between polls.
BOOL WINAPI OnConsoleControl(DWORD event) {
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT || event == CTRL_CLOSE_EVENT) {
        stopRequested = true;
        return TRUE;
    }
    return FALSE;
}

// The arguments after the tool's own path, in UTF-8 as the tool takes paths: argv holds them in
// the ANSI code page, which cannot hold every folder's name.
std::vector<std::string> Utf8Arguments() {
    int count = 0;
    const std::unique_ptr<LPWSTR, decltype(&LocalFree)> wide(
        CommandLineToArgvW(GetCommandLineW(), &count), &LocalFree);
    std::vector<std::string> args;
    for (int i = 1; wide && i < count; ++i)
        args.push_back(ostrel::win32::Utf8Path(wide.get()[i]));
    return args;
}

}  // namespace

int main() {
    using namespace ostrel::win32;
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    ComApartment com;  // creating the host's control needs COM on this thread
    Win32Registry registry;
    Win32Processes processes;
    ConsoleDesktop desktop;
    Win32Hid hid;
    Win32SystemProbe probe;
    ostrel::diag::DiagPlatform platform{registry, processes, desktop, hid, probe};
    const std::vector<std::string> args = Utf8Arguments();
    return ostrel::diag::RunDiagnostics(
        platform, args,
        [](const std::string& text) {
            std::fwrite(text.data(), 1, text.size(), stdout);
            std::fflush(stdout);
        },
        [] { return stopRequested.load(); });
}
