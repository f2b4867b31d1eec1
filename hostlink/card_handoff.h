#pragma once
// A card's fields into the host's screen: which field gets what, by value or by reference, in
// the order the host expects them.
#include "carddata/card_fields.h"
#include "hostlink/host_link.h"

namespace ostrel {

// The eight texts go by reference (the host may change the variable it was handed), the
// expiry's month and year and the scan flag by value. No result is looked at: a failing call
// raises in the caller.
void DeliverCardFields(HostLinkControl& link, const HostSessionId& session, CardFields& card);

}  // namespace ostrel
