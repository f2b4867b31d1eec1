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
    OpenAccess takenAccess = OpenAccess::None;
    int makersRejectedBefore = 0;  // the reader's maker's interfaces turned away before it
};

SearchView ListInterfaces(Hid& hid, Item& item) {
    SearchView view;
    const Guid guid = hid.GetHidGuid();
    DevInfoSetGuard set(hid, hid.GetClassDevs(guid, kPresentInterfaces));
    if (set.Get() == kInvalidDevInfoSet) return view;
    view.listed = true;
    item.rowsName = "interfaces";
    for (uint32_t index = 0;; ++index) {
        DeviceInterfaceData data;
        data.cbSize = kInterfaceDataSize;
        if (!hid.EnumDeviceInterfaces(set.Get(), guid, index, &data)) break;
        ++view.interfaces;
        Row row;
        const std::string path = InterfacePath(hid, set.Get(), data);
        row.push_back({"path", path.empty() ? "(none)" : path});
        std::optional<uint16_t> vendor = IdInPath(path, "VID_");
        std::optional<uint16_t> product = IdInPath(path, "PID_");
        std::string search;
        if (path.empty()) {
            search = "skipped: no device path";
        } else if (IsOtherMakersPath(path)) {
            search = "skipped as another maker's";
        } else {
            // No wait before the open: the program's second is for a device still starting.
            OpenAccess access = OpenAccess::None;
            const FileHandle device = OpenCandidate(hid, path, &access);
            if (device == kInvalidFileHandle) {
                search =
                    "skipped: could not be opened (error " + std::to_string(hid.LastError()) + ")";
            } else {
                HiddAttributes attributes;
                PreparsedData preparsed = 0;
                HidpCaps caps;
                const CandidateCheck check =
                    CheckCandidate(hid, device, attributes, preparsed, caps);
                if (check != CandidateCheck::NoAttributes) {
                    vendor = attributes.VendorID;
                    product = attributes.ProductID;
                }
                if (check != CandidateCheck::Accepted) {
                    search = RejectionText(check);
                    if (!view.takenProductId && vendor == kReaderVendorId)
                        ++view.makersRejectedBefore;
                } else if (!view.takenProductId) {
                    search = "taken as the reader";
                    if (access == OpenAccess::AccessZero)
                        search += " (opened without read access: its reads fail)";
                    view.takenProductId = attributes.ProductID;
                    view.takenAccess = access;
                } else {
                    search = "a reader too, not reached: the search takes the first";
                }
                if (preparsed != 0) hid.FreePreparsedData(preparsed);
                hid.CloseHandle(static_cast<std::uintptr_t>(device));
            }
        }
        row.push_back({"vendor", IdText(vendor)});
        row.push_back({"product", IdText(product)});
        row.push_back({"search", search});
        item.rows.push_back(std::move(row));
    }
    return view;
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
