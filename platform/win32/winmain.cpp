// The Windows entry point: the real platform under the program's Main.
#include <windows.h>

#include "platform/win32/win32_desktop.h"
#include "platform/win32/win32_processes.h"
#include "platform/win32/win32_registry.h"
#include "shell/command_line.h"
#include "shell/main.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    ostrel::win32::Win32Registry registry;
    ostrel::win32::Win32Processes processes;
    ostrel::win32::Win32Desktop desktop;
    ostrel::Platform platform{registry, processes, desktop};
    return ostrel::Main(platform, ostrel::ArgumentText(GetCommandLineA()));
}
