#pragma once
// Host calls as the simulated host screen records them, for expectations and readable output.
#include <ostream>
#include <string>

#include "platform/sim/sim_host_screen.h"

namespace ostrel {

inline sim::SimHostScreen::Arg Long(int32_t v) {
    return {DispArg::Type::Long, v, ""};
}
inline sim::SimHostScreen::Arg Text(const std::string& s) {
    return {DispArg::Type::Text, 0, s};
}
inline sim::SimHostScreen::Arg Ref(const std::string& s) {
    return {DispArg::Type::TextRef, 0, s};
}

}  // namespace ostrel

namespace ostrel::sim {
inline void PrintTo(const SimHostScreen::Call& call, std::ostream* os) {
    *os << "{" << call.dispId;
    for (const auto& arg : call.args) {
        if (arg.type == DispArg::Type::Long) {
            *os << ", " << arg.i4;
        } else {
            *os << (arg.type == DispArg::Type::TextRef ? ", &\"" : ", \"") << arg.text << "\"";
        }
    }
    *os << "}";
}
}  // namespace ostrel::sim
