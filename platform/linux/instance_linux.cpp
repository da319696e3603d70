#include "platform/instance.h"

#include "platform/trace.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace lyb {

namespace {

constexpr std::uint32_t kMagic = 0x3142594C; // "LYB1"
constexpr std::uint32_t kPresenceProbe = 0xFFFFFFFFu; // sent by older senders
constexpr int kIdleMs = 2000; // a connection silent this long is closed

std::string Errno(int err) { return std::strerror(err); }

class LockFileGuard final : public InstanceGuard {
public:
    LockFileGuard(std::string folder, std::string name) : m_path(std::move(folder) + "/" + std::move(name)) {}
    ~LockFileGuard() override { Release(); }
    GuardResult Acquire() override {
        if (m_fd >= 0)
            return GuardResult::Acquired;
        m_error.clear();
        int fd = ::open(m_path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) {
            m_error = "cannot open the lock file " + m_path + ": " + Errno(errno);
            return GuardResult::Failed;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int err = errno;
            ::close(fd);
            if (err == EWOULDBLOCK)
                return GuardResult::AlreadyRunning;
            m_error = "cannot lock " + m_path + ": " + Errno(err);
            return GuardResult::Failed;
        }
        m_fd = fd;
        return GuardResult::Acquired;
    }
    void Release() override {
        if (m_fd >= 0) {
            ::close(m_fd); // the file stays; only the lock matters
            m_fd = -1;
        }
    }
    bool Held() const override { return m_fd >= 0; }
    std::string Error() const override { return m_error; }

private:
    std::string m_path;
    std::string m_error;
    int m_fd = -1;
};

// The socket's address; false when the path does not fit.
bool MakeAddress(const std::string& path, sockaddr_un& addr, socklen_t& len) {
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof(addr.sun_path))
        return false;
    std::memcpy(addr.sun_path, path.data(), path.size());
    len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size() + 1);
    return true;
}

// The user at the other end of a connected local socket, or -1.
long PeerUid(int fd) {
    ucred cred{};
    socklen_t len = sizeof cred;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0 || len != sizeof cred)
        return -1;
    return static_cast<long>(cred.uid);
}

bool WriteFull(int fd, const void* data, size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = ::send(fd, p, size, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// Reads exactly `size` bytes before `deadline`; false on end, error or time-out.
bool ReadFull(int fd, void* data, size_t size, std::chrono::steady_clock::time_point deadline) {
    char* p = static_cast<char*>(data);
    while (size > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0)
            return false;
        pollfd pfd{fd, POLLIN, 0};
        int r = ::poll(&pfd, 1, static_cast<int>(left));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return false;
        ssize_t n = ::recv(fd, p, size, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

std::chrono::steady_clock::time_point After(int ms) {
    return std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
}

void SetSendTimeout(int fd, int ms) {
    timeval tv{ms / 1000, (ms % 1000) * 1000};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
}

// A connected socket to a receiver of this user at `path`, or -1 (errno set).
int ConnectTo(const std::string& path) {
    sockaddr_un addr{};
    socklen_t len = 0;
    if (!MakeAddress(path, addr, len)) {
        errno = ENAMETOOLONG;
        return -1;
    }
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), len) != 0) {
        const int err = errno;
        ::close(fd);
        errno = err;
        return -1;
    }
    // Only a receiver of this user ever hears a file name.
    if (PeerUid(fd) != static_cast<long>(::geteuid())) {
        ::close(fd);
        errno = EPERM;
        return -1;
    }
    return fd;
}

class SocketServer final : public HandoffServer {
public:
    SocketServer(std::string folder, std::string className)
        : m_path(std::move(folder) + "/" + std::move(className)) {}
    ~SocketServer() override { Stop(); }

    bool Start(HandoffHandler handler) override {
        m_error.clear();
        if (m_fd >= 0) {
            m_error = "already listening";
            return false;
        }
        sockaddr_un addr{};
        socklen_t len = 0;
        if (!MakeAddress(m_path, addr, len)) {
            m_error = "the socket path " + m_path + " is too long";
            return false;
        }
        int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            m_error = "socket: " + Errno(errno);
            return false;
        }
        int bound = ::bind(fd, reinterpret_cast<sockaddr*>(&addr), len);
        if (bound != 0 && errno == EADDRINUSE) {
            // A receiver that listens keeps its name; a socket file a killed
            // one left behind is replaced.
            int probe = ConnectTo(m_path);
            if (probe >= 0 || errno == EPERM) {
                if (probe >= 0)
                    ::close(probe);
                ::close(fd);
                m_error = m_path + " is taken by a running receiver";
                return false;
            }
            ::unlink(m_path.c_str());
            bound = ::bind(fd, reinterpret_cast<sockaddr*>(&addr), len);
        }
        if (bound != 0 || ::chmod(m_path.c_str(), 0600) != 0 || ::listen(fd, 8) != 0) {
            m_error = "cannot listen on " + m_path + ": " + Errno(errno);
            ::close(fd);
            if (bound == 0)
                ::unlink(m_path.c_str());
            return false;
        }
        if (::pipe2(m_wake, O_CLOEXEC) != 0) {
            m_error = "pipe: " + Errno(errno);
            ::close(fd);
            ::unlink(m_path.c_str());
            return false;
        }
        m_fd = fd;
        m_handler = std::move(handler);
        m_thread = std::thread([this] { Run(); });
        return true;
    }

    void Stop() override {
        if (m_fd < 0)
            return;
        char c = 0;
        (void)!::write(m_wake[1], &c, 1);
        m_thread.join();
        ::close(m_fd);
        ::close(m_wake[0]);
        ::close(m_wake[1]);
        m_fd = -1;
        ::unlink(m_path.c_str());
    }

    std::string Error() const override { return m_error; }

private:
    void Run() {
        while (true) {
            pollfd fds[2] = {{m_fd, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
            if (::poll(fds, 2, -1) < 0) {
                if (errno == EINTR)
                    continue;
                return;
            }
            if (fds[1].revents)
                return;
            if (!(fds[0].revents & POLLIN))
                continue;
            int c = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
            if (c < 0)
                continue;
            const long uid = PeerUid(c);
            if (uid != static_cast<long>(::geteuid()))
                TraceFormat("Hand-off from user %ld refused", uid);
            else
                Serve(c);
            ::close(c);
        }
    }

    // One connection carries the requests of one hand-off: each is answered
    // once; a sender retries on the same connection only after "not ready".
    void Serve(int c) {
        SetSendTimeout(c, kIdleMs);
        while (true) {
            std::uint32_t head[3];
            if (!ReadFull(c, head, sizeof head, After(kIdleMs)) || head[0] != kMagic)
                return;
            std::int64_t answer = -1;
            if (head[1] == kPresenceProbe && head[2] == 0) {
                answer = 0;
            } else if (head[2] <= kMaxHandoffBytes) {
                std::string data(head[2], '\0');
                if (!ReadFull(c, data.data(), data.size(), After(kIdleMs)))
                    return;
                answer = m_handler ? m_handler(head[1], data) : -1;
            } else {
                return; // refused, not cut
            }
            if (!WriteFull(c, &answer, sizeof answer))
                return;
        }
    }

    std::string m_path;
    std::string m_error;
    int m_fd = -1;
    int m_wake[2] = {-1, -1};
    HandoffHandler m_handler;
    std::thread m_thread;
};

class SocketConnection final : public HandoffConnection {
public:
    explicit SocketConnection(int fd) : m_fd(fd) {}
    ~SocketConnection() override { ::close(m_fd); }
    std::optional<std::intptr_t> Send(std::uint32_t dwData, const std::string& data,
                                      int timeoutMs) override {
        if (m_broken || data.size() > kMaxHandoffBytes || dwData == kPresenceProbe)
            return std::nullopt;
        SetSendTimeout(m_fd, std::max(timeoutMs, 1));
        const std::uint32_t head[3] = {kMagic, dwData, static_cast<std::uint32_t>(data.size())};
        std::int64_t answer = 0;
        if (WriteFull(m_fd, head, sizeof head) && WriteFull(m_fd, data.data(), data.size()) &&
            ReadFull(m_fd, &answer, sizeof answer, After(timeoutMs)))
            return static_cast<std::intptr_t>(answer);
        m_broken = true; // the request may still be handled: it is never sent again
        return std::nullopt;
    }

private:
    int m_fd;
    bool m_broken = false;
};

class SocketClient final : public HandoffClient {
public:
    SocketClient(std::string folder, std::string className)
        : m_path(std::move(folder) + "/" + std::move(className)) {}

    std::unique_ptr<HandoffConnection> Connect() override {
        int fd = ConnectTo(m_path);
        if (fd < 0)
            return nullptr;
        return std::make_unique<SocketConnection>(fd);
    }

private:
    std::string m_path;
};

} // namespace

bool IsPrivateFolder(const std::string& path, std::string* why) {
    auto fail = [&](const std::string& reason) {
        if (why)
            *why = path + ": " + reason;
        return false;
    };
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0)
        return fail(Errno(errno));
    if (!S_ISDIR(st.st_mode))
        return fail("not a folder");
    if (st.st_uid != ::geteuid())
        return fail("belongs to another user");
    if (st.st_mode & 077)
        return fail("others may enter it");
    return true;
}

std::string RuntimeFolder(std::string* why) {
    std::string problem;
    if (const char* x = std::getenv("XDG_RUNTIME_DIR"); x && *x) {
        std::string dir = x;
        while (dir.size() > 1 && dir.back() == '/')
            dir.pop_back();
        if (IsPrivateFolder(dir, &problem))
            return dir;
        TraceFormat("XDG_RUNTIME_DIR is not private (%s); using a folder of our own",
                    problem.c_str());
    }
    const std::string dir = "/tmp/lyb30-" + std::to_string(::geteuid());
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
        if (why)
            *why = dir + ": " + Errno(errno);
        return {};
    }
    // Made by us earlier with a looser umask: tighten it (only our own).
    struct stat st;
    if (::lstat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
        (st.st_mode & 077))
        ::chmod(dir.c_str(), 0700);
    if (!IsPrivateFolder(dir, &problem)) {
        if (why)
            *why = problem;
        return {};
    }
    return dir;
}

std::unique_ptr<InstanceGuard> MakeLockFileGuard(std::string folder, std::string name) {
    return std::make_unique<LockFileGuard>(std::move(folder), std::move(name));
}

bool IsInstanceRunning(const std::string& folder, const std::string& name) {
    const std::string path = folder + "/" + name;
    int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool running = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return running;
}

std::unique_ptr<HandoffServer> MakeSocketHandoffServer(std::string folder, std::string className) {
    return std::make_unique<SocketServer>(std::move(folder), std::move(className));
}

std::unique_ptr<HandoffClient> MakeSocketHandoffClient(std::string folder, std::string className) {
    return std::make_unique<SocketClient>(std::move(folder), std::move(className));
}

} // namespace lyb
