#include "hostlink/session_table.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/sim/sim_desktop.h"
#include "platform/sim/sim_registry.h"
#include "tests/app_error_matchers.h"

namespace ostrel {
namespace {

using sim::SimRegistry;
using Write = SimRegistry::Write;

constexpr const char* kPath = "Software\\TOVAN\\RODazedur";
constexpr const char* kRefusal =
    "Alternate Credit Card session is active, close alternate session and then try again.";

HostSessionId Session(int n) {
    return HostSessionId::Number(n);
}

class SessionTableTest : public ::testing::Test {
  protected:
    // Starts from a stored table; the writes recorded are those of the call under test.
    void Given(const std::string& table) {
        registry.PutText(kHkeyCurrentUser, kPath, "MSconnect", table);
        registry.writes.clear();
    }
    std::string Stored(const std::string& name) {
        return registry.Text(kHkeyCurrentUser, kPath, name).value_or("<missing>");
    }
    std::string LogText() { return desktop.files["C:\\Ostrel\\CCProcess.log"]; }

    SimRegistry registry;
    sim::SimDesktop desktop;
    RegistryStore store{registry, desktop};
    ProcessLog log{desktop};
    SessionTable table{store, desktop, log};
    // A handshake, with what it read kept where the tests look: state, text, the delay mode.
    // True unless refused.
    bool Shake(const HostSessionId& id, std::optional<char> command = std::nullopt,
               const std::optional<std::string>& sessionText = std::nullopt,
               std::string* delayMode = nullptr) {
        const HandshakeReading r = table.SessionHandshake(
            id, command ? std::optional(static_cast<EntryLetter>(*command)) : std::nullopt,
            sessionText, delayMode ? std::optional(*delayMode) : std::nullopt);
        if (r.state) state = *r.state;
        if (r.text) text = *r.text;
        if (delayMode && r.delayMode) *delayMode = *r.delayMode;
        return !r.refused;
    }

    std::string state = "-";
    std::string text = "-";
};

TEST_F(SessionTableTest, FilingIntoAResetTableGivesOneEntry) {
    Given(" ");
    EXPECT_TRUE(Shake(Session(3), ' ', "ABC"));
    EXPECT_EQ(registry.writes, (std::vector<Write>{{"MSconnect", "3 ABC~"}, {"cSesId", "3"}}));
    // No entry of this session existed: nothing to report.
    EXPECT_EQ(state, "-");
    EXPECT_EQ(text, "-");
}

TEST_F(SessionTableTest, FilingIntoAnEmptyOrMissingTable) {
    EXPECT_TRUE(Shake(Session(5), 'P', "Front"));
    EXPECT_EQ(Stored("MSconnect"), "5PFront~");
    EXPECT_EQ(Stored("cSesId"), "5");

    Given("");
    EXPECT_TRUE(Shake(Session(6)));
    EXPECT_EQ(Stored("MSconnect"), "6  ~");
}

TEST_F(SessionTableTest, ACommandRewritesThisSessionsEntryAndKeepsTheOthers) {
    Given("3YABC~4NXYZ~");
    EXPECT_TRUE(Shake(Session(3), 'N', "ABC"));
    EXPECT_EQ(state, "Y");
    EXPECT_EQ(text, "ABC");
    EXPECT_EQ(registry.writes,
              (std::vector<Write>{{"MSconnect", "3NABC~4NXYZ~"}, {"cSesId", "3"}}));
}

TEST_F(SessionTableTest, ABlankCommandKeepsTheStateAndFilesTheNewText) {
    Given("4NXYZ~3PABC~");
    EXPECT_TRUE(Shake(Session(3), ' ', "New Screen"));
    EXPECT_EQ(state, "P");
    EXPECT_EQ(text, "New Screen");
    EXPECT_EQ(Stored("MSconnect"), "4NXYZ~3PNew Screen~");
}

TEST_F(SessionTableTest, AReadWritesNothingSoThatItCannotUndoAnotherCopysRequest) {
    Given("3YABC~stray");
    EXPECT_TRUE(Shake(Session(3), std::nullopt, std::nullopt));
    EXPECT_EQ(state, "Y");
    EXPECT_EQ(text, "ABC");
    EXPECT_TRUE(registry.writes.empty());
    // A read that has to file the session still does.
    Given("4NXYZ~");
    EXPECT_TRUE(Shake(Session(3)));
    EXPECT_EQ(registry.writes, (std::vector<Write>{{"MSconnect", "4NXYZ~3  ~"}, {"cSesId", "3"}}));
}

TEST_F(SessionTableTest, TextAfterTheLastEntryIsDroppedAtARewrite) {
    Given("3YABC~4NX");
    EXPECT_TRUE(Shake(Session(3), 'N', "ABC"));
    EXPECT_EQ(Stored("MSconnect"), "3NABC~");
}

TEST_F(SessionTableTest, ASessionWithoutAnEntryIsAppended) {
    Given("4NXYZ~");
    EXPECT_TRUE(Shake(Session(3), 'P', "ABC"));
    EXPECT_EQ(Stored("MSconnect"), "4NXYZ~3PABC~");
    EXPECT_EQ(state, "-");

    Given("4NXYZ~");
    EXPECT_TRUE(Shake(Session(3)));
    EXPECT_EQ(Stored("MSconnect"), "4NXYZ~3  ~");
}

TEST_F(SessionTableTest, AnotherActiveSessionIsRefusedAndNothingIsWritten) {
    for (const char* other : {"4YXYZ~", "4PXYZ~", "4 XYZ~", "4nXYZ~", "4NXYZ~5RQ~"}) {
        SCOPED_TRACE(other);
        Given(other);
        registry.PutText(kHkeyCurrentUser, kPath, "cSesId", "4");
        registry.writes.clear();
        desktop.messageBoxes.clear();
        std::string delay = "OFF";
        EXPECT_FALSE(Shake(Session(3), 'P', "ABC", &delay));
        ASSERT_EQ(desktop.messageBoxes.size(), 1u);
        EXPECT_EQ(desktop.messageBoxes[0].text, kRefusal);
        EXPECT_EQ(desktop.messageBoxes[0].caption, "Ostrel Interface");
        EXPECT_EQ(desktop.messageBoxes[0].style, 0u);
        EXPECT_TRUE(registry.writes.empty());
        EXPECT_EQ(Stored("MSconnect"), other);
        EXPECT_EQ(state, "-");
        EXPECT_EQ(text, "-");
    }
}

TEST_F(SessionTableTest, ARefusedCallStillStoresTheHoldItWasAskedFor) {
    Given("4YXYZ~");
    std::string delay = "ON";
    EXPECT_FALSE(Shake(Session(3), ' ', "ABC", &delay));
    EXPECT_EQ(registry.writes, (std::vector<Write>{{"NSesDly", "ON"}}));
}

TEST_F(SessionTableTest, DelayModeIsStoredFirstOrLastOrReadBack) {
    Given("3NABC~");
    std::string delay = "ON";
    Shake(Session(3), ' ', "ABC", &delay);
    EXPECT_EQ(registry.writes,
              (std::vector<Write>{{"NSesDly", "ON"}, {"MSconnect", "3NABC~"}, {"cSesId", "3"}}));
    registry.writes.clear();
    delay = "OFF";
    Shake(Session(3), 'P', "ABC", &delay);
    EXPECT_EQ(registry.writes,
              (std::vector<Write>{{"MSconnect", "3PABC~"}, {"cSesId", "3"}, {"NSesDly", "OFF"}}));
    // The flag read back is not stored again: between the read and such a write another
    // copy may have put its hold on.
    registry.writes.clear();
    delay = "RTV";
    Shake(Session(3), std::nullopt, std::nullopt, &delay);
    EXPECT_EQ(delay, "OFF");
    EXPECT_TRUE(registry.writes.empty());
    delay = "on";
    Shake(Session(3), 'N', "ABC", &delay);
    EXPECT_EQ(delay, "on");
    EXPECT_EQ(registry.writes.size(), 2u);  // the table and the id only
}

TEST_F(SessionTableTest, AnIdThatIsNoNumberFailsBeforeTheTableIsWritten) {
    Given("3NABC~");
    registry.PutText(kHkeyCurrentUser, kPath, "cSesId", " ");
    registry.writes.clear();
    const AppError e =
        CaughtError([&] { Shake(HostSessionId::Text(" "), std::nullopt, std::nullopt); });
    EXPECT_EQ(e.Number(), 13);
    EXPECT_TRUE(registry.writes.empty());
    EXPECT_EQ(Stored("cSesId"), " ");
}

// No session has such an id: nothing is filed or read for it, whatever the table. A start's
// hold is still put on and taken off: one left on would stop every copy from serving.
TEST_F(SessionTableTest, AnIdOutsideZeroToTwentyFourFilesAndReadsNothing) {
    for (const HostSessionId& id : {Session(25), Session(-1), Session(2147483647),
                                    HostSessionId::Text("25"), HostSessionId::Text("+30")}) {
        for (const char* stored : {"", " ", "2YFront Desk~", "2NFront Desk~5P~"}) {
            SCOPED_TRACE(id.AsText() + "|" + stored);
            Given(stored);
            std::string delay[] = {"RTV", "ON", "OFF"};
            EXPECT_TRUE(Shake(id, std::nullopt, std::nullopt, &delay[0]));
            EXPECT_TRUE(Shake(id, ' ', "Front Desk", &delay[1]));
            EXPECT_TRUE(Shake(id, 'P', "Front Desk", &delay[2]));
            EXPECT_EQ(registry.writes, (std::vector<Write>{{"NSesDly", "ON"}, {"NSesDly", "OFF"}}));
            EXPECT_EQ(Stored("MSconnect"), stored);
            EXPECT_EQ(state + text, "--");
            EXPECT_TRUE(desktop.messageBoxes.empty());
        }
    }
}

// Another copy rewrites a value between the size query and the read at every attempt: the
// table and the id are left as they are, and the caller is told.
TEST_F(SessionTableTest, AValueThatCannotBeReadStablyLeavesTheTableAsItIs) {
    for (const char* command : {"", "N", " ", "hold"}) {
        SCOPED_TRACE(command);
        Given("3YABC~");
        registry.PutText(kHkeyCurrentUser, kPath, "NSesDly", "OFF");
        const bool hold = std::string(command) == "hold";
        registry.afterSizeQuery = [&](const std::string& name) {
            if (name == (hold ? "NSesDly" : "MSconnect")) {
                registry.PutText(kHkeyCurrentUser, kPath, name, Stored(name) + "4NXYZ~");
            }
        };
        const auto letter =
            hold || !*command ? std::nullopt : std::optional(static_cast<EntryLetter>(*command));
        const HandshakeReading r = table.SessionHandshake(
            Session(3), letter, letter ? std::optional<std::string>("ABC") : std::nullopt,
            hold ? "RTV" : "OFF");
        registry.afterSizeQuery = nullptr;
        EXPECT_TRUE(r.unreadable);
        EXPECT_FALSE(r.state || r.text || r.refused);
        // A hold asked to be taken off is, all the same.
        EXPECT_EQ(registry.writes,
                  (hold ? std::vector<Write>{} : std::vector<Write>{{"NSesDly", "OFF"}}));
        EXPECT_EQ(Stored("MSconnect"), hold ? "3YABC~" : "3YABC~4NXYZ~4NXYZ~4NXYZ~");
    }
}

TEST_F(SessionTableTest, TraceLinesGoToTheLogOnlyWhileLoggingIsOn) {
    Given("4NXYZ~3PABC~");
    Shake(Session(3), 'Y', "ABC");
    EXPECT_EQ(LogText(), "");

    log.LoggingOn = true;
    std::string delay = "ON";
    Shake(Session(3), ' ', "DEF", &delay);
    delay = "OFF";
    Shake(Session(3), 'N', "DEF", &delay);
    EXPECT_EQ(LogText(),
              "09:00:00 PKT 1**3*ABC**Y- *DEF*ON*-4NXYZ~3YDEF~\r\n"
              "09:00:00 PKT 2**3*DEF**N*DEF*OFF*-4NXYZ~3NDEF~\r\n");
}

TEST_F(SessionTableTest, ShortEntriesBelongToNoSession) {
    Given("~5~3YABC~");
    EXPECT_TRUE(Shake(Session(3), 'N', "ABC"));
    EXPECT_EQ(state, "Y");
    EXPECT_EQ(Stored("MSconnect"), "3NABC~");
}

// Sessions 10 to 24 have a one-character id of their own and find their entry again.
TEST_F(SessionTableTest, TwoDigitSessionsRewriteTheirOwnEntryBesideOneDigitSessions) {
    Given("3NABC~");
    EXPECT_TRUE(Shake(Session(12), ' ', "DEF"));
    EXPECT_EQ(Stored("MSconnect"), "3NABC~C DEF~");
    EXPECT_EQ(Stored("cSesId"), "12");

    // The session as the scan loop sees it: the text of "cSesId".
    const HostSessionId fromRegistry = HostSessionId::Text(Stored("cSesId"));
    EXPECT_TRUE(Shake(fromRegistry, 'P', "DEF"));
    EXPECT_EQ(Stored("MSconnect"), "3NABC~CPDEF~");
    EXPECT_TRUE(Shake(fromRegistry, std::nullopt, std::nullopt));
    EXPECT_EQ(state, "P");
    EXPECT_EQ(text, "DEF");
    EXPECT_EQ(Stored("MSconnect"), "3NABC~CPDEF~");

    // Session 12 active: session 3 is refused, and session 1 is not taken for session 12.
    EXPECT_FALSE(Shake(Session(3), 'P', "ABC"));
    EXPECT_FALSE(Shake(Session(1), 'P', "ABC"));
    EXPECT_TRUE(Shake(Session(12), 'N', "DEF"));
    EXPECT_TRUE(Shake(Session(3), 'P', "ABC"));
    EXPECT_EQ(Stored("MSconnect"), "3PABC~CNDEF~");
}

TEST_F(SessionTableTest, EveryTwoDigitSessionHasItsOwnId) {
    std::string ids;
    for (int n = 0; n <= 24; ++n)
        ids += EntryIdOf(Session(n)).value_or("?");
    EXPECT_EQ(ids, "0123456789ABCDEFGHIJKLMNO");
    EXPECT_EQ(EntryIdOf(HostSessionId::Text("07")), "7");
    for (const HostSessionId& none : {Session(25), Session(-1), HostSessionId::Text("25"),
                                      HostSessionId::Text(" "), HostSessionId()}) {
        EXPECT_EQ(EntryIdOf(none), none.IsEmpty() ? std::optional<std::string>("0") : std::nullopt)
            << none.AsText();
    }
}

// A "~" in a session text would otherwise end the entry and break every entry after it.
TEST_F(SessionTableTest, ATildeInASessionTextStaysInsideItsEntry) {
    Given("4NXYZ~");
    EXPECT_TRUE(Shake(Session(5), 'N', "~"));
    EXPECT_TRUE(Shake(Session(3), 'N', "Till~2"));
    const std::string stored = Stored("MSconnect");
    EXPECT_EQ(std::count(stored.begin(), stored.end(), '~'), 3);
    EXPECT_EQ(stored.substr(0, 6), "4NXYZ~");

    EXPECT_TRUE(Shake(Session(5), std::nullopt, std::nullopt));
    EXPECT_EQ(state, "N");
    EXPECT_EQ(text, "~");
    EXPECT_TRUE(Shake(Session(4), std::nullopt, std::nullopt));
    EXPECT_EQ(text, "XYZ");
    EXPECT_TRUE(Shake(Session(3), 'P', "Till~2"));
    EXPECT_EQ(state, "N");
    EXPECT_EQ(text, "Till~2");
    EXPECT_TRUE(Shake(Session(3), std::nullopt, std::nullopt));
    EXPECT_EQ(state, "P");
    EXPECT_EQ(text, "Till~2");
}

// A NUL would cut the stored table there, and every entry after it would be lost.
TEST_F(SessionTableTest, ANulInASessionTextKeepsEveryEntry) {
    const std::string withNul("Front\0Desk", 10);
    Given("4NXYZ~");
    EXPECT_TRUE(Shake(Session(3), 'N', withNul));
    EXPECT_TRUE(Shake(Session(5), 'N', std::string(1, '\0')));
    EXPECT_TRUE(Shake(Session(6), 'N', "Back"));
    const auto value = registry.Get(kHkeyCurrentUser, kPath, "MSconnect");
    ASSERT_TRUE(value);
    EXPECT_EQ(std::count(value->data.begin(), value->data.end(), 0), 1);  // its end only
    const struct {
        int session;
        std::string text;
    } entries[] = {{4, "XYZ"}, {3, withNul}, {5, std::string(1, '\0')}, {6, "Back"}};
    for (const auto& e : entries) {
        SCOPED_TRACE(e.session);
        text = "-";
        EXPECT_TRUE(Shake(Session(e.session), std::nullopt, std::nullopt));
        EXPECT_EQ(state, "N");
        EXPECT_EQ(text, e.text);
    }
}

TEST(SessionTextEscape, RoundTripsEveryTextAndLeavesPlainTextsAlone) {
    const std::string nul(1, '\0');
    for (const std::string& t :
         {std::string(), std::string("Front Desk"), std::string("~"), std::string("a~b~"),
          std::string("\x7F"), std::string("\x7F-"), std::string("~\x7F~\x7F\x7F"), nul,
          "A" + nul + "~" + nul, "\x7F" + nul + "0",
          std::string("\x7F"
                      "0")}) {
        SCOPED_TRACE(t);
        const std::string escaped = EscapeSessionText(t);
        EXPECT_EQ(escaped.find('~'), std::string::npos);
        EXPECT_EQ(escaped.find('\0'), std::string::npos);
        EXPECT_EQ(UnescapeSessionText(escaped), t);
    }
    EXPECT_EQ(EscapeSessionText("Front Desk"), "Front Desk");
}

}  // namespace
}  // namespace ostrel
