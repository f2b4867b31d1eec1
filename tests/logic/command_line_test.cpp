#include "shell/command_line.h"

#include <gtest/gtest.h>

#include "platform/sim/sim_paths.h"
#include "tests/app_error_matchers.h"

namespace ostrel {
namespace {

SessionGlobals Parse(const std::string& text) {
    SessionGlobals g;
    ParseCommandLine(text, g);
    return g;
}

int32_t SessionOf(const std::string& text) {
    return Parse(text).SessionIndex.ToLong();
}

TEST(ParseCommandLine, LettersAToYGiveSessionsZeroToTwentyFour) {
    EXPECT_EQ(SessionOf("A,x"), 0);
    EXPECT_EQ(SessionOf("B,x"), 1);
    EXPECT_EQ(SessionOf("C,x"), 2);
    EXPECT_EQ(SessionOf("M,x"), 12);
    EXPECT_EQ(SessionOf("X,x"), 23);
    EXPECT_EQ(SessionOf("Y,x"), 24);
}

TEST(ParseCommandLine, AnyOtherLetterTextGivesSessionZero) {
    for (const char* text : {"Z,x", "c,x", "y,x", "AB,x", " A,x", "C ,x", ",x", "1,x"}) {
        SCOPED_TRACE(text);
        const SessionGlobals g = Parse(text);
        EXPECT_FALSE(g.SessionIndex.IsEmpty());
        EXPECT_EQ(g.SessionIndex.ToLong(), 0);
    }
}

TEST(ParseCommandLine, SessionTextIsTrimmedAndOnlyTheFirstCommaSplits) {
    const SessionGlobals front = Parse("C,Front Desk ");
    EXPECT_EQ(front.SessionIndex.ToLong(), 2);
    EXPECT_EQ(front.SessionText, "Front Desk");
    EXPECT_EQ(front.CommandLineText, "C,Front Desk ");

    EXPECT_EQ(Parse("A,  padded  ").SessionText, "padded");
    EXPECT_EQ(Parse("A,").SessionText, "");
    const SessionGlobals commas = Parse("A,b,c");
    EXPECT_EQ(commas.SessionIndex.ToLong(), 0);
    EXPECT_EQ(commas.SessionText, "b,c");
}

TEST(ParseCommandLine, NoCommaRaisesInvalidArgumentAndStoresNoSession) {
    for (const char* text : {"", "C Front Desk"}) {
        SCOPED_TRACE(text);
        SessionGlobals g;
        EXPECT_EQ(CaughtError([&] { ParseCommandLine(text, g); }).Number(), 5);
        EXPECT_TRUE(g.SessionIndex.IsEmpty());
        EXPECT_EQ(g.SessionIndex.ToLong(), 0);
        EXPECT_EQ(g.SessionText, "");
        EXPECT_EQ(g.CommandLineText, text);
    }
}

constexpr const char* kProgram = R"(C:\Users\Clerk\AppData\Local\Ostrel Interface\ostrel.exe)";

// The host's working folder beside the program's, and the 8.3 name of the program's folder.
std::string Argument(const std::string& line, const std::string& program) {
    sim::SimPaths paths;
    paths.workingFolder = R"(C:\Users\Clerk\AppData\Local\Host)";
    paths.longNames = {{"OSTREL~1", "Ostrel Interface"}};
    return ArgumentText(line, program,
                        [&](std::string_view path) { return paths.FullLongPath(path); });
}

TEST(ArgumentText, IsWhatFollowsTheProgramPath) {
    const struct {
        const char* line;
        const char* program;
        const char* argument;
    } cases[] = {
        {R"("C:\Program Files\Ostrel\ostrel.exe" C,Front Desk)",
         R"(C:\Program Files\Ostrel\ostrel.exe)", "C,Front Desk"},
        {R"(C:\Ostrel\ostrel.exe  A,x)", R"(C:\Ostrel\ostrel.exe)", "A,x"},
        {"ostrel.exe", R"(C:\Ostrel\ostrel.exe)", ""},
        {R"("ostrel.exe")", R"(C:\Ostrel\ostrel.exe)", ""},
        // Without quotes around a path with blanks, as Windows runs it for a host set up so.
        {R"(C:\Users\Clerk\AppData\Local\Ostrel Interface\ostrel.exe C,Front Desk)", kProgram,
         "C,Front Desk"},
        {R"(c:\users\clerk\appdata\local\OSTREL INTERFACE\ostrel.EXE C,x)", kProgram, "C,x"},
        {"C:\\Users\\Clerk\\AppData\\Local\\Ostrel Interface\\ostrel\tC,x", kProgram, "C,x"},
        {R"(C:\Users\Clerk\AppData\Local\Ostrel Interface\ostrel.exe "C,Front Desk")", kProgram,
         "C,Front Desk"},
        {R"(C:\Users\Clerk\AppData\Local\Ostrel Interface\ostrel.exe)", kProgram, ""},
        {R"(C:\My Shop\Ostrel Interface\ostrel.exe  B,x y)",
         R"(C:\My Shop\Ostrel Interface\ostrel.exe)", "B,x y"},
        // The same file in the other forms Windows runs it by.
        {R"(C:/Users/Clerk/AppData/Local/Ostrel Interface/ostrel.exe "C,Front Desk")", kProgram,
         "C,Front Desk"},
        {R"(..\Ostrel Interface\ostrel.exe "C,Front Desk")", kProgram, "C,Front Desk"},
        {R"(../Ostrel Interface/ostrel C,x)", kProgram, "C,x"},
        {R"(C:\Users\Clerk\AppData\Local\.\Ostrel Interface\\ostrel.exe C,x)", kProgram, "C,x"},
        {R"(\Users\Clerk\AppData\Local\Ostrel Interface\ostrel.exe C,x)", kProgram, "C,x"},
        {R"(C:\Users\Clerk\AppData\Local\OSTREL~1\ostrel.exe C,x)", kProgram, "C,x"},
        {R"(C:\Users\Clerk\AppData\Local\Ostrel Interface\ostrel.exe C,x)",
         R"(C:\Users\Clerk\AppData\Local\OSTREL~1\ostrel.exe)", "C,x"},
        // A path that is not the program's own: the first blank ends it, and a screen text that
        // names the program is never taken for a longer path.
        {R"(C:\Users\Clerk\AppData\Local\Ostrel Interface\ostrel.exe C,x)",
         R"(C:\Ostrel\ostrel.exe)", R"(Interface\ostrel.exe C,x)"},
        {R"(ostrel.exe C,Desk\..\..\Ostrel Interface\ostrel.exe)", kProgram,
         R"(C,Desk\..\..\Ostrel Interface\ostrel.exe)"},
        {R"(ostrel.exe C,C:\Users\Clerk\AppData\Local\Ostrel Interface\ostrel.exe)", kProgram,
         R"(C,C:\Users\Clerk\AppData\Local\Ostrel Interface\ostrel.exe)"},
        {"ostrel.exe C,x", "", "C,x"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(Argument(c.line, c.program), c.argument);
    }
}

TEST(ArgumentText, DropsOnePairOfQuotesAroundTheWholeArgument) {
    EXPECT_EQ(Argument(R"(ostrel.exe "C,Front Desk")", ""), "C,Front Desk");
    // Quotes that do not enclose the whole text are the host's own.
    EXPECT_EQ(Argument(R"(ostrel.exe "A,x" "B")", ""), R"("A,x" "B")");
    EXPECT_EQ(Argument(R"(ostrel.exe A,"x")", ""), R"(A,"x")");
}

TEST(HostSessionId, ConvertsNumbersAndRefusesOtherTexts) {
    EXPECT_EQ(HostSessionId().ToLong(), 0);
    EXPECT_EQ(HostSessionId().AsText(), "0");
    EXPECT_EQ(HostSessionId::Number(24).AsText(), "24");
    EXPECT_EQ(HostSessionId::Text("12").ToLong(), 12);
    EXPECT_EQ(HostSessionId::Text(" 7 ").ToLong(), 7);
    EXPECT_TRUE(HostSessionId::Text("-1").IsNumeric());

    for (const char* text : {" ", "", "A", "1.5", "1e3", "12x"}) {
        SCOPED_TRACE(text);
        const HostSessionId id = HostSessionId::Text(text);
        EXPECT_FALSE(id.IsNumeric());
        EXPECT_EQ(id.AsText(), text);
        EXPECT_EQ(CaughtError([&] { id.ToLong(); }).Number(), 13);
    }
    EXPECT_EQ(CaughtError([] { HostSessionId::Text("3000000000").ToLong(); }).Number(), 6);
}

}  // namespace
}  // namespace ostrel
