#pragma once
// The texts the program shows in its status label and mirrors into the host's "CCSTATUS"
// field. Several are filled with blanks to a fixed width; the blanks are part of the text.

namespace ostrel::status {

constexpr const char* kAttachDevice = "Attach Device...                        ";  // 40
// For the host only: the attach text without its fill, and what to do next.
constexpr const char* kAttachThenReclick =
    "Attach Device... then Re-click Credit Card Scan button.";
constexpr const char* kSearching = "  ... Searching";
constexpr const char* kPleaseSwipe = "Please Swipe Credit Card...            ";  // 39
constexpr const char* kReactivated = "Ostrel re-activated.";
constexpr const char* kDeactivated = "Ostrel deactivated, type Credit Card information.";
constexpr const char* kTimedOut = "Re-click Credit Card Scan button, scanner has timmed out!";
constexpr const char* kImproperDevice = "Improper Input Device.";
constexpr const char* kProcessing = "Processing data...                      ";    // 40
constexpr const char* kCardReadError = "Card Read Error...                     ";  // 39
constexpr const char* kInvalidCardData = "Invalid Card data.";
constexpr const char* kInvalidCard = "Invalid Card...        ";  // 23
constexpr const char* kNoCardNumber = "Credit card number can't be retrieved.";
constexpr const char* kNoHolderName = "Card holder name can't be retrieved.";
constexpr const char* kNoExpiry = "Expiration date can't be retrieved.";
constexpr const char* kIncomplete = "Credit Card information incomplete, Swipe Credit Card again!";
constexpr const char* kSent = "Send Card information ...";

}  // namespace ostrel::status
