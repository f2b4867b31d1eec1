#pragma once
// The host maker's control, reached through its dispatch interface: a method call by
// dispatch id with its arguments in call order.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "support/card_text.h"

namespace ostrel {

// The name the host maker registers its control under.
constexpr const char* kHostControlProgId = "VEQSERVERLib.VEQServer";
// The source of the error a call raises when the control could not be created (not registered,
// its server missing): the first call creates it.
constexpr const char* kHostControlNotCreated = "CreateObject";

// What COM answers a call to a control in another process made while the thread handles a
// message another thread sent and whose sender still waits (RPC_E_CANTCALLOUT_ININPUTSYNCCALL).
constexpr int32_t kCantCallOutInInputSyncCall = static_cast<int32_t>(0x8001010D);

// Dispatch ids of the control's methods.
namespace dispid {
constexpr int32_t kAttachSession = 49;
constexpr int32_t kDetachSession = 24;
constexpr int32_t kPutScreenField = 39;
constexpr int32_t kPutScreenValue = 18;
constexpr int32_t kPutScreenFlag = 45;
constexpr int32_t kGetScreenField = 36;
constexpr int32_t kGetSessionInfo = 40;
}  // namespace dispid

// A call's argument. Its texts may be card data (a card number by reference, the expiry's
// month by value), so they are kept in the card data store as all card data is.
struct DispArg {
    enum class Type { Long, Text, TextRef };

    static DispArg Long(int32_t v) { return DispArg{Type::Long, v, {}, nullptr}; }
    static DispArg Text(std::string_view v) { return DispArg{Type::Text, 0, v, nullptr}; }
    // A reference to the caller's variable: the control may change it.
    static DispArg TextRef(CardText& var) { return DispArg{Type::TextRef, 0, {}, &var}; }

    std::string_view TextValue() const { return type == Type::TextRef ? ref->view() : text.view(); }

    Type type;
    int32_t i4;
    CardText text;
    CardText* ref;
};

class HostControl {
  public:
    virtual ~HostControl() = default;

    // Calls a method (never a property) and returns its result as text, "" when it has none
    // (a field's text may be a card number). A failure raises AppError with the HRESULT as its
    // number and the control's own description when it gives one.
    virtual CardText Invoke(int32_t dispId, std::span<DispArg> args) = 0;
};

}  // namespace ostrel
