#include "platform/instance.h"
#include "platform/shared_library.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
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
    bool present = false;
    for (int i = 0; i < 40 && !(present = client->Present()); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(present);
    const std::string name("/music/a.mp3\0", 13);
    auto first = client->Send(777, name);
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(*first, -1);
    EXPECT_EQ(client->Send(777, name), std::optional<std::intptr_t>(0));
    ::waitpid(receiver, nullptr, 0);
    char buf[256] = {};
    ssize_t n = ::read(result[0], buf, sizeof buf);
    ASSERT_GT(n, 0);
    EXPECT_EQ(std::string(buf, static_cast<size_t>(n)), std::string("777:/music/a.mp3\0|2", 19));
    // Nobody listens any more; another folder never meets this one.
    EXPECT_FALSE(client->Present());
    EXPECT_FALSE(MakeSocketHandoffClient(dir + "x", "Lyb30MDIMainWnd")->Present());
    EXPECT_FALSE(client->Send(777, std::string(kMaxHandoffBytes + 1, 'a')).has_value());
    ::close(result[0]);
    ::close(result[1]);
    std::filesystem::remove_all(dir);
}

TEST(Handoff, NameCanBeTakenOnlyOnce) {
    const std::string dir = TempFolder();
    auto a = MakeSocketHandoffServer(dir, "W");
    auto b = MakeSocketHandoffServer(dir, "W");
    EXPECT_TRUE(a->Start([](std::uint32_t, const std::string&) { return 0; }));
    EXPECT_FALSE(b->Start([](std::uint32_t, const std::string&) { return 0; }));
    a->Stop();
    EXPECT_TRUE(b->Start([](std::uint32_t, const std::string&) { return 0; }));
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
    EXPECT_EQ(client->Send(777, "x"), std::optional<std::intptr_t>(0));
    server->Stop();
    EXPECT_FALSE(client->Send(777, "x").has_value());
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
