// The diagnostics tool's whole run on the simulated platform: exit codes, arguments, the JSON
// form and the watch.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "platform/sim/sim_readers.h"
#include "reader/reader_statistics.h"
#include "tests/card_digit_oracle.h"
#include "tests/logic/diag_fixture.h"
#include "support/product.h"
#include "tests/logic/json_check.h"

namespace ostrel {
namespace {

using namespace diag_test;

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
    // Texts that need escaping (quotes, backslashes, control bytes) and texts of the ANSI code
    // page (1252 here): "é" and the euro sign. A user's name outside ASCII ("Müller").
    f.registry.PutText(kHkeyCurrentUser, "Software\\TOVAN\\RODazedur", "MSconnect",
                       "2NSay \"hi\"\\\t\x01\xE9\x80~");
    f.probe.userName = "M\xC3\xBCller";
    f.desktop.files["C:\\Ostrel\\CCProcess.log"] = "09:00:01 a \"quoted\" line\r\n";
    // A swipe the program counted for the reader.
    ReaderStatistics statistics(f.registry, f.desktop);
    ReaderIdentity reader;
    reader.productId = 2;
    reader.serialNumber = "SR02-0417";
    statistics.ReaderTaken(reader);
    statistics.CountSwipe(SwipeOutcome::Read, true);
    std::string out;
    EXPECT_EQ(f.Run({"--json"}, &out), 1);  // no control registered
    EXPECT_TRUE(json_check::IsDocument(out)) << out;
    EXPECT_NE(out.find("\"verdict\": \"FAIL\""), std::string::npos);
    EXPECT_NE(out.find("Say \\\"hi\\\"\\\\\\t\\u0001\\u00e9\\u20ac"), std::string::npos) << out;
    // All ASCII: PowerShell 5.1 decodes a program's output in the console's code page.
    EXPECT_EQ(std::count_if(out.begin(), out.end(), [](char c) { return c & 0x80; }), 0) << out;
    EXPECT_NE(out.find("\"exitCode\": 1"), std::string::npos);
    // The reader's identity and its statistics, for a fleet's inventory.
    for (const char* fact : {"\"serial number\": \"\\\"SR02-0417\\\"\"", "\"item\": \"statistics\"",
                             "\"swipes read\": \"1\"", "\"last good read\": \"2026-03-04\""})
        EXPECT_NE(out.find(fact), std::string::npos) << fact;
    // What a fleet's collector files it under.
    for (const std::string& fact :
         {std::string("\"version\": \"") + kVersionText + "\"", std::string("\"build\": \"x"),
          std::string("\"computer\": \"TILL-07\""), std::string("\"user\": \"M\\u00fcller\""),
          std::string("\"time\": \"2026-03-04T05:06:07Z\"")})
        EXPECT_NE(out.find(fact), std::string::npos) << fact;
}

TEST(DiagJson, StringsAreAsciiWhateverTheyAreGiven) {
    const struct {
        std::string in, out;
    } cases[] = {
        {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x92\xB3", "\"caf\\u00e9 \\u20ac \\ud83d\\udcb3\""},
        {"\xE9t\xE9", "\"\\ufffdt\\ufffd\""},  // a byte of a code page, not UTF-8
        {"\xC3", "\"\\ufffd\""},               // cut short
        {"\xC0\xAF \xED\xA0\x80",
         "\"\\ufffd\\ufffd \\ufffd\\ufffd\\ufffd\""},  // overlong, surrogate
        {"\x7F\x1F", "\"\\u007f\\u001f\""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(diag::JsonString(c.in), c.out);
        EXPECT_TRUE(json_check::IsDocument(diag::JsonString(c.in)));
    }
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
