#pragma once
// The host's screens behind the control, for tests: every call recorded with its argument
// types, fields kept per session, session texts set by the test, failures on demand.
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/host_control.h"

namespace ostrel::sim {

class SimDesktop;

class SimHostScreen : public HostControl {
  public:
    struct Arg {
        DispArg::Type type;
        int32_t i4 = 0;
        std::string text;
        bool operator==(const Arg&) const = default;
    };
    struct Call {
        int32_t dispId;
        std::vector<Arg> args;
        bool operator==(const Call&) const = default;
    };
    struct Failure {
        int32_t hresult;
        std::string description;
    };

    CardText Invoke(int32_t dispId, std::span<DispArg> args) override;

    // Test side.
    std::string Field(int32_t session, const std::string& name) const;
    // Each call takes answerMicros of the desktop's clock. Dispatching, the control is one in
    // another process: COM dispatches the caller's window messages while a call waits for its
    // answer, so the desktop's events that fall due meanwhile (ticks, scripted menu commands)
    // run inside it. Not dispatching, the caller's thread only blocks, as in-process.
    void AnswerTakes(SimDesktop& desktop, int64_t answerMicros, bool dispatching);
    // The control as the caller's thread reaches it. In another process (LocalServer32), COM
    // refuses a call made while the caller's window handles a message another process sent
    // (the caller's desktop says when): the call never reaches the screen. In the caller's
    // process, the call is a plain one.
    enum class Server { InProcess, OutOfProcess };
    void ReachedFrom(const SimDesktop& caller, Server server);

    std::vector<Call> calls;
    std::optional<int32_t> attachedSession;
    std::map<int32_t, std::string> sessionInfo;  // what GetSessionInfo answers per session
    std::map<std::pair<int32_t, std::string>, std::string> fields;
    // Set: the control could not be created (not registered, its server gone).
    std::optional<Failure> notCreated;
    // The next call with this dispatch id fails.
    std::map<int32_t, Failure> failNext;
    // Asked about each call after onCall: a failure it gives is raised instead of an answer
    // (a field the screen refuses, a control whose server has gone).
    std::function<std::optional<Failure>(const Call&)> failWhen;
    // Runs as each call arrives, before it is answered: what the host's user does meanwhile.
    std::function<void(const Call&)> onCall;
    // What the screen gives back for a field it holds (the identity unless set).
    std::function<std::string(const std::string& field, const std::string& stored)> readBack;

    int refusedInSentMessage = 0;  // calls COM refused inside a sent message
    int inFlight = 0;              // calls being answered now
    int callsInsideCalls = 0;      // calls that began while another was being answered
    int ticksWhileAnswering = 0;   // Timer1 ticks dispatched inside a call

  private:
    void TakeAnswerTime();

    SimDesktop* desktop_ = nullptr;
    const SimDesktop* caller_ = nullptr;
    Server server_ = Server::InProcess;
    int64_t answerMicros_ = 0;
    bool dispatching_ = false;
};

}  // namespace ostrel::sim
