#include "training/emulator_core.h"

#include <charconv>

#include "support/wipe.h"

namespace ostrel::training {

namespace {

// Swipes waiting for the reader beyond this many are refused: nobody swipes 32 cards ahead.
constexpr size_t kMaxPendingSwipes = 32;
constexpr long kBadCommand = 1;

EmulatorReply Ok(std::vector<std::string> results = {}) {
    return {OkReply(std::move(results)), {}};
}

EmulatorReply Error(const std::string& description) {
    return {ErrorReply(kBadCommand, description), {}};
}

std::optional<int> SessionArg(const Message& request, size_t index) {
    return request.size() > index ? SessionOfLetter(request[index]) : std::nullopt;
}

// An operation's name for a dispatch id given as text; the text itself for any other.
std::string CallName(const std::string& dispIdText) {
    int32_t dispId = 0;
    const auto [end, ec] =
        std::from_chars(dispIdText.data(), dispIdText.data() + dispIdText.size(), dispId);
    if (ec == std::errc() && end == dispIdText.data() + dispIdText.size()) {
        if (const auto name = OperationName(dispId)) return std::string(*name);
    }
    return "call " + dispIdText;
}

const char* kNoSession = "name a session by its letter, A to Y";

}  // namespace

Message ControlCall(int32_t dispId, const std::vector<ControlArg>& args) {
    Message message{"call", std::to_string(dispId)};
    for (const ControlArg& arg : args)
        message.push_back(EncodeArg(arg));
    return message;
}

Message NestedCallReport(int32_t innerDispId, int32_t outerDispId) {
    return {"nested-call", std::to_string(innerDispId), std::to_string(outerDispId)};
}

Message SentMessageCallReport(int32_t dispId) {
    return {"nested-call", std::to_string(dispId), kInsideSentMessage};
}

std::optional<TrainingSwipe> SwipeOfReply(const Message& reply) {
    if (reply.size() != 7 || reply[0] != kOk) return std::nullopt;
    TrainingSwipe swipe;
    for (size_t i = 0; i < 3; ++i) {
        swipe.tracks[i] = reply[1 + i];
        swipe.decodeStatus[i] = static_cast<uint32_t>(std::stoul(reply[4 + i]));
    }
    return swipe;
}

void EmulatorCore::QueueSwipe(const TrainingSwipe& swipe) {
    swipes_.push_back(swipe);
    swipeTimes_.push_back({clock_(), std::nullopt});
}

std::optional<TrainingSwipe> EmulatorCore::TakeSwipe() {
    if (swipes_.empty()) return std::nullopt;
    // The queue is the unanswered tail of the times.
    swipeTimes_[swipeTimes_.size() - swipes_.size()].takenMs = clock_();
    TrainingSwipe swipe = std::move(swipes_.front());
    swipes_.pop_front();
    return swipe;
}

EmulatorReply EmulatorCore::Handle(const Message& request) {
    const std::string& verb = request.empty() ? std::string() : request[0];
    if (verb == "call") return Call(request);
    if (verb == kTakeSwipe) {
        auto swipe = TakeSwipe();
        if (!swipe) return Ok();
        EmulatorReply taken =
            Ok({swipe->tracks[0], swipe->tracks[1], swipe->tracks[2],
                std::to_string(swipe->decodeStatus[0]), std::to_string(swipe->decodeStatus[1]),
                std::to_string(swipe->decodeStatus[2])});
        // The reply is the tracks' only copy from here on.
        for (std::string& track : swipe->tracks)
            Wipe(track);
        return taken;
    }
    if (verb == "swipe" || verb == "swipe-tracks") {
        if (swipes_.size() >= kMaxPendingSwipes) return Error("too many swipes waiting");
        if (verb == "swipe") {
            const auto swipe = request.size() == 2 ? TestCardSwipe(request[1]) : std::nullopt;
            if (!swipe) return Error("no such test card (cards: lists them)");
            QueueSwipe(*swipe);
        } else {
            if (request.size() < 2 || request.size() > 4) return Error("give one to three tracks");
            TrainingSwipe swipe;
            for (size_t i = 1; i < request.size(); ++i)
                swipe.tracks[i - 1] = request[i];
            QueueSwipe(swipe);
        }
        return Ok();
    }
    if (verb == "cards") {
        std::vector<std::string> names;
        for (const TestCard& card : TestCards()) {
            names.emplace_back(card.name);
            names.emplace_back(card.label);
        }
        return Ok(std::move(names));
    }
    if (verb == "pending") return Ok({std::to_string(swipes_.size())});
    if (verb == "swipe-times") {
        std::vector<std::string> lines;
        for (const SwipeTimes& times : swipeTimes_) {
            lines.push_back(std::to_string(times.swipedMs) + "\t" +
                            (times.takenMs ? std::to_string(*times.takenMs) : "-"));
        }
        return Ok(std::move(lines));
    }
    if (verb == "scan-times") {
        std::vector<std::string> lines;
        for (const int64_t ms : scanTimes_)
            lines.push_back(std::to_string(ms));
        return Ok(std::move(lines));
    }
    if (verb == "calls") {
        size_t from = 0;
        if (request.size() > 1) {
            const std::string& text = request[1];
            std::from_chars(text.data(), text.data() + text.size(), from);
        }
        const auto& calls = screens_.Calls();
        std::vector<std::string> lines;
        for (size_t i = from; i < calls.size(); ++i)
            lines.push_back(calls[i]);
        return Ok(std::move(lines));
    }
    if (verb == "nested-call") {
        if (request.size() != 3) return Error("give the nested call's and the outer call's ids");
        nestedCalls_.push_back(
            CallName(request[1]) + " inside " +
            (request[2] == kInsideSentMessage ? "a sent message" : CallName(request[2])));
        return Ok();
    }
    if (verb == "nested-calls") return Ok(nestedCalls_);
    if (verb == "program") {
        if (request.size() != 2 || request[1].empty()) return Error("give the program's path");
        program_ = request[1];
        return Ok();
    }
    if (verb == "quit") return {OkReply(), {EmulatorAction::Kind::Quit, 0, {}}};

    const auto session = SessionArg(request, 1);
    if (verb == "scan" || verb == "show" || verb == "session" || verb == "screen" ||
        verb == "field" || verb == "statuses" || verb == "status-times") {
        if (!session) return Error(kNoSession);
    }
    if (verb == "scan") {
        scanTimes_.push_back(clock_());
        const std::string argument =
            std::string(1, LetterOfSession(*session)) + "," + screens_.Session(*session).screenText;
        return {OkReply(), {EmulatorAction::Kind::StartProgram, *session, argument}};
    }
    if (verb == "show") return {OkReply(), {EmulatorAction::Kind::Show, *session, {}}};
    if (verb == "screen") {
        if (request.size() != 3) return Error("give the session and its new screen text");
        screens_.SetScreenText(*session, request[2]);
        return Ok();
    }
    if (verb == "session") {
        const HostSession& s = screens_.Session(*session);
        std::vector<std::string> results{s.screenText, s.attached ? "attached" : "detached"};
        for (size_t i = 0; i < kCardFields.size(); ++i) {
            results.emplace_back(kCardFields[i]);
            results.push_back(s.fields[i]);
        }
        return Ok(std::move(results));
    }
    if (verb == "statuses") return Ok(screens_.Session(*session).statuses);
    if (verb == "status-times") {
        const HostSession& s = screens_.Session(*session);
        std::vector<std::string> lines;
        for (size_t i = 0; i < s.statuses.size(); ++i)
            lines.push_back(std::to_string(s.statusTimesMs[i]) + "\t" + s.statuses[i]);
        return Ok(std::move(lines));
    }
    if (verb == "field") {
        if (request.size() != 3) return Error("give the session and the field's name");
        return Ok({screens_.Field(*session, request[2])});
    }
    return Error("unknown command \"" + verb + "\"");
}

EmulatorReply EmulatorCore::Call(const Message& request) {
    int32_t dispId = 0;
    if (request.size() < 2 ||
        std::from_chars(request[1].data(), request[1].data() + request[1].size(), dispId).ec !=
            std::errc()) {
        return Error("a call names its dispatch id");
    }
    std::vector<ControlArg> args;
    for (size_t i = 2; i < request.size(); ++i)
        args.push_back(DecodeArg(request[i]));
    const ControlReply reply = screens_.Apply(dispId, args);
    switch (reply.outcome) {
        case ControlReply::Outcome::Done:
            return Ok({reply.result});
        case ControlReply::Outcome::Failed:
            return Error(reply.description);
        default:
            // The control checks the signature before it sends; a mismatch here is its fault.
            return Error("the call does not fit the operation's signature");
    }
}

}  // namespace ostrel::training
