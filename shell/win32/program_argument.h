#pragma once
// The host's argument as the program reads it, for the entry points of ostrel.exe and the
// training build: taken from the wide command line, whose program path may hold characters the
// ANSI code page cannot (GetCommandLineA would show them as look-alikes or "?", and the path
// would no longer match the program's own), then given in the ANSI code page as Windows gives
// GetCommandLineA, like the program's other texts. The line's path and the program's own are
// compared in full, as resolved against the host's working folder, with long names.
#include <windows.h>

#include <string>

#include "platform/win32/utf8_path.h"
#include "platform/win32/win32_desktop.h"
#include "shell/command_line.h"

namespace ostrel::win32 {

inline std::string ProgramArgument() {
    const std::string argument =
        ArgumentText(Utf8Path(GetCommandLineW()), ModulePath(), FullLongPath, SameFileName);
    return AnsiText(argument, Unmappable::BestFit);
}

}  // namespace ostrel::win32
