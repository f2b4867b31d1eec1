#pragma once
// The link to the host's screens through its maker's control (VEQServer1 on the main window).
// Attach and the put operations go through HostLink, which is set only while the link is open;
// GetScreenField and GetSessionInfo are asked of VEQServer1 itself.
#include <string>

#include "hostlink/session_id.h"
#include "platform/host_control.h"

namespace ostrel {

class HostLinkControl {
  public:
    explicit HostLinkControl(HostControl& veqServer1) : VEQServer1(veqServer1) {}

    // Attaches to the session unless the link is open. A failed attach leaves it closed.
    void OpenHostLink(const HostSessionId& session);
    // Detaches if open and drops the link; every error is ignored.
    void CloseHostLink();
    bool HostLinkOpen() const { return hostLinkOpen_; }

    // Through HostLink: raise "object not set" (91) while the link is not open. text is a
    // DispArg so that a caller can hand its variable by reference.
    void PutScreenField(const std::string& field, DispArg text, const HostSessionId& session);
    void PutScreenValue(const std::string& field, DispArg text, const HostSessionId& session);
    void PutScreenFlag(const std::string& field, const std::string& text,
                       const HostSessionId& session);

    // On VEQServer1 itself, open link or not.
    std::string GetScreenField(const std::string& field, const HostSessionId& session);
    std::string GetSessionInfo(const HostSessionId& session);

  private:
    HostControl& Linked() const;

    HostControl& VEQServer1;
    HostControl* HostLink = nullptr;
    bool hostLinkOpen_ = false;
};

}  // namespace ostrel
