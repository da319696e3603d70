// One running program per user and the hand-off of a second start's file
// argument to the running one.
//
// The guard is named "LYB30started" (the uninstaller asks the same name
// whether the program runs). On Linux it is an advisory lock (flock) on a
// file of that name in the runtime folder: the kernel drops the lock when
// the process ends in any way, so a crash never blocks the next start.
//
// The hand-off channel stands in for the window message carrying copied
// data: the running program listens under its main-window class name
// ("Lyb30MDIMainWnd"); a second start connects, sends dwData (777) and the
// file name with its terminator, and gets the receiver's answer (0 taken,
// non-zero: not ready, try again). On Linux it is a local socket of that
// name inside the user's private runtime folder (0700, checked), and both
// ends check the other's user (SO_PEERCRED): another user can neither push
// files into the running program nor take its name.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace lyb {

enum class GuardResult { Acquired, AlreadyRunning, Failed };

class InstanceGuard {
public:
    virtual ~InstanceGuard() = default;
    virtual GuardResult Acquire() = 0;
    virtual void Release() = 0;
    virtual bool Held() const = 0;
    /// Why the last Acquire failed ("" when it did not).
    virtual std::string Error() const { return {}; }
};

/// The answer handler of the receiver: (dwData, data bytes) -> answer. Runs on
/// the server's own thread; the program marshals it to the UI thread.
using HandoffHandler = std::function<std::intptr_t(std::uint32_t dwData, const std::string& data)>;

class HandoffServer {
public:
    virtual ~HandoffServer() = default;
    /// Starts listening; false when the name is taken or cannot be bound
    /// (Error() says why). Connections of other users are refused.
    virtual bool Start(HandoffHandler handler) = 0;
    virtual void Stop() = 0;
    /// Why the last Start failed ("" when it did not).
    virtual std::string Error() const { return {}; }
};

/// One connection to the running receiver; one hand-off uses one connection.
class HandoffConnection {
public:
    virtual ~HandoffConnection() = default;
    /// Sends one request and waits at most `timeoutMs` for the answer. The
    /// receiver's answer, or nullopt when none came: then the request may
    /// still be handled, so it must not be sent again.
    virtual std::optional<std::intptr_t> Send(std::uint32_t dwData, const std::string& data,
                                              int timeoutMs) = 0;
};

class HandoffClient {
public:
    virtual ~HandoffClient() = default;
    /// A connection to the receiver listening now (of this user only);
    /// null when there is none.
    virtual std::unique_ptr<HandoffConnection> Connect() = 0;
    /// True when a receiver of this user listens now.
    bool Present() { return Connect() != nullptr; }
};

/// Largest data a hand-off carries (longer requests are refused, not cut).
constexpr std::size_t kMaxHandoffBytes = 64 * 1024;

/// The user's private runtime folder: $XDG_RUNTIME_DIR when it is a folder
/// of this user that no one else may enter; else /tmp/lyb30-<uid>, created
/// 0700 and checked the same way (a link, or a folder another user made or
/// may enter, is refused). "" when there is none; `why` then says why.
std::string RuntimeFolder(std::string* why = nullptr);
/// True when `path` is a folder (not a link) owned by this user with no
/// access for group or others; else false and `why` says why.
bool IsPrivateFolder(const std::string& path, std::string* why = nullptr);

/// Lock-file guard "<folder>/<name>".
std::unique_ptr<InstanceGuard> MakeLockFileGuard(std::string folder, std::string name = "LYB30started");
/// True when a process holds the lock-file guard (for the uninstaller).
bool IsInstanceRunning(const std::string& folder, const std::string& name = "LYB30started");

/// The socket channel "<folder>/<className>". The folder must be private
/// (RuntimeFolder); a socket file a killed receiver left there is replaced.
std::unique_ptr<HandoffServer> MakeSocketHandoffServer(std::string folder, std::string className);
std::unique_ptr<HandoffClient> MakeSocketHandoffClient(std::string folder, std::string className);

/// In-process stand-ins sharing one hub (tests of the start-up logic).
class SimInstanceHub {
public:
    std::unique_ptr<InstanceGuard> MakeGuard();
    std::unique_ptr<HandoffServer> MakeServer();
    std::unique_ptr<HandoffClient> MakeClient();
    bool guardHeld = false;
    HandoffHandler handler;
};

} // namespace lyb
