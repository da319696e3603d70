#include "platform/instance.h"

#include <atomic>
#include <cerrno>
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

class LockFileGuard final : public InstanceGuard {
public:
    LockFileGuard(std::string folder, std::string name) : m_path(std::move(folder) + "/" + std::move(name)) {}
    ~LockFileGuard() override { Release(); }
    GuardResult Acquire() override {
        if (m_fd >= 0)
            return GuardResult::Acquired;
        int fd = ::open(m_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0)
            return GuardResult::Failed;
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int err = errno;
            ::close(fd);
            return err == EWOULDBLOCK ? GuardResult::AlreadyRunning : GuardResult::Failed;
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

private:
    std::string m_path;
    int m_fd = -1;
};

socklen_t MakeAddress(const std::string& folder, const std::string& className, sockaddr_un& addr) {
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    std::string name = "lyb30:" + folder + ":" + className;
    if (name.size() > sizeof(addr.sun_path) - 1)
        name = "lyb30:" + std::to_string(std::hash<std::string>{}(name)) + ":" + className.substr(0, 40);
    std::memcpy(addr.sun_path + 1, name.data(), name.size()); // leading NUL: abstract name
    return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
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

bool ReadFull(int fd, void* data, size_t size) {
    char* p = static_cast<char*>(data);
    while (size > 0) {
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

void SetTimeouts(int fd, int ms) {
    timeval tv{ms / 1000, (ms % 1000) * 1000};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
}

class SocketServer final : public HandoffServer {
public:
    SocketServer(std::string folder, std::string className)
        : m_folder(std::move(folder)), m_class(std::move(className)) {}
    ~SocketServer() override { Stop(); }

    bool Start(HandoffHandler handler) override {
        if (m_fd >= 0)
            return false;
        int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0)
            return false;
        sockaddr_un addr{};
        socklen_t len = MakeAddress(m_folder, m_class, addr);
        if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), len) != 0 || ::listen(fd, 8) != 0) {
            ::close(fd);
            return false;
        }
        if (::pipe2(m_wake, O_CLOEXEC) != 0) {
            ::close(fd);
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
    }

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
            Serve(c);
            ::close(c);
        }
    }

    void Serve(int c) {
        // A silent or slow peer must not hold the channel.
        SetTimeouts(c, 2000);
        std::uint32_t head[3];
        if (!ReadFull(c, head, sizeof head) || head[0] != kMagic)
            return;
        std::int64_t answer = -1;
        if (head[1] == 0xFFFFFFFFu && head[2] == 0) {
            answer = 0; // presence probe
        } else if (head[2] <= kMaxHandoffBytes) {
            std::string data(head[2], '\0');
            if (!ReadFull(c, data.data(), data.size()))
                return;
            answer = m_handler ? m_handler(head[1], data) : -1;
        }
        WriteFull(c, &answer, sizeof answer);
    }

    std::string m_folder, m_class;
    int m_fd = -1;
    int m_wake[2] = {-1, -1};
    HandoffHandler m_handler;
    std::thread m_thread;
};

class SocketClient final : public HandoffClient {
public:
    SocketClient(std::string folder, std::string className)
        : m_folder(std::move(folder)), m_class(std::move(className)) {}

    bool Present() override { return Exchange(0xFFFFFFFFu, {}).has_value(); }

    std::optional<std::intptr_t> Send(std::uint32_t dwData, const std::string& data) override {
        if (data.size() > kMaxHandoffBytes || dwData == 0xFFFFFFFFu)
            return std::nullopt;
        return Exchange(dwData, data);
    }

private:
    std::optional<std::intptr_t> Exchange(std::uint32_t dwData, const std::string& data) {
        int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0)
            return std::nullopt;
        SetTimeouts(fd, 10000);
        sockaddr_un addr{};
        socklen_t len = MakeAddress(m_folder, m_class, addr);
        std::optional<std::intptr_t> result;
        if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), len) == 0) {
            std::uint32_t head[3] = {kMagic, dwData, static_cast<std::uint32_t>(data.size())};
            std::int64_t answer = 0;
            if (WriteFull(fd, head, sizeof head) && WriteFull(fd, data.data(), data.size()) &&
                ReadFull(fd, &answer, sizeof answer))
                result = static_cast<std::intptr_t>(answer);
        }
        ::close(fd);
        return result;
    }

    std::string m_folder, m_class;
};

} // namespace

std::string RuntimeFolder() {
    if (const char* x = std::getenv("XDG_RUNTIME_DIR"); x && *x)
        return x;
    std::string dir = "/tmp/lyb30-" + std::to_string(::getuid());
    ::mkdir(dir.c_str(), 0700);
    return dir;
}

std::unique_ptr<InstanceGuard> MakeLockFileGuard(std::string folder, std::string name) {
    return std::make_unique<LockFileGuard>(std::move(folder), std::move(name));
}

bool IsInstanceRunning(const std::string& folder, const std::string& name) {
    const std::string path = folder + "/" + name;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
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
