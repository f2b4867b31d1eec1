// One decoded swipe into card fields: the checks of track 1, card number, holder name, expiry
// and brand, and the failure exit for a swipe that cannot be used.
#include <optional>

#include "carddata/card_type.h"
#include "carddata/redaction.h"
#include "shell/scanner_form.h"
#include "shell/status_texts.h"
#include "support/text_util.h"

namespace ostrel {

namespace {

constexpr uint16_t kMaskedModel = 15;
constexpr uint32_t kFailurePauseMs = 2000;
constexpr const char* kCrLf = "\r\n";

// 1-based positions as the checks count them; 0 is "not found".
size_t Pos(const std::string& text, char c, size_t from = 1) {
    if (from == 0 || from > text.size()) return 0;
    const auto at = text.find(c, from - 1);
    return at == std::string::npos ? 0 : at + 1;
}

// Characters start to start + count - 1 (1-based), cut at the text's end.
std::string Mid(const std::string& text, size_t start, size_t count = std::string::npos) {
    if (start == 0 || start > text.size()) return "";
    return text.substr(start - 1, count);
}

std::string TrimRight(const std::string& text) {
    const auto last = text.find_last_not_of(' ');
    return last == std::string::npos ? "" : text.substr(0, last + 1);
}

// How a failed check ends: at once, or after a pause for the status to be read.
enum class Outcome { AtOnce, AfterPause };

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// The first length bytes of a track given as hex pairs ("25 42 34 "), when they are a track 1
// in the clear: the start sentinel, then characters of the track 1 alphabet (blank to "_")
// only. Encrypted bytes practically never are.
std::optional<std::string> ClearTrack1(const std::string& hexPairs, int32_t length) {
    if (length <= 0 || hexPairs.size() / 3 < static_cast<size_t>(length)) return std::nullopt;
    std::string clear;
    for (size_t i = 0; i < static_cast<size_t>(length); ++i) {
        const int high = HexDigit(hexPairs[3 * i]);
        const int low = HexDigit(hexPairs[3 * i + 1]);
        if (high < 0 || low < 0 || hexPairs[3 * i + 2] != ' ') return std::nullopt;
        const int c = high * 16 + low;
        if (c < ' ' || c > '_' || (i == 0 && c != '%')) return std::nullopt;
        clear.push_back(static_cast<char>(c));
    }
    return clear;
}

// T, the track 1 text that the checks read. The raw-track models give their tracks as hex
// pairs; with their encryption off the bytes are an ordinary track 1 and are read as one.
// The swipe record keeps its hex text.
std::string Track1(const CardReader& reader) {
    const SwipeRecord& swipe = reader.Swipe;
    const uint16_t model = reader.ReaderProductId();
    if (model == 14 || model == kMaskedModel) {
        if (auto clear = ClearTrack1(swipe.Tk1Data, swipe.Tk1Len)) return *clear;
    }
    return swipe.Tk1Data;
}

}  // namespace

void ScannerForm::DisplayMSRResults() {
    std::string stepLabel;
    bool toFailureExit = false;
    std::optional<AppError> unexpected;
    try {
        toFailureExit = InterpretSwipe(stepLabel);
    } catch (const std::exception& failure) {
        unexpected = ToAppError(failure);
        toFailureExit = true;
    }
    // Outside the try: a failure inside the failure exit goes on to the caller.
    if (toFailureExit) FailureExit(stepLabel, unexpected ? &*unexpected : nullptr);
}

bool ScannerForm::InterpretSwipe(std::string& stepLabel) {
    const bool masked = reader_.ReaderProductId() == kMaskedModel;
    // A failed check: the general path goes on to the failure exit; readers of the masked
    // model only show it and stay armed.
    const auto fail = [&](const char* text, Outcome outcome) {
        ReportStatus(text);
        if (outcome == Outcome::AfterPause) desktop_.Sleep(kFailurePauseMs);
        return !masked;
    };
    const auto step = [&](const char* general, const char* maskedModel) {
        stepLabel = masked ? maskedModel : general;
    };

    hostLink_.OpenHostLink(session_.SessionIndex);
    stepLabel = "Stp: DMSR-A";
    stepLabel = "Stp: DMSR-B";
    if (reader_.Swipe.Tk1DcdSts & 1) {
        reader_.Swipe.Tk1Data = "Error";
        ReportStatus(status::kCardReadError);
        return true;
    }
    stepLabel = "Stp: DMSR-C";
    stepLabel = "Stp: DMSR-D";
    stepLabel = "Stp: DMSR-E";
    stepLabel = "Stp: DMSR-F";
    if (!masked) {
        FirstName = "";
        MiddleName = "";
        LastName = "";
        CardExpiry = "";
    }
    stepLabel = "Stp: DMSR-G";
    const std::string track = Track1(reader_);
    const size_t length = Trim(track).size();
    step("Stp: DMSR-G", "Stp: DMSR-G20");
    if (length < 4) return fail(status::kCardReadError, Outcome::AtOnce);
    step("Stp: DMSR-G1", "Stp: DMSR-G21");
    if (length < 10) return fail(status::kInvalidCardData, Outcome::AfterPause);
    step("Stp: DMSR-G2", "Stp: DMSR-G22");
    if (track[1] != 'B') return fail(status::kInvalidCard, Outcome::AfterPause);
    step("Stp: DMSR-G3", "Stp: DMSR-G23");
    const size_t p1 = Pos(track, '^');
    if (p1 <= 3) return fail(status::kNoCardNumber, Outcome::AfterPause);
    CardNumber = Mid(track, 3, p1 - 3);
    step("Stp: DMSR-G4", "Stp: DMSR-G24");
    // A brand without a code must not pass on the code of the card before it.
    copy_.CardTypeCode = "";
    copy_.CardTypeName = IdentifyCardType(CardNumber, copy_.CardTypeCode);
    step("Stp: DMSR-G5", "Stp: DMSR-G25");
    const size_t p2 = Pos(track, '^', p1 + 1);
    if (p2 <= p1) return fail(status::kNoHolderName, Outcome::AfterPause);
    step("Stp: DMSR-G6", "Stp: DMSR-G26");
    HolderName = Mid(track, p1 + 1, p2 - p1 - 1);
    if (Trim(HolderName).empty()) return fail(status::kNoHolderName, Outcome::AfterPause);
    step("Stp: DMSR-G7", "Stp: DMSR-G27");
    if (p2 + 1 >= length) return fail(status::kNoExpiry, Outcome::AfterPause);
    const std::string yymm = Mid(track, p2 + 1, 4);
    CardExpiry = yymm.substr(yymm.size() >= 2 ? yymm.size() - 2 : 0) + yymm.substr(0, 2);
    desktop_.SetLabel(Label::Exp, CardExpiry);
    desktop_.SetLabel(Label::CCType, copy_.CardTypeName);
    step("Stp: DMSR-G8", "Stp: DMSR-G28");
    const size_t slash = Pos(HolderName, '/');
    if (slash == 0 || slash == HolderName.size()) {
        SplitSpacedName();
    } else {
        step("Stp: DMSR-G9", "Stp: DMSR-G29");
        SplitSlashedName();
    }
    desktop_.SetLabel(Label::CCHolder, FirstName + "*" + MiddleName + "*" + LastName);
    desktop_.SetLabel(Label::CCno, CardNumber);
    step("Stp: DMSR-G10", "Stp: DMSR-G30");
    DeliverCardFields();
    step("Stp: DMSR-G11", "Stp: DMSR-G11B");
    VerifyDelivery();
    return false;
}

void ScannerForm::SplitSlashedName() {
    // "LAST/FIRST M": the slash is looked for again in the trimmed name, so blanks before the
    // name cannot shift the split into the middle of a word.
    HolderName = Trim(HolderName);
    const size_t slash = Pos(HolderName, '/');
    LastName = Mid(HolderName, 1, slash - 1);
    const auto lastBlank = HolderName.rfind(' ');
    const size_t b = lastBlank == std::string::npos ? 0 : lastBlank + 1;
    if (HolderName.size() - b == 1) {
        MiddleName = HolderName.substr(HolderName.size() - 1);
        FirstName = b > slash + 1 ? Mid(HolderName, slash + 1, b - 1 - slash) : "";
    } else {
        FirstName = Mid(HolderName, slash + 1);
    }
}

void ScannerForm::SplitSpacedName() {
    const std::string& name = HolderName;
    const size_t b1 = Pos(name, ' ');
    FirstName = name.substr(0, b1);
    const size_t b2 = Pos(name, ' ', b1 + 1);
    if (b1 == 0 || b2 == 0) return;
    if (b1 + 2 <= name.size() && name[b1 + 1] != ' ') {
        LastName = Mid(name, b1 + 1, b2 - b1 - 1);
        if (Pos(name, ' ', b2 + 1) == 0) return;
        MiddleName = Trim(Mid(name, b2 + 1, 1));
        return;
    }
    MiddleName = TrimRight(Mid(name, b1 + 1, 1));
    // The last name runs to the next blank, or to the end when none follows.
    const size_t b3 = Pos(name, ' ', b1 + 3);
    LastName = Trim(b3 == 0 ? Mid(name, b1 + 3) : Mid(name, b1 + 3, b3 - (b1 + 3)));
}

void ScannerForm::FailureExit(const std::string& stepLabel, const AppError* unexpected) {
    std::string message;
    if (unexpected) {
        message = MaskCardNumbers("Error: " + std::to_string(unexpected->Number()) + ", " +
                                  unexpected->Description() + kCrLf + kCrLf + stepLabel + kCrLf +
                                  desktop_.GetLabel(Label::Status));
        desktop_.ShowMessageBox(message, "Credit Card Scanning Error", kMbOk | kMbIconCritical);
    }
    table_.SessionHandshake(session_.SessionIndex, "R", EntryText);
    ReportStatus(status::kDeactivated);
    const std::string track = Track1(reader_);
    const std::string prefix = "Card data err**" + session_.SessionIndex.AsText() + "**";
    if (track.empty()) {
        hostLink_.PutScreenField("CCSTATUS", DispArg::Text(status::kAttachThenReclick),
                                 session_.SessionIndex);
        log_.WriteProcessLog(prefix + "Could not read Credit Card, Swipe it again!***");
        return;
    }
    log_.WriteProcessLog(prefix + message + kCrLf + kCrLf + Track1Excerpt(track) + "***");
    Unload();
}

}  // namespace ostrel
