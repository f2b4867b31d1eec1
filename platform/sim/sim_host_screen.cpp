#include "platform/sim/sim_host_screen.h"

#include "platform/app_error.h"
#include "platform/sim/sim_desktop.h"

namespace ostrel::sim {

void SimHostScreen::AnswerTakes(SimDesktop& desktop, int64_t answerMicros, bool dispatching) {
    desktop_ = &desktop;
    answerMicros_ = answerMicros;
    dispatching_ = dispatching;
}

void SimHostScreen::ReachedFrom(const SimDesktop& caller, Server server) {
    caller_ = &caller;
    server_ = server;
}

void SimHostScreen::TakeAnswerTime() {
    if (!desktop_) return;
    SimDesktop& desktop = *desktop_;
    const int64_t answered = desktop.nowMicros + answerMicros_;
    if (!dispatching_) {
        desktop.PassTime(answerMicros_);
        return;
    }
    const int ticksBefore = desktop.timerTicks;
    desktop.DoEvents();
    while (desktop.nowMicros < answered) {
        desktop.WaitForMessage(static_cast<uint32_t>((answered - desktop.nowMicros + 999) / 1000));
        desktop.DoEvents();
    }
    ticksWhileAnswering += desktop.timerTicks - ticksBefore;
}

CardText SimHostScreen::Invoke(int32_t dispId, std::span<DispArg> args) {
    // A control that could not be created answers nothing: each call raises what creating it
    // gave.
    if (notCreated)
        throw AppError(notCreated->hresult, kHostControlNotCreated, notCreated->description);
    // COM's check comes before the call leaves the process: the screen never sees it.
    if (server_ == Server::OutOfProcess && caller_ && caller_->InSentMessage()) {
        ++refusedInSentMessage;
        throw AppError(kCantCallOutInInputSyncCall, "VEQServer",
                       "An outgoing call cannot be made since the application is dispatching an "
                       "input-synchronous call.");
    }
    Call call{dispId, {}};
    for (const DispArg& a : args)
        call.args.push_back(Arg{a.type, a.i4, std::string(a.TextValue())});
    calls.push_back(call);
    if (inFlight > 0) ++callsInsideCalls;
    ++inFlight;
    struct Answered {
        int& inFlight;
        ~Answered() { --inFlight; }
    } answered{inFlight};
    if (onCall) onCall(call);
    TakeAnswerTime();

    if (const auto failure = failNext.find(dispId); failure != failNext.end()) {
        const Failure f = failure->second;
        failNext.erase(failure);
        throw AppError(f.hresult, "VEQServer", f.description);
    }
    if (failWhen) {
        if (const std::optional<Failure> f = failWhen(call)) {
            throw AppError(f->hresult, "VEQServer", f->description);
        }
    }

    // The host's own copy of what it is handed: the screen keeps its fields as it likes.
    const auto text = [&](size_t i) { return std::string(args[i].TextValue()); };
    switch (dispId) {
        case dispid::kAttachSession:
            attachedSession = args[0].i4;
            return "";
        case dispid::kDetachSession:
            attachedSession.reset();
            return "";
        case dispid::kPutScreenField:
        case dispid::kPutScreenValue:
            fields[{args[3].i4, text(0)}] = text(2);
            return "";
        case dispid::kPutScreenFlag:
            fields[{args[3].i4, text(0)}] = text(1);
            return "";
        case dispid::kGetScreenField: {
            const std::string stored = Field(args[1].i4, text(0));
            return readBack ? readBack(text(0), stored) : stored;
        }
        case dispid::kGetSessionInfo: {
            const auto info = sessionInfo.find(args[1].i4);
            return info == sessionInfo.end() ? "" : info->second;
        }
        default:
            throw AppError(static_cast<int32_t>(0x80020003), "VEQServer", "Member not found.");
    }
}

std::string SimHostScreen::Field(int32_t session, const std::string& name) const {
    const auto it = fields.find({session, name});
    return it == fields.end() ? "" : it->second;
}

}  // namespace ostrel::sim
