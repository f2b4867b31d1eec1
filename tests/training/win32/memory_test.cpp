// What the running program keeps of a card: its whole committed memory read from outside, as
// anyone with a debugger's rights could, a moment after a swipe was handed to the host.
#include <windows.h>

#include <gtest/gtest.h>

#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "shell/status_texts.h"
#include "tests/training/win32/end_to_end_harness.h"

namespace ostrel::training::e2e {
namespace {

// The visa test card's track 1 as the reader reads it.
constexpr const char* kVisaTrack1 = "%B4111111111111111^DOE/JOHN Q^2812101100000000000?";

struct Found {
    uintptr_t address;
    DWORD type;  // MEM_IMAGE, MEM_MAPPED or MEM_PRIVATE
};

// Every place in the process's committed, readable memory where text stands.
std::vector<Found> FindInMemory(HANDLE process, const std::string& text) {
    std::vector<Found> found;
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    auto at = reinterpret_cast<uintptr_t>(system.lpMinimumApplicationAddress);
    const auto end = reinterpret_cast<uintptr_t>(system.lpMaximumApplicationAddress);
    std::vector<char> bytes;
    while (at < end) {
        MEMORY_BASIC_INFORMATION region;
        if (VirtualQueryEx(process, reinterpret_cast<void*>(at), &region, sizeof region) == 0)
            break;
        const auto base = reinterpret_cast<uintptr_t>(region.BaseAddress);
        const bool readable = region.State == MEM_COMMIT &&
                              !(region.Protect & (PAGE_GUARD | PAGE_NOACCESS)) &&
                              region.Protect != 0;
        if (readable) {
            bytes.resize(region.RegionSize);
            SIZE_T read = 0;
            if (ReadProcessMemory(process, region.BaseAddress, bytes.data(), bytes.size(), &read) ||
                read > 0) {
                const std::string_view memory(bytes.data(), read);
                for (size_t p = memory.find(text); p != std::string_view::npos;
                     p = memory.find(text, p + 1)) {
                    found.push_back({base + p, region.Type});
                }
            }
        }
        at = base + region.RegionSize;
    }
    return found;
}

std::string Describe(const std::vector<Found>& found) {
    std::ostringstream out;
    for (const Found& f : found) {
        out << std::hex << "0x" << f.address << " in "
            << (f.type == MEM_IMAGE    ? "an image"
                : f.type == MEM_MAPPED ? "a mapping"
                                       : "private memory")
            << "\n";
    }
    return out.str();
}

TEST(EndToEndMemory, TwoSecondsAfterADeliveryTheProgramHoldsNoTrack1) {
    EmulatorRun run;
    ASSERT_TRUE(run.Started()) << "the host emulator did not start";
    Process& program = run.Scan("C");
    ASSERT_TRUE(program.Valid()) << "the program did not start";
    ASSERT_TRUE(WaitFor([&] { return run.Field("C", "CCSTATUS") == status::kPleaseSwipe; }, 20000))
        << run.Field("C", "CCSTATUS") << run.Dialogs();

    const HANDLE memory =
        OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, program.Id());
    ASSERT_NE(memory, nullptr) << GetLastError();
    // The scan finds what it looks for: the session text the program serves, which it keeps for
    // as long as it runs. (A status text lives in no place of its own: the label keeps it as
    // Unicode, and its ANSI copies are freed memory that later allocations reuse.)
    EXPECT_FALSE(FindInMemory(memory, "Front Desk").empty());

    ASSERT_EQ(run.Call({"swipe", "visa"})[0], "ok");
    ASSERT_TRUE(WaitFor([&] { return run.Field("C", "CCSTATUS") == status::kSent; }, 10000))
        << run.Field("C", "CCSTATUS") << run.Dialogs();
    EXPECT_EQ(run.Field("C", "W1AC#"), "4111111111111111");
    Sleep(2000);
    ASSERT_TRUE(program.Running());

    const std::vector<Found> found = FindInMemory(memory, kVisaTrack1);
    EXPECT_TRUE(found.empty()) << "track 1 found at\n" << Describe(found);
    // What is left of the number alone, for the record: the host's fields and the program's
    // calls to its control hold it by design.
    std::cout << "[ memory   ] card number found "
              << FindInMemory(memory, "4111111111111111").size() << " times\n";
    CloseHandle(memory);
}

}  // namespace
}  // namespace ostrel::training::e2e
