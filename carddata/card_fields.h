#pragma once
// What one card's track 1 gives: the fields the host receives and the window shows. Each is
// card data (the brand's name and code tell what card it was), kept in the card data store.
#include "support/card_text.h"

namespace ostrel {

struct CardFields {
    CardText CardNumber;  // without blanks and dashes
    CardText HolderName;  // as read between the carets (trimmed in the LAST/FIRST form)
    CardText FirstName;
    CardText MiddleName;
    CardText LastName;
    CardText CardExpiry;  // MMYY
    CardText CardTypeName;
    CardText CardTypeCode;  // "" for a brand without a code

    // The month and the year of the expiry, two characters each.
    CardText ExpiryMonth() const { return CardExpiry.view().substr(0, 2); }
    CardText ExpiryYear() const {
        return CardExpiry.view().substr(CardExpiry.size() >= 2 ? CardExpiry.size() - 2 : 0);
    }
    bool operator==(const CardFields&) const = default;

    // Overwrites the fields that identify the card and leaves them empty. The name parts and
    // the expiry are overwritten too unless keepNamesAndExpiry: a reader model that carries
    // them over to its next swipe still reads them.
    void Wipe(bool keepNamesAndExpiry = false) {
        CardNumber.clear();
        HolderName.clear();
        CardTypeName.clear();
        CardTypeCode.clear();
        if (keepNamesAndExpiry) return;
        FirstName.clear();
        MiddleName.clear();
        LastName.clear();
        CardExpiry.clear();
    }
};

}  // namespace ostrel
