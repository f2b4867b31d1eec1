// Track data is overwritten once used: the wipe itself, and what a whole program keeps of a
// swipe after handing it on, refusing it, or failing to decode it.
#include <gtest/gtest.h>

#include <algorithm>

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
