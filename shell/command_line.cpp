#include "shell/command_line.h"

#include <algorithm>
#include <vector>

#include "platform/app_error.h"
#include "support/text_util.h"

namespace ostrel {

namespace {
// "A" is session 0 through "Y", session 24; anything else is session 0.
int32_t SessionOfLetter(const std::string& letter) {
    if (letter.size() == 1 && letter[0] >= 'A' && letter[0] <= 'Y') return letter[0] - 'A';
    return 0;
}

constexpr const char* kBlanks = " \t";
constexpr const char* kExeExtension = ".exe";
constexpr const char* kSeparators = "\\/";

// Whether resolving a stretch would take back a folder with a blank in it ("x C,y\..\"): then
// the stretch runs on into the argument, and a screen text that holds a path is never cut.
bool ClimbsBackOverABlank(std::string_view stretch) {
    std::vector<bool> kept;  // the stretch's own folders so far: whether each holds a blank
    for (size_t start = 0; start <= stretch.size();) {
        const size_t end = std::min(stretch.find_first_of(kSeparators, start), stretch.size());
        const std::string_view part = stretch.substr(start, end - start);
        if (part == "..") {
            // With none of its own left, it climbs the working folder's: no text of the line.
            if (!kept.empty() && kept.back()) return true;
            if (!kept.empty()) kept.pop_back();
        } else if (!part.empty() && part != ".") {
            kept.push_back(part.find_first_of(kBlanks) != std::string_view::npos);
        }
        start = end + 1;
    }
    return false;
}

// The last name in a path, after a drive's "C:".
std::string_view LastName(std::string_view path) {
    const size_t separator = path.find_last_of(kSeparators);
    std::string_view last = separator == std::string_view::npos ? path : path.substr(separator + 1);
    if (last.size() >= 2 && last[1] == ':') last.remove_prefix(2);
    return last;
}

// Whether resolving could make the stretch's last name the program's file name: it only drops
// trailing dots and blanks, gives an 8.3 name ("~") its long one, or goes up for "." and "..".
// Any other stretch is not asked of the file system.
bool MayEndInFile(std::string_view stretch, std::string_view fileName, FileNamesMatch same) {
    std::string_view last = LastName(stretch);
    while (!last.empty() && (last.back() == '.' || last.back() == ' '))
        last.remove_suffix(1);
    return last.empty() || last.find('~') != std::string_view::npos || same(last, fileName);
}

std::string InFull(std::string_view path, const FullPathOf& fullPath) {
    std::string full = fullPath(path);
    return full.empty() ? std::string(path) : full;
}

// Where a program path without quotes ends. Windows tries each stretch of the line up to a blank
// in turn, shortest first, ".exe" added to one without it, and runs the first file there is: the
// first stretch that names this program is the one it ran. None does: the first blank, as ever.
size_t BarePathEnd(const std::string& line, const std::string& programPath, FileNamesMatch same,
                   const FullPathOf& fullPath) {
    const size_t firstBlank = std::min(line.find_first_of(kBlanks), line.size());
    if (programPath.empty()) return firstBlank;
    const std::string program = InFull(programPath, fullPath);
    const std::string_view fileName = LastName(program);
    for (size_t end = firstBlank;;
         end = std::min(line.find_first_of(kBlanks, end + 1), line.size())) {
        const std::string stretch = line.substr(0, end);
        for (const std::string& name : {stretch, stretch + kExeExtension}) {
            if (MayEndInFile(name, fileName, same) && !ClimbsBackOverABlank(name) &&
                same(InFull(name, fullPath), program))
                return end;
        }
        if (end == line.size()) return firstBlank;
    }
}
}  // namespace

bool SameIgnoringAsciiCase(std::string_view a, std::string_view b) {
    const auto lower = [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](char x, char y) { return lower(x) == lower(y); });
}

std::string ArgumentText(const std::string& fullCommandLine, const std::string& programPath,
                         const FullPathOf& fullPath, FileNamesMatch same) {
    size_t pos = 0;
    if (fullCommandLine.starts_with('"')) {
        const auto close = fullCommandLine.find('"', 1);
        pos = close == std::string::npos ? fullCommandLine.size() : close + 1;
    } else {
        pos = BarePathEnd(fullCommandLine, programPath, same, fullPath);
    }
    pos = std::min(fullCommandLine.find_first_not_of(kBlanks, pos), fullCommandLine.size());
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
