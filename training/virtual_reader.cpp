#include "training/virtual_reader.h"

#include <stdexcept>

#include "training/test_cards.h"
#include "training/training_reader.h"

namespace ostrel::training {

namespace {

constexpr uint16_t kOtherMakerVendorId = 0x1234;
constexpr uint16_t kOtherMakerLayout = 2;

// The product id after "kind:", when the name starts so and is a device of the reader's
// maker that sim::ReaderDevice knows.
std::optional<uint16_t> ModelAfter(std::string_view name, std::string_view kind) {
    if (name.substr(0, kind.size()) != kind) return std::nullopt;
    const std::string digits(name.substr(kind.size()));
    for (const uint16_t model : {1, 2, 3, 4, 9, 14, 15}) {
        if (digits == std::to_string(model)) return model;
    }
    return std::nullopt;
}

// A reader's strings, in ASCII as the simulated reader's are.
void TakeStrings(const sim::SimHidDevice& reader, VirtualDevice& device) {
    const auto ascii = [](const std::optional<std::u16string>& text) {
        return text ? std::string(text->begin(), text->end()) : std::string();
    };
    device.manufacturer = ascii(reader.manufacturer);
    device.product = ascii(reader.product);
    device.serialNumber = ascii(reader.serialNumber);
}

}  // namespace

std::optional<VirtualDevice> VirtualDeviceFrom(std::string_view name, std::string* error) {
    VirtualDevice device;
    device.name = std::string(name);
    if (const auto model = ModelAfter(name, "reader:")) {
        const sim::SimHidDevice reader = sim::ReaderDevice(*model);
        device.vendorId = reader.vendorId;
        device.productId = reader.productId;
        device.descriptor = reader.descriptor;
        device.model = model;
        device.reportId = *model >= 14 ? sim::kReaderReportId : 0;
        TakeStrings(reader, device);
    } else if (const auto first = ModelAfter(name, "keyboard-first:"); first && *first != 4) {
        device.vendorId = sim::kReaderVendorId;
        device.productId = *first;
        device.descriptor = sim::ReaderWithKeyboardDescriptor(*first);
        device.model = first;
        device.reportId = sim::kReaderReportId;
        TakeStrings(sim::ReaderDevice(*first), device);
    } else if (name == "other-maker") {
        device.vendorId = kOtherMakerVendorId;
        device.productId = kOtherMakerLayout;
        device.descriptor = sim::ReaderDescriptor(kOtherMakerLayout);
    } else {
        *error = "no such device: \"" + device.name +
                 "\" (reader:N or keyboard-first:N with N one of 1 2 3 9 14 15, reader:4, "
                 "other-maker)";
        return std::nullopt;
    }
    return device;
}

std::optional<VirtualCommand> ParseVirtualCommand(std::string_view line, std::string* error) {
    const size_t blank = line.find(' ');
    const std::string_view verb = line.substr(0, blank);
    const std::string_view rest = blank == std::string_view::npos ? "" : line.substr(blank + 1);
    VirtualCommand command;
    if (verb == "card") {
        const auto swipe = TestCardSwipe(rest);
        if (!swipe) {
            *error = "no such card: \"" + std::string(rest) + "\"";
            return std::nullopt;
        }
        command.kind = VirtualCommandKind::Swipe;
        command.swipe = ReaderSwipe(*swipe);
    } else if (verb == "tracks") {
        command.kind = VirtualCommandKind::Swipe;
        size_t from = 0;
        for (auto& track : command.swipe.tracks) {
            const size_t bar = std::min(rest.find('|', from), rest.size());
            if (from <= rest.size()) track = sim::Bytes(rest.substr(from, bar - from));
            from = bar + 1;
        }
        if (from <= rest.size()) {
            *error = "more than three tracks";
            return std::nullopt;
        }
    } else if (verb == "error" && rest.size() == 1 && rest[0] >= '1' && rest[0] <= '3') {
        command.kind = VirtualCommandKind::Swipe;
        command.swipe = ReaderSwipe(*TestCardSwipe("visa"));
        const size_t track = static_cast<size_t>(rest[0] - '1');
        command.swipe.tracks[track].clear();
        command.swipe.decodeStatus[track] = 1;
    } else if (line == "unplug") {
        command.kind = VirtualCommandKind::Unplug;
    } else if (line == "plug") {
        command.kind = VirtualCommandKind::Plug;
    } else if (line == "quit") {
        command.kind = VirtualCommandKind::Quit;
    } else {
        *error = "no such command: \"" + std::string(line) +
                 "\" (card NAME, tracks T1|T2|T3, error N, unplug, plug, quit)";
        return std::nullopt;
    }
    return command;
}

std::vector<uint8_t> VirtualReport(const VirtualDevice& device, const sim::Swipe& swipe) {
    if (!device.model) throw std::logic_error("a device that sends no swipes");
    // The model's own report, whose first byte is its report id or 0 where it has none.
    std::vector<uint8_t> report = sim::SwipeReport(*device.model, swipe);
    if (device.reportId != 0) {
        report[0] = device.reportId;
    } else {
        report.erase(report.begin());
    }
    return report;
}

}  // namespace ostrel::training
