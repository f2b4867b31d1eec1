#pragma once
// When the window's events run. They are meant to run only where the program yields to the
// message loop, but two kinds of work let them in part-way: a call into the host's control (one
// in another process dispatches the caller's messages while the call waits for its answer) and
// the reader's work, a tick or the loop's search, whose waits yield. What may not run there is
// held, in the order it came, and runs at the next yield where it may, each event once:
//
//                      during a host call    during the reader's work
//   Timer1's tick      held, once            dropped: the tick in progress does its work
//   Clear/re&Attach    held                  held: it frees the reader that work is using
//   the others         held                  run
//
// The others are "Set logging on", "E&xit" and the close box.
#include <optional>
#include <vector>

#include "hostlink/host_link.h"

namespace ostrel {

enum class WindowEvent { Tick, Logging, Attach, End, Close };

class EventGate : public HostCallWatch {
  public:
    // An event as it comes: held until Next hands it out, or dropped.
    void Take(WindowEvent event);
    // The first held event that may run now, taken off the list.
    std::optional<WindowEvent> Next();

    void CallBegins() override { ++hostCalls_; }
    void CallReturned() override { --hostCalls_; }
    void ReaderWorkBegins() { ++readerWork_; }
    void ReaderWorkEnds() { --readerWork_; }
    bool InHostCall() const { return hostCalls_ > 0; }
    // No host call and no reader work in progress: anything may start.
    bool Quiet() const { return hostCalls_ == 0 && readerWork_ == 0; }

  private:
    bool MayRun(WindowEvent event) const;

    int hostCalls_ = 0;
    int readerWork_ = 0;
    std::vector<WindowEvent> held_;
};

}  // namespace ostrel
