// The diagnostics tool on the simulated platform: each item's verdicts and what it shows.
#include <gtest/gtest.h>

#include <functional>

#include "platform/sim/sim_readers.h"
#include "tests/logic/diag_fixture.h"

namespace ostrel {
namespace {

using namespace diag_test;

// --- Card reader ---------------------------------------------------------------------------

struct ReaderCase {
    const char* name;
    std::function<void(sim::SimHid&)> plug;
    Verdict verdict;
    const char* reasonPart;
    std::vector<std::string> searches;  // what the search does with each interface, in order
};

TEST(DiagReader, VerdictPerWhatIsPlugged) {
    const auto reader = [](uint16_t pid, bool refuse = false) {
        return [pid, refuse](sim::SimHid& hid) {
            sim::SimHidDevice device = sim::ReaderDevice(pid);
            device.refuseReadWrite = refuse;
            hid.Plug(device);
        };
    };
    const auto keyboard = [](sim::SimHid& hid) { hid.Plug(sim::KeyboardDevice()); };
    const auto both = [](auto a, auto b) {
        return [a, b](sim::SimHid& hid) {
            a(hid);
            b(hid);
        };
    };
    const std::vector<ReaderCase> cases = {
        {"nothing", [](sim::SimHid&) {}, Verdict::Fail, "no HID interface", {}},
        {"keyboard only",
         keyboard,
         Verdict::Fail,
         "no interface passes",
         {"skipped as another maker's"}},
        {"keyboard and model 2",
         both(keyboard, reader(2)),
         Verdict::Ok,
         "model 2 taken",
         {"skipped as another maker's", "taken as the reader"}},
        {"the maker's product 4 first",
         both(reader(4), reader(2)),
         Verdict::Warning,
         "costs the search a second",
         {"opened and rejected: a product id of no reader model", "taken as the reader"}},
        {"model 1", reader(1), Verdict::Fail, "cannot read cards", {"taken as the reader"}},
        {"reader held by another program",
         reader(2, true),
         Verdict::Fail,
         "without read access",
         {"taken as the reader (opened without read access: its reads fail)"}},
        {"two readers",
         both(reader(9), reader(2)),
         Verdict::Ok,
         "model 9 taken",
         {"taken as the reader", "a reader too, not reached: the search takes the first"}},
    };
    for (const ReaderCase& c : cases) {
        SCOPED_TRACE(c.name);
        DiagFixture f;
        c.plug(f.hid);
        const diag::Item item = diag::GatherReader(f.hid, f.desktop);
        EXPECT_EQ(item.verdict, c.verdict);
        EXPECT_NE(item.reason.find(c.reasonPart), std::string::npos) << item.reason;
        ASSERT_EQ(item.rows.size(), c.searches.size());
        for (size_t i = 0; i < c.searches.size(); ++i)
            EXPECT_EQ(DiagFixture::RowValue(item.rows[i], "search"), c.searches[i]);
        // Everything the look opened is given back.
        EXPECT_EQ(f.hid.OpenResources(), 0u);
        EXPECT_TRUE(f.hid.misuses.empty());
    }
}

TEST(DiagReader, ShowsIdsModelAndLayoutOfTheReaderTaken) {
    DiagFixture f;
    f.hid.Plug(sim::KeyboardDevice());
    f.hid.Plug(sim::ReaderDevice(15));
    const diag::Item item = diag::GatherReader(f.hid, f.desktop);
    ASSERT_EQ(item.rows.size(), 2u);
    EXPECT_EQ(DiagFixture::RowValue(item.rows[0], "vendor"), "0x1234");
    EXPECT_EQ(DiagFixture::RowValue(item.rows[1], "vendor"), "0x0801");
    EXPECT_EQ(DiagFixture::RowValue(item.rows[1], "product"), "0x000F");
    EXPECT_NE(DiagFixture::RowValue(item.rows[1], "path").find("vid_0801"), std::string::npos);
    EXPECT_EQ(DiagFixture::FactOf(item, "reader model"), "product id 15, supported");
    EXPECT_EQ(DiagFixture::FactOf(item, "track form"), "raw bytes in blocks of 8");
    EXPECT_NE(DiagFixture::FactOf(item, "input report length"), "0 bytes");
    // Model 15 carries masked tracks and the encrypted session id.
    const std::string sizes = DiagFixture::FactOf(item, "value counts by usage");
    EXPECT_NE(sizes.find("0x004A="), std::string::npos) << sizes;
    EXPECT_NE(sizes.find("0x0050="), std::string::npos) << sizes;
}

// --- Host control ----------------------------------------------------------------------------

TEST(DiagControl, VerdictPerRegistration) {
    struct Case {
        const char* name;
        std::function<void(DiagFixture&)> setUp;
        Verdict verdict;
        const char* reasonPart;
    };
    const std::vector<Case> cases = {
        {"not registered", [](DiagFixture&) {}, Verdict::Fail, "not registered"},
        {"per user", [](DiagFixture& f) { f.RegisterControl(kHkeyCurrentUser, kServer, true); },
         Verdict::Ok, "registered and creatable"},
        {"per machine", [](DiagFixture& f) { f.RegisterControl(kHkeyLocalMachine, kServer, true); },
         Verdict::Ok, "registered and creatable"},
        {"server file gone",
         [](DiagFixture& f) { f.RegisterControl(kHkeyCurrentUser, kServer, false); }, Verdict::Fail,
         "registered but cannot be created"},
        {"a stale registration beside a good one",
         [](DiagFixture& f) {
             f.RegisterControl(kHkeyLocalMachine, "C:\\Old\\veqserver.dll", false);
             f.RegisterControl(kHkeyCurrentUser, kServer, true);
         },
         Verdict::Warning, "does not exist"},
        {"registered, creation refused",
         [](DiagFixture& f) {
             f.RegisterControl(kHkeyCurrentUser, kServer, true);
             f.probe.controlResult = static_cast<int32_t>(0x80070005);
         },
         Verdict::Fail, "0x80070005"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DiagFixture f;
        c.setUp(f);
        const diag::Item item = diag::GatherHostControl(f.probe);
        EXPECT_EQ(item.verdict, c.verdict);
        EXPECT_NE(item.reason.find(c.reasonPart), std::string::npos) << item.reason;
    }
}

TEST(DiagControl, ShowsClsidAndServerOfEachRegistration) {
    DiagFixture f;
    f.RegisterControl(kHkeyCurrentUser, std::string("\"") + kServer + "\" /automation", false);
    f.desktop.files[kServer] = "MZ";
    const diag::Item item = diag::GatherHostControl(f.probe);
    EXPECT_EQ(DiagFixture::FactOf(item, "per user"), std::string("registered, CLSID ") + kClsid);
    EXPECT_EQ(DiagFixture::FactOf(item, "per user InprocServer32"),
              std::string("\"") + kServer + "\" /automation (file exists)");
    EXPECT_EQ(DiagFixture::FactOf(item, "per machine"), "not registered");
}

// --- Host program ------------------------------------------------------------------------------

TEST(DiagHostProgram, RunningOrNot) {
    for (const bool running : {true, false}) {
        SCOPED_TRACE(running);
        DiagFixture f;
        f.processes.Start("C:\\WINDOWS\\system32\\services.exe");
        if (running) f.processes.Start("C:\\Apps\\Host\\KT4R.EXE");
        const diag::Item item = diag::GatherHostProgram(f.processes, f.desktop);
        EXPECT_EQ(item.verdict, running ? Verdict::Ok : Verdict::Warning);
        EXPECT_EQ(DiagFixture::FactOf(item, "running"), running ? "yes" : "no");
    }
}

// --- Shared registry values ------------------------------------------------------------------

TEST(DiagSettings, TableDecodedEntryByEntry) {
    struct Case {
        const char* table;
        const char* hold;
        Verdict verdict;
        const char* reasonPart;
        std::vector<std::vector<std::string>> rows;  // session, state, text
    };
    const std::vector<Case> cases = {
        {"", "OFF", Verdict::Ok, "no session active", {}},
        {"2NFront Desk~CNBack\x7F-Office~",
         "OFF",
         Verdict::Ok,
         "no session active",
         {{"2 (C)", "\"N\" not active", "Front Desk"},
          {"12 (M)", "\"N\" not active", "Back~Office"}}},
        {"2YFront Desk~",
         "OFF",
         Verdict::Warning,
         "session 2 is active",
         {{"2 (C)", "\"Y\" request armed", "Front Desk"}}},
        {"2PFront~4RBack~",
         "OFF",
         Verdict::Warning,
         "2 sessions are active",
         {{"2 (C)", "\"P\" swipe requested", "Front"},
          {"4 (E)", "\"R\" re-activation requested, or left by a failed swipe", "Back"}}},
        {"zNOdd~",
         "OFF",
         Verdict::Warning,
         "no session",
         {{"none (\"z\")", "\"N\" not active", "Odd"}}},
        {"", "ON", Verdict::Warning, "NSesDly", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.table);
        DiagFixture f;
        f.registry.PutText(kHkeyCurrentUser, "Software\\TOVAN\\RODazedur", "MSconnect", c.table);
        f.registry.PutText(kHkeyCurrentUser, "Software\\TOVAN\\RODazedur", "NSesDly", c.hold);
        f.registry.PutText(kHkeyCurrentUser, "Software\\TOVAN\\RODazedur", "cSesId", "2");
        const diag::Item item = diag::GatherSettings(f.registry, f.desktop);
        EXPECT_EQ(item.verdict, c.verdict);
        EXPECT_NE(item.reason.find(c.reasonPart), std::string::npos) << item.reason;
        EXPECT_EQ(DiagFixture::FactOf(item, "cSesId"), "\"2\"");
        EXPECT_EQ(DiagFixture::FactOf(item, "Logging"), "(empty or missing)");
        ASSERT_EQ(item.rows.size(), c.rows.size());
        for (size_t i = 0; i < c.rows.size(); ++i) {
            EXPECT_EQ(DiagFixture::RowValue(item.rows[i], "session"), c.rows[i][0]);
            EXPECT_EQ(DiagFixture::RowValue(item.rows[i], "state"), c.rows[i][1]);
            EXPECT_EQ(DiagFixture::RowValue(item.rows[i], "text"), c.rows[i][2]);
        }
        // A look writes nothing.
        EXPECT_TRUE(f.registry.writes.empty());
    }
}

// --- Log folder --------------------------------------------------------------------------------

TEST(DiagLog, VerdictPerFolder) {
    struct Case {
        const char* name;
        std::function<void(DiagFixture&)> setUp;
        Verdict verdict;
        const char* writable;
    };
    const std::vector<Case> cases = {
        {"writable", [](DiagFixture&) {}, Verdict::Ok, "yes"},
        {"read-only", [](DiagFixture& f) { f.probe.readOnlyFolders.insert(kFolder); },
         Verdict::Warning, "no (error 5)"},
        {"missing", [](DiagFixture& f) { f.probe.folders.clear(); }, Verdict::Warning,
         "no: the folder does not exist"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DiagFixture f;
        c.setUp(f);
        const diag::Item item = diag::GatherLog(f.probe, f.desktop, kFolder);
        EXPECT_EQ(item.verdict, c.verdict);
        EXPECT_EQ(DiagFixture::FactOf(item, "writable"), c.writable);
        EXPECT_EQ(f.desktop.files.count("C:\\Ostrel\\CCProcess.log"), 0u);
    }
}

TEST(DiagLog, LastTenLinesWithDigitRunsMasked) {
    DiagFixture f;
    std::string log;
    for (int i = 1; i <= 12; ++i)
        log += "16:45:" + std::to_string(10 + i) + " line " + std::to_string(i) + "\r\n";
    log += "4:45:12 PM Track: %B4111111111111111^DOE/JOHN^2512\r\n";
    f.desktop.files["C:\\Ostrel\\CCProcess.log"] = log;
    const diag::Item item = diag::GatherLog(f.probe, f.desktop, kFolder);
    ASSERT_EQ(item.rows.size(), 10u);
    EXPECT_EQ(DiagFixture::RowValue(item.rows[0], "line"), "16:45:14 line 4");
    EXPECT_EQ(DiagFixture::RowValue(item.rows[9], "line"),
              "4:45:12 PM Track: %B4111************^DOE/JOHN^2512");
    // The log itself is left as it was.
    EXPECT_EQ(f.desktop.files["C:\\Ostrel\\CCProcess.log"], log);
    EXPECT_EQ(f.probe.scratchFilesCreated, 1);
}

}  // namespace
}  // namespace ostrel
