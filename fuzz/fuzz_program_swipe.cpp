// A swipe through the whole program in virtual time: a copy started by the host for session
// "C", the swipe of the fuzzed track at 8 s, and the run until 12 s, by which time the card was
// delivered or the swipe failed. The host may refuse one of the fields it is handed, quoting
// what it was given in its error (a field being cleared it takes), and may read the number
// back changed.
// Input: a flags byte (1: the host reads the number back changed; 2: trace lines on); a byte
// choosing the reader model (2, 9, 14 or 15); a byte choosing the field the host refuses (none
// or one of the fields it is handed); the card's number (a length byte and its bytes, digits
// taken from them); then the track 1 text, in which each "#" stands for that number.
// Property: apart from the number's own places, no output of the run holds five consecutive
// digits of the number on the track (nor, for a track whose number field is no card number,
// of the number the input gave).
#include <cstdio>
#include <cstdlib>

#include "fuzz/fuzz_input.h"
#include "tests/card_digit_oracle.h"
#include "tests/logic/program_harness.h"

namespace ostrel::fuzz {
namespace {

constexpr uint16_t kModels[] = {2, 9, 14, 15};
const char* const kRefusable[] = {nullptr,  "WFNAM",      "WMNAM",   "WLNAM",  "W1AC#",
                                  "W1CTYP", "SCTYP",      "SCDSC",   "W1CEXP", "ZEXPMM",
                                  "ZEXPYY", "CCScanCard", "CCSTATUS"};
constexpr int32_t kRejected = static_cast<int32_t>(0x80040201);

// The digits between the format code and the first caret, and whether they make a number the
// program may take: 8 to 19 digits with nothing but blanks and dashes between them.
std::pair<std::string, bool> NumberField(std::string_view track) {
    const auto caret = track.find('^');
    const std::string_view field =
        track.size() < 2 ? std::string_view()
                         : track.substr(2, caret == track.npos ? track.npos : caret - 2);
    const std::string digits = oracle::DigitsOf(field);
    bool plain = caret != track.npos;
    for (const char c : field)
        plain = plain && (oracle::IsDigitChar(c) || c == ' ' || c == '-');
    return {digits, plain && digits.size() >= 8 && digits.size() <= 19};
}

void Run(Input& in) {
    const uint8_t flags = in.Byte();
    const uint16_t model = kModels[in.Byte() % 4];
    const char* refused = kRefusable[in.Byte() % std::size(kRefusable)];
    const std::string given = oracle::DigitsOf(in.Text());
    std::string track;
    for (const char c : in.Rest())
        track += c == '#' ? given : std::string(1, c);

    ProgramHarness h;
    if (model != 2) {
        h.hid.Unplug(h.readerId);
        h.readerId = h.hid.Plug(sim::ReaderDevice(model));
    }
    h.hid.recordCalls = false;
    if (flags & 2) h.PutSetting("Logging", "Y");
    if (refused) {
        h.host.onCall = [&h, refused](const sim::SimHostScreen::Call& call) {
            if (call.args.empty() || call.args[0].text != refused) return;
            std::string quoted;
            for (size_t i = 1; i < call.args.size(); ++i)
                quoted += call.args[i].text;
            // A field is cleared before each request: only a value is refused.
            if (quoted.empty()) return;
            h.host.failNext[call.dispId] = {
                kRejected, "Field " + std::string(refused) + " refused the value '" + quoted + "'"};
        };
    }
    if (flags & 1) {
        h.host.readBack = [](const std::string& field, const std::string& stored) {
            return field == "W1AC#" ? stored + "0" : stored;
        };
    }
    h.SwipeAt(8, track);
    h.Run("C,Front Desk", 12);

    const auto [fieldDigits, isNumber] = NumberField(track);
    auto leaks = oracle::CardDigitLeaks(h, fieldDigits);
    if (leaks.empty() && !isNumber) leaks = oracle::CardDigitLeaks(h, given);
    if (!leaks.empty())
        Broken("card digits of " + Shown(track) + " shown where they do not belong:\n" +
               oracle::Describe(leaks));
}

}  // namespace
}  // namespace ostrel::fuzz

// What Windows would refuse or leak is a finding like any other.
void ostrel::ReportPlatformFaults(const std::vector<std::string>& faults) {
    for (const std::string& fault : faults)
        std::fprintf(stderr, "on Windows: %s\n", fault.c_str());
    std::abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ostrel::fuzz::Input in(data, size);
    ostrel::fuzz::Run(in);
    return 0;
}
