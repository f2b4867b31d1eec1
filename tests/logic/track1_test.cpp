// Track 1 read into card fields, with no program around it: each check, the name splits, the
// expiry, the number as the host receives it, and a raw-track reader's clear bytes.
#include "carddata/track1.h"

#include <gtest/gtest.h>

namespace ostrel {
namespace {

TEST(ReadTrack1, EachCheckFailsAtItsStepAndKeepsWhatTheStepsBeforeItTook) {
    const struct {
        const char* track;
        Track1Step failed;
        const char* number;  // what the steps before took
    } cases[] = {
        {"", Track1Step::Length, ""},
        {"   %B1  ", Track1Step::Length, ""},
        {"%B12345", Track1Step::MinimumLength, ""},
        {"%A4111111111111111^DOE/JOHN^2512", Track1Step::FormatCode, ""},
        {"%B^4111111111111111^DOE^2512", Track1Step::CardNumber, ""},
        // Only a whole card number: digits, blanks and dashes, 8 to 19 digits.
        {"%B41111111111*11111^DOE/J^2512101", Track1Step::CardNumber, ""},
        {"%B5^4111111111111111 X^2512101", Track1Step::CardNumber, ""},
        {"%B4111111^DOE/J^2512101", Track1Step::CardNumber, ""},
        {"%B41111111111111111111^DOE/J^2512101", Track1Step::CardNumber, ""},
        {"%B4111.1111.1111.1111^DOE/J^2512101", Track1Step::CardNumber, ""},
        {"%B4111111111111111^DOE JOHN 2512", Track1Step::SecondCaret, "4111111111111111"},
        {"%B4111111111111111^   ^2512", Track1Step::HolderName, "4111111111111111"},
        // Five digits in a row in the name, or in the parts as the holder label joins them:
        // digits of the number, or the tail of a number a misread caret cut.
        {"%B4111111111111111^DOE/JOHN 11111^2512", Track1Step::HolderName, "4111111111111111"},
        {"%B4111111111111111^1 /4111^2512", Track1Step::HolderName, "4111111111111111"},
        {"%B4539148803^436467 A/B^2512", Track1Step::HolderName, "4539148803"},
        {"%B4111111111111111^DOE/JOHN 1234 5^2512", Track1Step::HolderName, "4111111111111111"},
        {"%B4111111111111111^DOE/JOHN^", Track1Step::Expiry, "4111111111111111"},
        // The expiry's room is reckoned on the trimmed length: trailing blanks give none.
        {"%B4111111111111111^DOE/JOHN^  ", Track1Step::Expiry, "4111111111111111"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.track);
        const Track1Reading r = ReadTrack1(c.track, {});
        ASSERT_TRUE(r.failed);
        EXPECT_EQ(*r.failed, c.failed);
        EXPECT_EQ(r.reached, c.failed);
        EXPECT_EQ(r.card.CardNumber, c.number);
    }
}

TEST(ReadTrack1, TheNameCheckDoesNotDependOnPartsKeptFromAnEarlierSwipe) {
    // Alone, the label joins "111" and "1111" across an empty middle name; a middle name kept
    // from before would part them. The name is refused either way.
    const char* track = "%B4111111111^1111DOE/JOQ111^2512";
    CardFields held;
    held.FirstName = "OLDFIRST";
    held.MiddleName = "OLDMID";
    held.LastName = "OLDLAST";
    for (const CardFields& before : {CardFields{}, held}) {
        const Track1Reading r = ReadTrack1(track, before);
        ASSERT_TRUE(r.failed);
        EXPECT_EQ(*r.failed, Track1Step::HolderName);
    }
}

TEST(ReadTrack1, AGoodTrackGivesEveryField) {
    const Track1Reading r = ReadTrack1("%B4111-1111 1111-1111^DOE/JOHN Q^2512101", {});
    EXPECT_FALSE(r.failed);
    EXPECT_EQ(r.reached, Track1Step::MiddleInitial);
    CardFields expected;
    expected.CardNumber = "4111111111111111";
    expected.HolderName = "DOE/JOHN Q";
    expected.FirstName = "JOHN";
    expected.MiddleName = "Q";
    expected.LastName = "DOE";
    expected.CardExpiry = "1225";
    expected.CardTypeName = "Visa";
    expected.CardTypeCode = "V";
    EXPECT_EQ(r.card, expected);
    EXPECT_EQ(r.card.ExpiryMonth(), "12");
    EXPECT_EQ(r.card.ExpiryYear(), "25");
    // A brand without a code leaves no code behind from the card before.
    EXPECT_EQ(ReadTrack1("%B36000000000000^ROE/RICHARD^2701", r.card).card.CardTypeCode, "");
    // The shortest and the longest number a card has.
    EXPECT_EQ(ReadTrack1("%B41111111^DOE/J^2512", {}).card.CardNumber, "41111111");
    EXPECT_FALSE(ReadTrack1("%B4111111111111111111^DOE/J^2512", {}).failed);
    // Up to four digits in a row in a name stay (a generation, a suffix).
    EXPECT_EQ(ReadTrack1("%B4111111111111111^DOE/JOHN 9021^2512", {}).card.FirstName,
              "JOHN 9021");
    // An expiry cut short by the track's end is rearranged as far as it goes.
    EXPECT_EQ(ReadTrack1("%B4111111111111111^DOE/JOHN^251", {}).card.CardExpiry,
              "51"
              "25");
}

TEST(ReadTrack1, NamesSplitAtTheSlashOrAtBlanks) {
    const struct {
        const char* name;
        NameParts parts;
        const char* holder;  // as the window keeps it
    } cases[] = {
        {"DOE/JOHN Q", {"JOHN", "Q", "DOE"}, "DOE/JOHN Q"},
        {"DOE/JOHN", {"JOHN", "", "DOE"}, "DOE/JOHN"},
        {"  DOE/JOHN Q  ", {"JOHN", "Q", "DOE"}, "DOE/JOHN Q"},
        {"JOHN Q SMITH ", {"JOHN ", "Q", "SMITH"}, "JOHN Q SMITH "},
        {"JOHN Q SMITH", {"JOHN ", "Q", "SMITH"}, "JOHN Q SMITH"},
        {"JOHN SMITH", {"JOHN ", "", ""}, "JOHN SMITH"},
        {"JOHN SMITH Q ", {"JOHN ", "Q", "SMITH"}, "JOHN SMITH Q "},
        {"DOE/", {"", "", ""}, "DOE/"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Track1Reading r =
            ReadTrack1(std::string("%B4111111111111111^") + c.name + "^2512101", {});
        EXPECT_EQ((NameParts{r.card.FirstName, r.card.MiddleName, r.card.LastName}), c.parts);
        EXPECT_EQ(r.card.HolderName, c.holder);
    }
}

TEST(ReadTrack1, NamePartsASplitDoesNotReachKeepTheirValues) {
    // What the masked model relies on: it does not clear the parts before reading.
    CardFields before;
    before.FirstName = "ANN";
    before.MiddleName = "B";
    before.LastName = "ROE";
    const Track1Reading r = ReadTrack1("%B4111111111111111^JOHN SMITH^2512101", before);
    EXPECT_EQ(r.card.FirstName, "JOHN ");
    EXPECT_EQ(r.card.MiddleName, "B");
    EXPECT_EQ(r.card.LastName, "ROE");
    EXPECT_EQ(SplitSlashedName("DOE/JOHN", {"X", "Y", "Z"}), (NameParts{"JOHN", "Y", "DOE"}));
}

TEST(ClearTrack1, TheBytesOfATrackOneInTheClearAndNothingElse) {
    EXPECT_EQ(ClearTrack1("25 42 34 5E 00 00 ", 4), "%B4^");
    EXPECT_EQ(ClearTrack1("25 42 34 ", 2), "%B");
    EXPECT_FALSE(ClearTrack1("25 42 ", 3));     // shorter than its length
    EXPECT_FALSE(ClearTrack1("42 25 ", 2));     // no start sentinel
    EXPECT_FALSE(ClearTrack1("25 7F 34 ", 3));  // outside the track 1 alphabet
    EXPECT_FALSE(ClearTrack1("25 4G 34 ", 3));  // not hex
    EXPECT_FALSE(ClearTrack1("25 42 34 ", 0));
}

}  // namespace
}  // namespace ostrel
