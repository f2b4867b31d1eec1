#pragma once
// The platform services one running copy of the program uses.
#include "platform/desktop.h"
#include "platform/processes.h"
#include "platform/registry.h"

namespace ostrel {

struct Platform {
    Registry& registry;
    Processes& processes;
    Desktop& desktop;
};

}  // namespace ostrel
