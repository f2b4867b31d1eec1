// Track data is overwritten once used: the wipe itself, and what a whole program keeps of a
// swipe after handing it on, refusing it, or failing to decode it. Card data lives in the card
// data store only, whose pages the program locks and keeps out of crash dumps at start.
#include <gtest/gtest.h>

#include <algorithm>

#include "shell/status_texts.h"
#include "support/card_store.h"
#include "support/wipe.h"
#include "tests/card_reader_test_access.h"
#include "tests/logic/program_harness.h"

namespace ostrel {
namespace {

using End = ProgramHarness::End;

template <class Bytes>
bool AllZero(const Bytes& bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0; });
}

// The whole of a text's buffer, past its end up to its capacity.
template <class Text>
std::string_view WholeBuffer(const Text& text) {
    return {text.data(), text.capacity()};
}

TEST(Wipe, OverwritesTheWholeBufferAndKeepsItForTheNextUse) {
    std::string track = "%B4111111111111111^DOE/JOHN Q^2512101";
    track.resize(5);  // what lies past the end was the track too
    const size_t capacity = track.capacity();
    Wipe(track);
    EXPECT_TRUE(track.empty());
    EXPECT_EQ(track.capacity(), capacity);
    EXPECT_EQ(WholeBuffer(track).find_first_not_of('\0'), std::string_view::npos);

    std::vector<uint8_t> report{1, 2, 3, 4};
    report.reserve(64);
    Wipe(report);
    EXPECT_EQ(report, std::vector<uint8_t>(4, 0));
    report.resize(report.capacity());
    EXPECT_TRUE(AllZero(report));
}

TEST(Wipe, ACardTextIsOverwrittenWhereverItWas) {
    std::optional<CardText> held(CardText("%B4111111111111111^DOE/JOHN Q^2512101"));
    const char* buffer = held->data();
    CardText moved(std::move(*held));
    EXPECT_TRUE(held->empty());
    EXPECT_EQ(moved.data(), buffer);  // handed over, not copied
    EXPECT_EQ(moved, "%B4111111111111111^DOE/JOHN Q^2512101");
    CardText assigned = "a longer text that the move takes the place of";
    const char* old = assigned.data();
    const size_t oldCapacity = assigned.capacity();
    assigned = std::move(moved);
    EXPECT_TRUE(moved.empty());
    EXPECT_EQ(assigned.view().substr(0, 6), "%B4111");
    // The buffer let go is overwritten as the store takes it back.
    EXPECT_EQ(std::string_view(old, oldCapacity).find_first_not_of('\0'), std::string_view::npos);
    // A text that grows leaves nothing in the buffer it outgrew.
    const char* small = assigned.data();
    const size_t smallCapacity = assigned.capacity();
    assigned += std::string(smallCapacity, '1');
    EXPECT_NE(assigned.data(), small);
    EXPECT_EQ(std::string_view(small, smallCapacity).find_first_not_of('\0'),
              std::string_view::npos);
    // Assigning a part of itself keeps the part.
    assigned = assigned.view().substr(2, 4);
    EXPECT_EQ(assigned, "4111");
}

// What the program keeps of a swipe once it is done with it: nothing of the tracks.
void ExpectNothingKept(ProgramHarness& h) {
    const CardReader& reader = h.copy->reader;
    const SwipeRecord& swipe = reader.Swipe();
    // A buffer never written in this run holds whatever its allocation held (an allocator may
    // fill it with a printable pattern): what must not be there is a piece of the swiped card.
    for (const CardText* track : {&swipe.Tk1Data, &swipe.Tk2Data, &swipe.Tk3Data, &swipe.MTk1Data,
                                  &swipe.MTk2Data, &swipe.MTk3Data}) {
        EXPECT_TRUE(track->empty());
        for (const std::string_view piece : {"41111111", "1111=25", "^DOE/JO", "OHN Q^"}) {
            EXPECT_EQ(WholeBuffer(*track).find(piece), std::string_view::npos)
                << "a piece of the card left: " << piece;
        }
    }
    const CardBytes& report = CardReaderTestAccess::InputReport(reader);
    EXPECT_FALSE(report.empty());  // overwritten, not let go: it is read into again
    EXPECT_TRUE(AllZero(report));
    for (uint16_t usage : {0x30, 0x31, 0x32, 0x33, 0x4A, 0x4B, 0x4C}) {
        EXPECT_TRUE(AllZero(CardReaderTestAccess::UsageBuffer(reader, usage))) << usage;
    }
    const CardFields& card = h.Form().Card;
    EXPECT_EQ(card.CardNumber, "");
    EXPECT_EQ(card.HolderName, "");
    EXPECT_EQ(h.Form().HostCardNumber, "");
}

TEST(ProgramWipesSwipes, ADeliveredSwipeLeavesNothingOfItsTracksForEveryModel) {
    for (uint16_t model : {2, 3, 9, 14, 15}) {
        SCOPED_TRACE(model);
        ProgramHarness h;
        h.UseReaderModel(model);
        sim::Swipe swipe;
        swipe.tracks = {kVisaTrack, ";4111111111111111=2512101?", ";0123456789=1?"};
        swipe.maskedTracks = {"%B4111********1111^DOE/JOHN Q^", ";4111********1111=", ""};
        swipe.stripePrint = {1, 2, 3, 4};
        h.SwipeAt(8, swipe);
        EXPECT_EQ(h.Run("C,Front Desk", 10), End::Stopped);
        EXPECT_EQ(h.host.Field(2, "W1AC#"), "4111111111111111");
        ExpectNothingKept(h);
        // The masked model carries the name and expiry over to its next swipe; no other does.
        const CardFields& card = h.Form().Card;
        EXPECT_EQ(card.LastName, model == 15 ? "DOE" : "");
        EXPECT_EQ(card.CardExpiry, model == 15 ? "1225" : "");
    }
}

TEST(ProgramWipesSwipes, ARefusedOrUndecodableSwipeLeavesNothingEither) {
    // A failed check on the masked model: the program stays armed.
    {
        ProgramHarness h;
        h.UseReaderModel(15);
        h.SwipeAt(8, "%B4111111111111111^DOE/JOHN Q^");
        EXPECT_EQ(h.Run("C,Front Desk", 12), End::Stopped);
        EXPECT_EQ(h.HostStatus().back(), "Expiration date can't be retrieved.");
        ExpectNothingKept(h);
    }
    // A report that does not decode (a track longer than its buffer) is never interpreted.
    {
        ProgramHarness h;
        sim::Swipe swipe;
        swipe.tracks[0] = kVisaTrack;
        swipe.lengths[0] = 5000;
        h.SwipeAt(8, swipe);
        EXPECT_EQ(h.Run("C,Front Desk", 10), End::Stopped);
        EXPECT_EQ(h.host.Field(2, "W1AC#"), "");
        ExpectNothingKept(h);
    }
    // A host that fails the delivery: the error is shown, the swipe is gone all the same.
    {
        ProgramHarness h;
        h.At(8, [&h] { h.host.failNext[dispid::kGetScreenField] = {-1, "gone"}; });
        h.UseReaderModel(15);
        h.SwipeAt(8, kVisaTrack);
        h.At(9.5, [&h] { ExpectNothingKept(h); });
        h.Run("C,Front Desk", 10);
    }
}

TEST(CardStore, BlocksComeFromItsPagesAndAreOverwrittenAsTheyGoBack) {
    const card_store::Usage before = card_store::CurrentUsage();
    auto* a = static_cast<char*>(card_store::Take(20));
    auto* b = static_cast<char*>(card_store::Take(1));
    EXPECT_TRUE(card_store::Holds(a) && card_store::Holds(b));
    EXPECT_EQ(reinterpret_cast<uintptr_t>(a) % card_store::kGranule, 0u);
    EXPECT_EQ(card_store::CurrentUsage().bytesInUse, before.bytesInUse + 3 * card_store::kGranule);
    std::fill(a, a + 20, '4');
    card_store::GiveBack(a, 20);
    EXPECT_TRUE(std::all_of(a, a + 2 * card_store::kGranule, [](char c) { return c == 0; }));
    // The room given back is taken again.
    void* again = card_store::Take(32);
    EXPECT_EQ(again, a);
    card_store::GiveBack(again, 32);
    card_store::GiveBack(b, 1);
    // A block the store has no room for comes from the heap, and is counted.
    void* large = card_store::Take(card_store::kBytes + 1);
    EXPECT_FALSE(card_store::Holds(large));
    card_store::GiveBack(large, card_store::kBytes + 1);
    const card_store::Usage after = card_store::CurrentUsage();
    EXPECT_EQ(after.bytesInUse, before.bytesInUse);
    EXPECT_EQ(after.overflows, before.overflows + 1);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(card_store::StorePages().first) % card_store::kPageSize,
              0u);
}

// Every buffer of the program's that holds card data, by name, with its bytes' address.
std::vector<std::pair<std::string, const void*>> CardBuffers(ProgramHarness& h) {
    auto buffers = CardReaderTestAccess::CardBuffers(h.copy->reader);
    const CardFields& c = h.Form().Card;
    for (const auto& [name, text] :
         {std::pair{"CardNumber", &c.CardNumber}, {"HolderName", &c.HolderName},
          {"FirstName", &c.FirstName}, {"MiddleName", &c.MiddleName}, {"LastName", &c.LastName},
          {"CardExpiry", &c.CardExpiry}, {"CardTypeName", &c.CardTypeName},
          {"CardTypeCode", &c.CardTypeCode}, {"HostCardNumber", &h.Form().HostCardNumber}}) {
        buffers.emplace_back(name, text->data());
    }
    return buffers;
}

// At a moment of a scenario: every card buffer that holds anything lies in the store's pages,
// which the program locked and kept out of crash dumps; what is in use is named.
void ExpectInGuardedStore(ProgramHarness& h, const std::string& moment,
                          const std::vector<std::string>& inUse) {
    SCOPED_TRACE(moment);
    const card_store::Pages store = card_store::StorePages();
    EXPECT_TRUE(h.memory.Locked(store.first, store.bytes));
    EXPECT_TRUE(h.memory.Excluded(store.first, store.bytes));
    size_t held = 0;
    for (const auto& [name, data] : CardBuffers(h)) {
        if (!data) continue;
        ++held;
        EXPECT_TRUE(card_store::Holds(data)) << name << " lies outside the store";
    }
    EXPECT_GE(held, inUse.size());
    const SwipeRecord& swipe = h.copy->reader.Swipe();
    for (const std::string& name : inUse) {
        const bool full = name == "Tk1Data"      ? !swipe.Tk1Data.empty()
                          : name == "CardNumber" ? !h.Form().Card.CardNumber.empty()
                          : name == "report"     ? !CardReaderTestAccess::InputReport(
                                                       h.copy->reader)
                                                       .empty()
                                                 : !h.Form().HostCardNumber.empty();
        EXPECT_TRUE(full) << name << " is not in use at this moment";
    }
}

bool IsStatus(const sim::SimHostScreen::Call& call, const std::string& text) {
    return call.dispId == dispid::kPutScreenField && call.args[0].text == "CCSTATUS" &&
           call.args[2].text == text;
}

TEST(CardStore, EveryCardBufferIsInTheGuardedStoreAcrossASwipeAFailedSwipeAndAReset) {
    const size_t overflows = card_store::CurrentUsage().overflows;
    using Call = sim::SimHostScreen::Call;
    struct Scenario {
        const char* name;
        std::function<void(ProgramHarness&, int& moments)> arm;
        int moments;
    };
    const Scenario scenarios[] = {
        {"a swipe delivered and read back",
         [](ProgramHarness& h, int& moments) {
             h.host.onCall = [&h, &moments](const Call& call) {
                 if (call.dispId == dispid::kGetScreenField && call.args[0].text == "W1AC#") {
                     ExpectInGuardedStore(h, "the read-back", {"report", "Tk1Data", "CardNumber"});
                     ++moments;
                 }
                 if (IsStatus(call, status::kSent)) {
                     ExpectInGuardedStore(h, "sent", {"CardNumber", "HostCardNumber"});
                     ++moments;
                 }
             };
             h.SwipeAt(8, kVisaTrack);
         },
         2},
        {"a swipe that fails its checks (the reader that stays armed)",
         [](ProgramHarness& h, int& moments) {
             h.UseReaderModel(15);
             h.host.onCall = [&h, &moments](const Call& call) {
                 if (IsStatus(call, status::kNoExpiry)) {
                     ExpectInGuardedStore(h, "the failure", {"report", "Tk1Data", "CardNumber"});
                     ++moments;
                 }
             };
             h.SwipeAt(8, "%B4111111111111111^DOE/JOHN Q^");
         },
         1},
        {"a host that fails the read-back, then the failure exit's status: the reset dialog",
         [](ProgramHarness& h, int& moments) {
             h.desktop.answers = {kIdOk, kIdOk};
             h.host.failWhen = [](const Call& call) -> std::optional<sim::SimHostScreen::Failure> {
                 if ((call.dispId == dispid::kGetScreenField && call.args[0].text == "W1AC#") ||
                     IsStatus(call, status::kDeactivated)) {
                     return sim::SimHostScreen::Failure{-1, "refused"};
                 }
                 return std::nullopt;
             };
             // Each box waits for the clerk with the swipe already overwritten.
             h.desktop.onMessageBox = [&h, &moments](const sim::SimDesktop::MessageBoxShown& box) {
                 ExpectInGuardedStore(h, box.caption, {});
                 ExpectNothingKept(h);
                 ++moments;
             };
             h.SwipeAt(8, kVisaTrack);
         },
         2},
    };
    for (const Scenario& s : scenarios) {
        SCOPED_TRACE(s.name);
        ProgramHarness h;
        int moments = 0;
        s.arm(h, moments);
        h.Run("C,Front Desk", 12);
        EXPECT_EQ(moments, s.moments);
        ExpectInGuardedStore(h, "at the end", {});
    }
    // None of it had to be served by the ordinary heap.
    EXPECT_EQ(card_store::CurrentUsage().overflows, overflows);
}

// What the program asks of Windows at start, before its window or the reader, and what it
// logs (once each) of what Windows refuses; it goes on all the same.
TEST(ProcessGuard, PoliciesAreSetAndTheStoreLockedAndExcludedAtStartWhateverWindowsRefuses) {
    using Op = sim::SimProcessMemory::Op;
    constexpr Op kSet = Op::SetMitigation, kLock = Op::LockPages, kGrow = Op::GrowWorkingSet,
                 kExclude = Op::ExcludeFromDumps;
    constexpr size_t kPage = sim::SimProcessMemory::kPageSize;
    struct Case {
        const char* windows;
        std::function<void(sim::SimProcessMemory&)> set;
        std::vector<Op> calls;
        std::vector<std::string> logged;
        bool locked;
        bool excluded;
        size_t policies;
    };
    const Case cases[] = {
        {"Windows 10", [](auto&) {}, {kSet, kSet, kSet, kLock, kExclude}, {}, true, true, 3},
        {"a minimum working set with no room for the store",
         [](auto& m) { m.minimumWorkingSet = 20 * kPage; },
         {kSet, kSet, kSet, kLock, kGrow, kLock, kExclude},
         {},
         true,
         true,
         3},
        {"a working set that may not grow",
         [](auto& m) {
             m.minimumWorkingSet = 20 * kPage;
             m.growError = 1450;
         },
         {kSet, kSet, kSet, kLock, kGrow, kExclude},
         {"did not lock the card data store into memory (error 1450): card data may reach the "
          "page file"},
         false,
         true,
         3},
        {"Windows 7",
         [](auto& m) {
             m.hasMitigationPolicies = false;
             m.excludeResult = kExclusionNotAvailable;
         },
         {kSet, kLock, kExclude},
         {"this Windows sets no mitigation policies",
          "this Windows cannot keep the card data store out of crash dumps"},
         true,
         false,
         0},
        {"Windows 8.1, without the image load policy",
         [](auto& m) { m.refusedPolicies[Mitigation::LocalImagesOnly] = 87; },
         {kSet, kSet, kSet, kLock, kExclude},
         {"refused a mitigation: DLLs only from local files without a low integrity label "
          "(error 87)"},
         true,
         true,
         2},
        {"a dump exclusion refused",
         [](auto& m) { m.excludeResult = static_cast<int32_t>(0x8007000E); },
         {kSet, kSet, kSet, kLock, kExclude},
         {"did not keep the card data store out of crash dumps (0x8007000E)"},
         true,
         false,
         3},
    };
    const card_store::Pages store = card_store::StorePages();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.windows);
        ProgramHarness h;
        c.set(h.memory);
        bool beforeWindowAndReader = true;
        h.memory.onCall = [&h, &beforeWindowAndReader](const auto&) {
            beforeWindowAndReader = beforeWindowAndReader && h.desktop.Events() == nullptr &&
                                    h.hid.OpenResources() == 0;
        };
        h.SwipeAt(8, kVisaTrack);
        EXPECT_EQ(h.Run("C,Front Desk", 10), End::Stopped);
        std::vector<Op> calls;
        for (const auto& call : h.memory.calls)
            calls.push_back(call.op);
        EXPECT_EQ(calls, c.calls);
        EXPECT_TRUE(beforeWindowAndReader);
        EXPECT_EQ(h.memory.Locked(store.first, store.bytes), c.locked);
        EXPECT_EQ(h.memory.Excluded(store.first, store.bytes), c.excluded);
        EXPECT_EQ(h.memory.policies.size(), c.policies);
        const std::string log = h.Log();
        size_t lines = 0;
        for (size_t at = log.find("Process guard: "); at != std::string::npos;
             at = log.find("Process guard: ", at + 1)) {
            ++lines;
        }
        EXPECT_EQ(lines, c.logged.size()) << log;
        for (const std::string& line : c.logged)
            EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
        // The program goes on as ever.
        EXPECT_EQ(h.host.Field(2, "W1AC#"), "4111111111111111");
    }
}

TEST(ProgramWipesSwipes, ACardSwipedBetweenRequestsIsThrownAwayOverwritten) {
    ProgramHarness h;
    h.At(8, [&h] { h.host.sessionInfo[2] = "Guest Folio"; });  // the request ends
    h.SwipeAt(10, kVisaTrack);  // into the read still pending, thrown away as it comes
    bool readMeanwhile = false;
    h.At(11, [&h, &readMeanwhile] {
        readMeanwhile = h.copy->reader.ReadsStarted() > 0 && h.copy->reader.IsReadPending();
        ExpectNothingKept(h);
        h.host.sessionInfo[2] = "Front Desk";
    });
    h.SecondStartAt(12.5, "C,Front Desk");
    h.At(16, [&h] { ExpectNothingKept(h); });
    EXPECT_EQ(h.Run("C,Front Desk", 16.5), End::Stopped);
    EXPECT_TRUE(readMeanwhile);  // the next read waits, for the next card to be thrown away too
    EXPECT_EQ(h.host.Field(2, "W1AC#"), "");
}

}  // namespace
}  // namespace ostrel
