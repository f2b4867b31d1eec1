#include "carddata/redaction.h"

#include <gtest/gtest.h>

namespace ostrel {
namespace {

TEST(Track1Excerpt, ShowsTheSentinelFormatCodeFourDigitsAndTheName) {
    EXPECT_EQ(Track1Excerpt("%B4111111111111111^DOE/JOHN Q^2512101"), "%B4111**...*^DOE/JOHN Q^");
    EXPECT_EQ(Track1Excerpt("Error"), "Error**...*");
    EXPECT_EQ(Track1Excerpt(""), "**...*");
}

TEST(Track1Excerpt, NeverShowsMoreThanFourDigitsOfTheNumber) {
    // Carets in odd places put the number where the name should be.
    EXPECT_EQ(Track1Excerpt("%B^4111111111111111^"), "%B^411**...*^****************^");
    EXPECT_EQ(Track1Excerpt("4111111111111111^DOE^"), "4111****...*^DOE^");
    EXPECT_EQ(Track1Excerpt("%B4111111111111111"), "%B4111**...*");
    EXPECT_EQ(Track1Excerpt("%B41^11111111111111^X"), "%B41^1**...*^**************^");
}

TEST(MaskCardNumbers, MasksWhatLooksLikeACardNumberAndNothingElse) {
    EXPECT_EQ(MaskCardNumbers("W1AC# 4111111111111111 rejected"),
              "W1AC# 4111************ rejected");
    EXPECT_EQ(MaskCardNumbers("4111-1111-1111-1111"), "4111-****-****-****");
    EXPECT_EQ(MaskCardNumbers("4111 1111 1111 1111"), "4111 **** **** ****");
    EXPECT_EQ(MaskCardNumbers("Error: -2147352567, 0x80020009 at 12:30:45"),
              "Error: -2147352567, 0x80020009 at 12:30:45");
    EXPECT_EQ(MaskCardNumbers("123456789012"), "123456789012");
    EXPECT_EQ(MaskCardNumbers("1234567890123"), "1234*********");
}

TEST(MaskCardDigits, MasksEveryRunHoldingFiveDigitsOfTheNumberButItsFirstFour) {
    constexpr const char* kNumber = "4111111111111111";
    const struct {
        const char* text;
        const char* masked;
    } cases[] = {
        {"Field rejected: 4111111111111111", "Field rejected: 4111************"},
        {"4111.1111.1111.1111 at 12/25", "4111.****.****.**** at 12/25"},
        {"rejected 41111", "rejected 4111*"},
        {"ref 0041111", "ref 0041***"},  // the run around the number's digits too
        {"4 1 1 1 1 x", "4 1 1 1 * x"},
        {"4111 -- 1111", "4111 -- 1111"},  // four between: two runs of four
        {"Error 80040201 on 12:30:45", "Error 80040201 on 12:30:45"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(MaskCardDigits(c.text, kNumber), c.masked);
    }
    // No number (none held yet): nothing to mask.
    EXPECT_EQ(MaskCardDigits("4111111111111111", ""), "4111111111111111");
}

TEST(MaskedCardNumber, ShowsTheFirstSixAndLastFourDigits) {
    EXPECT_EQ(MaskedCardNumber("4111111111111111"), "411111******1111");
    EXPECT_EQ(MaskedCardNumber("371449635398431"), "371449*****8431");
    EXPECT_EQ(MaskedCardNumber("4111111111111111111"), "411111*********1111");
    EXPECT_EQ(MaskedCardNumber("4111111111111"), "411111***1111");
    // Shorter numbers than any card brand's show their last four only.
    EXPECT_EQ(MaskedCardNumber("41111111"), "****1111");
    EXPECT_EQ(MaskedCardNumber(""), "");
}

}  // namespace
}  // namespace ostrel
