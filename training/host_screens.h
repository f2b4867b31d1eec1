#pragma once
// The host's screens as the host emulator keeps them: sessions A to Y, each with its current
// screen text and the card fields, and what the stand-in host control does with each of its
// seven operations. Also the operations' signatures, which the control checks before it
// forwards a call, so that a caller's wrong argument shows even with no emulator running.
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ostrel::training {

constexpr int kSessionCount = 25;  // A to Y
// GetSessionInfo's first argument that asks for the screen text.
constexpr int32_t kInfoScreenText = 4;
constexpr std::array<std::string_view, 12> kCardFields = {
    "WFNAM", "WMNAM",  "WLNAM",  "W1AC#",  "W1CTYP",     "SCTYP",
    "SCDSC", "W1CEXP", "ZEXPMM", "ZEXPYY", "CCScanCard", "CCSTATUS"};

// "A" is session 0 through "Y", session 24.
std::optional<int> SessionOfLetter(std::string_view letter);
char LetterOfSession(int session);

// One argument as the control received it.
struct ControlArg {
    enum class Kind : char { Long = 'i', Text = 's', TextRef = 'r', Other = '?' };
    Kind kind = Kind::Other;
    int32_t number = 0;
    std::string text;  // for Other: the variant type that arrived, for the message

    static ControlArg Long(int32_t n) { return {Kind::Long, n, {}}; }
    static ControlArg Text(std::string t) { return {Kind::Text, 0, std::move(t)}; }
    static ControlArg TextRef(std::string t) { return {Kind::TextRef, 0, std::move(t)}; }
};
// On the wire: the kind's letter, then the number or the text.
std::string EncodeArg(const ControlArg& arg);
ControlArg DecodeArg(std::string_view wire);

struct ControlReply {
    enum class Outcome { Done, UnknownMember, BadParamCount, TypeMismatch, Failed };
    Outcome outcome = Outcome::Done;
    std::string result;       // Done: the text result ("" for the put operations)
    size_t argIndex = 0;      // TypeMismatch: the argument, counted from 0 in call order
    std::string description;  // Failed

    static ControlReply Fail(std::string why) { return {Outcome::Failed, {}, 0, std::move(why)}; }
};

// The operations by dispatch id and by name (names compare without regard to case).
std::optional<std::string_view> OperationName(int32_t dispId);
std::optional<int32_t> OperationId(std::string_view name);
// The call's shape against the operation's signature: nothing when it fits.
std::optional<ControlReply> CheckSignature(int32_t dispId, const std::vector<ControlArg>& args);

struct HostSession {
    std::string screenText;
    std::array<std::string, kCardFields.size()> fields;
    bool attached = false;
    std::vector<std::string> statuses;   // every text "CCSTATUS" received, oldest first
    std::vector<int64_t> statusTimesMs;  // when each of them arrived, on the screens' clock
};

// Milliseconds from some fixed moment, never going back: what the emulator times events by.
using MillisecondClock = std::function<int64_t()>;
int64_t SteadyMilliseconds();

class HostScreens {
  public:
    explicit HostScreens(MillisecondClock clock = SteadyMilliseconds);

    // One operation of the control, checked and applied, and listed.
    ControlReply Apply(int32_t dispId, const std::vector<ControlArg>& args);

    const HostSession& Session(int session) const { return sessions_.at(session); }
    std::string Field(int session, std::string_view name) const;
    // The host turns session's screen to another one (or renames it): a request filed with
    // the old text no longer matches.
    void SetScreenText(int session, std::string text);

    // Every call received, oldest first, as one line each; a call that repeats the one before
    // adds its count to that line. Runs of digits longer than four show their first four only:
    // these lines are a log.
    const std::vector<std::string>& Calls() const { return calls_; }
    // Moves on every change, so that a window knows when to show the screens again.
    uint64_t Revision() const { return revision_; }
    // The next call of the operation that names field (any call of it for ""), refused as the
    // host refuses a value: the program's failure paths, tried for real.
    void FailNext(int32_t dispId, std::string field);

  private:
    ControlReply Perform(int32_t dispId, const std::vector<ControlArg>& args);
    std::optional<size_t> FieldIndex(std::string_view name) const;

    MillisecondClock clock_;
    std::array<HostSession, kSessionCount> sessions_;
    // The control attaches to one session at a time; DetachSession names none.
    std::optional<int> attached_;
    std::vector<std::pair<int32_t, std::string>> failures_;
    std::vector<std::string> calls_;
    std::string lastCall_;
    int repeats_ = 0;
    uint64_t revision_ = 0;
};

// Digits after the fourth of any run of five or more become "*".
std::string MaskDigitRuns(std::string_view text);

}  // namespace ostrel::training
