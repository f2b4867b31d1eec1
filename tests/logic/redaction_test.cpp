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

}  // namespace
}  // namespace ostrel
