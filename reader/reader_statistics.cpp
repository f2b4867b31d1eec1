#include "reader/reader_statistics.h"

#include <algorithm>
#include <utility>

#include "support/text_util.h"

namespace ostrel {

namespace {

// The values of a reader's key. Counts are DWORDs, the rest texts.
constexpr const char* kDescription = "Reader";
constexpr const char* kManufacturer = "Manufacturer";
constexpr const char* kProduct = "Product";
constexpr const char* kSerialNumber = "SerialNumber";
constexpr const char* kRelease = "Release";
constexpr const char* kProductId = "ProductId";
constexpr const char* kRead = "SwipesRead";
constexpr const char* kTrack1Missing = "NotReadTrack1Missing";
constexpr const char* kTrackStatus = "NotReadTrackStatus";
constexpr const char* kUndecodable = "NotReadUndecodable";
constexpr const char* kDelivered = "CardsDelivered";
constexpr const char* kTimedOut = "RequestsTimedOut";
constexpr const char* kFirstCount = "FirstCount";
constexpr const char* kLastGoodRead = "LastGoodRead";
constexpr const char* kRecent = "RecentSwipes";
constexpr const char* kWarned = "FailingWarned";
// Of the key above them all: the key's name of the reader taken last.
constexpr const char* kLastReader = "LastReader";

// A value may change between the size query and the read (another copy writing it).
constexpr int kQueryAttempts = 3;

// An open key, closed when it goes.
class KeyHandle {
  public:
    explicit KeyHandle(Registry& registry) : registry_(registry) {}
    ~KeyHandle() {
        if (key_) registry_.CloseKey(key_);
    }
    KeyHandle(const KeyHandle&) = delete;
    KeyHandle& operator=(const KeyHandle&) = delete;
    RegKey* Out() { return &key_; }
    RegKey Get() const { return key_; }

  private:
    Registry& registry_;
    RegKey key_ = 0;
};

// What a query found. A value of another type than ours counts as missing: ours replaces it.
enum class Found : uint8_t { Value, Missing, Unreadable };

Found QueryNumber(Registry& registry, RegKey key, const char* name, uint32_t* number) {
    uint32_t type = 0;
    uint8_t data[4] = {};
    uint32_t size = sizeof data;
    const long rc = registry.QueryValue(key, name, &type, data, &size);
    if (rc == kErrorFileNotFound || rc == kErrorMoreData) return Found::Missing;
    if (rc != kErrorSuccess) return Found::Unreadable;
    if (type != kRegDword || size != sizeof data) return Found::Missing;
    *number = data[0] | data[1] << 8 | data[2] << 16 | static_cast<uint32_t>(data[3]) << 24;
    return Found::Value;
}

Found QueryText(Registry& registry, RegKey key, const char* name, std::string* text) {
    for (int attempt = 0; attempt < kQueryAttempts; ++attempt) {
        uint32_t type = 0;
        uint32_t size = 0;
        long rc = registry.QueryValue(key, name, &type, nullptr, &size);
        if (rc == kErrorFileNotFound) return Found::Missing;
        if (rc != kErrorSuccess) return Found::Unreadable;
        if (type != kRegSz) return Found::Missing;
        std::vector<uint8_t> buffer(std::max<uint32_t>(size, 1), 0);
        uint32_t filled = static_cast<uint32_t>(buffer.size());
        rc = registry.QueryValue(key, name, &type, buffer.data(), &filled);
        if (rc == kErrorMoreData) continue;
        if (rc == kErrorFileNotFound) return Found::Missing;
        if (rc != kErrorSuccess) return Found::Unreadable;
        if (type != kRegSz) return Found::Missing;
        const auto end = buffer.begin() + std::min<size_t>(filled, buffer.size());
        text->assign(buffer.begin(), std::find(buffer.begin(), end, 0));
        return Found::Value;
    }
    return Found::Unreadable;
}

// Every value of a reader's key; nothing when one of them cannot be read, so that counts
// started again from 0 never overwrite stored ones.
std::optional<ReaderCounts> ReadCounts(Registry& registry, RegKey key, const std::string& name) {
    ReaderCounts counts;
    counts.name = name;
    bool readable = true;
    const auto text = [&](const char* value, std::string& into) {
        readable = QueryText(registry, key, value, &into) != Found::Unreadable && readable;
    };
    const auto number = [&](const char* value, uint32_t& into) {
        readable = QueryNumber(registry, key, value, &into) != Found::Unreadable && readable;
    };
    text(kDescription, counts.description);
    text(kManufacturer, counts.manufacturer);
    text(kProduct, counts.product);
    text(kSerialNumber, counts.serialNumber);
    text(kRelease, counts.release);
    number(kProductId, counts.productId);
    number(kRead, counts.read);
    number(kTrack1Missing, counts.track1Missing);
    number(kTrackStatus, counts.trackStatus);
    number(kUndecodable, counts.undecodable);
    number(kDelivered, counts.delivered);
    number(kTimedOut, counts.timedOut);
    text(kFirstCount, counts.firstCount);
    text(kLastGoodRead, counts.lastGoodRead);
    text(kRecent, counts.recent);
    uint32_t warned = 0;
    number(kWarned, warned);
    counts.warned = warned != 0;
    // Only our letters, and no more of them than are looked at.
    std::erase_if(counts.recent, [](char c) { return c != 'R' && c != 'F'; });
    if (counts.recent.size() > kRecentSwipes)
        counts.recent.erase(0, counts.recent.size() - kRecentSwipes);
    if (!readable) return std::nullopt;
    return counts;
}

}  // namespace

int ReaderCounts::RecentFailures() const {
    return static_cast<int>(std::count(recent.begin(), recent.end(), 'F'));
}

struct ReaderStatistics::Write {
    const char* name;
    std::optional<uint32_t> number;  // nothing: a text
    std::string text;
};

void ReaderStatistics::Store(const std::vector<Write>& writes) {
    KeyHandle key(registry_);
    if (registry_.CreateKey(kHkeyCurrentUser, path_ + "\\" + reader_->name, kKeyCreateAccess,
                            key.Out()) != kErrorSuccess) {
        return;
    }
    for (const Write& write : writes) {
        // A value refused is skipped: the count is kept here and goes with the next write.
        if (write.number) {
            const uint32_t n = *write.number;
            const uint8_t data[4] = {static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8),
                                     static_cast<uint8_t>(n >> 16), static_cast<uint8_t>(n >> 24)};
            registry_.SetValue(key.Get(), write.name, kRegDword, data, sizeof data);
        } else {
            const std::string data = write.text + '\0';
            registry_.SetValue(key.Get(), write.name, kRegSz,
                               reinterpret_cast<const uint8_t*>(data.data()),
                               static_cast<uint32_t>(data.size()));
        }
    }
}

void ReaderStatistics::FirstCount(std::vector<Write>& writes) {
    if (!reader_->firstCount.empty()) return;
    reader_->firstCount = desktop_.DateText();
    writes.push_back({kFirstCount, std::nullopt, reader_->firstCount});
}

std::optional<std::string> ReaderStatistics::ReaderTaken(const ReaderIdentity& reader) {
    reader_.reset();
    const std::string name = reader.StatisticsName();
    KeyHandle readers(registry_);
    if (registry_.CreateKey(kHkeyCurrentUser, path_, kKeyCreateAccess, readers.Out()) !=
        kErrorSuccess) {
        return std::nullopt;
    }
    std::string last;
    const Found lastFound = QueryText(registry_, readers.Get(), kLastReader, &last);
    {
        KeyHandle key(registry_);
        if (registry_.CreateKey(kHkeyCurrentUser, path_ + "\\" + name, kKeyCreateAccess,
                                key.Out()) == kErrorSuccess) {
            reader_ = ReadCounts(registry_, key.Get(), name);
        }
    }
    if (reader_) {
        ReaderCounts& counts = *reader_;
        counts.description = reader.Description();
        counts.manufacturer = reader.manufacturer.value_or("");
        counts.product = reader.product.value_or("");
        counts.serialNumber = reader.serialNumber.value_or("");
        counts.release = reader.Release();
        counts.productId = reader.productId;
        Store({{kDescription, std::nullopt, counts.description},
               {kManufacturer, std::nullopt, counts.manufacturer},
               {kProduct, std::nullopt, counts.product},
               {kSerialNumber, std::nullopt, counts.serialNumber},
               {kRelease, std::nullopt, counts.release},
               {kProductId, counts.productId, ""}});
    }
    if (lastFound == Found::Unreadable || ToUpper(last) == ToUpper(name)) return std::nullopt;
    const std::string data = name + '\0';
    registry_.SetValue(readers.Get(), kLastReader, kRegSz,
                       reinterpret_cast<const uint8_t*>(data.data()),
                       static_cast<uint32_t>(data.size()));
    if (last.empty()) return std::nullopt;
    // The one before, as it was described when it was taken.
    KeyHandle before(registry_);
    std::string description;
    if (registry_.OpenKey(kHkeyCurrentUser, path_ + "\\" + last, kKeyRead, before.Out()) ==
            kErrorSuccess &&
        QueryText(registry_, before.Get(), kDescription, &description) == Found::Value &&
        !description.empty()) {
        return description;
    }
    return last;
}

std::optional<FailingReader> ReaderStatistics::CountSwipe(SwipeOutcome outcome, bool delivered) {
    if (!reader_) return std::nullopt;
    ReaderCounts& counts = *reader_;
    std::vector<Write> writes;
    const auto bump = [&](uint32_t& count, const char* name) {
        writes.push_back({name, ++count, ""});
    };
    switch (outcome) {
        case SwipeOutcome::Read:
            bump(counts.read, kRead);
            counts.lastGoodRead = desktop_.DateText();
            writes.push_back({kLastGoodRead, std::nullopt, counts.lastGoodRead});
            break;
        case SwipeOutcome::Track1Missing:
            bump(counts.track1Missing, kTrack1Missing);
            break;
        case SwipeOutcome::TrackStatus:
            bump(counts.trackStatus, kTrackStatus);
            break;
        case SwipeOutcome::Undecodable:
            bump(counts.undecodable, kUndecodable);
            break;
    }
    if (delivered) bump(counts.delivered, kDelivered);
    counts.recent += outcome == SwipeOutcome::Read ? 'R' : 'F';
    if (counts.recent.size() > kRecentSwipes) counts.recent.erase(0, 1);
    writes.push_back({kRecent, std::nullopt, counts.recent});
    FirstCount(writes);

    std::optional<FailingReader> warning;
    const int failures = counts.RecentFailures();
    if (!counts.warned && failures >= kFailingSwipes) {
        counts.warned = true;
        writes.push_back({kWarned, 1u, ""});
        warning =
            FailingReader{counts.description, failures, static_cast<int>(counts.recent.size())};
    } else if (counts.warned && failures <= kRecoveredSwipes) {
        counts.warned = false;
        writes.push_back({kWarned, 0u, ""});
    }
    Store(writes);
    return warning;
}

void ReaderStatistics::CountTimedOut() {
    if (!reader_) return;
    std::vector<Write> writes{{kTimedOut, ++reader_->timedOut, ""}};
    FirstCount(writes);
    Store(writes);
}

StatisticsView ReadStatistics(Registry& registry, const std::string& path) {
    StatisticsView view;
    KeyHandle readers(registry);
    const long rc = registry.OpenKey(kHkeyCurrentUser, path, kKeyRead, readers.Out());
    if (rc == kErrorFileNotFound) return view;
    if (rc != kErrorSuccess ||
        QueryText(registry, readers.Get(), kLastReader, &view.lastReader) == Found::Unreadable) {
        view.readable = false;
        return view;
    }
    std::string name;
    for (uint32_t index = 0; registry.EnumKey(readers.Get(), index, &name) == kErrorSuccess;
         ++index) {
        KeyHandle key(registry);
        std::optional<ReaderCounts> counts;
        if (registry.OpenKey(kHkeyCurrentUser, path + "\\" + name, kKeyRead, key.Out()) ==
            kErrorSuccess) {
            counts = ReadCounts(registry, key.Get(), name);
        }
        if (counts) {
            view.readers.push_back(std::move(*counts));
        } else {
            view.readable = false;
        }
    }
    // "the function may return subkeys in any order" (RegEnumKeyExA): shown by name.
    std::sort(view.readers.begin(), view.readers.end(),
              [](const ReaderCounts& a, const ReaderCounts& b) {
                  return ToUpper(a.name) < ToUpper(b.name);
              });
    return view;
}

}  // namespace ostrel
