#pragma once
// The host's start argument, "<letter>,<text>", turned into the session globals.
#include <string>

#include "hostlink/session_id.h"

namespace ostrel {

struct SessionGlobals {
    std::string CommandLineText;  // the argument text as it came
    HostSessionId SessionIndex;   // 0 to 24 from the letter; later the text of "cSesId"
    std::string SessionText;      // the requesting host screen, trimmed
};

// The argument text of a full Windows command line: what follows the program's path. One pair
// of quotes around the whole of it, as a shell adds for a text with blanks, is dropped.
std::string ArgumentText(const std::string& fullCommandLine);

// Raises invalid argument (5) when the text has no comma; nothing but CommandLineText is
// stored then.
void ParseCommandLine(const std::string& commandLine, SessionGlobals& globals);

}  // namespace ostrel
