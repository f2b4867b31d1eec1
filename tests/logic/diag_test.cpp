// The diagnostics tool on the simulated platform: each item's verdicts and what it shows.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>

#include "platform/sim/sim_readers.h"
#include "reader/reader_statistics.h"
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

void PlugBluetoothMouseAndTouchpad(sim::SimHid& hid) {
    sim::SimHidDevice mouse = sim::KeyboardDevice();
    mouse.path = sim::BluetoothPath(0x046d, 0xb00d, 0);
    hid.Plug(mouse);
    sim::SimHidDevice touchpad = sim::KeyboardDevice();
    touchpad.path = sim::BuiltInPath("elan0732", 1);
    hid.Plug(touchpad);
}

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
        {"a reader whose keyboard collection comes first",
         [](sim::SimHid& hid) {
             for (const sim::SimHidDevice& collection : sim::ReaderWithKeyboard(2))
                 hid.Plug(collection);
         },
         Verdict::Ok,
         "model 2 taken",
         {"passed over: opens only without read access; a later one opens for reading",
          "taken as the reader"}},
        {"Bluetooth and built-in devices",
         PlugBluetoothMouseAndTouchpad,
         Verdict::Fail,
         "no interface passes",
         {"skipped as another maker's", "skipped as not on USB"}},
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
    EXPECT_EQ(DiagFixture::FactOf(item, "manufacturer"), "\"Stripe Devices\"");
    EXPECT_EQ(DiagFixture::FactOf(item, "product"), "\"USB Swipe Reader 15\"");
    EXPECT_EQ(DiagFixture::FactOf(item, "serial number"), "\"SR15-0417\"");
    EXPECT_EQ(DiagFixture::FactOf(item, "statistics kept as"), "SR15-0417");
}

// The strings as a reader's firmware gives them: what is no printable ASCII shows as "?", a
// blank one as none, and a reader without them is taken all the same.
TEST(DiagReader, ShowsTheStringsTheReaderGivesAndNoneItDoesNot) {
    struct Case {
        std::optional<std::u16string> manufacturer, serialNumber;
        uint16_t version;
        const char *shownMaker, *shownSerial, *release, *keptAs;
    };
    const Case cases[] = {
        {u"  Stripe\u00e9 Devices ", u"A\\B\t7", 0x0102, "\"Stripe? Devices\"", "\"A\\B?7\"",
         "1.02", "A_B?7"},
        {std::nullopt, u"   ", 0x1000, "(none given)", "(none given)", "10.00",
         "model 2, no serial number"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keptAs);
        DiagFixture f;
        sim::SimHidDevice reader = sim::ReaderDevice(2);
        reader.manufacturer = c.manufacturer;
        reader.serialNumber = c.serialNumber;
        reader.version = c.version;
        f.hid.Plug(reader);
        const diag::Item item = diag::GatherReader(f.hid, f.desktop);
        EXPECT_EQ(item.verdict, Verdict::Ok);
        EXPECT_EQ(DiagFixture::FactOf(item, "manufacturer"), c.shownMaker);
        EXPECT_EQ(DiagFixture::FactOf(item, "serial number"), c.shownSerial);
        EXPECT_EQ(DiagFixture::FactOf(item, "release"), c.release);
        EXPECT_EQ(DiagFixture::FactOf(item, "statistics kept as"), c.keptAs);
        EXPECT_EQ(f.hid.OpenResources(), 0u);
    }
}

// --- Read statistics ---------------------------------------------------------------------------

// The readers counted for this user, as the program's own counting left them.
TEST(DiagStatistics, EachReaderCountedAndWhetherTheOneInUseFails) {
    const auto identity = [](uint16_t model, const char* serial) {
        ReaderIdentity reader;
        reader.productId = model;
        reader.versionNumber = 0x0100;
        if (serial) reader.serialNumber = serial;
        return reader;
    };
    struct Case {
        const char* swipes;  // per reader taken, in order: R read and delivered, F misread
        Verdict verdict;
        const char* reasonPart;
        std::vector<std::vector<std::string>> rows;  // reader, in use last, read, failed, recent
    };
    const Case cases[] = {
        {"", Verdict::Ok, "no reader counted yet", {}},
        {"RRF RFFFFF",
         Verdict::Warning,
         "the reader in use (SR09-0001) failed 5 of its last 6 swipes: clean its read head",
         {{"model 2, no serial number", "no", "2", "1", "1 of 3"},
          {"SR09-0001", "yes", "1", "5", "5 of 6"}}},
        {"RFFFFF R",
         Verdict::Ok,
         "2 reader(s) counted, none failing",  // the failing one is no longer in use
         {{"model 2, no serial number", "no", "1", "5", "5 of 6"},
          {"SR09-0001", "yes", "1", "0", "0 of 1"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.swipes);
        DiagFixture f;
        ReaderStatistics statistics(f.registry, f.desktop);
        const ReaderIdentity readers[] = {identity(2, nullptr), identity(9, "SR09-0001")};
        size_t taken = 0;
        for (const char* at = c.swipes; *at; ++at) {
            if (*at == ' ' || at == c.swipes) statistics.ReaderTaken(readers[taken++ % 2]);
            if (*at == ' ') continue;
            statistics.CountSwipe(*at == 'R' ? SwipeOutcome::Read : SwipeOutcome::TrackStatus,
                                  *at == 'R');
        }
        const diag::Item item = diag::GatherStatistics(f.registry);
        EXPECT_EQ(item.verdict, c.verdict);
        EXPECT_NE(item.reason.find(c.reasonPart), std::string::npos) << item.reason;
        ASSERT_EQ(item.rows.size(), c.rows.size());
        for (size_t i = 0; i < c.rows.size(); ++i) {
            const diag::Row& row = item.rows[i];
            EXPECT_EQ(DiagFixture::RowValue(row, "reader"), c.rows[i][0]);
            EXPECT_EQ(DiagFixture::RowValue(row, "in use last"), c.rows[i][1]);
            EXPECT_EQ(DiagFixture::RowValue(row, "swipes read"), c.rows[i][2]);
            EXPECT_EQ(DiagFixture::RowValue(row, "cards delivered"), c.rows[i][2]);
            EXPECT_EQ(DiagFixture::RowValue(row, "not read, track status"), c.rows[i][3]);
            EXPECT_EQ(DiagFixture::RowValue(row, "recent swipes failed"), c.rows[i][4]);
        }
        EXPECT_EQ(f.registry.OpenHandles(), 0u);
    }
}

// The ids a device path shows are those of the device, unopened: a Bluetooth path names them,
// a built-in device's path none.
TEST(DiagReader, ShowsTheIdsABluetoothPathNames) {
    DiagFixture f;
    PlugBluetoothMouseAndTouchpad(f.hid);
    const diag::Item item = diag::GatherReader(f.hid, f.desktop);
    ASSERT_EQ(item.rows.size(), 2u);
    EXPECT_EQ(DiagFixture::RowValue(item.rows[0], "vendor"), "0x046D");
    EXPECT_EQ(DiagFixture::RowValue(item.rows[0], "product"), "0xB00D");
    EXPECT_EQ(DiagFixture::RowValue(item.rows[1], "vendor"), "?");
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
    f.RegisterServer(kHkeyCurrentUser, kClasses32, "InprocServer32",
                     std::string("\"") + kServer + "\" /automation", false);
    f.RegisterServer(kHkeyCurrentUser, kClasses32, "LocalServer32", "C:\\Host\\veq.exe", false);
    f.desktop.files[kServer] = "MZ";
    const diag::Item item = f.Control(Bitness::Bits64);
    EXPECT_EQ(DiagFixture::FactOf(item, "this tool"), "64-bit (x64) build");
    EXPECT_EQ(DiagFixture::FactOf(item, "per user"), std::string("registered, CLSID ") + kClsid);
    EXPECT_EQ(DiagFixture::FactOf(item, "per user 32-bit view"),
              std::string("in-process server \"") + kServer +
                  "\" /automation (file exists); local server C:\\Host\\veq.exe (file missing)");
    EXPECT_EQ(DiagFixture::FactOf(item, "per user 64-bit view"), "not registered");
    EXPECT_EQ(DiagFixture::FactOf(item, "per machine"), "not registered");
    // Every key the look opened is closed again.
    EXPECT_EQ(f.registry.OpenHandles(), 0u);
}

// Which build can create the control, by the kind of its server and the views it is in. Each
// registration: its scope (U user, M machine), view (32, 64), server (i in-process, l local),
// and "-" when the file it names is missing.
TEST(DiagControl, NamesTheBuildThatCanUseIt) {
    struct Case {
        const char* registered;
        bool windows64;
        Bitness tool;
        Verdict verdict;
        const char* reasonPart;
        const char* buildToUse;
    };
    const Bitness b32 = Bitness::Bits32, b64 = Bitness::Bits64;
    const Verdict ok = Verdict::Ok, fail = Verdict::Fail;
    const std::vector<Case> cases = {
        {"M32i", true, b64, fail,
         "install the 32-bit (x86) build in this one's place (its package keeps this folder)",
         "the 32-bit (x86) build"},
        {"U32i", true, b64, fail, "install the 32-bit (x86) build", "the 32-bit (x86) build"},
        {"M64i", true, b32, fail, "install the 64-bit (x64) build", "the 64-bit (x64) build"},
        {"M64i", true, b64, ok, "only the 64-bit (x64) build", "the 64-bit (x64) build only"},
        {"M32i M64i", true, b32, ok, "either build", "either build"},
        {"U32i M64i", true, b64, ok, "either build", "either build"},
        {"M64l", true, b32, ok, "either build", "either build"},
        {"M32i-", true, b64, fail, "cannot be created",
         "none: this build cannot create the control"},
        {"M64i", false, b32, ok, "registered and creatable", "the 32-bit (x86) build"},
        {"", false, b32, fail, "not registered", "none: the control is not registered"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.registered) + (c.windows64 ? "" : " on 32-bit Windows"));
        DiagFixture f;
        if (!c.windows64) f.probe.nativeArchitecture = ProcessorArchitecture::Intel;
        std::istringstream registered(c.registered);
        for (std::string r; registered >> r;) {
            const bool view32 = r.substr(1, 2) == "32";
            f.RegisterServer(r[0] == 'U' ? kHkeyCurrentUser : kHkeyLocalMachine,
                             view32 ? kClasses32 : kClasses64,
                             r[3] == 'i' ? "InprocServer32" : "LocalServer32",
                             view32 ? "C:\\x86\\veq" : "C:\\x64\\veq", r.size() == 4);
        }
        const diag::Item item = f.Control(c.tool);
        EXPECT_EQ(item.verdict, c.verdict);
        EXPECT_NE(item.reason.find(c.reasonPart), std::string::npos) << item.reason;
        EXPECT_EQ(DiagFixture::FactOf(item, "build to use"), c.buildToUse);
        // 32-bit Windows has one view, and says so.
        EXPECT_EQ(DiagFixture::FactOf(item, "Windows").substr(0, 6),
                  c.windows64 ? "64-bit" : "32-bit");
        for (const diag::Fact& fact : item.facts)
            EXPECT_TRUE(c.windows64 || fact.key.find("64-bit view") == std::string::npos);
        EXPECT_EQ(f.registry.OpenHandles(), 0u);
    }
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
        const char* log;
    };
    const auto readOnly = [](DiagFixture& f) { f.probe.readOnlyFolders.insert(kFolder); };
    const auto installedLog = [](DiagFixture& f) { f.desktop.files[kLog] = ""; };
    // The check only looks: a missing log stays missing, its own finding, whoever runs it.
    const std::vector<Case> cases = {
        {"writable, no log yet", [](DiagFixture&) {}, Verdict::Ok,
         "yes: the program makes the log at its first line", "missing"},
        {"writable, with a log", installedLog, Verdict::Ok, "yes", "0 bytes read from its end"},
        {"read-only, no log", readOnly, Verdict::Warning,
         "no: this user cannot create the log here", "missing"},
        {"missing", [](DiagFixture& f) { f.probe.folders.clear(); }, Verdict::Warning,
         "no: the folder does not exist", ""},
        // A per-machine install: the folder is read-only, the log laid down open to appends.
        {"read-only, with a log users append to",
         [&](DiagFixture& f) { readOnly(f), installedLog(f); }, Verdict::Ok, "yes",
         "0 bytes read from its end"},
        {"read-only, its log too",
         [&](DiagFixture& f) {
             readOnly(f), installedLog(f);
             f.probe.readOnlyFiles.insert(kLog);
         },
         Verdict::Warning, "no (error 5)", "0 bytes read from its end"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DiagFixture f;
        c.setUp(f);
        const auto filesBefore = f.desktop.files;
        const diag::Item item = diag::GatherLog(f.probe, f.desktop, kFolder);
        EXPECT_EQ(item.verdict, c.verdict);
        EXPECT_EQ(DiagFixture::FactOf(item, "writable"), c.writable);
        EXPECT_EQ(DiagFixture::FactOf(item, "log"), c.log);
        EXPECT_EQ(f.desktop.files, filesBefore);
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
}

}  // namespace
}  // namespace ostrel
