#pragma once
// The platform services one running copy of the program uses.
#include "platform/desktop.h"
#include "platform/event_log.h"
#include "platform/hid.h"
#include "platform/host_control.h"
#include "platform/process_memory.h"
#include "platform/processes.h"
#include "platform/registry.h"

namespace ostrel {

struct Platform {
    Registry& registry;
    Processes& processes;
    Desktop& desktop;
    Hid& hid;
    HostControl& hostControl;  // the host maker's control on the main window (VEQServer1)
    EventLog& eventLog;
    ProcessMemory& memory;  // the card data store's pages and the mitigation policies
};

}  // namespace ostrel
