#pragma once
// The link to the host's screens through its maker's control (VEQServer1 on the main window).
// Attach and the put operations go through HostLink, which is set only while the link is open;
// GetScreenField and GetSessionInfo are asked of VEQServer1 itself.
#include <string>
#include <vector>

#include "hostlink/session_id.h"
#include "platform/host_control.h"

namespace ostrel {

// Told as each call into the control begins and once it has returned. A control in another
// process lets the caller's window messages through while a call waits for its answer.
class HostCallWatch {
  public:
    virtual ~HostCallWatch() = default;
    virtual void CallBegins() = 0;
    virtual void CallReturned() = 0;
};

class HostLinkControl {
  public:
    explicit HostLinkControl(HostControl& veqServer1, HostCallWatch* watch = nullptr)
        : VEQServer1(veqServer1), watch_(watch) {}

    // Attaches to the session unless the link is open. A failed attach leaves it closed.
    void OpenHostLink(const HostSessionId& session);
    // Detaches if open and drops the link; every error is ignored.
    void CloseHostLink();
    // Drops the link without detaching: for leaving while a call into the control still waits.
    void DropHostLink();
    bool HostLinkOpen() const { return hostLinkOpen_; }

    // Through HostLink: raise "object not set" (91) while the link is not open. text is a
    // DispArg so that a caller can hand its variable by reference.
    void PutScreenField(const std::string& field, DispArg text, const HostSessionId& session);
    void PutScreenValue(const std::string& field, DispArg text, const HostSessionId& session);
    void PutScreenFlag(const std::string& field, const std::string& text,
                       const HostSessionId& session);

    // On VEQServer1 itself, open link or not. A field's text may be a card number.
    CardText GetScreenField(const std::string& field, const HostSessionId& session);
    std::string GetSessionInfo(const HostSessionId& session);

  private:
    HostControl& Linked() const;
    CardText Call(HostControl& control, int32_t id, std::vector<DispArg> args);

    HostControl& VEQServer1;
    HostCallWatch* watch_;
    HostControl* HostLink = nullptr;
    bool hostLinkOpen_ = false;
};

}  // namespace ostrel
