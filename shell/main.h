#pragma once
// The entry routine. For now it files the host's request in the session table and checks for
// the host program; the window, the reader and the hand-off to the host screen come later.
#include <string>

#include "platform/platform.h"

namespace ostrel {

namespace exit_code {
constexpr int kHostRunning = 0;
constexpr int kHostGone = 1;
constexpr int kError = 2;
}  // namespace exit_code

int Main(Platform& platform, const std::string& argumentText);

}  // namespace ostrel
