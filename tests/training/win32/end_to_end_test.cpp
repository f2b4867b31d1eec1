// The whole program for real under Wine: ostrel-training.exe (and ostrel.exe where the real
// reader path matters) started by the host emulator's "Credit Card Scan", swipes from its
// swipe panel, the host's fields written through the stand-in control, and the program's
// window, registry values and log read as a clerk or an administrator would see them.
#include <windows.h>
#include <dbt.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <optional>
#include <string>
#include <thread>

#include "platform/win32/win32_desktop.h"
#include "shell/status_texts.h"
#include "tests/training/win32/end_to_end_harness.h"

namespace ostrel::training::e2e {
namespace {

constexpr const char* kVisaNumber = "4111111111111111";
constexpr const char* kArmedTable = "2YFront Desk~";
constexpr const char* kServedTable = "2NFront Desk~";

// Whether the session table ("MSconnect") comes to read table within ms.
bool TableBecomes(const std::string& table, DWORD ms) {
    return WaitFor([&] { return Setting("MSconnect") == table; }, ms);
}

// The host's twelve fields once the test Visa card has been delivered.
std::map<std::string, std::string> VisaFields() {
    return {{"WFNAM", "JOHN"}, {"WMNAM", "Q"},   {"WLNAM", "DOE"},    {"W1AC#", kVisaNumber},
            {"W1CTYP", "V"},   {"SCTYP", "V"},   {"SCDSC", "Visa"},   {"W1CEXP", "1228"},
            {"ZEXPMM", "12"},  {"ZEXPYY", "28"}, {"CCScanCard", "Y"}, {"CCSTATUS", status::kSent}};
}

// Whether wanted appear in texts in this order (others may stand between them).
bool InOrder(const std::vector<std::string>& texts, const std::vector<std::string>& wanted) {
    auto at = texts.begin();
    for (const std::string& text : wanted) {
        at = std::find(at, texts.end(), text);
        if (at == texts.end()) return false;
        ++at;
    }
    return true;
}

// The longest run of the number's digits, in their order, that the text holds anywhere.
size_t LongestRunOf(const std::string& number, const std::string& text) {
    size_t longest = 0;
    for (size_t from = 0; from < number.size(); ++from) {
        for (size_t length = number.size() - from; length > longest; --length) {
            if (text.find(number.substr(from, length)) != std::string::npos) {
                longest = length;
                break;
            }
        }
    }
    return longest;
}

class EndToEnd : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(run.Started()) << "the host emulator did not start"; }

    // "Credit Card Scan" for session C, until the program is armed for it.
    Process& ScanAndArm() {
        Process& program = run.Scan("C");
        EXPECT_TRUE(program.Valid()) << "the program did not start";
        EXPECT_TRUE(TableBecomes(kArmedTable, 20000))
            << "MSconnect: " << Setting("MSconnect") << run.Dialogs();
        EXPECT_TRUE(
            WaitFor([&] { return run.Field("C", "CCSTATUS") == status::kPleaseSwipe; }, 5000))
            << run.Field("C", "CCSTATUS") << run.Dialogs();
        return program;
    }
    bool HostStatusBecomes(const std::string& text, DWORD ms) {
        return WaitFor([&] { return run.Field("C", "CCSTATUS") == text; }, ms);
    }
    std::map<std::string, std::string> Fields() {
        std::map<std::string, std::string> fields;
        const Message reply = run.Call({"session", "C"});
        for (size_t i = 3; i + 1 < reply.size(); i += 2)
            fields[reply[i]] = reply[i + 1];
        return fields;
    }

    EmulatorRun run;
};

TEST_F(EndToEnd, ASwipeReachesTheHostScreenIsReadBackAndTheNextSwipeToo) {
    Process& program = ScanAndArm();
    ASSERT_EQ(run.Call({"swipe", "visa"})[0], kOk);
    ASSERT_TRUE(HostStatusBecomes(status::kSent, 10000))
        << run.Field("C", "CCSTATUS") << run.Dialogs();

    EXPECT_EQ(Fields(), VisaFields());
    // The status reaches the host a moment before the table is rewritten.
    EXPECT_TRUE(TableBecomes(kServedTable, 3000)) << "MSconnect: " << Setting("MSconnect");
    EXPECT_TRUE(
        InOrder(run.Statuses("C"), {status::kPleaseSwipe, status::kProcessing, status::kSent}));
    EXPECT_EQ(run.Label(Label::Status), status::kSent);
    EXPECT_EQ(run.Label(Label::CCHolder), "JOHN*Q*DOE");
    EXPECT_EQ(run.Label(Label::CCno), "411111******1111");
    EXPECT_EQ(run.Label(Label::CCType), "Visa");
    EXPECT_EQ(run.Label(Label::Exp), "1228");
    // The read-back went to the host, and the call list shows no more of the number than
    // its first four digits.
    const Message calls = run.Call({"calls"});
    EXPECT_NE(std::find(calls.begin(), calls.end(),
                        "GetScreenField(\"W1AC#\", 2) -> \"4111************\""),
              calls.end());

    // The request stays armed for the same screen: the next card is delivered the same way.
    ASSERT_EQ(run.Call({"swipe", "mastercard"})[0], kOk);
    // The status still reads "sent" from the first card, and the number comes before the
    // brand: wait for the brand too, so the check cannot land inside the delivery.
    EXPECT_TRUE(WaitFor(
        [&] {
            return run.Field("C", "W1AC#") == "5500000000000004" && run.Field("C", "W1CTYP") == "M";
        },
        10000))
        << run.Dialogs();
    EXPECT_TRUE(HostStatusBecomes(status::kSent, 5000));
    EXPECT_EQ(run.Field("C", "WFNAM"), "ANNA");
    EXPECT_TRUE(program.Running());
}

TEST_F(EndToEnd, WithoutASwipeTheRequestTimesOutAfterAboutFifteenSeconds) {
    ScanAndArm();
    const DWORD armed = GetTickCount();
    ASSERT_TRUE(HostStatusBecomes(status::kTimedOut, 30000))
        << run.Field("C", "CCSTATUS") << run.Dialogs();
    const DWORD seconds = (GetTickCount() - armed) / 1000;
    EXPECT_GE(seconds, 14u);
    EXPECT_LE(seconds, 22u);
    EXPECT_TRUE(TableBecomes(kServedTable, 3000));
    // The same pass goes on to show the search; the host keeps the time-out text.
    EXPECT_TRUE(WaitFor([&] { return run.Label(Label::Status) == status::kSearching; }, 3000));
    EXPECT_EQ(run.Statuses("C").back(), status::kTimedOut);
}

TEST_F(EndToEnd, ASecondStartWhileArmedDeactivatesTheScanner) {
    Process& first = ScanAndArm();
    const DWORD firstId = first.Id();
    Process& second = run.Scan("C");
    ASSERT_TRUE(second.Valid());
    EXPECT_EQ(second.WaitForEnd(15000), std::optional<DWORD>(0)) << run.Dialogs();
    EXPECT_TRUE(HostStatusBecomes(status::kDeactivated, 5000)) << run.Field("C", "CCSTATUS");
    EXPECT_TRUE(TableBecomes(kServedTable, 3000));
    HWND window = WindowOf(firstId, kProgramWindowClass);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(LabelText(window, Label::Status), status::kDeactivated);
}

TEST_F(EndToEnd, AHostScreenThatMovesOnEndsTheRequestAndItsCardNeverReachesTheNextOne) {
    Process& program = ScanAndArm();
    ASSERT_EQ(run.Call({"screen", "C", "Guest Folio"})[0], kOk);
    ASSERT_TRUE(TableBecomes(kServedTable, 5000));
    ASSERT_TRUE(WaitFor([&] { return run.Label(Label::Status) == status::kSearching; }, 3000));
    const size_t callsBefore = run.Call({"calls"}).size();

    ASSERT_EQ(run.Call({"swipe", "visa"})[0], kOk);
    Sleep(4000);
    EXPECT_EQ(run.Field("C", "W1AC#"), "");
    EXPECT_EQ(run.Field("C", "CCSTATUS"), status::kPleaseSwipe);
    // Only the loop's question about the screen reaches the host; nothing is written.
    const Message calls = run.Call({"calls", std::to_string(callsBefore - 1)});
    for (size_t i = 1; i < calls.size(); ++i) {
        EXPECT_EQ(calls[i].rfind("GetSessionInfo(", 0), 0u) << calls[i];
    }
    EXPECT_TRUE(program.Running());

    // The host returns and asks again: that card was the previous customer's and stays out;
    // the next one swiped is delivered.
    ASSERT_EQ(run.Call({"screen", "C", "Front Desk"})[0], kOk);
    run.Scan("C");
    ASSERT_TRUE(TableBecomes(kArmedTable, 15000)) << Setting("MSconnect") << run.Dialogs();
    Sleep(3000);
    EXPECT_EQ(run.Field("C", "W1AC#"), "");
    ASSERT_EQ(run.Call({"swipe", "mastercard"})[0], kOk);
    EXPECT_TRUE(WaitFor([&] { return run.Field("C", "W1AC#") == "5500000000000004"; }, 10000))
        << run.Dialogs();
}

TEST_F(EndToEnd, ClosingTheHostEndsTheProgramWhichResetsItsSharedValues) {
    Process& program = ScanAndArm();
    HWND emulator = WindowOf(run.Emulator().Id(), kEmulatorWindowClass);
    ASSERT_NE(emulator, nullptr);
    PostMessageA(emulator, WM_CLOSE, 0, 0);  // its close box
    EXPECT_TRUE(run.Emulator().WaitForEnd(5000).has_value());
    EXPECT_EQ(program.WaitForEnd(20000), std::optional<DWORD>(0)) << run.Dialogs();
    for (const char* name : {"MSconnect", "cSesId", "NSesDly", "Logging"}) {
        EXPECT_EQ(Setting(name), " ") << name;
    }
}

TEST_F(EndToEnd, ACardWithoutCaretsIsLoggedWithoutItsNumberAndTheProgramEnds) {
    Process& program = ScanAndArm();
    ASSERT_EQ(run.Call({"swipe", "no-carets"})[0], kOk);
    EXPECT_EQ(program.WaitForEnd(15000), std::optional<DWORD>(0)) << run.Dialogs();
    EXPECT_TRUE(InOrder(run.Statuses("C"), {status::kNoCardNumber, status::kDeactivated}));
    const std::string log = ReadFileText(run.LogPath());
    EXPECT_NE(log.find("Card data err**2**"), std::string::npos) << log;
    EXPECT_LE(LongestRunOf(kVisaNumber, log), 4u) << log;
    EXPECT_EQ(Setting("MSconnect"), " ");
}

// Sets the stand-in's dispatch time for the programs the test starts, and takes it back.
class DispatchingControl {
  protected:
    DispatchingControl() { SetEnvironmentVariableA("OSTREL_STANDIN_DISPATCH_MS", "50"); }
    ~DispatchingControl() { SetEnvironmentVariableA("OSTREL_STANDIN_DISPATCH_MS", nullptr); }
    DispatchingControl(const DispatchingControl&) = delete;
    DispatchingControl& operator=(const DispatchingControl&) = delete;
};

// The stand-in dispatching the program's window messages inside each call, as a control in
// another process does: the program's ticks and commands then arrive while a call is in
// progress, and must wait for it to return rather than start calls of their own inside it.
class EndToEndWithAYieldingControl : private DispatchingControl, public EndToEnd {};

// Does something to the window every 20 ms, from a thread of its own, for as long as it lives.
class Flood {
  public:
    Flood(HWND window, void (*each)(HWND))
        : thread_([this, window, each] {
              for (; !stop_; Sleep(20))
                  each(window);
          }) {}
    ~Flood() {
        stop_ = true;
        thread_.join();
    }
    Flood(const Flood&) = delete;
    Flood& operator=(const Flood&) = delete;

  private:
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// The milliseconds from the first arrival of one status to the next arrival of another.
std::optional<long> MsBetween(const Message& statusTimes, const std::string& from,
                              const std::string& to) {
    std::optional<long> fromMs;
    for (size_t i = 1; i < statusTimes.size(); ++i) {
        const std::string& line = statusTimes[i];
        const size_t tab = line.find('\t');
        if (tab == std::string::npos) continue;
        const long ms = std::stol(line.substr(0, tab));
        const std::string text = line.substr(tab + 1);
        if (!fromMs && text == from) fromMs = ms;
        if (fromMs && text == to) return ms - *fromMs;
    }
    return std::nullopt;
}

// The timer's tick posted: ticks then fall due at every moment, inside the host calls too.
void PostTick(HWND window) {
    PostMessageA(window, WM_TIMER, ostrel::win32::kTimerId, 0);
}

// A device's arrival, sent from another process as Windows sends it, which waits for the answer:
// the stand-in refuses calls made inside it, as COM does those to a control in another process.
void SendArrival(HWND window) {
    SendMessageTimeoutA(window, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, 0, SMTO_ABORTIFHUNG, 2000,
                        nullptr);
}

TEST_F(EndToEndWithAYieldingControl, CardsReachTheHostAsBeforeAndNoCallBeginsInsideAnother) {
    ScanAndArm();
    const HWND window = run.ProgramWindow();
    ASSERT_NE(window, nullptr);
    const Flood ticks(window, PostTick);
    const Flood arrivals(window, SendArrival);
    ASSERT_EQ(run.Call({"swipe", "visa"})[0], kOk);
    ASSERT_TRUE(HostStatusBecomes(status::kSent, 15000))
        << run.Field("C", "CCSTATUS") << run.Dialogs();
    EXPECT_EQ(Fields(), VisaFields());
    EXPECT_TRUE(
        InOrder(run.Statuses("C"), {status::kPleaseSwipe, status::kProcessing, status::kSent}));
    // The delivery's dozen calls each waited: the stand-in did dispatch (else this test shows
    // nothing).
    const auto delivery =
        MsBetween(run.Call({"status-times", "C"}), status::kProcessing, status::kSent);
    ASSERT_TRUE(delivery.has_value());
    EXPECT_GE(*delivery, 500) << "the stand-in did not wait in its calls";

    // Armed again by the host, then "Clear/re&Attach". The loop's sleeps take no messages, so
    // the command nearly always arrives in the next pass's first host call, and must wait.
    ASSERT_TRUE(TableBecomes(kServedTable, 3000));
    run.Scan("C");
    ASSERT_TRUE(TableBecomes(kArmedTable, 15000)) << Setting("MSconnect") << run.Dialogs();
    PostMessageA(window, WM_COMMAND, ostrel::win32::kIdAttach, 0);
    EXPECT_TRUE(WaitFor(
        [&] {
            return InOrder(run.Statuses("C"), {status::kSent, status::kAttachDevice});
        },
        10000))
        << run.Field("C", "CCSTATUS") << run.Dialogs();
    EXPECT_EQ(Setting("MSconnect"), " ");
    EXPECT_EQ(run.Call({"nested-calls"}), OkReply());

    // The host's re-click arms it again: the next card is delivered, and then a request left
    // without a swipe times out.
    run.Scan("C");
    ASSERT_TRUE(TableBecomes(kArmedTable, 15000)) << Setting("MSconnect") << run.Dialogs();
    ASSERT_EQ(run.Call({"swipe", "mastercard"})[0], kOk);
    EXPECT_TRUE(WaitFor(
        [&] {
            return run.Field("C", "W1AC#") == "5500000000000004" && run.Field("C", "W1CTYP") == "M";
        },
        15000))
        << run.Dialogs();
    EXPECT_TRUE(HostStatusBecomes(status::kSent, 5000));
    ASSERT_TRUE(TableBecomes(kServedTable, 3000));
    run.Scan("C");
    ASSERT_TRUE(TableBecomes(kArmedTable, 15000)) << Setting("MSconnect") << run.Dialogs();
    EXPECT_TRUE(HostStatusBecomes(status::kTimedOut, 30000))
        << run.Field("C", "CCSTATUS") << run.Dialogs();
    EXPECT_EQ(run.Statuses("C").back(), status::kTimedOut);

    EXPECT_EQ(run.Call({"nested-calls"}), OkReply());
}

class RealProgram : public ::testing::Test {
  protected:
    EmulatorRun run{"real"};
};

TEST_F(RealProgram, WithNoReaderTellsTheHostToAttachOneAndEnds) {
    if (ostrel::win32::RealReaderPlugged())
        GTEST_SKIP() << "a card reader is plugged in on this machine";
    ASSERT_TRUE(run.Started());
    Process& program = run.Scan("C");
    ASSERT_TRUE(program.Valid());
    EXPECT_EQ(program.WaitForEnd(30000), std::optional<DWORD>(0)) << run.Dialogs();
    EXPECT_EQ(run.Field("C", "CCSTATUS"), status::kAttachThenReclick);
}

}  // namespace
}  // namespace ostrel::training::e2e

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new ostrel::training::e2e::RegisteredControl);
    return RUN_ALL_TESTS();
}
