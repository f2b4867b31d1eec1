#include "platform/sim/sim_hid.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/sim/sim_readers.h"

namespace ostrel::sim {
namespace {

constexpr uint32_t kReadWrite = kGenericRead | kGenericWrite;
constexpr uint32_t kShare = kFileShareRead | kFileShareWrite;
constexpr uint32_t kClassFlags = kDigcfPresent | kDigcfDeviceInterface;

class SimHidTest : public ::testing::Test {
  protected:
    // The device paths as a program finds them, one interface after the other.
    std::vector<std::string> ListPaths() {
        std::vector<std::string> paths;
        const DevInfoSet set = hid.GetClassDevs(hid.GetHidGuid(), kClassFlags);
        EXPECT_NE(set, kInvalidDevInfoSet);
        DeviceInterfaceData data;
        data.cbSize = kInterfaceDataSize;
        for (uint32_t i = 0; hid.EnumDeviceInterfaces(set, hid.GetHidGuid(), i, &data); ++i) {
            uint32_t required = 0;
            EXPECT_FALSE(hid.GetInterfaceDetail(set, &data, nullptr, 0, &required));
            EXPECT_EQ(hid.LastError(), winerr::kInsufficientBuffer);
            std::vector<uint8_t> detail(required + 1, 0);
            detail[0] = kInterfaceDetailDataSize;
            EXPECT_TRUE(hid.GetInterfaceDetail(set, &data, detail.data(), required, &required));
            paths.emplace_back(reinterpret_cast<const char*>(detail.data() + 4));
        }
        EXPECT_EQ(hid.LastError(), winerr::kNoMoreItems);
        EXPECT_TRUE(hid.DestroyDeviceInfoList(set));
        return paths;
    }
    FileHandle Open(SimHid::DeviceId device, uint32_t access = kReadWrite) {
        return hid.OpenDevice(hid.Device(device).path, access, kShare, true, kOpenExisting,
                              kFileFlagOverlapped);
    }
    // A reader of product id 2, opened, with an event for its reads.
    void OpenReader() {
        reader = hid.Plug(ReaderDevice(2));
        handle = Open(reader);
        ASSERT_NE(handle, kInvalidFileHandle);
        event = hid.NewEvent(true, false);
        ASSERT_NE(event, 0u);
        overlapped.hEvent = event;
        buffer.assign(338, 0xEE);
    }
    bool StartRead() {
        overlapped.Internal = overlapped.InternalHigh = 0;
        return hid.ReadFile(handle, buffer.data(), static_cast<uint32_t>(buffer.size()), &bytes,
                            &overlapped);
    }
    std::vector<uint8_t> Report(const char* track1) {
        Swipe swipe;
        swipe.tracks[0] = track1;
        return SwipeReport(2, swipe);
    }

    SimHid hid;
    SimHid::DeviceId reader = 0;
    FileHandle handle = kInvalidFileHandle;
    EventHandle event = 0;
    Overlapped overlapped;
    std::vector<uint8_t> buffer;
    uint32_t bytes = 0;
};

TEST_F(SimHidTest, EnumerationAndTheInterfaceDetailProtocol) {
    hid.Plug(KeyboardDevice());
    const auto r = hid.Plug(ReaderDevice(9));
    EXPECT_EQ(ListPaths(), (std::vector<std::string>{SimHid::DevicePath(0x1234, 1, 0),
                                                     SimHid::DevicePath(0x0801, 9, 1)}));
    EXPECT_EQ(SimHid::DevicePath(0x0801, 2, 0),
              "\\\\?\\hid#vid_0801&pid_0002#7&1a2b3c&0&0000#{4d1e55b2-f16f-11cf-88cb-"
              "001111000030}");

    const DevInfoSet set = hid.GetClassDevs(hid.GetHidGuid(), kClassFlags);
    DeviceInterfaceData data;
    EXPECT_FALSE(hid.EnumDeviceInterfaces(set, SimHid::kHidGuid, 0, &data));  // cbSize 0
    EXPECT_EQ(hid.LastError(), winerr::kInvalidUserBuffer);
    data.cbSize = kInterfaceDataSize;
    ASSERT_TRUE(hid.EnumDeviceInterfaces(set, SimHid::kHidGuid, 1, &data));
    EXPECT_EQ(data.InterfaceClassGuid, SimHid::kHidGuid);
    const std::string& path = hid.Device(r).path;
    uint32_t required = 0;
    EXPECT_FALSE(hid.GetInterfaceDetail(set, &data, nullptr, 0, &required));
    EXPECT_EQ(required, 4 + path.size() + 1);
    std::vector<uint8_t> detail(required, 0);
    detail[0] = kInterfaceDetailDataSize + 1;  // not the size of the structure
    EXPECT_FALSE(hid.GetInterfaceDetail(set, &data, detail.data(), required, nullptr));
    EXPECT_EQ(hid.LastError(), winerr::kInvalidUserBuffer);
    detail[0] = kInterfaceDetailDataSize;
    EXPECT_FALSE(hid.GetInterfaceDetail(set, &data, detail.data(), required - 1, nullptr));
    EXPECT_EQ(hid.LastError(), winerr::kInsufficientBuffer);
    EXPECT_TRUE(hid.GetInterfaceDetail(set, &data, detail.data(), required, nullptr));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(detail.data() + 4)), path);

    // The set is a snapshot: an unplugged device stays in it but can no longer be opened.
    hid.Unplug(r);
    EXPECT_TRUE(hid.EnumDeviceInterfaces(set, SimHid::kHidGuid, 1, &data));
    EXPECT_EQ(Open(r), kInvalidFileHandle);
    EXPECT_EQ(hid.LastError(), winerr::kFileNotFound);
    EXPECT_EQ(ListPaths().size(), 1u);
    EXPECT_TRUE(hid.DestroyDeviceInfoList(set));
    EXPECT_FALSE(hid.DestroyDeviceInfoList(set));
    EXPECT_EQ(hid.LastError(), winerr::kInvalidHandle);
    EXPECT_EQ(hid.OpenResources(), 0u);
}

TEST_F(SimHidTest, ClassListAndDetailSizeFailures) {
    SimHidDevice odd = ReaderDevice(2);
    odd.detailSizeQueryError = winerr::kInvalidParameter;
    hid.Plug(odd);
    SimHidDevice quiet = ReaderDevice(3);
    quiet.detailSizeQueryError = 0;  // the size query succeeds
    hid.Plug(quiet);
    const DevInfoSet set = hid.GetClassDevs(SimHid::kHidGuid, kClassFlags);
    DeviceInterfaceData data;
    data.cbSize = kInterfaceDataSize;
    uint32_t required = 0;
    ASSERT_TRUE(hid.EnumDeviceInterfaces(set, SimHid::kHidGuid, 0, &data));
    EXPECT_FALSE(hid.GetInterfaceDetail(set, &data, nullptr, 0, &required));
    EXPECT_EQ(hid.LastError(), winerr::kInvalidParameter);
    ASSERT_TRUE(hid.EnumDeviceInterfaces(set, SimHid::kHidGuid, 1, &data));
    EXPECT_TRUE(hid.GetInterfaceDetail(set, &data, nullptr, 0, &required));
    hid.DestroyDeviceInfoList(set);

    EXPECT_EQ(hid.GetClassDevs(SimHid::kHidGuid, kDigcfPresent), kInvalidDevInfoSet);
    EXPECT_EQ(hid.GetClassDevs(Guid{1, 2, 3, {}}, kClassFlags), kInvalidDevInfoSet);
    hid.failClassDevs = true;
    EXPECT_EQ(hid.GetClassDevs(SimHid::kHidGuid, kClassFlags), kInvalidDevInfoSet);
    EXPECT_EQ(hid.OpenResources(), 0u);
}

TEST_F(SimHidTest, OpeningWithRefusedAccessFallsBackToAccessZero) {
    SimHidDevice device = ReaderDevice(14);
    device.refuseReadWrite = true;
    const auto refusing = hid.Plug(device);
    const auto other = hid.Plug(ReaderDevice(1));

    EXPECT_EQ(Open(refusing), kInvalidFileHandle);
    EXPECT_EQ(hid.LastError(), winerr::kAccessDenied);
    const FileHandle h = Open(refusing, 0);
    ASSERT_NE(h, kInvalidFileHandle);
    EXPECT_EQ(hid.OpenAttempts(refusing), 2);
    EXPECT_EQ(hid.Opens(refusing), 1);
    EXPECT_EQ(hid.Opens(other), 0);

    // Attributes and preparsed data need no access; reading does.
    HiddAttributes attributes;
    EXPECT_TRUE(hid.GetAttributes(h, &attributes));
    EXPECT_EQ(attributes.ProductID, 14);
    std::vector<uint8_t> report(502);
    Overlapped o;
    EXPECT_FALSE(hid.ReadFile(h, report.data(), 502, &bytes, &o));
    EXPECT_EQ(hid.LastError(), winerr::kAccessDenied);
    // Paths compare without regard to case.
    std::string upper = hid.Device(other).path;
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const FileHandle h2 =
        hid.OpenDevice(upper, kReadWrite, kShare, true, kOpenExisting, kFileFlagOverlapped);
    EXPECT_NE(h2, kInvalidFileHandle);
    EXPECT_TRUE(hid.CloseHandle(h));
    EXPECT_TRUE(hid.CloseHandle(h2));
    EXPECT_FALSE(hid.CloseHandle(h2));
    EXPECT_EQ(hid.LastError(), winerr::kInvalidHandle);
}

TEST_F(SimHidTest, AttributesPreparsedDataAndCaps) {
    OpenReader();
    HiddAttributes attributes;
    ASSERT_TRUE(hid.GetAttributes(handle, &attributes));
    EXPECT_EQ(attributes.VendorID, 0x0801);
    EXPECT_EQ(attributes.ProductID, 2);
    EXPECT_EQ(attributes.VersionNumber, 0x0100);
    PreparsedData data = 0;
    ASSERT_TRUE(hid.GetPreparsedData(handle, &data));
    HidpCaps caps;
    ASSERT_EQ(hid.GetCaps(data, &caps), hidp::kSuccess);
    EXPECT_EQ(caps.InputReportByteLength, 338);
    EXPECT_EQ(caps.UsagePage, 0xFF00);
    HidpValueCaps value;
    uint16_t count = 1;
    EXPECT_EQ(
        hid.GetSpecificValueCaps(HidpReportType::Input, 0xFF00, 0, 0x31, &value, &count, data),
        hidp::kSuccess);
    EXPECT_EQ(value.ReportCount, 110);

    // Preparsed data outlives its handle, and the device, until it is freed.
    EXPECT_TRUE(hid.CloseHandle(handle));
    hid.Unplug(reader);
    EXPECT_EQ(hid.GetCaps(data, &caps), hidp::kSuccess);
    EXPECT_TRUE(hid.FreePreparsedData(data));
    EXPECT_FALSE(hid.FreePreparsedData(data));
    EXPECT_EQ(hid.GetCaps(data, &caps), hidp::kInvalidPreparsedData);
    uint32_t v = 0;
    EXPECT_EQ(
        hid.GetUsageValue(HidpReportType::Input, 0xFF00, 0, 0x20, &v, data, buffer.data(), 338),
        hidp::kInvalidPreparsedData);
    // Using freed data is a fault of the caller's, and recorded as one.
    EXPECT_EQ(hid.misuses.size(), 2u);
    hid.misuses.clear();
    EXPECT_FALSE(hid.GetAttributes(handle, &attributes));
    EXPECT_EQ(hid.LastError(), winerr::kInvalidHandle);
}

TEST_F(SimHidTest, AReportAlreadyQueuedCompletesTheStartingRead) {
    OpenReader();
    const auto report = Report("%B1^A^1?");
    EXPECT_EQ(hid.QueueReport(reader, report), 1u);
    ASSERT_TRUE(StartRead());
    EXPECT_EQ(buffer, report);
    EXPECT_EQ(bytes, 338u);
    EXPECT_EQ(overlapped.Internal, 0u);
    EXPECT_EQ(overlapped.InternalHigh, 338u);
    EXPECT_TRUE(hid.IsSignalled(event));
    // The next read waits for the next report.
    EXPECT_FALSE(StartRead());
    EXPECT_EQ(hid.LastError(), winerr::kIoPending);
    EXPECT_FALSE(hid.IsSignalled(event));
    // A buffer shorter than the input report is refused.
    uint8_t small[100];
    Overlapped o;
    EXPECT_FALSE(hid.ReadFile(handle, small, sizeof small, &bytes, &o));
    EXPECT_EQ(hid.LastError(), winerr::kInvalidUserBuffer);
    // The class driver's ring holds 32 reports for an open handle, the oldest dropped first,
    // and none for a handle that is not open.
    ASSERT_TRUE(hid.CancelIo(handle));
    uint32_t transferred = 0;
    hid.GetOverlappedResult(handle, &overlapped, &transferred, true);
    std::string track = "%B1^A^1?";
    for (int i = 0; i <= 32; ++i, ++track[4])
        hid.QueueReport(reader, Report(track.c_str()));
    ASSERT_TRUE(StartRead());
    EXPECT_EQ(buffer, Report("%B1^B^1?"));
    EXPECT_TRUE(hid.CloseHandle(handle));
    EXPECT_EQ(hid.QueueReport(reader, report), 0u);
}

TEST_F(SimHidTest, APendingReadCompletesIntoItsBufferWhenTheReportArrives) {
    OpenReader();
    ASSERT_FALSE(StartRead());
    EXPECT_EQ(hid.LastError(), winerr::kIoPending);
    uint32_t transferred = 0;
    EXPECT_FALSE(hid.GetOverlappedResult(handle, &overlapped, &transferred, false));
    EXPECT_EQ(hid.LastError(), winerr::kIoIncomplete);
    EXPECT_EQ(buffer[1], 0xEE);

    const auto report = Report("%B2^B^2?");
    hid.QueueReport(reader, report);
    EXPECT_EQ(buffer, report);  // written at once, before anyone asks
    EXPECT_TRUE(hid.IsSignalled(event));
    EXPECT_TRUE(hid.GetOverlappedResult(handle, &overlapped, &transferred, false));
    EXPECT_EQ(transferred, 338u);
    EXPECT_TRUE(hid.misuses.empty());
    // Asked again, a finished read gives the same answer: Windows reads it from the OVERLAPPED.
    transferred = 0;
    EXPECT_TRUE(hid.GetOverlappedResult(handle, &overlapped, &transferred, true));
    EXPECT_EQ(transferred, 338u);
    EXPECT_TRUE(hid.misuses.empty());
}

TEST_F(SimHidTest, UnplugWhilePendingEndsTheReadWithDeviceNotConnected) {
    OpenReader();
    ASSERT_FALSE(StartRead());
    hid.Unplug(reader);
    uint32_t transferred = 99;
    EXPECT_FALSE(hid.GetOverlappedResult(handle, &overlapped, &transferred, false));
    EXPECT_EQ(hid.LastError(), winerr::kDeviceNotConnected);
    EXPECT_EQ(transferred, 0u);
    EXPECT_TRUE(hid.IsSignalled(event));
    // Cancelling and waiting on the ended read changes nothing.
    EXPECT_TRUE(hid.CancelIo(handle));
    EXPECT_FALSE(hid.GetOverlappedResult(handle, &overlapped, &transferred, true));
    EXPECT_EQ(hid.LastError(), winerr::kDeviceNotConnected);
    EXPECT_FALSE(StartRead());
    EXPECT_EQ(hid.LastError(), winerr::kDeviceNotConnected);
    HiddAttributes attributes;
    EXPECT_FALSE(hid.GetAttributes(handle, &attributes));
    EXPECT_TRUE(ListPaths().empty());
    EXPECT_TRUE(hid.CloseHandle(handle));
    EXPECT_TRUE(hid.misuses.empty());
}

TEST_F(SimHidTest, FailedAndCancelledReads) {
    OpenReader();
    uint32_t transferred = 0;
    // A failure on demand ends the pending read, or else the next one.
    ASSERT_FALSE(StartRead());
    hid.FailNextRead(reader, 31);
    EXPECT_FALSE(hid.GetOverlappedResult(handle, &overlapped, &transferred, false));
    EXPECT_EQ(hid.LastError(), 31u);
    hid.FailNextRead(reader, 1117);
    EXPECT_FALSE(StartRead());
    EXPECT_EQ(hid.LastError(), 1117u);

    // A cancelled read is over only once collected, with either kind of call.
    for (const bool wait : {true, false}) {
        buffer.assign(buffer.size(), 0xEE);
        ASSERT_FALSE(StartRead());
        EXPECT_TRUE(hid.CancelIo(handle));
        hid.QueueReport(reader, Report("late"));
        EXPECT_EQ(buffer[1], 0xEE);  // no longer written into
        EXPECT_FALSE(hid.GetOverlappedResult(handle, &overlapped, &transferred, wait));
        EXPECT_EQ(hid.LastError(), winerr::kOperationAborted);
        ASSERT_TRUE(StartRead());  // the report that came after the cancel
    }
    EXPECT_TRUE(hid.CancelIo(handle));  // nothing pending: harmless
    EXPECT_TRUE(hid.CloseHandle(handle));
    EXPECT_TRUE(hid.misuses.empty()) << hid.misuses.front();
}

TEST_F(SimHidTest, MisusesAreRecorded) {
    OpenReader();
    uint32_t transferred = 0;
    ASSERT_FALSE(StartRead());
    // Waiting for a report that nobody sends would hang.
    EXPECT_FALSE(hid.GetOverlappedResult(handle, &overlapped, &transferred, true));
    EXPECT_EQ(hid.LastError(), winerr::kIoIncomplete);
    ASSERT_EQ(hid.misuses.size(), 1u);
    // Cancelled but not collected: a new read into the buffer.
    hid.CancelIo(handle);
    StartRead();
    ASSERT_EQ(hid.misuses.size(), 2u);
    // The event of a pending read closed; then the handle closed under the read.
    EXPECT_TRUE(hid.CloseHandle(event));
    EXPECT_TRUE(hid.CloseHandle(handle));
    EXPECT_EQ(hid.misuses.size(), 4u);
    // Cancelling and closing without collecting the read is no better.
    handle = Open(reader);
    overlapped.hEvent = hid.NewEvent(true, false);
    ASSERT_FALSE(StartRead());
    hid.CancelIo(handle);
    hid.CloseHandle(handle);
    ASSERT_EQ(hid.misuses.size(), 5u);
    EXPECT_NE(hid.misuses.back().find("cancelled"), std::string::npos);
}

TEST_F(SimHidTest, EventsAndTheCallTrace) {
    EXPECT_FALSE(hid.ResetEvent(0));
    EXPECT_EQ(hid.LastError(), winerr::kInvalidHandle);
    const EventHandle e = hid.NewEvent(true, true);
    EXPECT_TRUE(hid.IsSignalled(e));
    EXPECT_TRUE(hid.ResetEvent(e));
    EXPECT_FALSE(hid.IsSignalled(e));
    EXPECT_TRUE(hid.CloseHandle(e));
    EXPECT_FALSE(hid.ResetEvent(e));
    EXPECT_EQ(hid.LastError(), winerr::kInvalidHandle);
    hid.failEventCreation = true;
    EXPECT_EQ(hid.NewEvent(true, false), 0u);
    std::vector<std::string> names;
    for (const std::string& call : hid.calls)
        names.push_back(call.substr(0, call.find(' ')));
    EXPECT_EQ(names, (std::vector<std::string>{"ResetEvent", "NewEvent", "ResetEvent",
                                               "CloseHandle", "ResetEvent", "NewEvent"}));
    EXPECT_EQ(hid.calls[0], "ResetEvent 0x0");
}

TEST_F(SimHidTest, AThousandOpenCloseCyclesLeaveNothingOpen) {
    hid.Plug(KeyboardDevice());
    reader = hid.Plug(ReaderDevice(15));
    for (int i = 0; i < 1000; ++i) {
        const std::vector<std::string> paths = ListPaths();
        ASSERT_EQ(paths.size(), 2u);
        const FileHandle h =
            hid.OpenDevice(paths[1], kReadWrite, kShare, true, kOpenExisting, kFileFlagOverlapped);
        PreparsedData data = 0;
        ASSERT_TRUE(hid.GetPreparsedData(h, &data));
        const EventHandle e = hid.NewEvent(true, false);
        std::vector<uint8_t> report(847);
        Overlapped o;
        o.hEvent = e;
        ASSERT_FALSE(hid.ReadFile(h, report.data(), 847, &bytes, &o));
        hid.CancelIo(h);
        uint32_t transferred = 0;
        hid.GetOverlappedResult(h, &o, &transferred, true);
        EXPECT_TRUE(hid.CloseHandle(h));
        EXPECT_TRUE(hid.FreePreparsedData(data));
        EXPECT_TRUE(hid.CloseHandle(e));
    }
    EXPECT_EQ(hid.OpenResources(), 0u);
    EXPECT_EQ(hid.Opens(reader), 1000);
    EXPECT_TRUE(hid.misuses.empty());
}

}  // namespace
}  // namespace ostrel::sim
