#pragma once
// The host emulator's pipe: one request and one reply per connection, each a length and an
// encoded message. The server runs on a thread of its own and hands each request to a
// handler there. Each Windows session has its own emulator pipe, open to this machine only.
#include <windows.h>

#include <functional>
#include <optional>
#include <string>

#include "training/wire.h"

namespace ostrel::training::win32 {

// The emulator's pipe in a Windows session, and in the one this process runs in.
std::string EmulatorPipeName(DWORD sessionId);
std::string EmulatorPipeName();

// Sends request and returns the reply; nothing when no emulator is running or it did not
// answer within timeoutMs.
std::optional<Message> CallEmulator(const Message& request, DWORD timeoutMs = 5000,
                                    const std::string& pipeName = EmulatorPipeName());

class PipeServer {
  public:
    using Handler = std::function<Message(const Message& request)>;

    // Serves on its own thread from construction until destruction. Started() is false when
    // the pipe could not be made (another emulator of this session holds the name).
    explicit PipeServer(Handler handler, std::string pipeName = EmulatorPipeName());
    ~PipeServer();
    PipeServer(const PipeServer&) = delete;
    PipeServer& operator=(const PipeServer&) = delete;

    bool Started() const { return thread_ != nullptr; }
    // Waits until no exchange is in progress (a reply not yet taken by its caller), at most
    // ms; false when one still is.
    bool WaitIdle(DWORD ms) const;

  private:
    static DWORD WINAPI Run(void* self);
    void Serve();
    void ServeOne(HANDLE pipe, HANDLE ioEvent);

    Handler handler_;
    HANDLE stop_;
    HANDLE idle_;   // set while the server waits for a caller
    HANDLE first_;  // the first instance, made in the constructor so that a clash shows at once
    HANDLE thread_ = nullptr;
    std::string name_;
};

}  // namespace ostrel::training::win32
