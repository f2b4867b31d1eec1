#include "training/win32/pipe.h"

#include <cstdint>
#include <cstring>
#include <string>

#include "support/wipe.h"

namespace ostrel::training::win32 {

namespace {

// Pipe names are machine-wide, unlike the names of events and mutexes, so each Windows session
// (a trainee on a terminal server) has an emulator pipe of its own: the stem and the session id.
constexpr const char* kEmulatorPipeStem = "\\\\.\\pipe\\kt4r-host-emulator-session-";
// Where a process cannot learn its own session (it always can): the services' session, where
// no trainee's emulator runs.
constexpr DWORD kServicesSession = 0;

// A message bigger than this is refused: no request or reply of ours comes near it.
constexpr uint32_t kMaxMessage = 4 * 1024 * 1024;
constexpr DWORD kPipeBuffer = 64 * 1024;

class Handle {
  public:
    explicit Handle(HANDLE h = nullptr) : h_(h) {}
    ~Handle() {
        if (h_ && h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE Get() const { return h_; }
    bool Valid() const { return h_ && h_ != INVALID_HANDLE_VALUE; }

  private:
    HANDLE h_;
};

// One overlapped read or write of up to size bytes, given up at the deadline or when stop is
// set; the bytes moved, 0 when it failed.
DWORD TransferSome(HANDLE pipe, char* bytes, DWORD size, bool write, HANDLE ioEvent, HANDLE stop,
                   DWORD timeoutMs) {
    OVERLAPPED io = {};
    io.hEvent = ioEvent;
    DWORD done = 0;
    const BOOL ok =
        write ? WriteFile(pipe, bytes, size, &done, &io) : ReadFile(pipe, bytes, size, &done, &io);
    if (ok) return done;
    if (GetLastError() != ERROR_IO_PENDING) return 0;
    HANDLE waits[2] = {ioEvent, stop};
    if (WaitForMultipleObjects(stop ? 2 : 1, waits, FALSE, timeoutMs) != WAIT_OBJECT_0) {
        CancelIo(pipe);
        GetOverlappedResult(pipe, &io, &done, TRUE);
        return 0;
    }
    return GetOverlappedResult(pipe, &io, &done, FALSE) ? done : 0;
}

// Exactly size bytes.
bool Transfer(HANDLE pipe, void* data, DWORD size, bool write, HANDLE ioEvent, HANDLE stop,
              DWORD timeoutMs) {
    auto* bytes = static_cast<char*>(data);
    while (size > 0) {
        const DWORD done = TransferSome(pipe, bytes, size, write, ioEvent, stop, timeoutMs);
        if (done == 0) return false;
        bytes += done;
        size -= done;
    }
    return true;
}

// The length and the text in one write: each call into the system counts for a program that
// asks twice a second.
bool Send(HANDLE pipe, const Message& message, HANDLE ioEvent, HANDLE stop, DWORD timeoutMs) {
    std::string wire = Encode(message);
    const auto size = static_cast<uint32_t>(wire.size());
    std::string bytes(reinterpret_cast<const char*>(&size), sizeof size);
    bytes += wire;
    // A message may carry a card's tracks: the copies made for the write go with it.
    Wipe(wire);
    const bool sent = Transfer(pipe, bytes.data(), static_cast<DWORD>(bytes.size()), true, ioEvent,
                               stop, timeoutMs);
    Wipe(bytes);
    return sent;
}

std::optional<Message> Receive(HANDLE pipe, HANDLE ioEvent, HANDLE stop, DWORD timeoutMs) {
    // Most messages arrive whole in the first read; a longer one is read on to its end.
    constexpr DWORD kFirstRead = 4096;
    std::string bytes(kFirstRead, '\0');
    // A message may carry a card's tracks (the training reader's swipes): once decoded, or
    // given up on, its bytes are overwritten.
    struct WipeOnExit {
        std::string& bytes;
        ~WipeOnExit() { Wipe(bytes); }
    } wipeOnExit{bytes};
    DWORD have = 0;
    while (have < sizeof(uint32_t)) {
        const DWORD done = TransferSome(pipe, bytes.data() + have, kFirstRead - have, false,
                                        ioEvent, stop, timeoutMs);
        if (done == 0) return std::nullopt;
        have += done;
    }
    uint32_t size = 0;
    std::memcpy(&size, bytes.data(), sizeof size);
    if (size > kMaxMessage) return std::nullopt;
    const DWORD total = sizeof size + size;
    if (have > total) return std::nullopt;  // more than one message: not ours
    if (total > bytes.size()) {
        // Moved to a larger room by hand, so that the smaller one is overwritten, not let go.
        std::string larger;
        larger.reserve(total);
        larger.assign(bytes, 0, have);
        Wipe(bytes);
        bytes = std::move(larger);
    }
    bytes.resize(total);
    if (have < total &&
        !Transfer(pipe, bytes.data() + have, total - have, false, ioEvent, stop, timeoutMs)) {
        return std::nullopt;
    }
    return Decode(std::string_view(bytes).substr(sizeof size));
}

// Only programs on this machine talk to the emulator: a client coming over the network is
// turned away by the pipe itself.
HANDLE NewInstance(const std::string& name, DWORD flags = 0) {
    return CreateNamedPipeA(
        name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | flags,
        PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
        PIPE_UNLIMITED_INSTANCES, kPipeBuffer, kPipeBuffer, 0, nullptr);
}

}  // namespace

std::string EmulatorPipeName(DWORD sessionId) {
    return kEmulatorPipeStem + std::to_string(sessionId);
}

std::string EmulatorPipeName() {
    DWORD session = kServicesSession;
    ProcessIdToSessionId(GetCurrentProcessId(), &session);
    return EmulatorPipeName(session);
}

std::optional<Message> CallEmulator(const Message& request, DWORD timeoutMs,
                                    const std::string& pipeName) {
    const DWORD start = GetTickCount();
    HANDLE h;
    for (;;) {
        h = CreateFileA(pipeName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                        FILE_FLAG_OVERLAPPED, nullptr);
        if (h != INVALID_HANDLE_VALUE) break;
        // Busy: the server is between two connections.
        if (GetLastError() != ERROR_PIPE_BUSY || GetTickCount() - start >= timeoutMs) {
            return std::nullopt;
        }
        WaitNamedPipeA(pipeName.c_str(), 100);
    }
    Handle pipe(h);
    Handle ioEvent(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!ioEvent.Valid()) return std::nullopt;
    if (!Send(pipe.Get(), request, ioEvent.Get(), nullptr, timeoutMs)) return std::nullopt;
    return Receive(pipe.Get(), ioEvent.Get(), nullptr, timeoutMs);
}

PipeServer::PipeServer(Handler handler, std::string pipeName)
    : handler_(std::move(handler)),
      stop_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      idle_(CreateEventA(nullptr, TRUE, TRUE, nullptr)),
      // Without the flag a second server would share the name and take some of the requests.
      first_(NewInstance(pipeName, FILE_FLAG_FIRST_PIPE_INSTANCE)),
      name_(std::move(pipeName)) {
    if (stop_ && idle_ && first_ != INVALID_HANDLE_VALUE) {
        thread_ = CreateThread(nullptr, 0, &PipeServer::Run, this, 0, nullptr);
    }
}

PipeServer::~PipeServer() {
    if (thread_) {
        SetEvent(stop_);
        WaitForSingleObject(thread_, INFINITE);
        CloseHandle(thread_);
    }
    if (first_ != INVALID_HANDLE_VALUE) CloseHandle(first_);
    if (stop_) CloseHandle(stop_);
    if (idle_) CloseHandle(idle_);
}

bool PipeServer::WaitIdle(DWORD ms) const {
    return idle_ && WaitForSingleObject(idle_, ms) == WAIT_OBJECT_0;
}

DWORD WINAPI PipeServer::Run(void* self) {
    static_cast<PipeServer*>(self)->Serve();
    return 0;
}

void PipeServer::Serve() {
    Handle ioEvent(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    HANDLE pipe = first_;
    first_ = INVALID_HANDLE_VALUE;
    while (pipe != INVALID_HANDLE_VALUE && WaitForSingleObject(stop_, 0) == WAIT_TIMEOUT) {
        ServeOne(pipe, ioEvent.Get());
        // The next instance exists before this one goes: with none at all, the pipe's name is
        // gone for a moment and a client calling then would take the emulator for not running.
        HANDLE next = NewInstance(name_);
        CloseHandle(pipe);
        pipe = next;
    }
    if (pipe != INVALID_HANDLE_VALUE) CloseHandle(pipe);
}

void PipeServer::ServeOne(HANDLE pipe, HANDLE ioEvent) {
    OVERLAPPED io = {};
    io.hEvent = ioEvent;
    ResetEvent(ioEvent);
    if (!ConnectNamedPipe(pipe, &io)) {
        const DWORD error = GetLastError();
        if (error == ERROR_IO_PENDING) {
            HANDLE waits[2] = {ioEvent, stop_};
            if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) {
                CancelIo(pipe);
                DWORD ignored = 0;
                GetOverlappedResult(pipe, &io, &ignored, TRUE);
                return;
            }
        } else if (error != ERROR_PIPE_CONNECTED) {
            return;
        }
    }
    ResetEvent(idle_);
    // A client that stalls is dropped after a while rather than holding up the others.
    constexpr DWORD kClientTimeoutMs = 10000;
    if (auto request = Receive(pipe, ioEvent, stop_, kClientTimeoutMs)) {
        Message reply = handler_(*request);
        // The card's fields on their way to the host, the tracks on their way to the reader.
        WipeMessage(*request);
        const bool sent = Send(pipe, reply, ioEvent, stop_, kClientTimeoutMs);
        WipeMessage(reply);
        if (sent) {
            // Disconnecting throws away what the client has not read yet: wait for it to
            // hang up, which it does once it has the reply.
            char ignored;
            Transfer(pipe, &ignored, 1, false, ioEvent, stop_, kClientTimeoutMs);
        }
    }
    DisconnectNamedPipe(pipe);
    SetEvent(idle_);
}

}  // namespace ostrel::training::win32
