// The diagnostics tool on the simulated platform: each item's verdicts, the exit code, the JSON
// form and the watch.
#include <gtest/gtest.h>

#include <functional>

#include "diag/diag_run.h"
#include "platform/sim/sim_desktop.h"
#include "platform/sim/sim_hid.h"
#include "platform/sim/sim_processes.h"
#include "platform/sim/sim_readers.h"
#include "platform/sim/sim_registry.h"
#include "platform/sim/sim_system_probe.h"
#include "tests/card_digit_oracle.h"
#include "tests/logic/json_check.h"

namespace ostrel {
namespace {

using diag::Verdict;

constexpr const char* kFolder = "C:\\Ostrel";
constexpr const char* kControlKey = "Software\\Classes\\VEQSERVERLib.VEQServer\\CLSID";
constexpr const char* kClsid = "{5A1C0F00-1111-4D2E-9F00-0000000000AB}";
constexpr const char* kServer = "C:\\Host\\veqserver.dll";

struct DiagFixture {
    DiagFixture() {
        desktop.exeDirectory = kFolder;
        probe.folders.insert(kFolder);
    }
    void RegisterControl(RegKey root, const std::string& server, bool serverExists) {
        registry.PutText(root, kControlKey, "", kClsid);
        registry.PutText(root,
                         std::string("Software\\Classes\\CLSID\\") + kClsid + "\\InprocServer32",
                         "", server);
        if (serverExists) desktop.files[server] = "MZ";
    }
    int Run(const std::vector<std::string>& args, std::string* out = nullptr) {
        std::string text;
        const int code = diag::RunDiagnostics(
            platform, args, [&](const std::string& piece) { text += piece; }, [] { return false; });
        if (out) *out = text;
        return code;
    }
    // The value of a fact of an item, "" when it has none of that name.
    static std::string FactOf(const diag::Item& item, const std::string& key) {
        for (const auto& fact : item.facts) {
            if (fact.key == key) return fact.value;
        }
        return "";
    }
    static std::string RowValue(const diag::Row& row, const std::string& key) {
        for (const auto& fact : row) {
            if (fact.key == key) return fact.value;
        }
        return "";
    }

    sim::SimRegistry registry;
    sim::SimProcesses processes;
    sim::SimDesktop desktop;
    sim::SimHid hid;
    sim::SimSystemProbe probe{registry, desktop};
    diag::DiagPlatform platform{registry, processes, desktop, hid, probe};
};

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
        const diag::Item item = diag::GatherLog(f.probe, kFolder);
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
    const diag::Item item = diag::GatherLog(f.probe, kFolder);
    ASSERT_EQ(item.rows.size(), 10u);
    EXPECT_EQ(DiagFixture::RowValue(item.rows[0], "line"), "16:45:14 line 4");
    EXPECT_EQ(DiagFixture::RowValue(item.rows[9], "line"),
              "4:45:12 PM Track: %B4111************^DOE/JOHN^2512");
    // The log itself is left as it was.
    EXPECT_EQ(f.desktop.files["C:\\Ostrel\\CCProcess.log"], log);
    EXPECT_EQ(f.probe.scratchFilesCreated, 1);
}

// --- The whole run -----------------------------------------------------------------------------

TEST(DiagRun, ExitCodes) {
    struct Case {
        const char* name;
        std::vector<std::string> args;
        bool reader;
        bool control;
        int code;
    };
    const std::vector<Case> cases = {
        {"all there", {}, true, true, 0},
        {"no reader", {}, false, true, 1},
        {"no control", {"--json"}, true, false, 1},
        {"unknown argument", {"--frobnicate"}, true, true, 2},
        {"--dir without a folder", {"--dir"}, true, true, 2},
        {"--count without --watch", {"--count", "3"}, true, true, 2},
        {"--count of no number", {"--watch", "--count", "x"}, true, true, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DiagFixture f;
        if (c.reader) f.hid.Plug(sim::ReaderDevice(2));
        if (c.control) f.RegisterControl(kHkeyCurrentUser, kServer, true);
        std::string out;
        EXPECT_EQ(f.Run(c.args, &out), c.code);
        if (c.code == 2) {
            EXPECT_NE(out.find("Usage: ostrel-diag"), std::string::npos);
        } else {
            const bool json = !c.args.empty() && c.args[0] == "--json";
            const std::string said = json ? "\"exitCode\": " + std::to_string(c.code)
                                          : "(exit code " + std::to_string(c.code) + ")";
            EXPECT_NE(out.find(said), std::string::npos) << out;
        }
    }
}

TEST(DiagRun, DirNamesTheLogFolder) {
    DiagFixture f;
    f.probe.folders.insert("D:\\Till");
    f.desktop.files["D:\\Till\\CCProcess.log"] = "09:00:01 elsewhere\r\n";
    std::string out;
    f.Run({"--dir", "D:\\Till"}, &out);
    EXPECT_NE(out.find("folder: D:\\Till\n"), std::string::npos) << out;
    EXPECT_NE(out.find("line=09:00:01 elsewhere"), std::string::npos) << out;
}

TEST(DiagRun, JsonIsOneWellFormedDocument) {
    DiagFixture f;
    f.hid.Plug(sim::KeyboardDevice());
    f.hid.Plug(sim::ReaderDevice(2));
    // Texts that need escaping: quotes, backslashes, control and non-ASCII bytes.
    f.registry.PutText(kHkeyCurrentUser, "Software\\TOVAN\\RODazedur", "MSconnect",
                       "2NSay \"hi\"\\\t\x01\xE9~");
    f.desktop.files["C:\\Ostrel\\CCProcess.log"] = "09:00:01 a \"quoted\" line\r\n";
    std::string out;
    EXPECT_EQ(f.Run({"--json"}, &out), 1);  // no control registered
    EXPECT_TRUE(json_check::IsDocument(out)) << out;
    EXPECT_NE(out.find("\"verdict\": \"FAIL\""), std::string::npos);
    EXPECT_NE(out.find("Say \\\"hi\\\"\\\\\\t\\u0001\\u00e9"), std::string::npos) << out;
    EXPECT_NE(out.find("\"exitCode\": 1"), std::string::npos);
}

TEST(DiagJson, CheckerRefusesWhatIsNoDocument) {
    for (const char* bad : {"", "{", "{\"a\": }", "{\"a\": \"\x01\"}", "{\"a\": 1} x", "[1,]"})
        EXPECT_FALSE(json_check::IsDocument(bad)) << bad;
    EXPECT_TRUE(json_check::IsDocument("{\"a\": [1, -2.5e3, true, null, {\"b\": \"\\u00e9\"}]}"));
}

// --- Watch ----------------------------------------------------------------------------------

TEST(DiagWatch, ShowsEachSwipeWithoutCardData) {
    struct Case {
        uint16_t productId;
        bool json;
    };
    const std::string number = "4111111111111111";
    for (const Case& c : {Case{2, false}, Case{14, false}, Case{2, true}}) {
        SCOPED_TRACE(c.productId);
        DiagFixture f;
        const auto reader = f.hid.Plug(sim::ReaderDevice(c.productId));
        const auto swipe = [&](const std::string& track1) {
            sim::Swipe s;
            s.tracks[0] = sim::Bytes(std::string_view(track1));
            s.tracks[1] = sim::Bytes(std::string_view(";" + number + "=2512101?"));
            f.hid.QueueReport(reader, sim::SwipeReport(c.productId, s));
        };
        f.desktop.At(2'000'000, [&] { swipe("%B" + number + "^DOE/JOHN Q^2512101"); });
        f.desktop.At(4'000'000, [&] { swipe("%B" + number + "^^2512101"); });
        std::string out;
        std::vector<std::string> args = {"--watch", "--count", "2"};
        if (c.json) args.push_back("--json");
        EXPECT_EQ(f.Run(args, &out), 0);
        EXPECT_EQ(oracle::FindCardDigits(out, number), std::nullopt) << out;
        EXPECT_EQ(out.find("DOE"), std::string::npos) << out;
        if (c.json) {
            size_t start = 0;
            for (size_t end; (end = out.find('\n', start)) != std::string::npos; start = end + 1)
                EXPECT_TRUE(json_check::IsDocument(out.substr(start, end - start)));
            continue;
        }
        EXPECT_NE(out.find("reader: model=" + std::to_string(c.productId)), std::string::npos)
            << out;
        EXPECT_NE(out.find("swipe: decoded=yes; statuses=0/0/0; lengths=37/"), std::string::npos)
            << out;
        EXPECT_NE(out.find("track 1=read; brand=Visa; number starts=4111"), std::string::npos)
            << out;
        EXPECT_NE(out.find("track 1=fails: no holder name; brand=Visa"), std::string::npos) << out;
        EXPECT_EQ(f.hid.OpenResources(), 0u);
    }
}

TEST(DiagWatch, WaitsForAReaderAndEndsWhenAsked) {
    DiagFixture f;
    f.desktop.At(3'000'000, [&] { f.hid.Plug(sim::ReaderDevice(2)); });
    std::string out;
    const int code = diag::RunDiagnostics(
        f.platform, {"--watch"}, [&](const std::string& piece) { out += piece; },
        [&] { return f.desktop.nowMicros > 10'000'000; });
    EXPECT_EQ(code, 0);
    EXPECT_NE(out.find("waiting: reader=none found yet\nreader: model=2"), std::string::npos)
        << out;
}

}  // namespace
}  // namespace ostrel
