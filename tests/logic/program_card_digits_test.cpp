// Whole-program scenarios: the card number's digits go to the host's number field and nowhere
// else, whatever the track or the host does; the rule's own check first.
#include <gtest/gtest.h>

#include "shell/status_texts.h"
#include "tests/card_digit_oracle.h"

namespace ostrel {
namespace {

using End = ProgramHarness::End;
using oracle::CardDigitLeaks;
using oracle::Describe;
using oracle::FindCardDigits;

constexpr const char* kVisaNumber = "4111111111111111";
constexpr int32_t kRejected = static_cast<int32_t>(0x80040201);

TEST(CardDigitOracle, FindsFiveDigitsOfTheNumberWhateverSeparatesOrSurroundsThem) {
    const struct {
        const char* text;
        bool found;
    } cases[] = {
        {"4111111111111111", true},  {"rejected: 41111.", true},
        {"00411110", true},          {"4111-1111-1111-1111", true},
        {"4 1 1 1 1", true},         {"41111111111*11111", true},
        {"4111.\r\n1", true},        {"4111 - 1", true},  // three between
        {"4111 -- 1", false},                             // four between
        {"4111x1111", false},                             // a letter ends a run
        {"4111************", false}, {"4111", false},
        {"31415 92653", false},  // digits, but not the number's
        {"12:30:45", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(FindCardDigits(c.text, kVisaNumber).has_value(), c.found);
    }
    // The number is taken by its digits; one too short to leak five never does.
    EXPECT_EQ(FindCardDigits("xx 55000 yy", "5500-0000-0000-0004"), 3u);
    EXPECT_FALSE(FindCardDigits("1234 1234", "1234"));
}

TEST(CardDigitOracle, LeavesOutTheProgramsOwnTimesAndErrorNumbers) {
    EXPECT_EQ(
        oracle::WithoutOwnNumbers("09:41:11 Card data err**2**Error: -2147221503, x 4111\r\n"
                                  "\r\n%B4111**...*^DOE^***\r\n11:11:14 PKT 1**2*Desk",
                                  true),
        "T Card data err**2**Error: N, x 4111\r\n\r\n%B4111**...*^DOE^***\r\nT PKT 1**2*Desk");
    // Only the message's own error number: a second one is the host's text.
    EXPECT_EQ(oracle::WithoutOwnNumbers("Error: 41111, Error: 41111' ", false),
              "Error: N, Error: 41111' ");
    EXPECT_EQ(oracle::WithoutOwnNumbers("12:11:11 x", false), "12:11:11 x");
}

// A swipe on a harness whose copy logs its handshakes too, so that trace lines are checked.
ProgramHarness& Logging(ProgramHarness& h) {
    h.PutSetting("Logging", "Y");
    return h;
}

TEST(ProgramCardDigits, ANumberFieldThatIsNoCardNumberFailsAtTheNumberCheck) {
    const struct {
        const char* track;
        const char* number;  // the card's number, as far as the track shows it
    } cases[] = {
        {"%B41111111111*11111^DOE/J^2512101", kVisaNumber},  // a misread character
        {"%B5^4111111111111111 X^2512101", kVisaNumber},     // a stray caret
        {"%B4111111111111111X^DOE/J^2512101", kVisaNumber},
        {"%B4111.1111.1111.1111^DOE/J^2512101", kVisaNumber},
        {"%B4111111^DOE/J^2512101", "4111111"},                            // 7 digits
        {"%B41111111111111111111^DOE/J^2512101", "41111111111111111111"},  // 20
        {"%B    ^DOE/J^2512101", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.track);
        ProgramHarness h;
        Logging(h).SwipeAt(8, c.track);
        EXPECT_EQ(h.Run(), End::Ended);
        const std::vector<std::string> statuses = h.HostStatus();
        ASSERT_GE(statuses.size(), 2u);
        EXPECT_EQ(statuses[statuses.size() - 2], status::kNoCardNumber);
        EXPECT_EQ(statuses.back(), status::kDeactivated);
        // The usual pause to read the status, then the failure exit's line.
        EXPECT_GE(h.desktop.nowMicros, Micros(10.1));
        EXPECT_NE(h.Log().find("Card data err**2**"), std::string::npos);
        EXPECT_TRUE(h.CallsFromDelivery().empty());
        EXPECT_EQ(h.host.Field(2, "WFNAM"), "");
        EXPECT_EQ(h.host.Field(2, "WLNAM"), "");
        EXPECT_EQ(h.desktop.labels[Label::CCHolder], "");
        const auto leaks = CardDigitLeaks(h, c.number);
        EXPECT_TRUE(leaks.empty()) << Describe(leaks);
    }
}

TEST(ProgramCardDigits, TheMaskedModelShowsAFailedNumberCheckAndStaysArmed) {
    ProgramHarness h;
    h.UseReaderModel(15);
    h.SwipeAt(8, "%B5^4111111111111111 X^2512101");
    EXPECT_EQ(h.Run("C,Front Desk", 13), End::Stopped);
    EXPECT_EQ(h.HostStatus().back(), status::kNoCardNumber);
    EXPECT_TRUE(h.CallsFromDelivery().empty());
    EXPECT_EQ(h.Setting("MSconnect"), "2YFront Desk~");
    const auto leaks = CardDigitLeaks(h, kVisaNumber);
    EXPECT_TRUE(leaks.empty()) << Describe(leaks);
}

TEST(ProgramCardDigits, NumbersOfEightToNineteenDigitsAreDelivered) {
    const struct {
        const char* track;
        const char* number;
    } cases[] = {
        {"%B41111111^DOE/J^2512101", "41111111"},
        {"%B4111111111111111111^DOE/J^2512101", "4111111111111111111"},
        {"%B 4111 1111 1111 1111 ^DOE/J^2512101", kVisaNumber},
        {"%B4111-1111-1111-1111^DOE/J^2512101", kVisaNumber},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.track);
        ProgramHarness h;
        Logging(h).SwipeAt(8, c.track);
        EXPECT_EQ(h.Run("C,Front Desk", 10), End::Stopped);
        EXPECT_EQ(h.host.Field(2, "W1AC#"), c.number);
        EXPECT_EQ(h.HostStatus().back(), status::kSent);
        const auto leaks = CardDigitLeaks(h, c.number);
        EXPECT_TRUE(leaks.empty()) << Describe(leaks);
    }
}

TEST(ProgramCardDigits, ANameHoldingDigitsOfTheNumberIsNoName) {
    const struct {
        const char* track;
        const char* card;  // the card's whole number
    } cases[] = {
        {"%B4111111111111111^4111111111111111/X^2512101", kVisaNumber},
        {"%B4111111111111111^DOE/JOHN 11111^2512101", kVisaNumber},
        {"%B4111111111111111^1 /4111^2512101", kVisaNumber},  // only the label, "4111**1 "
        // A misread caret inside the number: its head passes as a number, its tail is no name.
        {"%B4539148803^436467 A/B^2512", "4539148803436467"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.track);
        ProgramHarness h;
        Logging(h).SwipeAt(8, c.track);
        EXPECT_EQ(h.Run(), End::Ended);
        const std::vector<std::string> statuses = h.HostStatus();
        ASSERT_GE(statuses.size(), 2u);
        EXPECT_EQ(statuses[statuses.size() - 2], status::kNoHolderName);
        EXPECT_TRUE(h.CallsFromDelivery().empty());
        const auto leaks = CardDigitLeaks(h, c.card);
        EXPECT_TRUE(leaks.empty()) << Describe(leaks);
    }
    // Fewer than five digits in a row are a name's own business.
    ProgramHarness h;
    h.SwipeAt(8, "%B4111111111111111^DOE/JOHN 3RD 9021^2512101");
    EXPECT_EQ(h.Run("C,Front Desk", 10), End::Stopped);
    EXPECT_EQ(h.host.Field(2, "WFNAM"), "JOHN 3RD 9021");
}

TEST(ProgramCardDigits, AHostThatQuotesTheNumberInItsErrorHasItMasked) {
    for (const char* description : {
             "Field rejected: 4111111111111111",
             "Field rejected: 4111.1111.1111.1111",
             "Field rejected: 41111",
             "Field rejected: acct=4111-1111-1111-1111;exp=12/25",
             "Field rejected: 4111111111111111 (16)",
         }) {
        SCOPED_TRACE(description);
        ProgramHarness h;
        h.At(8, [&h, description] {
            h.host.failNext[dispid::kPutScreenValue] = {kRejected, description};
        });
        Logging(h).SwipeAt(8, kVisaTrack);
        EXPECT_EQ(h.Run(), End::Ended);
        ASSERT_EQ(h.desktop.messageBoxes.size(), 1u);
        // The error number and the time of day stay as they were.
        const std::string box = h.desktop.messageBoxes[0].text;
        EXPECT_EQ(box.rfind("Error: " + std::to_string(kRejected) + ", ", 0), 0u) << box;
        EXPECT_NE(box.find("Stp: DMSR-G10"), std::string::npos);
        const std::string log = h.Log();
        EXPECT_NE(log.find("\r\n09:00:08 Card data err**2**Error: " + std::to_string(kRejected) +
                           ", Field rejected: "),
                  std::string::npos)
            << log;
        const auto leaks = CardDigitLeaks(h, kVisaNumber);
        EXPECT_TRUE(leaks.empty()) << Describe(leaks);
    }
}

TEST(ProgramCardDigits, TheResetDialogMasksANumberTheHostQuotes) {
    ProgramHarness h;
    h.SwipeAt(8, kVisaTrack);
    // After the delivery the host fails the loop's next look at the session, quoting the card.
    h.At(10, [&h] {
        h.host.failNext[dispid::kGetSessionInfo] = {kRejected,
                                                    "Screen busy with 4111-1111-1111-1111"};
    });
    EXPECT_EQ(h.Run("C,Front Desk", 14), End::Stopped);
    EXPECT_EQ(h.host.Field(2, "W1AC#"), kVisaNumber);
    ASSERT_FALSE(h.desktop.messageBoxes.empty());
    EXPECT_EQ(h.desktop.messageBoxes[0].caption, "Ostrel error...");
    EXPECT_NE(h.desktop.messageBoxes[0].text.find("Error: " + std::to_string(kRejected) + "' "),
              std::string::npos);
    const auto leaks = CardDigitLeaks(h, kVisaNumber);
    EXPECT_TRUE(leaks.empty()) << Describe(leaks);
}

TEST(ProgramCardDigits, AGoodSwipeShowsTheNumberOnlyInItsOwnPlaces) {
    ProgramHarness h;
    Logging(h).SwipeAt(8, kVisaTrack);
    h.SwipeAt(11, "%B5500000000000004^SMITH/ANNA^2706101");
    EXPECT_EQ(h.Run("C,Front Desk", 14), End::Stopped);
    EXPECT_EQ(h.host.Field(2, "W1AC#"), "5500000000000004");
    for (const char* number : {kVisaNumber, "5500000000000004"}) {
        const auto leaks = CardDigitLeaks(h, number);
        EXPECT_TRUE(leaks.empty()) << Describe(leaks);
    }
}

}  // namespace
}  // namespace ostrel
