#pragma once
// What one card's track 1 gives: the fields the host receives and the window shows.
#include <string>

#include "support/wipe.h"

namespace ostrel {

struct CardFields {
    std::string CardNumber;  // without blanks and dashes
    std::string HolderName;  // as read between the carets (trimmed in the LAST/FIRST form)
    std::string FirstName;
    std::string MiddleName;
    std::string LastName;
    std::string CardExpiry;  // MMYY
    std::string CardTypeName;
    std::string CardTypeCode;  // "" for a brand without a code

    // The month and the year of the expiry, two characters each.
    std::string ExpiryMonth() const { return CardExpiry.substr(0, 2); }
    std::string ExpiryYear() const {
        return CardExpiry.substr(CardExpiry.size() >= 2 ? CardExpiry.size() - 2 : 0);
    }
    bool operator==(const CardFields&) const = default;

    // Overwrites the fields that identify the card and leaves them empty. The name parts and
    // the expiry are overwritten too unless keepNamesAndExpiry: a reader model that carries
    // them over to its next swipe still reads them.
    void Wipe(bool keepNamesAndExpiry = false) {
        ::ostrel::Wipe(CardNumber);
        ::ostrel::Wipe(HolderName);
        ::ostrel::Wipe(CardTypeName);
        ::ostrel::Wipe(CardTypeCode);
        if (keepNamesAndExpiry) return;
        ::ostrel::Wipe(FirstName);
        ::ostrel::Wipe(MiddleName);
        ::ostrel::Wipe(LastName);
        ::ostrel::Wipe(CardExpiry);
    }
};

}  // namespace ostrel
