#pragma once
// Read statistics per reader and per Windows user: the swipes each reader read and why the
// others were not read, the cards delivered, the requests that timed out, and its last swipes,
// so that a reader wearing out is noticed before the cashiers complain. Only outcomes are kept:
// nothing of a card, nothing that comes from one.
//
// They live under a key of the program's own, one subkey per reader, and not under the session
// table's key: every change there wakes every running copy, and a subkey made under it would too
// (REG_NOTIFY_CHANGE_NAME: "Notify the caller if a subkey is added or deleted"). Nothing here
// fails a swipe or waits for one: a value that cannot be read leaves that reader uncounted, one
// that cannot be written is skipped.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/desktop.h"
#include "platform/registry.h"
#include "reader/reader_identity.h"

namespace ostrel {

// Under HKEY_CURRENT_USER. The training build keeps its simulated reader's apart.
constexpr const char* kStatisticsPath = "Software\\Ostrel Interface\\Readers";
constexpr const char* kTrainingStatisticsPath = "Software\\Ostrel Interface\\Training readers";

// How a swipe the reader delivered ended, as far as the reader is concerned.
enum class SwipeOutcome : uint8_t {
    Read,           // track 1 came (what the card holds is no fault of the reader's)
    Track1Missing,  // track 1 empty, or too short to be one
    TrackStatus,    // track 1's decode status says it was misread
    Undecodable,    // the report itself does not decode
};

// A reader that fails at a rate no cashier's technique explains is warned of once, at so many
// failed of its last swipes, and again only after no more than kRecoveredSwipes of them fail:
// a rate that hovers at the threshold does not warn at every other swipe.
constexpr int kRecentSwipes = 10;
constexpr int kFailingSwipes = 5;
constexpr int kRecoveredSwipes = 2;

// One reader's statistics as stored. A count is nothing when it could not be read.
struct ReaderCounts {
    std::string name;         // the key's: serial number, or model
    std::string description;  // ReaderIdentity::Description when it was last taken
    std::string manufacturer, product, serialNumber, release;  // "" where none
    uint32_t productId = 0;
    uint32_t read = 0, track1Missing = 0, trackStatus = 0, undecodable = 0;
    uint32_t delivered = 0, timedOut = 0;
    std::string firstCount, lastGoodRead;  // local dates, "2026-03-04"; "" before
    std::string recent;                    // the last swipes, oldest first: R read, F not read
    bool warned = false;                   // warned of, and not recovered since

    int RecentFailures() const;
};

// What the failing-reader warning says.
struct FailingReader {
    std::string reader;  // its description
    int failed = 0;
    int of = 0;
};

class ReaderStatistics {
  public:
    ReaderStatistics(Registry& registry, Desktop& desktop)
        : registry_(registry), desktop_(desktop) {}
    ReaderStatistics(const ReaderStatistics&) = delete;
    ReaderStatistics& operator=(const ReaderStatistics&) = delete;

    void SetPath(std::string path) { path_ = std::move(path); }

    // The reader taken for reading: counted from now on, its identity kept beside its counts.
    // When it is another than the reader this user's copies took last, that one's description
    // (its key's name if none): a reader swapped or moved. Nothing for the first reader ever.
    std::optional<std::string> ReaderTaken(const ReaderIdentity& reader);
    // A swipe the reader delivered, once it has been handled. A warning when it is due now.
    std::optional<FailingReader> CountSwipe(SwipeOutcome outcome, bool delivered);
    void CountTimedOut();

  private:
    struct Write;
    void Store(const std::vector<Write>& writes);
    void FirstCount(std::vector<Write>& writes);

    Registry& registry_;
    Desktop& desktop_;
    std::string path_ = kStatisticsPath;
    std::optional<ReaderCounts> reader_;  // the reader taken, when its counts could be read
};

// Every reader counted for this user, for the diagnostics tool.
struct StatisticsView {
    bool readable = true;    // false: the key or a reader's values could not be read
    std::string lastReader;  // the key's name of the reader taken last
    std::vector<ReaderCounts> readers;
};
StatisticsView ReadStatistics(Registry& registry, const std::string& path = kStatisticsPath);

}  // namespace ostrel
