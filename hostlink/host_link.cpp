#include "hostlink/host_link.h"

#include "platform/app_error.h"

namespace ostrel {

namespace {
constexpr int32_t kAttachMode = 3;
constexpr int32_t kFieldMode = 0;
constexpr int32_t kFlagMode = 1;
constexpr int32_t kSessionInfoKind = 4;
}  // namespace

CardText HostLinkControl::Call(HostControl& control, int32_t id, std::vector<DispArg> args) {
    if (!watch_) return control.Invoke(id, args);
    struct Returned {
        HostCallWatch& watch;
        ~Returned() { watch.CallReturned(); }
    };
    watch_->CallBegins();
    const Returned returned{*watch_};
    return control.Invoke(id, args);
}

void HostLinkControl::OpenHostLink(const HostSessionId& session) {
    if (hostLinkOpen_) return;
    HostLink = &VEQServer1;
    Call(*HostLink, dispid::kAttachSession,
         {DispArg::Long(session.ToLong()), DispArg::Long(kAttachMode)});
    hostLinkOpen_ = true;
}

void HostLinkControl::CloseHostLink() {
    try {
        if (hostLinkOpen_ && HostLink) Call(*HostLink, dispid::kDetachSession, {});
    } catch (const AppError&) {
        // The host may already be gone; the link is dropped all the same.
    }
    DropHostLink();
}

void HostLinkControl::DropHostLink() {
    HostLink = nullptr;
    hostLinkOpen_ = false;
}

HostControl& HostLinkControl::Linked() const {
    if (!HostLink) {
        throw AppError(errnum::kObjectNotSet, "HostLink",
                       "Object variable or With block variable not set");
    }
    return *HostLink;
}

void HostLinkControl::PutScreenField(const std::string& field, DispArg text,
                                     const HostSessionId& session) {
    HostControl& link = Linked();
    Call(link, dispid::kPutScreenField,
         {DispArg::Text(field), DispArg::Long(kFieldMode), std::move(text),
          DispArg::Long(session.ToLong())});
}

void HostLinkControl::PutScreenValue(const std::string& field, DispArg text,
                                     const HostSessionId& session) {
    HostControl& link = Linked();
    Call(link, dispid::kPutScreenValue,
         {DispArg::Text(field), DispArg::Long(kFieldMode), std::move(text),
          DispArg::Long(session.ToLong())});
}

void HostLinkControl::PutScreenFlag(const std::string& field, const std::string& text,
                                    const HostSessionId& session) {
    HostControl& link = Linked();
    Call(link, dispid::kPutScreenFlag,
         {DispArg::Text(field), DispArg::Text(text), DispArg::Long(kFlagMode),
          DispArg::Long(session.ToLong())});
}

CardText HostLinkControl::GetScreenField(const std::string& field, const HostSessionId& session) {
    return Call(VEQServer1, dispid::kGetScreenField,
                {DispArg::Text(field), DispArg::Long(session.ToLong())});
}

std::string HostLinkControl::GetSessionInfo(const HostSessionId& session) {
    return std::string(Call(VEQServer1, dispid::kGetSessionInfo,
                            {DispArg::Long(kSessionInfoKind), DispArg::Long(session.ToLong())})
                           .view());
}

}  // namespace ostrel
