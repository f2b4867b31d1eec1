// The card fields into the host's screen, the read-back that confirms them, and clearing them.
#include "shell/scanner_form.h"
#include "shell/status_texts.h"

namespace ostrel {

void ScannerForm::DeliverCardFields() {
    const HostSessionId& session = session_.SessionIndex;
    hostLink_.PutScreenField("WFNAM", DispArg::TextRef(FirstName), session);
    hostLink_.PutScreenField("WMNAM", DispArg::TextRef(MiddleName), session);
    hostLink_.PutScreenField("WLNAM", DispArg::TextRef(LastName), session);
    hostLink_.PutScreenField("W1AC#", DispArg::TextRef(CardNumber), session);
    hostLink_.PutScreenField("W1CTYP", DispArg::TextRef(copy_.CardTypeCode), session);
    hostLink_.PutScreenField("SCTYP", DispArg::TextRef(copy_.CardTypeCode), session);
    hostLink_.PutScreenField("SCDSC", DispArg::TextRef(copy_.CardTypeName), session);
    hostLink_.PutScreenField("W1CEXP", DispArg::TextRef(CardExpiry), session);
    hostLink_.PutScreenValue("ZEXPMM", DispArg::Text(CardExpiry.substr(0, 2)), session);
    hostLink_.PutScreenValue(
        "ZEXPYY",
        DispArg::Text(CardExpiry.substr(CardExpiry.size() >= 2 ? CardExpiry.size() - 2 : 0)),
        session);
    hostLink_.PutScreenFlag("CCScanCard", "Y", session);
}

void ScannerForm::VerifyDelivery() {
    HostCardNumber = "";
    HostCardNumber = hostLink_.GetScreenField("W1AC#", session_.SessionIndex);
    if (CardNumber != HostCardNumber) {
        copy_.ScannerActive = false;
        ReportStatus(status::kIncomplete);
        ClearCardFields();
        ActiveTicks = 0;
        return;
    }
    ReportStatus(status::kSent);
    hostLink_.CloseHostLink();
    table_.SessionHandshake(session_.SessionIndex, "N", EntryText);
    ActiveTicks = 0;
}

void ScannerForm::ClearCardFields() {
    const HostSessionId& session = session_.SessionIndex;
    const auto empty = [] { return DispArg::Text(""); };
    desktop_.SetLabel(Label::CCHolder, "");
    hostLink_.PutScreenField("WFNAM", empty(), session);
    hostLink_.PutScreenField("WMNAM", empty(), session);
    hostLink_.PutScreenField("WLNAM", empty(), session);
    desktop_.SetLabel(Label::CCno, "");
    hostLink_.PutScreenField("W1AC#", empty(), session);
    desktop_.SetLabel(Label::CCType, "");
    hostLink_.PutScreenField("W1CTYP", empty(), session);
    desktop_.SetLabel(Label::Exp, "");
    hostLink_.PutScreenField("W1CEXP", empty(), session);
    hostLink_.PutScreenValue("ZEXPMM", empty(), session);
    hostLink_.PutScreenValue("ZEXPYY", empty(), session);
    hostLink_.PutScreenField("SCTYP", empty(), session);
    hostLink_.PutScreenField("SCDSC", empty(), session);
    hostLink_.PutScreenFlag("CCScanCard", "", session);
}

}  // namespace ostrel
