#include "carddata/card_type.h"

#include <gtest/gtest.h>

namespace ostrel {
namespace {

struct Result {
    std::string name;
    std::string code;
    std::string number;
};

Result Identify(std::string number) {
    std::string code = "untouched";
    std::string name = IdentifyCardType(number, code);
    return {name, code, number};
}

TEST(IdentifyCardType, BrandsAndCodesByPrefix) {
    const struct {
        const char* number;
        const char* name;
        const char* code;
    } cases[] = {
        {"378282246310005", "American Express", "A"},
        {"341111111111111", "American Express", "A"},
        {"36000000000000", "Diners Club", "untouched"},
        {"38000000000000", "Carte Blanche", "untouched"},
        {"5100000000000000", "Master Card", "M"},
        {"5500000000000000", "Master Card", "M"},
        {"5600000000000000", "Unknown", "untouched"},
        {"180000000000000", "JCB", "untouched"},
        {"213100000000000", "JCB", "untouched"},
        {"201400000000000", "EnRoute", "untouched"},
        {"214900000000000", "EnRoute", "untouched"},
        {"6011000000000000", "Discover", "D"},
        {"30500000000000", "American Diners Club", "untouched"},
        {"30000000000000", "American Diners Club", "untouched"},
        {"30600000000000", "JCB", "untouched"},
        {"35000000000000", "JCB", "untouched"},
        {"39000000000000", "JCB", "untouched"},
        {"4111111111111111", "Visa", "V"},
        {"40000000000000", "Visa", "V"},
        {"21000000000000", "Unknown", "untouched"},
        {"00000000000000", "Unknown", "untouched"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.number);
        const Result r = Identify(c.number);
        EXPECT_EQ(r.name, c.name);
        EXPECT_EQ(r.code, c.code);
        EXPECT_EQ(r.number, c.number);
    }
}

// The ranges issued since the table was first made, at both ends and just outside; every other
// number is named as before.
TEST(IdentifyCardType, RangesIssuedSinceAreNamedByTheBrandsTheHostKnows) {
    const struct {
        const char* prefix;
        const char* name;
        const char* code;
    } cases[] = {
        {"2220", "Unknown", "untouched"}, {"2221", "Master Card", "M"},
        {"2720", "Master Card", "M"},     {"2721", "Unknown", "untouched"},
        {"6439", "Unknown", "untouched"}, {"6440", "Discover", "D"},
        {"6499", "Discover", "D"},        {"6500", "Discover", "D"},
        {"6599", "Discover", "D"},        {"6600", "Unknown", "untouched"},
        {"6010", "Unknown", "untouched"}, {"6012", "Unknown", "untouched"},
        {"3527", "JCB", "untouched"},     {"3528", "JCB", "untouched"},
        {"3589", "JCB", "untouched"},     {"3590", "JCB", "untouched"},
        {"2131", "JCB", "untouched"},     {"2149", "EnRoute", "untouched"},
    };
    for (const auto& c : cases) {
        const std::string number = c.prefix + std::string(12, '0');
        SCOPED_TRACE(number);
        const Result r = Identify(number);
        EXPECT_EQ(r.name, c.name);
        EXPECT_EQ(r.code, c.code);
    }
}

TEST(IdentifyCardType, BlanksAndDashesAreRemovedFromTheCallersNumber) {
    const Result visa = Identify("4111-1111-1111-1111");
    EXPECT_EQ(visa.name, "Visa");
    EXPECT_EQ(visa.code, "V");
    EXPECT_EQ(visa.number, "4111111111111111");
    EXPECT_EQ(Identify(" 3782 822463 10005 ").number, "378282246310005");
}

TEST(IdentifyCardType, ShortOrNonNumericNumbersAreUnknownAndLeaveTheCode) {
    for (const char* number :
         {"4111111111111", "", "4111 1111 1111 1", "41111111111111X1", "+4111111111111111",
          "4111111111111.11", "4111111111111E11", "-4111111111111111x"}) {
        SCOPED_TRACE(number);
        const Result r = Identify(number);
        EXPECT_EQ(r.name, "Unknown");
        EXPECT_EQ(r.code, "untouched");
    }
    // Normalised all the same.
    EXPECT_EQ(Identify("4111 1111 1111 111X").number, "411111111111111X");
}

TEST(IdentifyCardType, LongNumbersHaveNoUpperBound) {
    EXPECT_EQ(Identify(std::string(40, '4')).name, "Visa");
}

}  // namespace
}  // namespace ostrel

namespace ostrel {
namespace {

TEST(IdentifyBrand, ReturnsTheNameAndACodeOnlyForBrandsWithOne) {
    EXPECT_EQ(IdentifyBrand("4111 1111-1111 1111"), (Brand{"Visa", "V"}));
    EXPECT_EQ(IdentifyBrand("36000000000000"), (Brand{"Diners Club", ""}));
    EXPECT_EQ(IdentifyBrand("4111111111111"), (Brand{"Unknown", ""}));
    EXPECT_EQ(NormalizeCardNumber(" 4111-1111 "), "41111111");
}

}  // namespace
}  // namespace ostrel
