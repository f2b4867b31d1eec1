// The card reader item: the search's view of every HID interface, then the reader as the
// program opens it and the report layout it loads.
#include <vector>

#include "diag/diag_items.h"
#include "reader/card_reader.h"
#include "reader/reader_search.h"

namespace ostrel::diag {

namespace {

const char* RejectionText(CandidateCheck check) {
    switch (check) {
        case CandidateCheck::NoAttributes:
            return "opened and rejected: its attributes could not be read";
        case CandidateCheck::OtherVendor:
            return "opened and rejected: another maker's vendor id";
        case CandidateCheck::NotAReaderModel:
            return "opened and rejected: a product id of no reader model";
        case CandidateCheck::NoPreparsedData:
            return "opened and rejected: no HID preparsed data";
        case CandidateCheck::NoCaps:
            return "opened and rejected: its HID capabilities could not be read";
        case CandidateCheck::Accepted:
            break;
    }
    return "taken as the reader";
}

std::string IdText(std::optional<uint16_t> id) {
    return id ? Hex4(*id) : "?";
}

const char* SupportText(ReaderSupport support) {
    switch (support) {
        case ReaderSupport::Supported:
            return "supported";
        case ReaderSupport::Improper:
            return "of the maker, but cannot read cards for the host (\"Improper Input Device.\")";
        case ReaderSupport::NotAReader:
            break;
    }
    return "no reader model";
}

// What the search found, interface by interface.
struct SearchView {
    bool listed = false;  // the system gave a list of HID interfaces
    int interfaces = 0;
    std::optional<uint16_t> takenProductId;
    std::optional<ReaderIdentity> takenIdentity;
    OpenAccess takenAccess = OpenAccess::None;
    int makersRejectedBefore = 0;  // the reader's maker's interfaces turned away before it
};

// One interface as the search meets it.
struct Seen {
    std::string path;
    std::optional<uint16_t> vendor, product;
    std::string search;  // what was done with it, unless it passed every test
    OpenAccess access = OpenAccess::None;
    bool accepted = false;
    bool rejected = false;                   // opened, and turned away by the search's tests
    std::optional<ReaderIdentity> identity;  // a device of the reader's maker, as it names itself
};

// Opens a candidate, runs the search's tests on it and gives everything back.
void Examine(Hid& hid, Seen& seen) {
    // No wait before the open: the program's second is for a device still starting.
    const FileHandle device = OpenCandidate(hid, seen.path, &seen.access);
    if (device == kInvalidFileHandle) {
        seen.search =
            "skipped: could not be opened (error " + std::to_string(hid.LastError()) + ")";
        return;
    }
    HiddAttributes attributes;
    PreparsedData preparsed = 0;
    HidpCaps caps;
    const CandidateCheck check = CheckCandidate(hid, device, attributes, preparsed, caps);
    if (check != CandidateCheck::NoAttributes) {
        seen.vendor = attributes.VendorID;
        seen.product = attributes.ProductID;
        if (attributes.VendorID == kReaderVendorId)
            seen.identity = ReadReaderIdentity(hid, device, attributes);
    }
    seen.accepted = check == CandidateCheck::Accepted;
    seen.rejected = !seen.accepted;
    if (seen.rejected) seen.search = RejectionText(check);
    if (preparsed != 0) hid.FreePreparsedData(preparsed);
    hid.CloseHandle(static_cast<std::uintptr_t>(device));
}

// Which of the candidates that passed the search takes: the first that opens for reading, and
// only when none does, the first at all.
std::optional<size_t> TakenOf(const std::vector<Seen>& seen) {
    std::optional<size_t> first;
    for (size_t i = 0; i < seen.size(); ++i) {
        if (!seen[i].accepted) continue;
        if (seen[i].access == OpenAccess::ReadWrite) return i;
        if (!first) first = i;
    }
    return first;
}

SearchView ListInterfaces(Hid& hid, Item& item) {
    SearchView view;
    const Guid guid = hid.GetHidGuid();
    DevInfoSetGuard set(hid, hid.GetClassDevs(guid, kPresentInterfaces));
    if (set.Get() == kInvalidDevInfoSet) return view;
    view.listed = true;
    item.rowsName = "interfaces";
    std::vector<Seen> seen;
    for (uint32_t index = 0;; ++index) {
        DeviceInterfaceData data;
        data.cbSize = kInterfaceDataSize;
        if (!hid.EnumDeviceInterfaces(set.Get(), guid, index, &data)) break;
        Seen& one = seen.emplace_back();
        one.path = InterfacePath(hid, set.Get(), data);
        const PathIds ids = ReadDevicePath(one.path);
        one.vendor = ids.vendorId;
        one.product = ids.productId;
        if (one.path.empty()) {
            one.search = "skipped: no device path";
            continue;
        }
        switch (CheckPath(one.path)) {
            case PathCheck::OtherMaker:
                one.search = "skipped as another maker's";
                break;
            case PathCheck::NotOnUsb:
                one.search = "skipped as not on USB";
                break;
            case PathCheck::MayBeTheReader:
                Examine(hid, one);
                break;
        }
    }
    view.interfaces = static_cast<int>(seen.size());

    const std::optional<size_t> taken = TakenOf(seen);
    for (size_t i = 0; i < seen.size(); ++i) {
        Seen& one = seen[i];
        if (i == taken) {
            one.search = "taken as the reader";
            if (one.access == OpenAccess::AccessZero)
                one.search += " (opened without read access: its reads fail)";
            view.takenProductId = one.product;
            view.takenIdentity = one.identity;
            view.takenAccess = one.access;
        } else if (one.accepted && taken && i < *taken) {
            one.search =
                "passed over: opens only without read access; a later one opens for reading";
        } else if (one.accepted) {
            one.search = seen[*taken].access == OpenAccess::ReadWrite
                             ? "a reader too, not reached: the search takes the first"
                             : "a reader too, not taken: the search takes the first";
        } else if (one.rejected && one.vendor == kReaderVendorId && (!taken || i < *taken)) {
            ++view.makersRejectedBefore;
        }
        Row row;
        row.push_back({"path", one.path.empty() ? "(none)" : one.path});
        row.push_back({"vendor", IdText(one.vendor)});
        row.push_back({"product", IdText(one.product)});
        row.push_back({"search", one.search});
        item.rows.push_back(std::move(row));
    }
    return view;
}

std::string Shown(const std::optional<std::string>& text) {
    return text ? "\"" + *text + "\"" : "(none given)";
}

std::string UsageSizes(const std::map<uint16_t, size_t>& sizes) {
    std::string text;
    for (const auto& [usage, size] : sizes)
        text += (text.empty() ? "" : ", ") + Hex4(usage) + "=" + std::to_string(size);
    return text.empty() ? "(none)" : text;
}

}  // namespace

Item GatherReader(Hid& hid, Desktop& desktop) {
    Item item("reader", "Card reader");
    const SearchView view = ListInterfaces(hid, item);
    item.Add("HID interfaces listed",
             view.listed ? std::to_string(view.interfaces) : "none: the system gave no HID list");
    if (!view.takenProductId) {
        item.Judge(Verdict::Fail, view.interfaces == 0
                                      ? "no reader: no HID interface is present"
                                      : "no reader: no interface passes the search");
        return item;
    }
    const ReaderModel& model = ReaderModelFor(*view.takenProductId);
    item.Add("reader model",
             "product id " + std::to_string(model.productId) + ", " + SupportText(model.support));
    item.Add("track form",
             model.tracks == TrackForm::HexBlocksOf8 ? "raw bytes in blocks of 8" : "characters");
    if (const auto& identity = view.takenIdentity) {
        // What an inventory names it by; a reader that gives no strings is no fault.
        item.Add("manufacturer", Shown(identity->manufacturer));
        item.Add("product", Shown(identity->product));
        item.Add("serial number", Shown(identity->serialNumber));
        item.Add("release", identity->Release());
        item.Add("statistics kept as", identity->StatisticsName());
    }
    if (model.support != ReaderSupport::Supported) {
        item.Judge(Verdict::Fail, "the reader taken is model " + std::to_string(model.productId) +
                                      ", which cannot read cards for the host");
        return item;
    }
    if (view.takenAccess == OpenAccess::AccessZero) {
        item.Judge(Verdict::Fail,
                   "the reader opens only without read access: another program holds it");
    }

    // The reader as the program opens it, and the layout it loads for it.
    CardReader reader(hid, desktop);
    reader.InitReader();
    reader.OpenReader();
    if (!reader.IsOpen()) {
        item.Judge(Verdict::Fail, "the reader could not be opened again: it may have gone");
        return item;
    }
    reader.LoadReportLayout();
    item.Add("input report length", std::to_string(reader.InputReportLength()) + " bytes");
    item.Add("value counts by usage", UsageSizes(reader.LayoutSizes()));
    if (!reader.Error().empty()) {
        item.Add("layout error", reader.Error());
        item.Judge(Verdict::Fail, "the report layout does not load: " + reader.Error());
    }
    if (view.makersRejectedBefore > 0) {
        item.Judge(Verdict::Warning,
                   std::to_string(view.makersRejectedBefore) +
                       " other interface(s) of the reader's maker come first: each costs the "
                       "search a second");
    }
    item.Judge(Verdict::Ok, "reader model " + std::to_string(model.productId) +
                                " taken, its report layout loads");
    return item;
}

}  // namespace ostrel::diag
