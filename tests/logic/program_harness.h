#pragma once
// Whole copies of the program on the simulated platform, in virtual time: a host program that
// runs, a host screen for session "C" (2) showing "Front Desk", the till's keyboard, mouse and
// touchpad, and a reader of product id 2.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/sim/sim_desktop.h"
#include "platform/sim/sim_event_log.h"
#include "platform/sim/sim_hid.h"
#include "platform/sim/sim_host_screen.h"
#include "platform/sim/sim_processes.h"
#include "platform/sim/sim_readers.h"
#include "platform/sim/sim_registry.h"
#include "shell/scanner_form.h"
#include "tests/logic/host_calls.h"

namespace ostrel {

// Thrown by the harness to stop a copy that is still running at the end of a scenario.
struct StopRun {};

// Told of a scenario's PlatformFaults as its harness goes: a test fails, a fuzz run stops.
void ReportPlatformFaults(const std::vector<std::string>& faults);

constexpr const char* kSettingsKey = "Software\\TOVAN\\RODazedur";
constexpr const char* kVisaTrack = "%B4111111111111111^DOE/JOHN Q^2512101";

inline int64_t Micros(double seconds) {
    return static_cast<int64_t>(seconds * 1e6);
}

class ProgramHarness {
  public:
    enum class End { Ended, Stopped };

    ProgramHarness() {
        hostPid = processes.Start("C:\\Apps\\Host\\kt4r.exe");
        processes.Start("C:\\WINDOWS\\system32\\services.exe");
        host.sessionInfo[2] = "Front Desk";
        for (const sim::SimHidDevice& device : sim::TillDevices())
            hid.Plug(device);
        readerId = hid.Plug(sim::ReaderDevice(2));
        // The program's waits wake for the reader's read events, the settings key's change
        // and the host's end; the running copy's window hears of arriving devices.
        for (sim::SimDesktop* d : {&desktop, &secondDesktop}) {
            d->handleSet = [this](std::uintptr_t handle) {
                return hid.IsSignalled(handle) || registry.IsEventSet(handle) ||
                       processes.IsSignalled(handle);
            };
        }
        hid.deviceArrived = [this](std::uintptr_t) {
            desktop.SendDeviceArrival(desktop.nowMicros);
        };
        // The host maker's control serves from another process: COM refuses a call made inside
        // a message another process sent.
        host.ReachedFrom(desktop, sim::SimHostScreen::Server::OutOfProcess);
        copy = NewCopy(desktop);
    }
    // The reader plugged in at the start, replaced by one of another model.
    void UseReaderModel(uint16_t productId) {
        hid.Unplug(readerId);
        readerId = hid.Plug(sim::ReaderDevice(productId));
    }
    ~ProgramHarness() {
        // The copy goes first: taking it down still uses the platform.
        copy.reset();
        second.reset();
        if (std::vector<std::string> faults = PlatformFaults(); !faults.empty())
            ReportPlatformFaults(faults);
    }
    // What Windows would have refused or leaked where the simulated platform went on: no
    // scenario may meet any, whatever it is about.
    std::vector<std::string> PlatformFaults() const {
        std::vector<std::string> faults = registry.misuses;
        if (host.refusedInSentMessage > 0)
            faults.push_back(std::to_string(host.refusedInSentMessage) +
                             " host calls inside a message another process sent");
        return faults;
    }

    std::unique_ptr<OstrelCopy> NewCopy(sim::SimDesktop& d) {
        return std::make_unique<OstrelCopy>(Platform{registry, processes, d, hid, host, events});
    }

    // Runs the copy until it ends or the clock reaches the given time.
    End Run(const std::string& argument = "C,Front Desk", double untilSeconds = 60) {
        desktop.At(Micros(untilSeconds), [] { throw StopRun{}; });
        try {
            copy->Main(argument);
        } catch (const sim::ProcessEnded&) {
            return End::Ended;
        } catch (const StopRun&) {
            return End::Stopped;
        }
    }

    void At(double seconds, std::function<void()> action) {
        desktop.At(Micros(seconds), std::move(action));
    }
    // A card swiped at that moment, whatever the program is doing then.
    void SwipeAt(double seconds, sim::Swipe swipe) {
        desktop.AtOutside(Micros(seconds), [this, swipe] {
            hid.QueueReport(readerId, sim::SwipeReport(hid.Device(readerId).productId, swipe));
        });
    }
    void SwipeAt(double seconds, const std::string& track1) {
        sim::Swipe swipe;
        swipe.tracks[0] = sim::Bytes(std::string_view(track1));
        swipe.tracks[1] = ";4111111111111111=2512101?";
        SwipeAt(seconds, swipe);
    }
    // Another start of the program by the host, while this copy runs: another process, so at
    // that moment whatever this copy is doing then.
    void SecondStartAt(double seconds, const std::string& argument) {
        desktop.AtOutside(Micros(seconds), [this, argument] {
            secondDesktop.previousInstance = true;
            secondDesktop.nowMicros = desktop.nowMicros;
            second = NewCopy(secondDesktop);
            try {
                second->Main(argument);
            } catch (const sim::ProcessEnded&) {
            }
        });
    }

    std::string Setting(const std::string& name) const {
        return registry.Text(kHkeyCurrentUser, kSettingsKey, name).value_or("<missing>");
    }
    void PutSetting(const std::string& name, const std::string& value) {
        registry.PutText(kHkeyCurrentUser, kSettingsKey, name, value);
    }
    // Every text written to the host's "CCSTATUS" field, in order.
    std::vector<std::string> HostStatus() const {
        std::vector<std::string> texts;
        for (const auto& call : host.calls) {
            if (call.dispId == dispid::kPutScreenField && call.args[0].text == "CCSTATUS") {
                texts.push_back(call.args[2].text);
            }
        }
        return texts;
    }
    // The host calls from the first one that passes a text by reference: a delivery.
    std::vector<sim::SimHostScreen::Call> CallsFromDelivery() const {
        for (size_t i = 0; i < host.calls.size(); ++i) {
            for (const auto& arg : host.calls[i].args) {
                if (arg.type == DispArg::Type::TextRef) {
                    return {host.calls.begin() + static_cast<long>(i), host.calls.end()};
                }
            }
        }
        return {};
    }
    // How many calls with this dispatch id lie between two positions in the host calls.
    int CountBetween(int32_t dispId, size_t from, size_t to) const {
        int n = 0;
        for (size_t i = from; i < to && i < host.calls.size(); ++i) {
            n += host.calls[i].dispId == dispId;
        }
        return n;
    }
    // Position of the first CCSTATUS put of this text; host.calls.size() when none.
    size_t StatusPut(const std::string& text) const {
        for (size_t i = 0; i < host.calls.size(); ++i) {
            const auto& call = host.calls[i];
            if (call.dispId == dispid::kPutScreenField && call.args[0].text == "CCSTATUS" &&
                call.args[2].text == text) {
                return i;
            }
        }
        return host.calls.size();
    }
    bool Showed(const std::string& status) const {
        for (const auto& text : desktop.statusHistory) {
            if (text == status) return true;
        }
        return false;
    }
    std::string Log() { return desktop.files["C:\\Ostrel\\CCProcess.log"]; }
    ScannerForm& Form() { return copy->form; }

    sim::SimRegistry registry;
    sim::SimProcesses processes;
    sim::SimDesktop desktop;
    sim::SimDesktop secondDesktop;
    sim::SimHid hid;
    sim::SimEventLog events;  // the Windows event log's entries
    sim::SimHostScreen host;
    uint32_t hostPid = 0;
    sim::SimHid::DeviceId readerId = 0;
    std::unique_ptr<OstrelCopy> copy;
    std::unique_ptr<OstrelCopy> second;
};

}  // namespace ostrel
