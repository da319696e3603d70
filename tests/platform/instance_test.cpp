#include "platform/instance.h"
#include "platform/shared_library.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <csignal>
#include <filesystem>
#include <grp.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace lyb;

namespace {

std::string TempFolder() {
    std::string tmpl = testing::TempDir() + "inst_XXXXXX";
    char* made = ::mkdtemp(tmpl.data());
    return made ? std::string(made) : std::string();
}

// Runs `body` in a child process; returns its pid.
template <typename F> pid_t Spawn(F body) {
    pid_t pid = ::fork();
    if (pid == 0) {
        body();
        ::_exit(0);
    }
    return pid;
}

TEST(InstanceGuard, SecondHolderSeesTheFirstAndAKilledHolderReleases) {
    const std::string dir = TempFolder();
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    pid_t holder = Spawn([&] {
        auto g = MakeLockFileGuard(dir);
        char ok = g->Acquire() == GuardResult::Acquired ? 'y' : 'n';
        (void)!::write(ready[1], &ok, 1);
        ::pause(); // holds until killed
    });
    char ok = 0;
    ASSERT_EQ(::read(ready[0], &ok, 1), 1);
    ASSERT_EQ(ok, 'y');
    auto mine = MakeLockFileGuard(dir);
    EXPECT_EQ(mine->Acquire(), GuardResult::AlreadyRunning);
    EXPECT_TRUE(IsInstanceRunning(dir));
    // A crash (SIGKILL, no clean-up) must not block the next start.
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    EXPECT_FALSE(IsInstanceRunning(dir));
    EXPECT_EQ(mine->Acquire(), GuardResult::Acquired);
    EXPECT_TRUE(mine->Held());
    mine->Release();
    EXPECT_FALSE(mine->Held());
    EXPECT_EQ(MakeLockFileGuard("/nonexistent-dir-x")->Acquire(), GuardResult::Failed);
    ::close(ready[0]);
    ::close(ready[1]);
    std::filesystem::remove_all(dir);
}

TEST(Handoff, FileNameTravelsBetweenTwoProcesses) {
    const std::string dir = TempFolder();
    int result[2];
    ASSERT_EQ(::pipe(result), 0);
    pid_t receiver = Spawn([&] {
        auto server = MakeSocketHandoffServer(dir, "Lyb30MDIMainWnd");
        int calls = 0;
        std::string got;
        server->Start([&](std::uint32_t dw, const std::string& data) -> std::intptr_t {
            if (++calls == 1)
                return -1; // not ready yet: the sender tries again
            got = std::to_string(dw) + ":" + data;
            return 0;
        });
        for (int i = 0; i < 200 && got.empty(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        server->Stop();
        got += "|" + std::to_string(calls);
        (void)!::write(result[1], got.data(), got.size());
    });
    auto client = MakeSocketHandoffClient(dir, "Lyb30MDIMainWnd");
    std::unique_ptr<HandoffConnection> connection;
    for (int i = 0; i < 40 && !(connection = client->Connect()); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_NE(connection, nullptr);
    const std::string name("/music/a.mp3\0", 13);
    // One connection carries the hand-off, the retry after "not ready" too.
    auto first = connection->Send(777, name, 2000);
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(*first, -1);
    EXPECT_EQ(connection->Send(777, name, 2000), std::optional<std::intptr_t>(0));
    connection.reset();
    ::waitpid(receiver, nullptr, 0);
    char buf[256] = {};
    ssize_t n = ::read(result[0], buf, sizeof buf);
    ASSERT_GT(n, 0);
    EXPECT_EQ(std::string(buf, static_cast<size_t>(n)), std::string("777:/music/a.mp3\0|2", 19));
    // Nobody listens any more; another folder never meets this one.
    EXPECT_FALSE(client->Present());
    EXPECT_FALSE(MakeSocketHandoffClient(dir + "x", "Lyb30MDIMainWnd")->Present());
    ::close(result[0]);
    ::close(result[1]);
    std::filesystem::remove_all(dir);
}

TEST(Handoff, NameCanBeTakenOnlyOnceAndAKilledReceiverLeavesItFree) {
    const std::string dir = TempFolder();
    auto a = MakeSocketHandoffServer(dir, "W");
    auto b = MakeSocketHandoffServer(dir, "W");
    EXPECT_TRUE(a->Start([](std::uint32_t, const std::string&) { return 0; }));
    EXPECT_FALSE(b->Start([](std::uint32_t, const std::string&) { return 0; }));
    EXPECT_NE(b->Error().find("taken"), std::string::npos) << b->Error();
    a->Stop();
    EXPECT_TRUE(b->Start([](std::uint32_t, const std::string&) { return 0; }));
    b->Stop();
    // A receiver killed without clean-up leaves its socket file behind.
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    pid_t killed = Spawn([&] {
        auto server = MakeSocketHandoffServer(dir, "W");
        char ok = server->Start([](std::uint32_t, const std::string&) { return 0; }) ? 'y' : 'n';
        (void)!::write(ready[1], &ok, 1);
        ::pause();
    });
    char ok = 0;
    ASSERT_EQ(::read(ready[0], &ok, 1), 1);
    ASSERT_EQ(ok, 'y');
    ::kill(killed, SIGKILL);
    ::waitpid(killed, nullptr, 0);
    EXPECT_TRUE(std::filesystem::exists(dir + "/W"));
    EXPECT_TRUE(a->Start([](std::uint32_t, const std::string&) { return 0; })) << a->Error();
    a->Stop();
    // A path the socket address cannot hold is refused with the reason.
    auto longName = MakeSocketHandoffServer(dir, std::string(120, 'n'));
    EXPECT_FALSE(longName->Start([](std::uint32_t, const std::string&) { return 0; }));
    EXPECT_NE(longName->Error().find("too long"), std::string::npos);
    ::close(ready[0]);
    ::close(ready[1]);
    std::filesystem::remove_all(dir);
}

// The channel used to be an abstract socket that any local user could
// connect to (pushing files into the running program) or bind first (so the
// program could not start). Now the socket lies in the user's private folder
// and both ends check the other's user.
TEST(Handoff, AnotherUserIsRefusedAtBothEnds) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to act as another user";
    const std::string dir = TempFolder();
    std::atomic<int> calls{0};
    auto server = MakeSocketHandoffServer(dir, "W");
    ASSERT_TRUE(server->Start([&](std::uint32_t, const std::string&) { return ++calls, 0; }));
    // Open the way for the test only: the folder is normally private.
    ::chmod(dir.c_str(), 0711);
    ::chmod((dir + "/W").c_str(), 0666);
    pid_t other = Spawn([&] {
        if (::setgroups(0, nullptr) != 0 || ::setresgid(65534, 65534, 65534) != 0 ||
            ::setresuid(65534, 65534, 65534) != 0)
            ::_exit(2);
        // A raw connection: our own client would refuse a receiver of root.
        int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s/W", dir.c_str());
        if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
            ::_exit(3);
        const std::uint32_t head[3] = {0x3142594C, 777, 3};
        // The receiver may close before the request is even sent.
        (void)!::send(fd, head, sizeof head, MSG_NOSIGNAL);
        (void)!::send(fd, "/x", 3, MSG_NOSIGNAL);
        std::int64_t answer = 0;
        ::_exit(::read(fd, &answer, sizeof answer) == sizeof answer ? 4 : 0);
    });
    int status = 0;
    ::waitpid(other, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the receiver answered another user";
    EXPECT_EQ(calls.load(), 0);
    server->Stop();

    // A receiver of another user is never told a file name.
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const std::string theirs = TempFolder();
    ASSERT_EQ(::chown(theirs.c_str(), 65534, 65534), 0);
    ::chmod(theirs.c_str(), 0711);
    pid_t squatter = Spawn([&] {
        if (::setgroups(0, nullptr) != 0 || ::setresgid(65534, 65534, 65534) != 0 ||
            ::setresuid(65534, 65534, 65534) != 0)
            ::_exit(2);
        auto s = MakeSocketHandoffServer(theirs, "W");
        char ok = s->Start([](std::uint32_t, const std::string&) { return 0; }) ? 'y' : 'n';
        ::chmod((theirs + "/W").c_str(), 0666);
        (void)!::write(ready[1], &ok, 1);
        ::pause();
    });
    char ok = 0;
    ASSERT_EQ(::read(ready[0], &ok, 1), 1);
    ASSERT_EQ(ok, 'y');
    EXPECT_EQ(MakeSocketHandoffClient(theirs, "W")->Connect(), nullptr);
    ::kill(squatter, SIGKILL);
    ::waitpid(squatter, nullptr, 0);
    ::close(ready[0]);
    ::close(ready[1]);
    std::filesystem::remove_all(dir);
    std::filesystem::remove_all(theirs);
}

TEST(RuntimeFolder, OnlyAPrivateFolderOfThisUserIsUsed) {
    const std::string dir = TempFolder();
    std::string why;
    ::chmod(dir.c_str(), 0700);
    EXPECT_TRUE(IsPrivateFolder(dir, &why)) << why;
    ::chmod(dir.c_str(), 0755);
    EXPECT_FALSE(IsPrivateFolder(dir, &why));
    EXPECT_NE(why.find("others"), std::string::npos) << why;
    std::filesystem::create_directory_symlink(dir, dir + "-link");
    ::chmod(dir.c_str(), 0700);
    EXPECT_FALSE(IsPrivateFolder(dir + "-link", &why));
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(dir.c_str(), 65534, 65534), 0);
        EXPECT_FALSE(IsPrivateFolder(dir, &why));
        EXPECT_NE(why.find("another user"), std::string::npos) << why;
        ASSERT_EQ(::chown(dir.c_str(), 0, 0), 0);
    }
    // XDG_RUNTIME_DIR is taken only when private; else our own folder.
    const char* saved = std::getenv("XDG_RUNTIME_DIR");
    const std::string keep = saved ? saved : "";
    ::setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
    EXPECT_EQ(RuntimeFolder(&why), dir);
    ::chmod(dir.c_str(), 0777);
    const std::string fallback = RuntimeFolder(&why);
    EXPECT_EQ(fallback, "/tmp/lyb30-" + std::to_string(::geteuid())) << why;
    EXPECT_TRUE(IsPrivateFolder(fallback, &why)) << why;
    if (saved)
        ::setenv("XDG_RUNTIME_DIR", keep.c_str(), 1);
    else
        ::unsetenv("XDG_RUNTIME_DIR");
    std::filesystem::remove(dir + "-link");
    std::filesystem::remove_all(dir);
}

TEST(Handoff, SimulatedHubBehavesAlike) {
    SimInstanceHub hub;
    auto g1 = hub.MakeGuard();
    auto g2 = hub.MakeGuard();
    EXPECT_EQ(g1->Acquire(), GuardResult::Acquired);
    EXPECT_EQ(g2->Acquire(), GuardResult::AlreadyRunning);
    auto server = hub.MakeServer();
    auto client = hub.MakeClient();
    EXPECT_FALSE(client->Present());
    server->Start([](std::uint32_t dw, const std::string& d) { return dw == 777 && d == "x" ? 0 : 5; });
    auto connection = client->Connect();
    ASSERT_NE(connection, nullptr);
    EXPECT_EQ(connection->Send(777, "x", 100), std::optional<std::intptr_t>(0));
    EXPECT_FALSE(connection->Send(777, std::string(kMaxHandoffBytes + 1, 'a'), 100).has_value());
    server->Stop();
    EXPECT_FALSE(connection->Send(777, "x", 100).has_value());
    EXPECT_EQ(client->Connect(), nullptr);
}

TEST(ProgramFolder, IsTheFolderOfThisTest) {
    const std::string folder = ProgramFolder();
    EXPECT_TRUE(std::filesystem::exists(folder + "/platform_process_tests"));
    SharedLibrary lib;
    EXPECT_FALSE(lib.Open(folder + "/no-such-library.so"));
    EXPECT_FALSE(lib.Error().empty());
    EXPECT_EQ(lib.Symbol("x"), nullptr);
}

} // namespace
