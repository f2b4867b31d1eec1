// Whole-program scenarios about what the program keeps outside itself: a process log it cannot
// write, session ids and tables that other copies or hand edits leave, and registry values
// that change while they are being read.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "shell/status_texts.h"
#include "tests/logic/program_harness.h"

namespace ostrel::sim {
// Registry writes as text when an expectation fails.
inline void PrintTo(const SimRegistry::Write& w, std::ostream* os) {
    *os << w.name << "=\"" << w.text << "\"";
}
}  // namespace ostrel::sim

namespace ostrel {
namespace {

using End = ProgramHarness::End;
using Write = sim::SimRegistry::Write;

constexpr uint32_t kAccessDenied = 5;

bool AnyWrite(const ProgramHarness& h, const std::function<bool(const Write&)>& match) {
    return std::any_of(h.registry.writes.begin(), h.registry.writes.end(), match);
}

// The same scenario with a writable and an unwritable log folder: the program must do the
// same in both, and tell about the lost lines once.
struct LogScenario {
    const char* name;
    bool loggingOn;
    std::function<void(ProgramHarness&)> script;
    double until;
    End end;
};

TEST(ProgramSharedValues, AnUnwritableLogChangesNothingTheProgramDoesAndIsToldOnce) {
    const LogScenario scenarios[] = {
        // Trace lines at the load, at every request letter and after the delivery.
        {"traced request and delivery", true, [](ProgramHarness& h) { h.SwipeAt(8, kVisaTrack); },
         14, End::Stopped},
        // The failure exit's line for a track 1 that cannot be used: the program ends.
        {"failure exit that ends", false, [](ProgramHarness& h) { h.SwipeAt(8, "%B1"); }, 14,
         End::Ended},
        // The failure exit's line for a swipe without track 1: the program carries on.
        {"failure exit that carries on", true,
         [](ProgramHarness& h) {
             sim::Swipe swipe;
             swipe.tracks[1] = ";4111111111111111=2512101?";
             h.SwipeAt(8, swipe);
             h.SwipeAt(12, kVisaTrack);
         },
         16, End::Stopped},
    };
    for (const LogScenario& s : scenarios) {
        SCOPED_TRACE(s.name);
        ProgramHarness writable;
        ProgramHarness readOnly;
        readOnly.desktop.directoryErrors["C:\\Ostrel"] = kAccessDenied;
        // A copy that cannot get past its load would otherwise be reset for ever.
        readOnly.desktop.answers = {kIdOk, kIdOk, kIdCancel};
        for (ProgramHarness* h : {&writable, &readOnly}) {
            if (s.loggingOn) h->PutSetting("Logging", "Y");
            s.script(*h);
            EXPECT_EQ(h->Run("C,Front Desk", s.until), s.end);
        }
        EXPECT_NE(writable.Log(), "");
        EXPECT_EQ(readOnly.Log(), "");
        EXPECT_EQ(readOnly.host.calls, writable.host.calls);
        EXPECT_EQ(readOnly.registry.writes, writable.registry.writes);
        EXPECT_EQ(readOnly.desktop.statusHistory, writable.desktop.statusHistory);
        EXPECT_TRUE(writable.desktop.messageBoxes.empty());
        ASSERT_EQ(readOnly.desktop.messageBoxes.size(), 1u);
        const auto& notice = readOnly.desktop.messageBoxes[0];
        EXPECT_EQ(notice.caption, "Ostrel Interface");
        EXPECT_EQ(notice.style, kMbOk | kMbIconExclamation);
        EXPECT_NE(notice.text.find("C:\\Ostrel\\CCProcess.log"), std::string::npos) << notice.text;
    }
}

// Ids that no session has: another copy, an older version or a hand edit left them. They
// come while the request is armed ("Y") and after its card was delivered ("N").
TEST(ProgramSharedValues, ASessionIdOutsideZeroToTwentyFourIsServedLikeABlankOne) {
    for (const bool delivered : {false, true}) {
        for (const char* id : {"25", "-1", "99", "2147483648", " 25 "}) {
            SCOPED_TRACE(std::string(id) + (delivered ? " after a delivery" : " while armed"));
            ProgramHarness h;
            if (delivered) h.SwipeAt(6, kVisaTrack);
            const std::string entry = delivered ? "2NFront Desk~" : "2YFront Desk~";
            std::string tableWhileForeign;
            h.At(8, [&] { h.PutSetting("cSesId", id); });
            h.At(11.9, [&] { tableWhileForeign = h.Setting("MSconnect"); });
            h.At(12, [&] { h.PutSetting("cSesId", "2"); });
            h.SwipeAt(14, kVisaTrack);
            EXPECT_EQ(h.Run("C,Front Desk", 16), End::Stopped);
            EXPECT_EQ(tableWhileForeign, entry);
            // Nothing but session 2's own entry, or the blank of a reset, is ever stored.
            EXPECT_FALSE(AnyWrite(h, [&](const Write& w) {
                return (w.name == "cSesId" && w.text == id) ||
                       (w.name == "MSconnect" && w.text != " " && w.text.size() != entry.size());
            }));
            EXPECT_TRUE(h.desktop.messageBoxes.empty());
            // The session filed before and after is served as usual.
            EXPECT_EQ(h.host.Field(2, "W1AC#"), "4111111111111111");
            EXPECT_EQ(h.Setting("MSconnect"), "2NFront Desk~");
        }
    }
}

// Another copy rewrites the table between the size query and the read, again and again.
TEST(ProgramSharedValues, ATableThatCannotBeReadStablyIsNeverBlanked) {
    ProgramHarness h;
    int rewrites = 0;
    h.At(8, [&] {
        // Written again as it stood: the next pass reads it from the registry.
        h.PutSetting("MSconnect", "2YFront Desk~");
        h.registry.afterSizeQuery = [&](const std::string& name) {
            if (name != "MSconnect" || rewrites >= 6) return;
            ++rewrites;
            h.PutSetting("MSconnect", "2YFront Desk~" + std::string(rewrites, '~'));
        };
    });
    std::string tableAfter;
    h.At(9.8, [&] { tableAfter = h.Setting("MSconnect"); });
    h.SwipeAt(10.5, kVisaTrack);
    EXPECT_EQ(h.Run("C,Front Desk", 13), End::Stopped);
    EXPECT_EQ(rewrites, 6);
    EXPECT_EQ(tableAfter, "2YFront Desk~~~~~~~");
    EXPECT_FALSE(AnyWrite(h, [](const Write& w) {
        return w.name == "MSconnect" && (w.text.empty() || w.text == "2  ~");
    }));
    EXPECT_TRUE(h.desktop.messageBoxes.empty());
    EXPECT_EQ(h.host.Field(2, "W1AC#"), "4111111111111111");
    EXPECT_EQ(h.Setting("MSconnect"), "2NFront Desk~");
}

}  // namespace
}  // namespace ostrel
