#include "training/host_screens.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <utility>

#include "training/wire.h"

namespace ostrel::training {

namespace {

using Kind = ControlArg::Kind;

// What each argument may be: a number, a text by value, or a text by value or by reference.
enum class Slot { Long, Text, AnyText };

struct Operation {
    int32_t dispId;
    std::string_view name;
    std::vector<Slot> slots;
};

// The control's seven operations. The put operations take the session last; AttachSession
// takes it first.
const std::array<Operation, 7> kOperations = {{
    {49, "AttachSession", {Slot::Long, Slot::Long}},
    {24, "DetachSession", {}},
    {39, "PutScreenField", {Slot::Text, Slot::Long, Slot::AnyText, Slot::Long}},
    {18, "PutScreenValue", {Slot::Text, Slot::Long, Slot::Text, Slot::Long}},
    {45, "PutScreenFlag", {Slot::Text, Slot::Text, Slot::Long, Slot::Long}},
    {36, "GetScreenField", {Slot::Text, Slot::Long}},
    {40, "GetSessionInfo", {Slot::Long, Slot::Long}},
}};

const Operation* Find(int32_t dispId) {
    for (const Operation& op : kOperations) {
        if (op.dispId == dispId) return &op;
    }
    return nullptr;
}

bool Fits(Slot slot, Kind kind) {
    switch (slot) {
        case Slot::Long:
            return kind == Kind::Long;
        case Slot::Text:
            return kind == Kind::Text;
        case Slot::AnyText:
            return kind == Kind::Text || kind == Kind::TextRef;
    }
    return false;
}

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

std::string Shown(const ControlArg& arg) {
    switch (arg.kind) {
        case Kind::Long:
            return std::to_string(arg.number);
        case Kind::Text:
            return Quoted(arg.text);
        case Kind::TextRef:
            return "ByRef " + Quoted(arg.text);
        case Kind::Other:
            break;
    }
    return "<" + arg.text + ">";
}

std::string SessionName(int32_t session) {
    if (session < 0 || session >= kSessionCount) return "session " + std::to_string(session);
    return std::string("session ") + LetterOfSession(session);
}

}  // namespace

std::optional<int> SessionOfLetter(std::string_view letter) {
    if (letter.size() != 1) return std::nullopt;
    const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(letter[0])));
    if (c < 'A' || c > 'Y') return std::nullopt;
    return c - 'A';
}

char LetterOfSession(int session) {
    return static_cast<char>('A' + session);
}

std::string EncodeArg(const ControlArg& arg) {
    std::string wire(1, static_cast<char>(arg.kind));
    return wire + (arg.kind == Kind::Long ? std::to_string(arg.number) : arg.text);
}

ControlArg DecodeArg(std::string_view wire) {
    if (wire.empty()) return {};
    const std::string rest(wire.substr(1));
    switch (static_cast<Kind>(wire[0])) {
        case Kind::Long:
            try {
                return ControlArg::Long(static_cast<int32_t>(std::stol(rest)));
            } catch (const std::exception&) {
                return {Kind::Other, 0, rest};
            }
        case Kind::Text:
            return ControlArg::Text(rest);
        case Kind::TextRef:
            return ControlArg::TextRef(rest);
        case Kind::Other:
            break;
    }
    return {Kind::Other, 0, rest};
}

std::optional<std::string_view> OperationName(int32_t dispId) {
    const Operation* op = Find(dispId);
    if (!op) return std::nullopt;
    return op->name;
}

std::optional<int32_t> OperationId(std::string_view name) {
    for (const Operation& op : kOperations) {
        if (std::equal(op.name.begin(), op.name.end(), name.begin(), name.end(),
                       [](char a, char b) { return std::tolower(a) == std::tolower(b); })) {
            return op.dispId;
        }
    }
    return std::nullopt;
}

std::optional<ControlReply> CheckSignature(int32_t dispId, const std::vector<ControlArg>& args) {
    const Operation* op = Find(dispId);
    if (!op) return ControlReply{ControlReply::Outcome::UnknownMember, {}, 0, {}};
    if (args.size() != op->slots.size()) {
        return ControlReply{ControlReply::Outcome::BadParamCount, {}, 0, {}};
    }
    for (size_t i = 0; i < args.size(); ++i) {
        if (!Fits(op->slots[i], args[i].kind)) {
            return ControlReply{ControlReply::Outcome::TypeMismatch, {}, i, {}};
        }
    }
    return std::nullopt;
}

std::string MaskDigitRuns(std::string_view text) {
    std::string out(text);
    size_t i = 0;
    while (i < out.size()) {
        if (!std::isdigit(static_cast<unsigned char>(out[i]))) {
            ++i;
            continue;
        }
        size_t end = i;
        while (end < out.size() && std::isdigit(static_cast<unsigned char>(out[end])))
            ++end;
        if (end - i > 4) std::fill(out.begin() + i + 4, out.begin() + end, '*');
        i = end;
    }
    return out;
}

int64_t SteadyMilliseconds() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

HostScreens::HostScreens(MillisecondClock clock) : clock_(std::move(clock)) {
    for (HostSession& session : sessions_)
        session.screenText = "Front Desk";
}

std::string HostScreens::Field(int session, std::string_view name) const {
    const auto index = FieldIndex(name);
    return index ? sessions_.at(session).fields[*index] : std::string();
}

void HostScreens::SetScreenText(int session, std::string text) {
    sessions_.at(session).screenText = std::move(text);
    ++revision_;
}

std::optional<size_t> HostScreens::FieldIndex(std::string_view name) const {
    const auto it = std::find(kCardFields.begin(), kCardFields.end(), name);
    if (it == kCardFields.end()) return std::nullopt;
    return static_cast<size_t>(it - kCardFields.begin());
}

ControlReply HostScreens::Apply(int32_t dispId, const std::vector<ControlArg>& args) {
    ControlReply reply = Perform(dispId, args);
    const auto name = OperationName(dispId);
    std::string line = (name ? std::string(*name) : "dispatch id " + std::to_string(dispId)) + "(";
    for (size_t i = 0; i < args.size(); ++i)
        line += (i ? ", " : "") + Shown(args[i]);
    line += ")";
    switch (reply.outcome) {
        case ControlReply::Outcome::Done:
            if (!reply.result.empty() || dispId == 36 || dispId == 40) {
                line += " -> " + Quoted(reply.result);
            }
            break;
        case ControlReply::Outcome::UnknownMember:
            line += " failed: no such member";
            break;
        case ControlReply::Outcome::BadParamCount:
            line += " failed: wrong number of arguments";
            break;
        case ControlReply::Outcome::TypeMismatch:
            line += " failed: type mismatch in argument " + std::to_string(reply.argIndex + 1);
            break;
        case ControlReply::Outcome::Failed:
            line += " failed: " + reply.description;
            break;
    }
    // The loop asks for the screen text twice a second: a repeat shows as a count.
    line = MaskDigitRuns(line);
    if (!calls_.empty() && line == lastCall_) {
        calls_.back() = line + " (" + std::to_string(++repeats_) + " times)";
    } else {
        calls_.push_back(line);
        lastCall_ = line;
        repeats_ = 1;
    }
    ++revision_;
    return reply;
}

void HostScreens::FailNext(int32_t dispId, std::string field) {
    failures_.emplace_back(dispId, std::move(field));
}

ControlReply HostScreens::Perform(int32_t dispId, const std::vector<ControlArg>& args) {
    if (auto mismatch = CheckSignature(dispId, args)) return *mismatch;
    for (auto failure = failures_.begin(); failure != failures_.end(); ++failure) {
        if (failure->first == dispId &&
            (failure->second.empty() ||
             (args[0].kind != ControlArg::Kind::Long && args[0].text == failure->second))) {
            failures_.erase(failure);
            return ControlReply::Fail("The host refused the call");
        }
    }
    // Every operation but DetachSession names a session, last or (AttachSession) first.
    std::optional<int32_t> session;
    if (dispId == 49)
        session = args[0].number;
    else if (!args.empty())
        session = args.back().number;
    if (session && (*session < 0 || *session >= kSessionCount)) {
        return ControlReply::Fail("There is no host session " + std::to_string(*session) +
                                  " (sessions are 0 to 24, A to Y)");
    }
    switch (dispId) {
        case 49:
            if (attached_) sessions_[*attached_].attached = false;
            attached_ = *session;
            sessions_[*session].attached = true;
            return {};
        case 24:
            if (attached_) sessions_[*attached_].attached = false;
            attached_.reset();
            return {};
        case 40:
            if (args[0].number != kInfoScreenText) {
                return ControlReply::Fail(
                    "GetSessionInfo knows only information kind 4, the "
                    "screen text");
            }
            return {ControlReply::Outcome::Done, sessions_[*session].screenText, 0, {}};
        default:
            break;
    }
    const std::string& name = args[0].text;
    const auto field = FieldIndex(name);
    if (!field) {
        return ControlReply::Fail("There is no field " + Quoted(name) + " on the screen of " +
                                  SessionName(*session));
    }
    if (dispId == 36)
        return {ControlReply::Outcome::Done, sessions_[*session].fields[*field], 0, {}};
    // The put operations: the text is the third argument, but the second for PutScreenFlag.
    const std::string& text = dispId == 45 ? args[1].text : args[2].text;
    sessions_[*session].fields[*field] = text;
    if (kCardFields[*field] == "CCSTATUS") {
        sessions_[*session].statuses.push_back(text);
        sessions_[*session].statusTimesMs.push_back(clock_());
    }
    return {};
}

}  // namespace ostrel::training
