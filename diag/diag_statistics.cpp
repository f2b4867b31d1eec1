// The read statistics the program keeps for this Windows user, reader by reader, and whether the
// reader taken last fails more of its swipes than a cashier's technique explains.
#include "diag/diag_items.h"
#include "reader/reader_statistics.h"
#include "support/text_util.h"

namespace ostrel::diag {

namespace {

std::string Shown(const std::string& text) {
    return text.empty() ? "(none given)" : "\"" + text + "\"";
}

std::string DateOrNever(const std::string& date) {
    return date.empty() ? "never" : date;
}

Row RowOf(const ReaderCounts& reader, bool inUseLast) {
    const auto count = [](uint32_t n) { return std::to_string(n); };
    return {
        {"reader", reader.name},
        {"in use last", inUseLast ? "yes" : "no"},
        {"manufacturer", Shown(reader.manufacturer)},
        {"product", Shown(reader.product)},
        {"serial number", Shown(reader.serialNumber)},
        {"product id", count(reader.productId)},
        {"release", reader.release},
        {"swipes read", count(reader.read)},
        {"not read, track 1 missing", count(reader.track1Missing)},
        {"not read, track status", count(reader.trackStatus)},
        {"not read, report not decoded", count(reader.undecodable)},
        {"cards delivered", count(reader.delivered)},
        {"requests timed out", count(reader.timedOut)},
        {"recent swipes failed",
         std::to_string(reader.RecentFailures()) + " of " + std::to_string(reader.recent.size())},
        {"first count", DateOrNever(reader.firstCount)},
        {"last good read", DateOrNever(reader.lastGoodRead)},
    };
}

}  // namespace

Item GatherStatistics(Registry& registry) {
    Item item("statistics", "Read statistics");
    item.Add("key", std::string("HKCU\\") + kStatisticsPath);
    const StatisticsView view = ReadStatistics(registry);
    item.Add("readers counted", std::to_string(view.readers.size()));
    item.Add("reader in use last", view.lastReader.empty() ? "none yet" : view.lastReader);
    item.rowsName = "readers";
    for (const ReaderCounts& reader : view.readers) {
        const bool inUseLast = ToUpper(reader.name) == ToUpper(view.lastReader);
        item.rows.push_back(RowOf(reader, inUseLast));
        // A reader no longer in use has been dealt with; the one in use is what to mend.
        if (inUseLast && (reader.warned || reader.RecentFailures() >= kFailingSwipes)) {
            item.Judge(Verdict::Warning,
                       "the reader in use (" + reader.name + ") failed " +
                           std::to_string(reader.RecentFailures()) + " of its last " +
                           std::to_string(reader.recent.size()) +
                           " swipes: clean its read head; if swipes still fail, replace it");
        }
    }
    if (!view.readable) {
        item.Judge(Verdict::Warning,
                   "some statistics cannot be read: the program leaves those readers uncounted");
    }
    item.Judge(Verdict::Ok, view.readers.empty() ? "no reader counted yet for this Windows user"
                                                 : std::to_string(view.readers.size()) +
                                                       " reader(s) counted, none failing");
    return item;
}

}  // namespace ostrel::diag
