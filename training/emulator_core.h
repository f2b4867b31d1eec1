#pragma once
// What the host emulator does with the messages it receives: the stand-in control's calls,
// the training reader asking for a swipe, and the commands of whoever drives the emulator (a
// test, the run command, kt4r_remote). Pure: what needs the window or the system (starting
// the program, closing, showing a session) comes back as an action for the window to take.
#include <cstdint>
#include <deque>
#include <string>

#include "training/host_screens.h"
#include "training/test_cards.h"
#include "training/wire.h"

namespace ostrel::training {

// The driving commands, for kt4r_remote's usage text.
constexpr const char* kCommandSummary =
    "  scan <letter>                  press \"Credit Card Scan\" for the session\n"
    "  screen <letter> <text>         the session's screen text becomes text\n"
    "  show <letter>                  show the session in the emulator's window\n"
    "  swipe <card>                   swipe a test card (cards: lists them)\n"
    "  swipe-tracks <t1> <t2> <t3>    swipe typed track texts\n"
    "  cards                          the test cards\n"
    "  session <letter>               screen text, attached or not, and the twelve fields\n"
    "  field <letter> <name>          one field's text, unmasked\n"
    "  statuses <letter>              every text \"CCSTATUS\" received, oldest first\n"
    "  status-times <letter>          the same, each after the millisecond it arrived and a tab\n"
    "  swipe-times                    each swipe's millisecond, a tab, and the one the reader\n"
    "                                 took it (\"-\" while it waits); same clock as status-times\n"
    "  scan-times                     the millisecond of each \"Credit Card Scan\", on that clock\n"
    "  calls [<from>]                 the control calls received, from the given number on\n"
    "  nested-calls                   control calls begun while another was in progress, each\n"
    "                                 as \"<call> inside <call>\", and those refused inside a\n"
    "                                 message another process sent, as \"<call> inside a sent\n"
    "                                 message\" (the stand-in reports them)\n"
    "  program <path>                 the program that \"Credit Card Scan\" starts\n"
    "  pending                        swipes not yet taken by the training reader\n"
    "  quit                           close the emulator (the host ends)\n";

struct EmulatorAction {
    enum class Kind { None, StartProgram, Show, Quit };
    Kind kind = Kind::None;
    int session = 0;
    std::string argument;  // StartProgram: "letter,screen text" as the host passes it
};

struct EmulatorReply {
    Message reply;
    EmulatorAction action;
};

class EmulatorCore {
  public:
    explicit EmulatorCore(MillisecondClock clock = SteadyMilliseconds)
        : clock_(clock), screens_(clock) {}

    EmulatorReply Handle(const Message& request);

    HostScreens& Screens() { return screens_; }
    const HostScreens& Screens() const { return screens_; }
    void QueueSwipe(const TrainingSwipe& swipe);
    size_t PendingSwipes() const { return swipes_.size(); }
    // The swipe the reader reads next, removed from the queue: the emulator keeps no track
    // data once it is handed on.
    std::optional<TrainingSwipe> TakeSwipe();

    const std::string& Program() const { return program_; }
    void SetProgram(std::string path) { program_ = std::move(path); }

  private:
    EmulatorReply Call(const Message& request);

    // When a swipe was made and when the reader took it, for timing the program; no card data.
    struct SwipeTimes {
        int64_t swipedMs = 0;
        std::optional<int64_t> takenMs;
    };

    MillisecondClock clock_;
    HostScreens screens_;
    std::deque<TrainingSwipe> swipes_;
    std::vector<SwipeTimes> swipeTimes_;
    std::vector<int64_t> scanTimes_;  // when each start of the program was asked for
    std::string program_;
    std::vector<std::string> nestedCalls_;
};

// The messages of the control and the reader, for the programs that send them.
Message ControlCall(int32_t dispId, const std::vector<ControlArg>& args);
constexpr const char* kTakeSwipe = "take-swipe";
// The stand-in's report of a call begun while another was still in progress in its process.
Message NestedCallReport(int32_t innerDispId, int32_t outerDispId);
// A call the stand-in refused, as COM refuses one to a control in another process, because the
// caller made it while handling a message another thread sent and still waits on.
constexpr const char* kInsideSentMessage = "sent";
Message SentMessageCallReport(int32_t dispId);
// The take-swipe reply's results as a swipe; nothing when the queue was empty.
std::optional<TrainingSwipe> SwipeOfReply(const Message& reply);

}  // namespace ostrel::training
