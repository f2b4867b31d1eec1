#pragma once
// A strict check that a text is exactly one JSON value (RFC 8259), for the tests of what the
// tools print as JSON.
#include <cstddef>
#include <string_view>

namespace ostrel::json_check {

class Parser {
  public:
    explicit Parser(std::string_view text) : s_(text) {}

    bool Document() {
        Blank();
        if (!Value(0)) return false;
        Blank();
        return i_ == s_.size();
    }

  private:
    static constexpr int kMostDepth = 64;

    void Blank() {
        while (i_ < s_.size() &&
               (s_[i_] == ' ' || s_[i_] == '\n' || s_[i_] == '\r' || s_[i_] == '\t'))
            ++i_;
    }
    bool Eat(char c) {
        if (i_ < s_.size() && s_[i_] == c) {
            ++i_;
            return true;
        }
        return false;
    }
    bool Word(std::string_view w) {
        if (s_.substr(i_, w.size()) != w) return false;
        i_ += w.size();
        return true;
    }
    static bool Digit(char c) { return c >= '0' && c <= '9'; }
    static bool HexDigit(char c) {
        return Digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    }
    bool Digits() {
        const size_t start = i_;
        while (i_ < s_.size() && Digit(s_[i_]))
            ++i_;
        return i_ > start;
    }
    bool Number() {
        Eat('-');
        if (Eat('0')) {
        } else if (!Digits()) {
            return false;
        }
        if (Eat('.') && !Digits()) return false;
        if (Eat('e') || Eat('E')) {
            if (!Eat('+')) Eat('-');
            if (!Digits()) return false;
        }
        return true;
    }
    bool String() {
        if (!Eat('"')) return false;
        while (i_ < s_.size()) {
            const auto c = static_cast<unsigned char>(s_[i_++]);
            if (c == '"') return true;
            if (c < 0x20) return false;
            if (c != '\\') continue;
            if (i_ >= s_.size()) return false;
            const char e = s_[i_++];
            if (e == 'u') {
                for (int k = 0; k < 4; ++k) {
                    if (i_ >= s_.size() || !HexDigit(s_[i_++])) return false;
                }
            } else if (std::string_view("\"\\/bfnrt").find(e) == std::string_view::npos) {
                return false;
            }
        }
        return false;
    }
    bool Value(int depth) {
        if (depth > kMostDepth || i_ >= s_.size()) return false;
        const char c = s_[i_];
        if (c == '{') return Container(depth, '}', true);
        if (c == '[') return Container(depth, ']', false);
        if (c == '"') return String();
        if (c == 't') return Word("true");
        if (c == 'f') return Word("false");
        if (c == 'n') return Word("null");
        return Number();
    }
    bool Container(int depth, char close, bool object) {
        ++i_;
        Blank();
        if (Eat(close)) return true;
        for (;;) {
            Blank();
            if (object) {
                if (!String()) return false;
                Blank();
                if (!Eat(':')) return false;
                Blank();
            }
            if (!Value(depth + 1)) return false;
            Blank();
            if (Eat(close)) return true;
            if (!Eat(',')) return false;
        }
    }

    std::string_view s_;
    size_t i_ = 0;
};

inline bool IsDocument(std::string_view text) {
    return Parser(text).Document();
}

}  // namespace ostrel::json_check
