#pragma once
// The reader models, by USB product id: whether the program can use one, how its tracks come,
// and which values its input report carries. The search, the polling timer, the report layout
// and decoder, and the reading of track 1 all ask this table.
#include <cstdint>

namespace ostrel {

enum class ReaderSupport : uint8_t {
    NotAReader,  // no model of ours: the program cannot go on with it
    Improper,    // a model of ours that cannot read cards for the host: "Improper Input Device."
    Supported,
};

enum class TrackForm : uint8_t {
    Characters,
    // Raw bytes in blocks of 8, kept as hex pairs; the StripePrint data comes in blocks of 8 too.
    HexBlocksOf8,
};

// The groups of values an input report can carry. Each layout row and decode step belongs to
// one; a model's report carries the groups it delivers and nothing else.
enum class ReaderValue : uint16_t {
    Tracks = 1 << 0,           // decode status, length and data of tracks 1 to 3; encode type
    CardStatus = 1 << 1,       // CardSts
    StripePrint = 1 << 2,      // its status, length and data
    SerialNumber = 1 << 3,     // the reader's own
    DukptKsn = 1 << 4,         // DUKPT key serial number
    SequenceCounter = 1 << 5,  // SequenceCounter
    MaskedTracks = 1 << 6,     // tracks 1 to 3 again, masked, as characters
    EncryptedSessionId = 1 << 7,
};

// A set of the groups above.
struct ReaderValues {
    uint16_t bits = 0;
    constexpr ReaderValues(ReaderValue value) : bits(static_cast<uint16_t>(value)) {}
    constexpr bool Has(ReaderValue value) const {
        return (bits & static_cast<uint16_t>(value)) != 0;
    }
};

constexpr ReaderValues operator|(ReaderValues set, ReaderValue value) {
    set.bits = static_cast<uint16_t>(set.bits | static_cast<uint16_t>(value));
    return set;
}

struct ReaderModel {
    uint16_t productId;
    ReaderSupport support;
    TrackForm tracks;
    ReaderValues values;

    constexpr bool Delivers(ReaderValue value) const { return values.Has(value); }
};

namespace reader_models {
using enum ReaderValue;
using enum ReaderSupport;
using enum TrackForm;

inline constexpr ReaderModel kAll[] = {
    {1, Improper, Characters, Tracks},
    {2, Supported, Characters, Tracks},
    {3, Supported, Characters, Tracks | CardStatus},
    {9, Supported, Characters, Tracks | StripePrint | SerialNumber | SequenceCounter},
    {14, Supported, HexBlocksOf8, Tracks | StripePrint | SerialNumber | DukptKsn | SequenceCounter},
    {15, Supported, HexBlocksOf8,
     Tracks | StripePrint | SerialNumber | DukptKsn | MaskedTracks | EncryptedSessionId},
};

// What any other product id is taken as: no reader, and a report of the tracks alone.
inline constexpr ReaderModel kNotAReader = {0, NotAReader, Characters, Tracks};
}  // namespace reader_models

constexpr const ReaderModel& ReaderModelFor(uint16_t productId) {
    for (const ReaderModel& model : reader_models::kAll) {
        if (model.productId == productId) return model;
    }
    return reader_models::kNotAReader;
}

// One of the vendor's reader models, usable or not: the search takes it as the reader.
constexpr bool IsReaderModel(uint16_t productId) {
    return ReaderModelFor(productId).support != ReaderSupport::NotAReader;
}

}  // namespace ostrel
