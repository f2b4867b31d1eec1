// Whole-program scenarios: the registry refusing writes, the host program ending at awkward
// moments, the day turning during the program's waits, and two copies writing the session
// table at once.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <set>

#include "shell/status_texts.h"
#include "tests/logic/program_harness.h"

namespace ostrel {
namespace {

using End = ProgramHarness::End;
using Call = sim::SimHostScreen::Call;
using Failure = sim::SimHostScreen::Failure;

constexpr const char* kMastercardTrack = "%B5500000000000004^ROE/RICHARD^27011010000000000000";
constexpr int32_t kDisconnected = -2147417848;  // RPC_E_DISCONNECTED

// A stored session table as every copy must be able to read it: entries of an id, a state
// letter the program writes and a text, each closed by "~", one per session; or a blank.
::testing::AssertionResult WellFormed(const std::string& table) {
    if (table == " " || table.empty()) return ::testing::AssertionSuccess();
    if (table.back() != '~') return ::testing::AssertionFailure() << "unclosed: " << table;
    std::set<std::string> ids;
    for (const TableEntry& entry : ParseSessionTable(table)) {
        if (!entry.IsSession()) return ::testing::AssertionFailure() << "stub entry: " << table;
        if (std::string(" PYNDR").find(entry.state) == std::string::npos)
            return ::testing::AssertionFailure() << "state " << entry.state << ": " << table;
        if (!ids.insert(entry.id).second)
            return ::testing::AssertionFailure() << "id twice: " << table;
    }
    return ::testing::AssertionSuccess();
}

class ProgramFaultsTest : public ::testing::Test {
  protected:
    void TearDown() override { EXPECT_TRUE(h.hid.misuses.empty()); }
    ProgramHarness h;
};

// --- The registry refusing writes ------------------------------------------------------------

TEST_F(ProgramFaultsTest, WritesRefusedWhileArmedLoseNoCardAndTheTableStaysAsItWas) {
    h.At(7, [&] { h.registry.DenyWrites(kHkeyCurrentUser, kSettingsKey); });
    h.SwipeAt(8, kVisaTrack);
    h.SwipeAt(11, kMastercardTrack);
    EXPECT_EQ(h.Run("C,Front Desk", 13), End::Stopped);
    EXPECT_EQ(h.host.Field(2, "W1AC#"), "5500000000000004");
    EXPECT_EQ(h.HostStatus().back(), status::kSent);
    EXPECT_EQ(h.Setting("MSconnect"), "2YFront Desk~");
    EXPECT_TRUE(h.desktop.messageBoxes.empty());
}

// The second start's letter cannot be stored: it ends as usual, and the running copy goes on
// serving the request it has.
TEST_F(ProgramFaultsTest, ASecondStartWhileWritesAreRefusedLeavesTheRunningCopyServing) {
    h.At(7, [&] { h.registry.DenyWrites(kHkeyCurrentUser, kSettingsKey); });
    h.SecondStartAt(8, "C,Front Desk");
    h.SwipeAt(10, kVisaTrack);
    EXPECT_EQ(h.Run("C,Front Desk", 13), End::Stopped);
    EXPECT_TRUE(h.secondDesktop.ended);
    EXPECT_EQ(h.host.Field(2, "W1AC#"), "4111111111111111");
    EXPECT_EQ(h.HostStatus().back(), status::kSent);
    EXPECT_EQ(h.Setting("MSconnect"), "2YFront Desk~");
}

// --- The host program ending ---------------------------------------------------------------

// The host's control goes with the host: every call fails from the middle of a delivery on.
TEST_F(ProgramFaultsTest, TheHostEndingDuringADeliveryEndsTheProgram) {
    bool gone = false;
    h.host.onCall = [&](const Call& call) {
        if (call.dispId == dispid::kPutScreenField && call.args[0].text == "W1CTYP" &&
            call.args[2].type == DispArg::Type::TextRef) {
            h.processes.End(h.hostPid);
            gone = true;
        }
    };
    h.host.failWhen = [&](const Call&) -> std::optional<Failure> {
        if (!gone) return std::nullopt;
        return Failure{kDisconnected, "The object invoked has disconnected from its clients."};
    };
    h.SwipeAt(8, kVisaTrack);
    EXPECT_EQ(h.Run(), End::Ended);
    EXPECT_LT(h.desktop.nowMicros, Micros(11));
    EXPECT_FALSE(h.desktop.iconPresent);
    EXPECT_EQ(h.Setting("MSconnect"), " ");
    for (const auto& box : h.desktop.messageBoxes)
        EXPECT_EQ(box.text.find("41111111"), std::string::npos);
    EXPECT_EQ(h.Log().find("41111111"), std::string::npos);
}

TEST_F(ProgramFaultsTest, TheHostEndingWithAReadPendingEndsTheProgramAndLetsGoOfTheReader) {
    h.At(7, [&] { h.processes.End(h.hostPid); });
    EXPECT_EQ(h.Run(), End::Ended);
    EXPECT_TRUE(h.desktop.messageBoxes.empty());
    EXPECT_EQ(h.Setting("MSconnect"), " ");
    EXPECT_FALSE(h.host.attachedSession);
    h.copy.reset();
    EXPECT_EQ(h.hid.OpenResources(), 0u);
}

// --- The day turning -------------------------------------------------------------------------

// The program's waits and its request time-out run on a clock that does not turn at midnight:
// a run across it makes the same calls at the same moments as one in the morning.
TEST_F(ProgramFaultsTest, MidnightDuringTheProgramsWaitsChangesNothing) {
    const auto script = [](ProgramHarness& run) {
        run.SwipeAt(8, kVisaTrack);
        // No second caret: its status stays two seconds before the failure exit.
        run.SwipeAt(12.3, "%B4111111111111111^DOE JOHN 2512");
    };
    script(h);
    EXPECT_EQ(h.Run("C,Front Desk", 60), End::Ended);
    // The day turns in the load's half-second wait, in the search's wait before it opens the
    // reader, in the tick's wait before decoding, while the request counts its passes, and in
    // the failed swipe's pause.
    for (double at : {1.2, 2.7, 8.05, 10.0, 13.0}) {
        SCOPED_TRACE(at);
        ProgramHarness run;
        run.desktop.clockStartSeconds = 86400 - at;
        script(run);
        EXPECT_EQ(run.Run("C,Front Desk", 60), End::Ended);
        EXPECT_EQ(run.host.calls, h.host.calls);
        EXPECT_EQ(run.registry.writes, h.registry.writes);
        EXPECT_EQ(run.desktop.nowMicros, h.desktop.nowMicros);
        EXPECT_EQ(run.desktop.timerTicks, h.desktop.timerTicks);
    }
    EXPECT_EQ(h.host.Field(2, "W1AC#"), "4111111111111111");
}

// --- Two copies at once ------------------------------------------------------------------

// A start refused because another session is active has set the hold at its registration; it
// must not leave it set, or the running copy stays armed for a screen the host has left and
// hands the next card to whatever screen the host shows.
TEST_F(ProgramFaultsTest, ARefusedStartForAnotherSessionLeavesTheRunningCopyServing) {
    h.SecondStartAt(7, "D,Back Office");
    h.At(9, [&] { h.host.sessionInfo[2] = "Till 4"; });
    std::string hold;
    h.At(8, [&] { hold = h.Setting("NSesDly"); });
    h.SwipeAt(11, kVisaTrack);
    EXPECT_EQ(h.Run("C,Front Desk", 12), End::Stopped);
    EXPECT_EQ(h.secondDesktop.messageBoxes.size(), 2u);
    EXPECT_EQ(hold, "OFF");
    EXPECT_FALSE(h.copy->ScannerActive);
    EXPECT_EQ(h.Setting("MSconnect"), "2NFront Desk~");
    EXPECT_EQ(h.host.Field(2, "W1AC#"), "");
}

// The registry as one copy sees it, with another copy's whole handshake landing just before one
// of this copy's writes: between its read of the table and its write of it.
class RacingRegistry : public Registry {
  public:
    explicit RacingRegistry(sim::SimRegistry& shared) : shared_(shared) {}

    long CreateKey(RegKey root, const std::string& path, uint32_t access, RegKey* key) override {
        return shared_.CreateKey(root, path, access, key);
    }
    long OpenKey(RegKey root, const std::string& path, uint32_t access, RegKey* key) override {
        return shared_.OpenKey(root, path, access, key);
    }
    long OpenKeyDefault(RegKey root, const std::string& path, RegKey* key) override {
        return shared_.OpenKeyDefault(root, path, key);
    }
    long QueryValue(RegKey key, const std::string& name, uint32_t* type, uint8_t* data,
                    uint32_t* size) override {
        return shared_.QueryValue(key, name, type, data, size);
    }
    long SetValue(RegKey key, const std::string& name, uint32_t type, const uint8_t* data,
                  uint32_t size) override {
        if (name == raceBefore && other) {
            const auto race = std::move(other);
            other = nullptr;
            race();
        }
        return shared_.SetValue(key, name, type, data, size);
    }
    long EnumKey(RegKey key, uint32_t index, std::string* name) override {
        return shared_.EnumKey(key, index, name);
    }
    long CloseKey(RegKey key) override { return shared_.CloseKey(key); }
    long NotifyChangeKeyValue(RegKey key, uint32_t filter, RegEvent event) override {
        return shared_.NotifyChangeKeyValue(key, filter, event);
    }
    RegEvent NewEvent() override { return shared_.NewEvent(); }
    bool IsEventSet(RegEvent event) override { return shared_.IsEventSet(event); }
    bool ResetEvent(RegEvent event) override { return shared_.ResetEvent(event); }
    bool CloseEvent(RegEvent event) override { return shared_.CloseEvent(event); }

    // Runs once, just before this copy's next write of the value named.
    std::function<void()> other;
    std::string raceBefore = "MSconnect";

  private:
    sim::SimRegistry& shared_;
};

struct Handshake {
    int session;
    std::optional<EntryLetter> command;
    std::optional<std::string> text;
    std::optional<std::string> delay;
};

// Every write the copies make, one landing inside the other's read and write: the table is
// rewritten by the later write, whole, and stays readable by every copy.
TEST(SessionTableRace, TwoCopiesWritingAtOnceLeaveAWellFormedTable) {
    const std::string tables[] = {
        "", " ", "2PFront Desk~", "2YFront Desk~", "2NFront Desk~CNCounter~", "2RFront Desk~"};
    const Handshake calls[] = {
        {2, EntryLetter::Filed, "Front Desk", "ON"},
        {2, EntryLetter::Requested, "Front Desk", "OFF"},
        {2, EntryLetter::Deactivate, "Front Desk", "OFF"},
        {2, EntryLetter::Reactivate, "Front Desk", "OFF"},
        {2, EntryLetter::Armed, "Front Desk", std::nullopt},
        {2, EntryLetter::NotActive, "Front Desk", std::nullopt},
        {12, EntryLetter::Filed, "Counter", "ON"},
        {12, EntryLetter::Requested, "Counter", "OFF"},
        {12, EntryLetter::NotActive, "Counter", std::nullopt},
    };
    for (const std::string& start : tables) {
        for (const Handshake& mine : calls) {
            for (const Handshake& theirs : calls) {
                for (const char* value : {"MSconnect", "cSesId", "NSesDly"}) {
                    sim::SimRegistry shared;
                    sim::SimDesktop desktop;
                    shared.PutText(kHkeyCurrentUser, kSettingsKey, "MSconnect", start);
                    RacingRegistry racing(shared);
                    RegistryStore myStore(racing, desktop);
                    RegistryStore theirStore(shared, desktop);
                    ProcessLog log(desktop);
                    SessionTable myTable(myStore, desktop, log);
                    SessionTable theirTable(theirStore, desktop, log);
                    racing.raceBefore = value;
                    racing.other = [&] {
                        theirTable.SessionHandshake(HostSessionId::Number(theirs.session),
                                                    theirs.command, theirs.text, theirs.delay);
                    };
                    myTable.SessionHandshake(HostSessionId::Number(mine.session), mine.command,
                                             mine.text, mine.delay);
                    const std::string table =
                        shared.Text(kHkeyCurrentUser, kSettingsKey, "MSconnect").value_or("");
                    EXPECT_TRUE(WellFormed(table))
                        << "from \"" << start << "\", " << mine.session << " and " << theirs.session
                        << " racing before " << value;
                    const std::string id =
                        shared.Text(kHkeyCurrentUser, kSettingsKey, "cSesId").value_or("");
                    EXPECT_TRUE(id == "" || id == "2" || id == "12") << id;
                }
            }
        }
    }
}

// A second start whose load lands while the running copy arms its request: the later write
// wins, whole, and the running copy serves what the table then says.
TEST(ProgramRace, ASecondStartDuringTheRunningCopysHandshakeLeavesAWellFormedTable) {
    for (const char* argument : {"C,Front Desk", "M,Counter"}) {
        SCOPED_TRACE(argument);
        ProgramHarness h;
        RacingRegistry racing(h.registry);
        h.copy.reset();
        h.copy = std::make_unique<OstrelCopy>(
            Platform{racing, h.processes, h.desktop, h.hid, h.host, h.events, h.memory});
        std::vector<std::string> tables;
        h.host.onCall = [&](const Call& call) {
            // Just before the arming pass writes "Y".
            if (call.dispId == dispid::kPutScreenField && call.args[0].text == "CCSTATUS" &&
                call.args[2].text == status::kPleaseSwipe && !racing.other && tables.empty()) {
                racing.other = [&] {
                    h.secondDesktop.previousInstance = true;
                    h.secondDesktop.nowMicros = h.desktop.nowMicros;
                    h.second = h.NewCopy(h.secondDesktop);
                    try {
                        h.second->Main(argument);
                    } catch (const sim::ProcessEnded&) {
                    }
                    tables.push_back(h.Setting("MSconnect"));
                };
            }
        };
        h.SwipeAt(8, kVisaTrack);
        const End end = h.Run("C,Front Desk", 10);
        const std::string table = h.Setting("MSconnect");
        const std::string hold = h.Setting("NSesDly");
        h.copy.reset();  // while racing, which it uses, is still there
        EXPECT_EQ(end, End::Stopped);
        ASSERT_EQ(tables.size(), 1u);
        EXPECT_TRUE(WellFormed(tables[0]));
        for (const auto& write : h.registry.writes) {
            if (write.name == "MSconnect") {
                EXPECT_TRUE(WellFormed(write.text));
            }
        }
        EXPECT_TRUE(h.secondDesktop.ended);
        EXPECT_EQ(h.host.Field(2, "W1AC#"), "4111111111111111");
        EXPECT_EQ(table, "2NFront Desk~");
        EXPECT_EQ(hold, "OFF");
    }
}

}  // namespace
}  // namespace ostrel
