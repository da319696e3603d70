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
// non-zero: not ready, try again). On Linux it is an abstract local socket
// (no file that a killed process could leave behind).
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
};

/// The answer handler of the receiver: (dwData, data bytes) -> answer. Runs on
/// the server's own thread; the program marshals it to the UI thread.
using HandoffHandler = std::function<std::intptr_t(std::uint32_t dwData, const std::string& data)>;

class HandoffServer {
public:
    virtual ~HandoffServer() = default;
    /// Starts listening; false when the name is taken or cannot be bound.
    virtual bool Start(HandoffHandler handler) = 0;
    virtual void Stop() = 0;
};

class HandoffClient {
public:
    virtual ~HandoffClient() = default;
    /// True when a receiver listens under the name now.
    virtual bool Present() = 0;
    /// Sends once; the receiver's answer, or nullopt when none could be had.
    virtual std::optional<std::intptr_t> Send(std::uint32_t dwData, const std::string& data) = 0;
};

/// Largest data a hand-off carries (longer requests are refused, not cut).
constexpr std::size_t kMaxHandoffBytes = 64 * 1024;

/// $XDG_RUNTIME_DIR, else /tmp/lyb30-<uid> (created 0700).
std::string RuntimeFolder();

/// Lock-file guard "<folder>/<name>".
std::unique_ptr<InstanceGuard> MakeLockFileGuard(std::string folder, std::string name = "LYB30started");
/// True when a process holds the lock-file guard (for the uninstaller).
bool IsInstanceRunning(const std::string& folder, const std::string& name = "LYB30started");

/// Abstract-socket channel; the socket name joins the runtime folder and the
/// class name, so separate runtime folders never meet.
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
