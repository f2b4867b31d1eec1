// A soak in virtual time: 10,000 swipes, good and bad mixed, with read failures, read-backs that
// differ, requests that time out, the host leaving its screen, and swipes that end the program
// (the host starts it again, as it would). Handles of the simulated platform, host attachments
// of the running copy and the live allocations of this whole process (the program, the simulated
// platform and the test, less what the simulation records for tests) and the card data store's
// are taken at the start, in the middle and at the end, printed, and must not grow.
//
// This program replaces the global operator new and delete to count live allocations; the
// other test programs keep the standard ones.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <new>
#include <random>

#include "shell/status_texts.h"
#include "support/card_store.h"
#include "tests/logic/program_harness.h"

namespace {

size_t liveAllocations = 0;
size_t liveBytes = 0;
// Room before each block for its size, keeping the block as aligned as malloc's.
constexpr size_t kHeader = alignof(std::max_align_t);

void* Allocate(size_t n) {
    auto* block = static_cast<unsigned char*>(std::malloc(n + kHeader));
    if (!block) throw std::bad_alloc();
    *reinterpret_cast<size_t*>(block) = n;
    ++liveAllocations;
    liveBytes += n;
    return block + kHeader;
}

void Release(void* p) noexcept {
    if (!p) return;
    unsigned char* block = static_cast<unsigned char*>(p) - kHeader;
    --liveAllocations;
    liveBytes -= *reinterpret_cast<size_t*>(block);
    std::free(block);
}

}  // namespace

void* operator new(size_t n) {
    return Allocate(n);
}
void* operator new[](size_t n) {
    return Allocate(n);
}
void* operator new(size_t n, const std::nothrow_t&) noexcept {
    try {
        return Allocate(n);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](size_t n, const std::nothrow_t& tag) noexcept {
    return operator new(n, tag);
}
void operator delete(void* p) noexcept {
    Release(p);
}
void operator delete[](void* p) noexcept {
    Release(p);
}
void operator delete(void* p, size_t) noexcept {
    Release(p);
}
void operator delete[](void* p, size_t) noexcept {
    Release(p);
}

namespace ostrel {
namespace {

constexpr int kSwipes = 10000;
// Growth allowed between two measures: what a container's spare capacity may hold.
constexpr size_t kAllocationSlack = 64;
constexpr size_t kByteSlack = 16 * 1024;

struct Card {
    const char* track;
    const char* number;  // as the host receives it
};
const Card kCards[] = {
    {"%B4111111111111111^DOE/JOHN Q^2512101", "4111111111111111"},
    {"%B5500000000000004^ROE/RICHARD^27011010000000000000", "5500000000000004"},
    {"%B378282246310005^SMITH/ANNA^2609101", "378282246310005"},
    {"%B6011111111111117^LEE/KIM^2803101", "6011111111111117"},
    {"%B4012 8888 8888 1881^JOHN Q SMITH ^2512101", "4012888888881881"},
};

enum class Event {
    GoodCard,
    Track2Only,        // no track 1: the clerk is asked to swipe again
    HidReadFailure,    // the pending read fails, then a good card
    ReadBackDiffers,   // the host gives the number back otherwise: fields cleared
    MalformedTrack,    // fails a check: the program ends and the host starts it again
    CardReadError,     // track 1 not decoded: the same
    RequestTimesOut,   // no card for the whole request, then the clerk clicks again
    HostScreenMovesOn  // the host leaves the screen and comes back with a new request
};

struct Measure {
    int swipes;
    size_t hidResources, registryHandles, processHandles, attachments;
    size_t allocations, bytes;
    card_store::Usage store;  // the card data store's, outside the allocations above
};

class Soak {
  public:
    Soak() {
        h.hid.recordCalls = false;
        h.host.onCall = [this](const sim::SimHostScreen::Call& call) {
            if (call.dispId == dispid::kAttachSession) ++attaches_;
            if (call.dispId == dispid::kDetachSession) ++detaches_;
        };
        h.host.readBack = [this](const std::string& field, const std::string& stored) {
            if (field != "W1AC#" || differing_ == 0) return stored;
            --differing_;
            return stored + " ";
        };
    }

    void Run() {
        h.At(6, [this] { Next(); });
        for (;;) {
            try {
                h.copy->Main("C,Front Desk");
            } catch (const sim::ProcessEnded&) {
                // Ended by a swipe it could not use: the host starts it again for its screen.
                // Its attachment to the host went with it.
                ++restarts;
                attaches_ = detaches_ = 0;
                h.copy.reset();
                h.copy = h.NewCopy(h.desktop);
            } catch (const Done&) {
                return;
            }
        }
    }

    std::vector<Measure> measures;
    std::vector<std::string> faults;  // what went otherwise than it should
    int swipes = 0;
    int delivered = 0;
    int restarts = 0;
    int timeouts = 0;

  private:
    struct Done {};

    void Next() {
        ForgetRecords();
        if (swipes >= kSwipes && measures.size() == 3) throw Done{};
        const auto card = kCards[random_() % std::size(kCards)];
        const int roll = static_cast<int>(random_() % 100);
        const Event event = roll < 55   ? Event::GoodCard
                            : roll < 63 ? Event::Track2Only
                            : roll < 70 ? Event::HidReadFailure
                            : roll < 76 ? Event::ReadBackDiffers
                            : roll < 82 ? Event::MalformedTrack
                            : roll < 86 ? Event::CardReadError
                            : roll < 92 ? Event::RequestTimesOut
                                        : Event::HostScreenMovesOn;
        const double now = static_cast<double>(h.desktop.nowMicros) / 1e6;
        switch (event) {
            case Event::GoodCard:
                Swipe(card.track);
                After(now + 2, [this, card] { ExpectDelivered(card); });
                break;
            case Event::Track2Only: {
                sim::Swipe swipe;
                swipe.tracks[1] = ";4111111111111111=2512101?";
                Swipe(swipe);
                After(now + 3, [this] { Expect(h.host.Field(2, "W1AC#").empty(), "track 2"); });
                break;
            }
            case Event::HidReadFailure:
                h.hid.FailNextRead(h.readerId, 31);
                // The failed read closes the reader and a tick opens it again: a card swiped
                // meanwhile reaches no handle and is lost, as it would be.
                h.At(now + 3, [this, card] { Swipe(card.track); });
                After(now + 5, [this, card] { ExpectDelivered(card); });
                break;
            case Event::ReadBackDiffers:
                differing_ = 1;
                Swipe(card.track);
                After(now + 3, [this] {
                    Expect(h.Showed(status::kIncomplete), "read-back");
                    Expect(h.host.Field(2, "W1AC#").empty(), "read-back cleared");
                });
                break;
            case Event::MalformedTrack:
                Swipe("%B4111111111111111^DOE JOHN 2512");
                After(now + 9, [this] { ExpectArmedAgain("malformed"); });
                break;
            case Event::CardReadError: {
                sim::Swipe swipe;
                swipe.tracks[0] = card.track;
                swipe.decodeStatus[0] = 1;
                Swipe(swipe);
                After(now + 7, [this] { ExpectArmedAgain("read error"); });
                break;
            }
            case Event::RequestTimesOut:
                h.At(now + 17, [this] {
                    ++timeouts;
                    Expect(h.Showed(status::kTimedOut), "time-out");
                    SecondStart();
                    After(Now() + 2, [this] { ExpectArmedAgain("after time-out"); });
                });
                break;
            case Event::HostScreenMovesOn:
                h.host.sessionInfo[2] = "Till 4";
                h.At(now + 1.5, [this] {
                    Expect(!h.copy->ScannerActive, "left the screen");
                    h.host.sessionInfo[2] = "Front Desk";
                    SecondStart();
                    After(Now() + 2, [this] { ExpectArmedAgain("back on the screen"); });
                });
                break;
        }
    }

    double Now() const { return static_cast<double>(h.desktop.nowMicros) / 1e6; }

    // Runs check at the time given, then the next event. Each event ends in one such check.
    void After(double at, std::function<void()> check) {
        h.At(at, [this, check] {
            check();
            Next();
        });
    }

    void Swipe(const std::string& track1) {
        sim::Swipe swipe;
        swipe.tracks[0] = sim::Bytes(std::string_view(track1));
        Swipe(swipe);
    }
    void Swipe(const sim::Swipe& swipe) {
        ++swipes;
        h.hid.QueueReport(h.readerId, sim::SwipeReport(2, swipe));
    }

    void SecondStart() {
        h.secondDesktop = sim::SimDesktop{};
        h.secondDesktop.previousInstance = true;
        h.secondDesktop.nowMicros = h.desktop.nowMicros;
        h.second = h.NewCopy(h.secondDesktop);
        try {
            h.second->Main("C,Front Desk");
        } catch (const sim::ProcessEnded&) {
        }
        h.second.reset();
    }

    void ExpectDelivered(const Card& card) {
        const bool ok = h.host.Field(2, "W1AC#") == card.number &&
                        h.desktop.labels[Label::Status] == status::kSent;
        Expect(ok, std::string("card ") + card.number + " [" + h.desktop.labels[Label::Status] +
                       "] [" + h.host.Field(2, "W1AC#") + "] " + h.Setting("MSconnect"));
        if (!ok) return;
        ++delivered;
        const int checkpoint = static_cast<int>(measures.size()) * kSwipes / 2;
        if (swipes >= checkpoint && measures.size() < 3) Take();
    }

    void ExpectArmedAgain(const std::string& what) {
        Expect(h.copy->ScannerActive && h.Setting("MSconnect") == "2YFront Desk~", what);
    }

    void Expect(bool ok, const std::string& what) {
        if (!ok && faults.size() < 20)
            faults.push_back(what + " at swipe " + std::to_string(swipes));
    }

    // What the simulated platform records for tests is no part of the program: let it go.
    template <typename Record>
    static void Forget(Record& record) {
        record.clear();
        record.shrink_to_fit();
    }
    void ForgetRecords() {
        Forget(h.host.calls);
        Forget(h.registry.writes);
        Forget(h.desktop.statusHistory);
        Forget(h.desktop.labelHistory);
        Forget(h.desktop.messageBoxes);
        Forget(h.desktop.iconCalls);
        Forget(h.events.entries);
        Forget(h.memory.calls);
        h.desktop.files.clear();
    }

    void Take() {
        ForgetRecords();
        measures.push_back(
            Measure{swipes, h.hid.OpenResources(),
                    h.registry.OpenHandles() + h.registry.OpenEvents() + h.registry.Watches(),
                    h.processes.OpenHandles(), attaches_ - detaches_, liveAllocations, liveBytes,
                    card_store::CurrentUsage()});
    }

    ProgramHarness h;
    std::mt19937 random_{20240611};
    size_t attaches_ = 0;
    size_t detaches_ = 0;
    int differing_ = 0;
};

TEST(Soak, TenThousandSwipesLeaveNoHandleAttachmentOrAllocationBehind) {
    Soak soak;
    soak.Run();
    ASSERT_EQ(soak.measures.size(), 3u);
    std::printf("soak: %d swipes, %d delivered, %d restarts after unusable swipes, %d time-outs\n",
                soak.swipes, soak.delivered, soak.restarts, soak.timeouts);
    for (const Measure& m : soak.measures) {
        std::printf(
            "soak: after %5d swipes: HID resources %zu, registry handles %zu, process handles "
            "%zu, host attachments %zu, live allocations %zu (%zu bytes), card data store %zu "
            "bytes in %zu blocks\n",
            m.swipes, m.hidResources, m.registryHandles, m.processHandles, m.attachments,
            m.allocations, m.bytes, m.store.bytesInUse, m.store.blocksInUse);
    }
    for (const std::string& fault : soak.faults)
        ADD_FAILURE() << fault;
    const Measure& start = soak.measures[0];
    for (const Measure& m : {soak.measures[1], soak.measures[2]}) {
        EXPECT_EQ(m.hidResources, start.hidResources);
        EXPECT_EQ(m.registryHandles, start.registryHandles);
        EXPECT_EQ(m.processHandles, start.processHandles);
        EXPECT_LE(m.attachments, 1u);
        EXPECT_LE(m.allocations, start.allocations + kAllocationSlack);
        EXPECT_LE(m.bytes, start.bytes + kByteSlack);
        EXPECT_LE(m.store.bytesInUse, start.store.bytesInUse + kByteSlack);
        EXPECT_EQ(m.store.overflows, 0u);
    }
    EXPECT_GE(soak.delivered, kSwipes / 2);
}

}  // namespace
}  // namespace ostrel
