#pragma once
// The host's start argument, "<letter>,<text>", turned into the session globals.
#include <functional>
#include <string>
#include <string_view>

#include "hostlink/session_id.h"

namespace ostrel {

struct SessionGlobals {
    std::string CommandLineText;  // the argument text as it came
    HostSessionId SessionIndex;   // 0 to 24 from the letter; later the text of "cSesId"
    std::string SessionText;      // the requesting host screen, trimmed
};

// Whether two file names name the same file, as the file system compares them.
using FileNamesMatch = bool (*)(std::string_view, std::string_view);
// Letters compared without regard to case in ASCII only; all else byte for byte.
bool SameIgnoringAsciiCase(std::string_view a, std::string_view b);

// A path as the file system names the file: in full, resolved against the working folder ("/"
// as "\\", "." and ".." taken out), with long names for 8.3 ones; "" when it cannot say.
using FullPathOf = std::function<std::string(std::string_view)>;

// The argument text of a full Windows command line: what follows the program's path. The path
// stands in quotes or bare; a bare one ends at the first blank unless a longer stretch up to a
// blank names programPath (the program's own file, ".exe" may be left out), as Windows itself
// finds the file for a host that gave "C:\...\Ostrel Interface\ostrel.exe C,x" without quotes.
// Both are compared in full (fullPath), so "Z:/.../ostrel.exe", "..\Ostrel Interface\ostrel.exe"
// and 8.3 names name the program too. One pair of quotes around the whole argument, as a shell
// adds for a text with blanks, is dropped.
std::string ArgumentText(const std::string& fullCommandLine, const std::string& programPath,
                         const FullPathOf& fullPath, FileNamesMatch same = SameIgnoringAsciiCase);

// Raises invalid argument (5) when the text has no comma; nothing but CommandLineText is
// stored then.
void ParseCommandLine(const std::string& commandLine, SessionGlobals& globals);

}  // namespace ostrel
