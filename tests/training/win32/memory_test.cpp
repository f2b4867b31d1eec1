// What the running program keeps of a card, read from outside as a memory scraper on a till
// reads it (tests/training/win32/memory_scraper.h): at each moment a card has passed through or
// is about to, nothing of a test card's number. The stand-in control and the training reader
// run inside the program; both wipe every copy they make once a call or a read is done, so that
// whatever the scraper finds is the program's. The search is shown to work on a number planted
// in the program's memory, and on a build whose card data store does not wipe.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <set>
#include <string>
#include <vector>

#include "shell/status_texts.h"
#include "tests/training/win32/end_to_end_harness.h"
#include "tests/training/win32/memory_scraper.h"
#include "training/test_cards.h"

namespace ostrel::training::e2e {
namespace {

// The visa test card's track 1 as the reader reads it.
constexpr const char* kVisaTrack1 = "%B4111111111111111^DOE/JOHN Q^2812101100000000000?";
constexpr const char* kVisaNumber = "4111111111111111";
// A number no test card has, for the planted check.
constexpr const char* kPlanted = "5105105105105100";

// Every test card's number, from its track 2.
std::set<std::string> TestCardNumbers() {
    std::set<std::string> numbers;
    for (const TestCard& card : TestCards()) {
        const std::string& track2 = card.swipe.tracks[1];
        const size_t separator = track2.find('=');
        if (track2.size() > 1 && separator != std::string::npos)
            numbers.insert(track2.substr(1, separator - 1));
    }
    return numbers;
}

// The program's memory, open for reading as a scraper opens it, and for writing the plant.
class ScrapedProgram {
  public:
    explicit ScrapedProgram(DWORD pid)
        : process_(OpenProcess(
              PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | PROCESS_VM_OPERATION | PROCESS_VM_WRITE,
              FALSE, pid)) {}
    ~ScrapedProgram() {
        if (process_) CloseHandle(process_);
    }
    ScrapedProgram(const ScrapedProgram&) = delete;
    ScrapedProgram& operator=(const ScrapedProgram&) = delete;
    HANDLE Get() const { return process_; }

    // What the scraper finds of the test cards (and of the planted number); every other
    // Luhn-valid run is printed for the record.
    std::vector<CardFind> CardsFound(const char* moment) const {
        static const std::set<std::string> numbers = TestCardNumbers();
        const Scrape scrape = ScrapeProcess(process_);
        std::vector<CardFind> cards;
        size_t others = 0;
        for (const CardFind& find : scrape.finds) {
            if (numbers.count(find.number) || find.number == kPlanted) {
                cards.push_back(find);
            } else {
                ++others;
            }
        }
        std::cout << "[ scraper  ] " << moment << ": " << scrape.regions << " regions, "
                  << scrape.bytes / 1024 << " KiB, " << cards.size() << " test cards, " << others
                  << " other Luhn-valid runs\n";
        return cards;
    }

  private:
    HANDLE process_;
};

void PutSetting(const char* name, const std::string& value) {
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_SET_VALUE, &key), 0);
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>(value.size() + 1));
    RegCloseKey(key);
}

std::string Utf16(const std::string& text) {
    std::string wide;
    for (const char c : text)
        wide += std::string{c, '\0'};
    return wide;
}

// Presses a button of the program's message box with the given caption; false if none shows.
bool Answer(DWORD pid, const std::string& caption, int button) {
    for (const std::string& text : MessageBoxTexts(pid)) {
        if (text.rfind(caption + ":", 0) != 0) continue;
        HWND box = FindWindowA("#32770", caption.c_str());
        return box && PostMessageA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
    }
    return false;
}

bool BoxShown(DWORD pid, const std::string& caption) {
    const auto texts = MessageBoxTexts(pid);
    return std::any_of(texts.begin(), texts.end(),
                       [&](const std::string& text) { return text.rfind(caption + ":", 0) == 0; });
}

TEST(MemoryScraper, FindsLuhnValidNumbersInEitherWidthAndTellsTheirTrack) {
    using Form = CardFind::Form;
    const struct {
        std::string bytes;
        std::vector<std::pair<Form, std::string>> found;
    } cases[] = {
        {"x4111111111111111y", {{Form::Number, "4111111111111111"}}},
        {"%B4111111111111111^DOE", {{Form::Track1, "4111111111111111"}}},
        {";5105105105105100=2912?", {{Form::Track2, "5105105105105100"}}},
        {"4111111111111112", {}},      // fails the Luhn check
        {"411111111111", {}},          // 12 digits
        {"41111111111111111111", {}},  // 20 digits
        {"378282246310005", {{Form::Number, "378282246310005"}}},
        {"4111 1111 1111 1111", {}},  // blanks part the run
        {"411111******1111", {}},     // as the window shows it
        {Utf16("4111111111111111"), {{Form::Number, "4111111111111111"}}},
        {Utf16(";4111111111111111="), {{Form::Track2, "4111111111111111"}}},
    };
    for (const auto& c : cases) {
        std::vector<std::pair<Form, std::string>> found;
        for (const CardFind& find : FindCardNumbers(c.bytes))
            found.emplace_back(find.form, find.number);
        EXPECT_EQ(found, c.found) << c.bytes;
    }
}

TEST(EndToEndMemory,
     AScraperFindsNoCardBeforeASwipeAfterADeliveryBesideTheResetDialogOrAFailedCall) {
    EmulatorRun run;
    ASSERT_TRUE(run.Started()) << "the host emulator did not start";
    Process& program = run.Scan("C");
    ASSERT_TRUE(program.Valid()) << "the program did not start";
    ASSERT_TRUE(WaitFor([&] { return run.Field("C", "CCSTATUS") == status::kPleaseSwipe; }, 20000))
        << run.Field("C", "CCSTATUS") << run.Dialogs();
    // The program set its mitigation policies and locked its card data store before it
    // created the host's control, which COM still loaded from its registered file: the prompt
    // reached the host through it. Each refusal is in the log (under Wine: Windows Error
    // Reporting's exclusion, which Wine lacks).
    const std::string log = ReadFileText(run.LogPath());
    for (size_t at = log.find("Process guard: "); at != std::string::npos;
         at = log.find("Process guard: ", at + 1)) {
        std::cout << "[ guard    ] " << log.substr(at, log.find('\n', at) - at) << "\n";
    }
    EXPECT_EQ(log.find("refused a mitigation"), std::string::npos) << log;
    EXPECT_EQ(log.find("no mitigation policies"), std::string::npos) << log;
    EXPECT_EQ(log.find("did not lock"), std::string::npos) << log;

    const ScrapedProgram memory(program.Id());
    ASSERT_NE(memory.Get(), nullptr) << GetLastError();
    // The scan finds what it looks for: the session text the program serves, which it keeps for
    // as long as it runs. (A status text lives in no place of its own: the window keeps it, and
    // the copies the program hands on are overwritten as they go.)
    EXPECT_FALSE(FindBytes(memory.Get(), "Front Desk").empty());

    // A number planted in the program's memory, as a track 2 and as UTF-16 text, is found.
    {
        const std::string track2 = std::string(";") + kPlanted + "=29121011000000000?";
        const std::string wide = Utf16(kPlanted);
        void* page = VirtualAllocEx(memory.Get(), nullptr, 4096, MEM_COMMIT, PAGE_READWRITE);
        ASSERT_NE(page, nullptr) << GetLastError();
        const auto at = reinterpret_cast<uintptr_t>(page);
        ASSERT_TRUE(WriteProcessMemory(memory.Get(), page, track2.data(), track2.size(), nullptr));
        ASSERT_TRUE(WriteProcessMemory(memory.Get(), reinterpret_cast<void*>(at + 256), wide.data(),
                                       wide.size(), nullptr));
        const std::vector<CardFind> found = memory.CardsFound("planted");
        VirtualFreeEx(memory.Get(), page, 0, MEM_RELEASE);
        const auto planted = [&](uintptr_t address, CardFind::Form form, bool isWide) {
            return std::any_of(found.begin(), found.end(), [&](const CardFind& f) {
                return f.address == address && f.form == form && f.wide == isWide &&
                       f.number == kPlanted;
            });
        };
        EXPECT_TRUE(planted(at + 1, CardFind::Form::Track2, false)) << Describe(found);
        EXPECT_TRUE(planted(at + 256, CardFind::Form::Number, true)) << Describe(found);
    }
    std::vector<CardFind> found = memory.CardsFound("before any swipe");
    EXPECT_TRUE(found.empty()) << Describe(found);

    ASSERT_EQ(run.Call({"swipe", "visa"})[0], kOk);
    ASSERT_TRUE(WaitFor([&] { return run.Field("C", "CCSTATUS") == status::kSent; }, 10000))
        << run.Field("C", "CCSTATUS") << run.Dialogs();
    EXPECT_EQ(run.Field("C", "W1AC#"), kVisaNumber);
    Sleep(1000);
    found = memory.CardsFound("a second after a delivery");
    EXPECT_TRUE(found.empty()) << Describe(found);
    EXPECT_TRUE(FindBytes(memory.Get(), kVisaTrack1).empty());

    // The request re-activated, as another copy leaves it, and the host refuses the clearing
    // of its fields: the reset dialog.
    ASSERT_EQ(run.Call({"fail", "PutScreenField", "WFNAM"})[0], kOk);
    PutSetting("MSconnect", "2RFront Desk~");
    ASSERT_TRUE(WaitFor([&] { return BoxShown(program.Id(), "Ostrel error..."); }, 20000))
        << run.Dialogs();
    found = memory.CardsFound("beside the reset dialog");
    EXPECT_TRUE(found.empty()) << Describe(found);
    ASSERT_TRUE(Answer(program.Id(), "Ostrel error...", IDOK));
    ASSERT_TRUE(WaitFor([&] { return run.Field("C", "CCSTATUS") == status::kPleaseSwipe; }, 20000))
        << run.Field("C", "CCSTATUS") << run.Dialogs();

    // The host refuses the card number of the next card: the swipe's error box.
    ASSERT_EQ(run.Call({"fail", "PutScreenField", "W1AC#"})[0], kOk);
    ASSERT_EQ(run.Call({"swipe", "mastercard"})[0], kOk);
    ASSERT_TRUE(
        WaitFor([&] { return BoxShown(program.Id(), "Credit Card Scanning Error"); }, 20000))
        << run.Field("C", "CCSTATUS") << run.Dialogs();
    found = memory.CardsFound("after a host call that failed");
    EXPECT_TRUE(found.empty()) << Describe(found);
    ASSERT_TRUE(Answer(program.Id(), "Credit Card Scanning Error", IDOK));
    EXPECT_TRUE(program.WaitForEnd(15000).has_value()) << run.Dialogs();
}

// The reader that also sends masked tracks stays armed after a swipe that fails its checks.
class MaskedReader {
  protected:
    MaskedReader() { SetEnvironmentVariableA("OSTREL_TRAINING_READER", "15"); }
    ~MaskedReader() { SetEnvironmentVariableA("OSTREL_TRAINING_READER", nullptr); }
    MaskedReader(const MaskedReader&) = delete;
    MaskedReader& operator=(const MaskedReader&) = delete;
};

class EndToEndMemoryMasked : private MaskedReader, public ::testing::Test {};

TEST_F(EndToEndMemoryMasked, AScraperFindsNoCardAfterAFailedSwipe) {
    EmulatorRun run;
    ASSERT_TRUE(run.Started()) << "the host emulator did not start";
    Process& program = run.Scan("C");
    ASSERT_TRUE(WaitFor([&] { return run.Field("C", "CCSTATUS") == status::kPleaseSwipe; }, 20000))
        << run.Field("C", "CCSTATUS") << run.Dialogs();
    const ScrapedProgram memory(program.Id());
    ASSERT_NE(memory.Get(), nullptr) << GetLastError();
    ASSERT_EQ(run.Call({"swipe", "no-carets"})[0], kOk);
    ASSERT_TRUE(WaitFor([&] { return run.Field("C", "CCSTATUS") == status::kNoCardNumber; }, 10000))
        << run.Field("C", "CCSTATUS") << run.Dialogs();
    // The status stays up 2 s before the swipe is done with; then a second more.
    Sleep(3000);
    ASSERT_TRUE(program.Running());
    const std::vector<CardFind> found = memory.CardsFound("after a failed swipe");
    EXPECT_TRUE(found.empty()) << Describe(found);
}

// The same program built with the store's wipe turned off: the scraper finds the card.
TEST(EndToEndMemory, WithoutTheStoresWipeTheScraperFindsTheCard) {
    EmulatorRun run("training-unwiped");
    ASSERT_TRUE(run.Started()) << "the host emulator did not start";
    Process& program = run.Scan("C");
    ASSERT_TRUE(WaitFor([&] { return run.Field("C", "CCSTATUS") == status::kPleaseSwipe; }, 20000))
        << run.Field("C", "CCSTATUS") << run.Dialogs();
    const ScrapedProgram memory(program.Id());
    ASSERT_NE(memory.Get(), nullptr) << GetLastError();
    ASSERT_EQ(run.Call({"swipe", "visa"})[0], kOk);
    ASSERT_TRUE(WaitFor([&] { return run.Field("C", "CCSTATUS") == status::kSent; }, 10000))
        << run.Field("C", "CCSTATUS") << run.Dialogs();
    Sleep(1000);
    const std::vector<CardFind> found = memory.CardsFound("a second after a delivery, unwiped");
    // In the store's pages, which lie in the program's image, among other places.
    EXPECT_TRUE(std::any_of(found.begin(), found.end(), [](const CardFind& f) {
        return f.number == kVisaNumber && f.regionType == MEM_IMAGE;
    })) << Describe(found);
}

}  // namespace
}  // namespace ostrel::training::e2e
