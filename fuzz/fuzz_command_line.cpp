// The host's start argument. The input is a whole Windows command line (the program's path
// and what follows), or what follows the program's path; its argument text is taken out and
// parsed into the session globals.
#include "fuzz/fuzz_input.h"
#include "platform/app_error.h"
#include "platform/sim/sim_paths.h"
#include "shell/command_line.h"
#include "support/text_util.h"

namespace ostrel::fuzz {
namespace {

// Installed per user, as the package does: a folder name with a blank in it.
constexpr const char* kProgram = "C:\\Users\\Clerk\\AppData\\Local\\Ostrel Interface\\ostrel.exe";

// Read from the host's working folder, beside the program's.
std::string ArgumentOf(const std::string& line) {
    static const ostrel::sim::SimPaths paths{"C:\\Users\\Clerk\\AppData\\Local\\Host", {}};
    return ostrel::ArgumentText(line, kProgram,
                                [](std::string_view path) { return paths.FullLongPath(path); });
}

std::string UpperCase(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

void CheckParse(const std::string& argument) {
    SessionGlobals globals;
    globals.SessionText = "BEFORE";
    globals.SessionIndex = HostSessionId::Number(7);
    const auto comma = argument.find(',');
    try {
        ParseCommandLine(argument, globals);
    } catch (const AppError& e) {
        Check(comma == std::string::npos, "an argument with a comma raised " + e.Description());
        Check(e.Number() == errnum::kInvalidArgument, "a missing comma raised another error");
        Check(globals.SessionText == "BEFORE" && globals.SessionIndex == HostSessionId::Number(7),
              "a refused argument changed the session globals");
        Check(globals.CommandLineText == argument, "the argument text was not kept");
        return;
    }
    Check(comma != std::string::npos, "an argument without a comma was taken");
    Check(globals.CommandLineText == argument, "the argument text was not kept");
    Check(globals.SessionIndex.IsNumeric(), "the session is no number");
    const int32_t session = globals.SessionIndex.ToLong();
    Check(session >= 0 && session <= 24, "session " + std::to_string(session) + " out of range");
    const std::string letter = argument.substr(0, comma);
    Check(session == 0 || (letter.size() == 1 && letter[0] == 'A' + session),
          "session " + std::to_string(session) + " from the letter " + Shown(letter));
    const std::string& text = globals.SessionText;
    Check(text == Trim(text), "the session text keeps blanks at its ends: " + Shown(text));
    Check(argument.find(text, comma + 1) != std::string::npos,
          "the session text is not what follows the comma: " + Shown(text));
}

}  // namespace
}  // namespace ostrel::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace ostrel::fuzz;
    const std::string line(reinterpret_cast<const char*>(data), size);
    const std::string argument = ArgumentOf(line);
    Check(line.find(argument) != std::string::npos || argument.empty(),
          "the argument text is not part of the command line: " + Shown(argument));
    // Started by the program's own path, the rest is the argument alike with or without quotes,
    // whatever the case of the path's letters and in the path's relative form.
    const std::string quoted = ArgumentOf("\"" + std::string(kProgram) + "\" " + line);
    for (const std::string& path : {std::string(kProgram), UpperCase(kProgram),
                                    std::string("../Ostrel Interface/ostrel.exe")}) {
        Check(ArgumentOf(path + " " + line) == quoted,
              "the bare path " + Shown(path) + " is read otherwise than the quoted one");
    }
    CheckParse(argument);
    CheckParse(line);
    return 0;
}
