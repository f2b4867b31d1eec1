#pragma once
// A text that holds card data: a track, a card number, a holder's name, an expiry. Its
// characters are always in the card data store (support/card_store.h): unlike std::string it
// keeps no short text inside the object itself, which may be on a stack or anywhere on the
// heap. They are overwritten whenever they change or go; a move hands the buffer over and
// leaves nothing behind.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "support/card_store.h"

namespace ostrel {

class CardText {
  public:
    static constexpr size_t npos = std::string_view::npos;

    CardText() = default;
    CardText(std::string_view text) { assign(text); }
    CardText(const char* text) : CardText(std::string_view(text)) {}
    CardText(const std::string& text) : CardText(std::string_view(text)) {}
    CardText(const CardText& other) : CardText(other.view()) {}
    CardText(CardText&& other) noexcept = default;
    CardText& operator=(const CardText& other);
    CardText& operator=(CardText&& other) noexcept;
    CardText& operator=(std::string_view text);
    CardText& operator=(const char* text) { return *this = std::string_view(text); }
    CardText& operator=(const std::string& text) { return *this = std::string_view(text); }
    ~CardText() = default;  // the store overwrites the buffer as it takes it back

    // The text in place of the old one, in the same buffer when it fits.
    void assign(std::string_view text);
    // Overwrites the whole buffer and leaves the text empty; the buffer stays.
    void clear();
    void reserve(size_t size) { chars_.reserve(size); }
    // Grows with zeros or cuts; a buffer that grows moves, and the old one is overwritten.
    void resize(size_t size) { chars_.resize(size); }
    char* data() { return chars_.data(); }
    void push_back(char c) { chars_.push_back(c); }
    CardText& operator+=(std::string_view text);
    CardText& operator+=(char c) {
        push_back(c);
        return *this;
    }

    std::string_view view() const { return {chars_.data(), chars_.size()}; }
    operator std::string_view() const { return view(); }
    const char* data() const { return chars_.data(); }
    size_t size() const { return chars_.size(); }
    size_t capacity() const { return chars_.capacity(); }
    bool empty() const { return chars_.empty(); }
    char operator[](size_t i) const { return chars_[i]; }
    CardText substr(size_t pos, size_t count = npos) const { return view().substr(pos, count); }
    size_t find(std::string_view text, size_t pos = 0) const { return view().find(text, pos); }
    size_t find(char c, size_t pos = 0) const { return view().find(c, pos); }

    // One for each kind of text it meets, so that no comparison has two ways to convert.
    friend bool operator==(const CardText& a, const CardText& b) { return a.view() == b.view(); }
    friend bool operator==(const CardText& a, std::string_view b) { return a.view() == b; }
    friend bool operator==(const CardText& a, const std::string& b) { return a.view() == b; }
    friend bool operator==(const CardText& a, const char* b) { return a.view() == b; }

  private:
    std::vector<char, CardAllocator<char>> chars_;
};

inline void Wipe(CardText& text) {
    text.clear();
}

}  // namespace ostrel
