#pragma once
// SessionIndex as the program carries it: empty until the command line has been read, a number
// from the command line, or the text last read from the registry value "cSesId". Host link
// calls convert it to a 32-bit integer; the session table takes its text.
#include <cstdint>
#include <optional>
#include <string>

namespace ostrel {

constexpr int32_t kLastHostSession = 24;

class HostSessionId {
  public:
    HostSessionId() = default;  // empty: taken as session 0
    static HostSessionId Number(int32_t n);
    static HostSessionId Text(std::string text);

    bool IsEmpty() const { return !number_ && !text_; }
    // Converts to a whole number that fits 32 bits.
    bool IsNumeric() const;
    // A number that names a host session, 0 to 24. No other id is filed or served.
    bool IsHostSession() const;
    // The decimal text of a number, the stored text as it is, "0" when empty.
    std::string AsText() const;
    // The number for a host link call; raises type mismatch (13) or overflow (6).
    int32_t ToLong() const;

    bool operator==(const HostSessionId&) const = default;

  private:
    std::optional<int32_t> number_;
    std::optional<std::string> text_;
};

}  // namespace ostrel
