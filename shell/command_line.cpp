#include "shell/command_line.h"

#include <algorithm>

#include "platform/app_error.h"
#include "support/text_util.h"

namespace ostrel {

namespace {
// "A" is session 0 through "Y", session 24; anything else is session 0.
int32_t SessionOfLetter(const std::string& letter) {
    if (letter.size() == 1 && letter[0] >= 'A' && letter[0] <= 'Y') return letter[0] - 'A';
    return 0;
}
}  // namespace

std::string ArgumentText(const std::string& fullCommandLine) {
    size_t pos = 0;
    if (fullCommandLine.starts_with('"')) {
        const auto close = fullCommandLine.find('"', 1);
        pos = close == std::string::npos ? fullCommandLine.size() : close + 1;
    } else {
        pos = std::min(fullCommandLine.find_first_of(" \t"), fullCommandLine.size());
    }
    pos = std::min(fullCommandLine.find_first_not_of(" \t", pos), fullCommandLine.size());
    std::string args = fullCommandLine.substr(pos);
    if (args.size() >= 2 && args.front() == '"' && args.back() == '"' &&
        args.find('"', 1) == args.size() - 1) {
        args = args.substr(1, args.size() - 2);
    }
    return args;
}

void ParseCommandLine(const std::string& commandLine, SessionGlobals& globals) {
    globals.CommandLineText = commandLine;
    const auto comma = commandLine.find(',');
    if (comma == std::string::npos) {
        throw AppError(errnum::kInvalidArgument, "ParseCommandLine",
                       "Invalid procedure call or argument");
    }
    globals.SessionText = Trim(commandLine.substr(comma + 1));
    globals.SessionIndex = HostSessionId::Number(SessionOfLetter(commandLine.substr(0, comma)));
}

}  // namespace ostrel
