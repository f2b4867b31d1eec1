#pragma once
// What every fuzz target shares: taking the fuzzer's bytes apart in a simple, fixed layout
// (so that seed files can be written by hand), and stopping at a broken property with a
// message, which the fuzzer then reports with the input that broke it.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>

namespace ostrel::fuzz {

// Reads from the front; past the end every read gives zeros and empty texts.
class Input {
  public:
    Input(const uint8_t* data, size_t size) : bytes_(data, size) {}

    uint8_t Byte() { return at_ < bytes_.size() ? bytes_[at_++] : 0; }
    // A text of as many bytes as the byte before it says.
    std::string Text() { return Bytes(Byte()); }
    std::string Bytes(size_t n) {
        n = std::min(n, bytes_.size() - at_);
        std::string text(reinterpret_cast<const char*>(bytes_.data() + at_), n);
        at_ += n;
        return text;
    }
    // Everything not read yet.
    std::string Rest() { return Bytes(bytes_.size() - at_); }
    bool Done() const { return at_ >= bytes_.size(); }

  private:
    std::span<const uint8_t> bytes_;
    size_t at_ = 0;
};

// The text as C escapes, for a finding's message.
inline std::string Shown(std::string_view text) {
    std::string out;
    for (const unsigned char c : text) {
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    return out;
}

[[noreturn]] inline void Broken(const std::string& what) {
    std::fprintf(stderr, "\n*** property broken: %s\n", what.c_str());
    std::abort();
}

inline void Check(bool holds, const std::string& what) {
    if (!holds) Broken(what);
}

}  // namespace ostrel::fuzz
