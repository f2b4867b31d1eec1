#pragma once
// The host maker's control through IDispatch::Invoke.
#include <memory>
#include <optional>

#include "platform/host_control.h"
#include "platform/win32/com_ref.h"

struct IDispatch;

namespace ostrel::win32 {

// COM for this thread, for as long as the object lives.
class ComApartment {
  public:
    ComApartment();
    ~ComApartment();
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

  private:
    bool initialized_;
};

class DispatchHostControl : public HostControl {
  public:
    // Holds its own reference to dispatch.
    explicit DispatchHostControl(IDispatch* dispatch);
    ~DispatchHostControl() override;
    DispatchHostControl(const DispatchHostControl&) = delete;
    DispatchHostControl& operator=(const DispatchHostControl&) = delete;

    CardText Invoke(int32_t dispId, std::span<DispArg> args) override;

  private:
    ComRef<IDispatch> dispatch_;
};

// The control as the main window carries it: created on first use, and again on a later use
// for as long as creating it fails (the host may not have registered it yet).
class LazyHostControl : public HostControl {
  public:
    CardText Invoke(int32_t dispId, std::span<DispArg> args) override;

  private:
    // The thread enters COM's apartment only as the control is first made: a copy that hands
    // its request over and ends never needs it, nor the window COM makes for it.
    std::optional<ComApartment> apartment_;
    std::unique_ptr<HostControl> control_;
};

// Creates the control, in-process or as a local server, on this thread (which must have
// initialised COM). Raises AppError with the HRESULT when it cannot be had.
std::unique_ptr<HostControl> CreateHostControl(const char* progId = kHostControlProgId);

}  // namespace ostrel::win32
