#include "support/card_text.h"

#include "support/wipe.h"

namespace ostrel {

CardText& CardText::operator=(const CardText& other) {
    if (this != &other) assign(other.view());
    return *this;
}

CardText& CardText::operator=(CardText&& other) noexcept {
    // The old buffer goes back to the store, which overwrites it; the other's changes hands.
    if (this != &other) chars_ = std::move(other.chars_);
    return *this;
}

CardText& CardText::operator=(std::string_view text) {
    assign(text);
    return *this;
}

void CardText::assign(std::string_view text) {
    // A text that is a part of this one is copied out before the buffer is overwritten.
    if (!text.empty() && text.data() >= chars_.data() &&
        text.data() < chars_.data() + chars_.capacity()) {
        *this = CardText(text);
        return;
    }
    clear();
    chars_.assign(text.begin(), text.end());
}

void CardText::clear() {
    chars_.resize(chars_.capacity());
    WipeBytes(chars_.data(), chars_.size());
    chars_.clear();
}

CardText& CardText::operator+=(std::string_view text) {
    if (!text.empty() && text.data() >= chars_.data() &&
        text.data() < chars_.data() + chars_.capacity()) {
        const CardText copy(text);
        return *this += copy.view();
    }
    chars_.insert(chars_.end(), text.begin(), text.end());
    return *this;
}

}  // namespace ostrel
