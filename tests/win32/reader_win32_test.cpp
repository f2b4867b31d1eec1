// The reader's use of the real Windows calls: HID enumeration on Wine's device list, overlapped
// reads (on a pipe, which completes and cancels as a device handle does), and the wait.
#include <windows.h>

#include <gtest/gtest.h>

#include "platform/win32/unique_handle.h"
#include "platform/win32/win32_desktop.h"
#include "platform/win32/win32_hid.h"
#include "reader/card_reader.h"
#include "reader/reader_search.h"
#include "reader/wait.h"
#include "tests/card_reader_test_access.h"
#include "tests/win32/message_counter.h"
#include "tests/win32/windows_under_test.h"

namespace ostrel::win32 {
namespace {

using Access = CardReaderTestAccess;

std::string Text(const CardBytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

// Something that changes when a kernel handle is left open: the process's handle count where
// the system keeps one; otherwise (Wine reports 0) the number the next new handle gets, as the
// lowest free slot is handed out first.
uintptr_t HandleMark() {
    DWORD count = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &count) && count > 0) return count;
    HANDLE probe = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    CloseHandle(probe);
    return reinterpret_cast<uintptr_t>(probe);
}

class ReaderWin32Test : public ::testing::Test {
  protected:
    Win32Hid hid;
    Win32Desktop desktop;
};

TEST_F(ReaderWin32Test, EnumeratesTheHidListAndReleasesEveryHandle) {
    if (RealReaderPlugged()) GTEST_SKIP() << "a card reader is plugged in: the test counts on none";
    {
        CardReader warmUp(hid, desktop);
        warmUp.InitReader();
        warmUp.ReaderPresent();
    }
    const uintptr_t before = HandleMark();
    for (int i = 0; i < 20; ++i) {
        CardReader reader(hid, desktop);
        reader.InitReader();
        EXPECT_NE(Access::ReadEvent(reader), 0u);
        EXPECT_EQ(reader.Error(), "");
        const bool present = reader.ReaderPresent();
        reader.OpenReader();
        // No card reader is listed: nothing is opened, present or not.
        EXPECT_FALSE(reader.IsOpen()) << present;
        EXPECT_FALSE(reader.ReadReport());
        reader.CloseReader();
        reader.CloseReadEvent();
    }
    EXPECT_EQ(HandleMark(), before);
}

TEST_F(ReaderWin32Test, TheDeviceListProtocolAnswersAsTheReaderExpects) {
    const Guid guid = hid.GetHidGuid();
    EXPECT_EQ(guid.data1, 0x4D1E55B2u);
    const DevInfoSet set = hid.GetClassDevs(guid, kDigcfPresent | kDigcfDeviceInterface);
    ASSERT_NE(set, kInvalidDevInfoSet);
    uint32_t index = 0;
    DeviceInterfaceData data;
    data.cbSize = kInterfaceDataSize;
    while (hid.EnumDeviceInterfaces(set, guid, index, &data)) {
        uint32_t required = 0;
        EXPECT_FALSE(hid.GetInterfaceDetail(set, &data, nullptr, 0, &required));
        EXPECT_EQ(hid.LastError(), winerr::kInsufficientBuffer);
        EXPECT_GT(required, kInterfaceDetailDataSize);
        ++index;
    }
    EXPECT_EQ(hid.LastError(), winerr::kNoMoreItems);
    EXPECT_TRUE(hid.DestroyDeviceInfoList(set));
    // A window can be told of the class's arriving devices, and stop being told.
    HWND window = CreateWindowA("STATIC", "", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(window);
    const std::uintptr_t notification =
        hid.RegisterInterfaceNotification(reinterpret_cast<std::uintptr_t>(window), guid);
    EXPECT_NE(notification, 0u) << GetLastError();
    if (notification) {
        EXPECT_TRUE(hid.UnregisterInterfaceNotification(notification));
    }
    DestroyWindow(window);
}

// The search passes a device by on what its path shows, unopened: the ids a path names are to
// be those the device's attributes give, on every collection this machine lists.
TEST_F(ReaderWin32Test, TheIdsAPathNamesAreThoseItsAttributesGive) {
    const Guid guid = hid.GetHidGuid();
    DevInfoSetGuard set(hid, hid.GetClassDevs(guid, kPresentInterfaces));
    ASSERT_NE(set.Get(), kInvalidDevInfoSet);
    int compared = 0;
    DeviceInterfaceData data;
    data.cbSize = kInterfaceDataSize;
    for (uint32_t index = 0; hid.EnumDeviceInterfaces(set.Get(), guid, index, &data); ++index) {
        const std::string path = InterfacePath(hid, set.Get(), data);
        const PathIds ids = ReadDevicePath(path);
        if (!ids.vendorId) continue;
        const FileHandle device = OpenCandidate(hid, path);
        if (device == kInvalidFileHandle) continue;
        HiddAttributes attributes;
        attributes.Size = 12;
        const bool known = hid.GetAttributes(device, &attributes);
        hid.CloseHandle(static_cast<std::uintptr_t>(device));
        if (!known) continue;
        EXPECT_EQ(attributes.VendorID, *ids.vendorId) << path;
        EXPECT_EQ(attributes.ProductID, ids.productId.value_or(attributes.ProductID)) << path;
        ++compared;
    }
    if (compared == 0) GTEST_SKIP() << "no HID collection listed here names its ids in its path";
}

// A reader whose device is one end of an overlapped pipe.
class PipeReaderTest : public ReaderWin32Test {
  protected:
    void SetUp() override {
        const std::string name =
            "\\\\.\\pipe\\ostrel-reader-" + std::to_string(GetCurrentProcessId());
        server = UniqueHandle(CreateNamedPipeA(name.c_str(), PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE,
                                               1, 4096, 4096, 0, nullptr));
        ASSERT_TRUE(server);
        reader.InitReader();
        const FileHandle pipe =
            hid.OpenDevice(name, kGenericRead, 0, true, kOpenExisting, kFileFlagOverlapped);
        ASSERT_NE(pipe, kInvalidFileHandle);
        Access::Adopt(reader, pipe, 8);
    }
    void Send(const char (&bytes)[9]) {
        DWORD written = 0;
        WriteFile(server.Get(), bytes, 8, &written, nullptr);
    }

    UniqueHandle server;
    CardReader reader{hid, desktop};
};

TEST_F(PipeReaderTest, AReportAlreadyWaitingArrivesOnTheStartingCall) {
    Send("ABCDEFGH");
    EXPECT_TRUE(reader.ReadReport());
    EXPECT_FALSE(Access::ReadPending(reader));
    EXPECT_EQ(Text(Access::InputReport(reader)), "ABCDEFGH");
}

TEST_F(PipeReaderTest, APendingReadCompletesOnALaterCallOnce) {
    EXPECT_FALSE(reader.ReadReport());
    EXPECT_TRUE(Access::ReadPending(reader));
    EXPECT_FALSE(reader.ReadReport());  // still incomplete (996)
    EXPECT_TRUE(reader.IsOpen());
    Send("12345678");
    Sleep(50);
    EXPECT_TRUE(reader.ReadReport());
    EXPECT_EQ(Text(Access::InputReport(reader)), "12345678");
    // The next call starts a new read rather than answering true again.
    EXPECT_FALSE(reader.ReadReport());
    EXPECT_TRUE(Access::ReadPending(reader));
}

TEST_F(PipeReaderTest, ClosingWithAReadPendingCancelsAndWaitsForIt) {
    EXPECT_FALSE(reader.ReadReport());
    ASSERT_TRUE(Access::ReadPending(reader));
    reader.CloseReader();
    EXPECT_FALSE(Access::ReadPending(reader));
    EXPECT_FALSE(reader.IsOpen());
    EXPECT_EQ(Access::ReadOverlapped(reader).Internal,
              0xC0000120u);  // STATUS_CANCELLED: it finished
}

TEST_F(PipeReaderTest, ABrokenDeviceClosesTheReader) {
    EXPECT_FALSE(reader.ReadReport());
    server.Reset();
    Sleep(50);
    EXPECT_FALSE(reader.ReadReport());
    EXPECT_FALSE(reader.IsOpen());
}

TEST_F(ReaderWin32Test, WaitMsHandlesMessagesAndLastsItsTime) {
    AppMessageCounter counter;
    ASSERT_TRUE(counter.Valid());
    counter.Post();
    const int64_t start = desktop.MonotonicMicros();
    const DWORD ticks = GetTickCount();
    WaitMs(desktop, 100);
    EXPECT_GE(desktop.MonotonicMicros() - start, 100000);
    EXPECT_GE(GetTickCount() - ticks, 90u);  // the monotonic clock agrees with the system's
    EXPECT_EQ(counter.Count(), 1);
}

}  // namespace
}  // namespace ostrel::win32
