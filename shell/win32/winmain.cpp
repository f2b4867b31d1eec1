// The Windows entry point: the real platform under one copy of the program.
#include <windows.h>

#include "platform/win32/win32_desktop.h"
#include "platform/win32/win32_event_log.h"
#include "platform/win32/win32_hid.h"
#include "platform/win32/win32_host_control.h"
#include "platform/win32/win32_process_memory.h"
#include "platform/win32/win32_processes.h"
#include "platform/win32/win32_registry.h"
#include "shell/scanner_form.h"
#include "shell/win32/program_argument.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    using namespace ostrel::win32;
    Win32Registry registry;
    Win32Processes processes;
    Win32Desktop desktop;
    Win32Hid hid;
    LazyHostControl hostControl;
    Win32EventLog eventLog;
    Win32ProcessMemory memory;
    ostrel::OstrelCopy copy(
        ostrel::Platform{registry, processes, desktop, hid, hostControl, eventLog, memory});
    copy.Main(ProgramArgument());
}
