#include "hostlink/card_handoff.h"

namespace ostrel {

void DeliverCardFields(HostLinkControl& link, const HostSessionId& session, CardFields& card) {
    link.PutScreenField("WFNAM", DispArg::TextRef(card.FirstName), session);
    link.PutScreenField("WMNAM", DispArg::TextRef(card.MiddleName), session);
    link.PutScreenField("WLNAM", DispArg::TextRef(card.LastName), session);
    link.PutScreenField("W1AC#", DispArg::TextRef(card.CardNumber), session);
    link.PutScreenField("W1CTYP", DispArg::TextRef(card.CardTypeCode), session);
    link.PutScreenField("SCTYP", DispArg::TextRef(card.CardTypeCode), session);
    link.PutScreenField("SCDSC", DispArg::TextRef(card.CardTypeName), session);
    link.PutScreenField("W1CEXP", DispArg::TextRef(card.CardExpiry), session);
    link.PutScreenValue("ZEXPMM", DispArg::Text(card.ExpiryMonth()), session);
    link.PutScreenValue("ZEXPYY", DispArg::Text(card.ExpiryYear()), session);
    link.PutScreenFlag("CCScanCard", "Y", session);
}

}  // namespace ostrel
