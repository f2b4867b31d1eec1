// The virtual card reader: HID devices made through the kernel's uhid, for a program under Wine
// to read through Wine's own HID stack. The devices are named on the command line, the reader
// first among them takes the swipes, and the readers are unplugged and plugged in on command (the
// other devices stay); commands come one per line on standard input, and each outcome, and each
// open and close of a device by its reader, is a line on standard output.
#include <fcntl.h>
#include <linux/uhid.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "support/wipe.h"
#include "training/virtual_reader.h"

namespace {

using ostrel::training::VirtualDevice;

void Say(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

bool Write(int fd, const uhid_event& event) {
    return write(fd, &event, sizeof event) == static_cast<ssize_t>(sizeof event);
}

class Plugged {
  public:
    explicit Plugged(VirtualDevice device) : device_(std::move(device)) {}
    ~Plugged() { Unplug(); }
    Plugged(const Plugged&) = delete;
    Plugged& operator=(const Plugged&) = delete;

    const VirtualDevice& Device() const { return device_; }
    int Fd() const { return fd_; }
    bool IsPlugged() const { return fd_ >= 0; }

    bool Plug() {
        if (IsPlugged()) return true;
        fd_ = open("/dev/uhid", O_RDWR | O_CLOEXEC);
        if (fd_ < 0) {
            Say("error: /dev/uhid: " + std::string(std::strerror(errno)) + " (modprobe uhid?)");
            return false;
        }
        uhid_event event{};
        event.type = UHID_CREATE2;
        // A reader's product and serial number strings: Wine's udev bus gives a hidraw device's
        // name as its product and its unique id as its serial number. uhid carries no maker's
        // name: Wine names the maker of every hidraw device without a USB parent "hidraw".
        char* const name = reinterpret_cast<char*>(event.u.create2.name);
        char* const uniq = reinterpret_cast<char*>(event.u.create2.uniq);
        if (device_.product.empty()) {
            std::snprintf(name, sizeof event.u.create2.name, "Virtual Card Reader %s",
                          device_.name.c_str());
        } else {
            std::snprintf(name, sizeof event.u.create2.name, "%s", device_.product.c_str());
        }
        // Another device gets a serial number of its own for each plug: Wine names a device's
        // instance by it, and one plugged back under the name of one Wine has not let go yet is
        // never listed. A reader keeps its own, as a real one does: it is plugged back only once
        // Wine no longer lists it (tests/vm/guest.sh).
        static unsigned plugs = 0;
        if (device_.serialNumber.empty()) {
            std::snprintf(uniq, sizeof event.u.create2.uniq, "%d%u", static_cast<int>(getpid()),
                          ++plugs);
        } else {
            std::snprintf(uniq, sizeof event.u.create2.uniq, "%s", device_.serialNumber.c_str());
        }
        event.u.create2.rd_size = static_cast<uint16_t>(device_.descriptor.size());
        std::memcpy(event.u.create2.rd_data, device_.descriptor.data(), device_.descriptor.size());
        event.u.create2.bus = 0x03;  // USB
        event.u.create2.vendor = device_.vendorId;
        event.u.create2.product = device_.productId;
        event.u.create2.version = 0x0100;
        if (!Write(fd_, event)) {
            Say("error: " + device_.name + " not created: " + std::strerror(errno));
            Unplug();
            return false;
        }
        char ids[16];
        std::snprintf(ids, sizeof ids, "%04x:%04x", device_.vendorId, device_.productId);
        Say("plugged " + device_.name + " (" + ids + "), report descriptor " +
            std::to_string(device_.descriptor.size()) + " bytes, \"" + name + "\" " + uniq);
        return true;
    }

    void Unplug() {
        if (!IsPlugged()) return;
        uhid_event event{};
        event.type = UHID_DESTROY;
        Write(fd_, event);
        close(fd_);
        fd_ = -1;
        opened_ = false;
        Say("unplugged " + device_.name);
    }

    bool Send(const std::string& what, const ostrel::sim::Swipe& swipe) {
        std::vector<uint8_t> report = ostrel::training::VirtualReport(device_, swipe);
        uhid_event event{};
        event.type = UHID_INPUT2;
        event.u.input2.size = static_cast<uint16_t>(report.size());
        std::memcpy(event.u.input2.data, report.data(), report.size());
        const bool sent = Write(fd_, event);
        ostrel::Wipe(report);
        ostrel::WipeBytes(event.u.input2.data, sizeof event.u.input2.data);
        // Nobody reading: the kernel drops the report, as a real reader's would be lost.
        Say(std::string(sent ? "sent " : "error: not sent ") + what + " to " + device_.name + ": " +
            std::to_string(event.u.input2.size) + " bytes" +
            (opened_ ? "" : ", while nobody has it open"));
        return sent;
    }

    // One event from the kernel: opens and closes are told, report requests refused (a
    // card reader has no feature reports).
    void HandleEvent() {
        uhid_event event{};
        if (read(fd_, &event, sizeof event) <= 0) return;
        uhid_event reply{};
        switch (event.type) {
            case UHID_OPEN:
                opened_ = true;
                Say("opened " + device_.name);
                break;
            case UHID_CLOSE:
                opened_ = false;
                Say("closed " + device_.name);
                break;
            case UHID_GET_REPORT:
                reply.type = UHID_GET_REPORT_REPLY;
                reply.u.get_report_reply.id = event.u.get_report.id;
                reply.u.get_report_reply.err = EIO;
                Write(fd_, reply);
                break;
            case UHID_SET_REPORT:
                reply.type = UHID_SET_REPORT_REPLY;
                reply.u.set_report_reply.id = event.u.set_report.id;
                reply.u.set_report_reply.err = EIO;
                Write(fd_, reply);
                break;
            default:
                break;
        }
    }

  private:
    VirtualDevice device_;
    int fd_ = -1;
    bool opened_ = false;
};

// Runs one command line, which ends in a line "ok <command>" or "error: ..."; false when it
// asks to end.
bool Run(const std::string& line, std::vector<Plugged*>& readers) {
    std::string error;
    const auto command = ostrel::training::ParseVirtualCommand(line, &error);
    if (!command) {
        Say("error: " + error);
        return true;
    }
    using Kind = ostrel::training::VirtualCommandKind;
    bool done = true;
    switch (command->kind) {
        case Kind::Swipe:
            if (readers.empty() || !readers[0]->IsPlugged()) {
                Say("error: no reader plugged in for \"" + line + "\"");
                return true;
            }
            done = readers[0]->Send(line.substr(0, line.find(' ')), command->swipe);
            break;
        // Only the readers: Wine 8's udev bus, told of two devices gone at the same moment,
        // now and then never lets one of them go.
        case Kind::Unplug:
            for (Plugged* reader : readers)
                reader->Unplug();
            break;
        case Kind::Plug:
            for (Plugged* reader : readers)
                done = reader->Plug() && done;
            break;
        case Kind::Quit:
            return false;
    }
    if (done) Say("ok " + line);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr,
                     "usage: ostrel-virtual-reader DEVICE... < commands\n"
                     "  DEVICE: reader:N, keyboard-first:N (N: 1 2 3 9 14 15; reader:4), "
                     "other-maker\n"
                     "  commands: card NAME | tracks T1|T2|T3 | error N | unplug | plug | quit\n");
        return 2;
    }
    std::vector<std::unique_ptr<Plugged>> devices;
    std::vector<Plugged*> readers;
    for (int i = 1; i < argc; ++i) {
        std::string error;
        auto device = ostrel::training::VirtualDeviceFrom(argv[i], &error);
        if (!device) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 2;
        }
        devices.push_back(std::make_unique<Plugged>(std::move(*device)));
        if (devices.back()->Device().model) readers.push_back(devices.back().get());
    }
    for (auto& device : devices) {
        if (!device->Plug()) return 1;
    }

    std::string pending;
    for (;;) {
        std::vector<pollfd> fds{{STDIN_FILENO, POLLIN, 0}};
        for (auto& device : devices) {
            if (device->IsPlugged()) fds.push_back({device->Fd(), POLLIN, 0});
        }
        if (poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) continue;
            return 1;
        }
        for (size_t i = 1; i < fds.size(); ++i) {
            if (!(fds[i].revents & POLLIN)) continue;
            for (auto& device : devices) {
                if (device->Fd() == fds[i].fd) device->HandleEvent();
            }
        }
        if (!(fds[0].revents & (POLLIN | POLLHUP))) continue;
        char buffer[512];
        const ssize_t got = read(STDIN_FILENO, buffer, sizeof buffer);
        if (got <= 0) return 0;  // the commands ended: the devices go with this program
        pending.append(buffer, static_cast<size_t>(got));
        for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
            const std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            if (!line.empty() && !Run(line, readers)) return 0;
        }
    }
}
