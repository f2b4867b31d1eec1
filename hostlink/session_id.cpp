#include "hostlink/session_id.h"

#include <limits>

#include "platform/app_error.h"
#include "support/text_util.h"

namespace ostrel {

HostSessionId HostSessionId::Number(int32_t n) {
    HostSessionId id;
    id.number_ = n;
    return id;
}

HostSessionId HostSessionId::Text(std::string text) {
    HostSessionId id;
    id.text_ = std::move(text);
    return id;
}

bool HostSessionId::IsNumeric() const {
    if (!text_) return true;
    const auto n = ParseWholeNumber(*text_);
    return n && *n >= std::numeric_limits<int32_t>::min() &&
           *n <= std::numeric_limits<int32_t>::max();
}

bool HostSessionId::IsHostSession() const {
    if (!IsNumeric()) return false;
    const int32_t n = ToLong();
    return n >= 0 && n <= kLastHostSession;
}

std::string HostSessionId::AsText() const {
    if (text_) return *text_;
    return std::to_string(number_.value_or(0));
}

int32_t HostSessionId::ToLong() const {
    if (!text_) return number_.value_or(0);
    const auto n = ParseWholeNumber(*text_);
    if (!n) throw AppError(errnum::kTypeMismatch, "SessionIndex", "Type mismatch");
    if (*n < std::numeric_limits<int32_t>::min() || *n > std::numeric_limits<int32_t>::max()) {
        throw AppError(errnum::kOverflow, "SessionIndex", "Overflow");
    }
    return static_cast<int32_t>(*n);
}

}  // namespace ostrel
