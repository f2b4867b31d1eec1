#pragma once
// The virtual card reader for Linux (training/linux/virtual_reader_main.cpp) makes HID devices
// through the kernel's uhid, so that a program under Wine reads them through Wine's HID stack
// rather than ours. This is its portable half: the devices it can make and the commands it
// takes, one per line.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/sim_readers.h"

namespace ostrel::training {

// A device as the kernel is told of it.
struct VirtualDevice {
    std::string name;  // as given: "reader:2"
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    std::vector<uint8_t> descriptor;
    // The reader model whose reports it sends; nothing for a device that sends none.
    std::optional<uint16_t> model;
    uint8_t reportId = 0;  // before each input report; 0: none
    // A reader's strings, its model's as the simulated one gives them; "" for the other devices.
    std::string manufacturer, product, serialNumber;
};

// "reader:N" a reader of model N (1, 2, 3, 9, 14, 15, or 4: the maker's, but no reader);
// "keyboard-first:N" the same reader with a keyboard collection before its own;
// "other-maker" a device with model 2's layout under another vendor id.
// Nothing for a name that is none of these, with the reason in error.
std::optional<VirtualDevice> VirtualDeviceFrom(std::string_view name, std::string* error);

// One command.
enum class VirtualCommandKind : uint8_t { Swipe, Unplug, Plug, Quit };
struct VirtualCommand {
    VirtualCommandKind kind = VirtualCommandKind::Quit;
    sim::Swipe swipe;
};

// "card NAME" a test card of the emulator's swipe panel; "tracks T1|T2|T3" typed tracks;
// "error N" the Visa test card with track N (1 to 3) unreadable: its decode status 1 and no
// data; "unplug", "plug" the readers; "quit". Nothing for any other line, with the reason.
std::optional<VirtualCommand> ParseVirtualCommand(std::string_view line, std::string* error);

// The input report for a swipe as the device hands it to the kernel: the report id byte
// first only where the descriptor declares report ids.
std::vector<uint8_t> VirtualReport(const VirtualDevice& device, const sim::Swipe& swipe);

}  // namespace ostrel::training
