#include "carddata/card_type.h"

#include "support/text_util.h"

namespace ostrel {

namespace {

struct BrandRow {
    int digits;  // how many leading digits form the prefix
    int low;
    int high;
    const char* name;
    const char* code;  // nullptr: the brand has no code
};

// First match wins. Every two-digit row comes before the four-digit rows, and those before the
// three-digit rows, so 36 and 38 are never JCB and 300 to 305 only match once nothing else did.
// The ranges the networks have issued since (Mastercard's 2-series, Discover's 644 to 649 and
// 65, JCB's 3528 to 3589) are named by the brands the host already knows.
constexpr BrandRow kBrands[] = {
    {2, 34, 34, "American Express", "A"},
    {2, 37, 37, "American Express", "A"},
    {2, 36, 36, "Diners Club", nullptr},
    {2, 38, 38, "Carte Blanche", nullptr},
    {2, 51, 55, "Master Card", "M"},
    {2, 65, 65, "Discover", "D"},
    {4, 1800, 1800, "JCB", nullptr},
    {4, 2131, 2131, "JCB", nullptr},
    {4, 2014, 2014, "EnRoute", nullptr},
    {4, 2149, 2149, "EnRoute", nullptr},
    {4, 2221, 2720, "Master Card", "M"},
    {4, 3528, 3589, "JCB", nullptr},
    {4, 6011, 6011, "Discover", "D"},
    {3, 300, 305, "American Diners Club", nullptr},
    {3, 644, 649, "Discover", "D"},
    {1, 3, 3, "JCB", nullptr},
    {1, 4, 4, "Visa", "V"},
};

constexpr size_t kMinDigits = 14;

// The number's first digits as a whole number; every character is a digit.
int Prefix(std::string_view number, int digits) {
    int value = 0;
    for (const char c : number.substr(0, static_cast<size_t>(digits)))
        value = value * 10 + (c - '0');
    return value;
}

}  // namespace

CardText NormalizeCardNumber(std::string_view number) {
    CardText plain;
    plain.reserve(number.size());
    for (const char c : number) {
        if (c != ' ' && c != '-') plain.push_back(c);
    }
    return plain;
}

Brand IdentifyBrand(std::string_view raw) {
    const CardText number = NormalizeCardNumber(raw);
    // Only plain digits count: a sign, a decimal point or an exponent is not a card number.
    if (number.size() < kMinDigits || !IsAllDigits(number)) return {"Unknown", ""};
    for (const BrandRow& row : kBrands) {
        const int prefix = Prefix(number, row.digits);
        if (prefix < row.low || prefix > row.high) continue;
        return {row.name, row.code ? row.code : ""};
    }
    return {"Unknown", ""};
}

std::string IdentifyCardType(std::string& number, std::string& code) {
    number = std::string(NormalizeCardNumber(number).view());
    const Brand brand = IdentifyBrand(number);
    if (!brand.code.empty()) code = brand.code;
    return brand.name;
}

}  // namespace ostrel
