#pragma once
// The messages between the host emulator and the programs that talk to it: the stand-in host
// control, the training reader and whatever drives the emulator (tests, the run command). A
// message is a list of texts; on the wire each text is escaped and the texts are joined by
// tabs, so any byte may appear in a field, an empty field included.
#include <string>
#include <string_view>
#include <vector>

namespace ostrel::training {

// A named event the emulator keeps set while a swipe waits for the reader, so that the
// training reader asks over the pipe only when there is something to take.
constexpr const char* kSwipeWaitingEvent = "Kt4rHostEmulator.SwipeWaiting";

using Message = std::vector<std::string>;

std::string Encode(const Message& message);
// The inverse of Encode. An unknown escape keeps the character after the backslash.
Message Decode(std::string_view wire);
// Overwrites every text of a message that may carry a card's fields or tracks, and empties it.
void WipeMessage(Message& message);

// Replies: "ok" and its results, or "error", a number and a description.
constexpr const char* kOk = "ok";
constexpr const char* kError = "error";
Message OkReply(std::vector<std::string> results = {});
Message ErrorReply(long number, const std::string& description);

}  // namespace ostrel::training
