// The small text helpers: upper case in Windows-1252.
#include "support/text_util.h"

#include <gtest/gtest.h>

#include <string>

namespace ostrel {
namespace {

// Every small letter of Windows-1252, and its capital at the same place.
const std::string kSmall =
    "abcdefghijklmnopqrstuvwxyz\x9A\x9C\x9E\xFF"
    "\xE0\xE1\xE2\xE3\xE4\xE5\xE6\xE7\xE8\xE9\xEA\xEB\xEC\xED\xEE\xEF"
    "\xF0\xF1\xF2\xF3\xF4\xF5\xF6\xF8\xF9\xFA\xFB\xFC\xFD\xFE";
const std::string kCapital =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZ\x8A\x8C\x8E\x9F"
    "\xC0\xC1\xC2\xC3\xC4\xC5\xC6\xC7\xC8\xC9\xCA\xCB\xCC\xCD\xCE\xCF"
    "\xD0\xD1\xD2\xD3\xD4\xD5\xD6\xD8\xD9\xDA\xDB\xDC\xDD\xDE";

TEST(TextUtil, UpperCaseKnowsEveryLetterOfTheCodePage) {
    EXPECT_EQ(ToUpper(kSmall), kCapital);
    EXPECT_EQ(ToUpper(kCapital), kCapital);
    EXPECT_EQ(ToUpper("Caf\xE9 \xAB vu \xBB"), "CAF\xC9 \xAB VU \xBB");
    // Everything else stays as it is: the division sign, sharp s and micro (no capital in the
    // code page), digits, signs, control bytes.
    for (int byte = 0; byte < 256; ++byte) {
        const std::string one(1, static_cast<char>(byte));
        if (kSmall.find(one) != std::string::npos) continue;
        EXPECT_EQ(ToUpper(one), one) << "byte " << byte;
    }
    EXPECT_EQ(ToUpper(std::string("a\0b", 3)), std::string("A\0B", 3));
}

}  // namespace
}  // namespace ostrel
