// The program itself, started as real processes in a temporary program
// folder with real shared libraries that export all or part of the entry
// points: the failure rules of start-up and the hand-off between instances.
#include "platform/linux/file_registry.h"
#include "platform/registry.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace lyb;

namespace {

std::string ReadText(const std::string& path) {
    std::ifstream in(path);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class Lyb30Process : public testing::Test {
protected:
    void SetUp() override {
        std::string tmpl = testing::TempDir() + "lyb30proc_XXXXXX";
        char* made = ::mkdtemp(tmpl.data());
        ASSERT_NE(made, nullptr);
        m_root = made;
        m_prog = m_root + "/prog";
        fs::create_directories(m_prog);
        fs::create_directories(m_root + "/reg");
        fs::create_directories(m_root + "/run");
        fs::permissions(m_root + "/run", fs::perms::owner_all, fs::perm_options::replace);
        fs::copy_file(LYB30_EXE, m_prog + "/lyb30");
        Registry reg(std::make_shared<FileRegistryStore>(m_root + "/reg", true));
        RegKey k;
        ASSERT_EQ(reg.CreateKey(Hive::LocalMachine, "SOFTWARE\\Orvik\\Lyrabox 3.0", RegAccess::Full, k),
                  RegStatus::Ok);
        k.SetString("pth", m_prog);
        k.SetDword("EnglishBase", 1);
        k.SetDword("Bitrate", 192000);
    }
    void TearDown() override {
        for (pid_t p : m_running) {
            ::kill(p, SIGKILL);
            ::waitpid(p, nullptr, 0);
        }
        std::error_code ec;
        fs::remove_all(m_root, ec);
    }

    void Install(const char* doubleName, const char* fileName) {
        fs::copy_file(std::string(LYB_TEST_COMPONENTS) + "/lib" + doubleName + ".so", m_prog + "/" + fileName,
                      fs::copy_options::overwrite_existing);
    }

    /// Starts lyb30; `screenshot` makes it end by itself once its window shows.
    pid_t Start(std::vector<std::string> args, bool screenshot, const std::string& tag,
                const std::string& cwd = {}) {
        pid_t pid = ::fork();
        if (pid == 0) {
            ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
            ::setenv("LYB30_REGISTRY_DIR", (m_root + "/reg").c_str(), 1);
            ::setenv("XDG_RUNTIME_DIR", (m_root + "/run").c_str(), 1);
            ::setenv("XDG_CONFIG_HOME", (m_root + "/config").c_str(), 1);
            ::setenv("XDG_DATA_HOME", (m_root + "/data").c_str(), 1);
            ::setenv("LYB30_TRACE", (m_root + "/trace-" + tag + ".txt").c_str(), 1);
            ::setenv("LYB_TEST_COMPONENT_LOG", (m_root + "/components.txt").c_str(), 1);
            if (screenshot)
                ::setenv("LYB30_SCREENSHOT", (m_root + "/shot-" + tag + ".png").c_str(), 1);
            else
                ::unsetenv("LYB30_SCREENSHOT");
            if (::chdir((cwd.empty() ? m_prog : cwd).c_str()) != 0)
                ::_exit(99);
            std::vector<char*> argv;
            std::string exe = m_prog + "/lyb30";
            argv.push_back(exe.data());
            for (auto& a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(exe.c_str(), argv.data());
            ::_exit(98);
        }
        m_running.push_back(pid);
        return pid;
    }

    /// Waits for the process; -1 when it had to be killed after `seconds`.
    int Wait(pid_t pid, int seconds = 30) {
        for (int i = 0; i < seconds * 20; ++i) {
            int status = 0;
            if (::waitpid(pid, &status, WNOHANG) == pid) {
                std::erase(m_running, pid);
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return -1;
    }

    bool WaitForTrace(const std::string& tag, const std::string& text, int seconds = 20) {
        for (int i = 0; i < seconds * 20; ++i) {
            if (ReadText(m_root + "/trace-" + tag + ".txt").find(text) != std::string::npos)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

    std::string Trace(const std::string& tag) { return ReadText(m_root + "/trace-" + tag + ".txt"); }

    std::string m_root, m_prog;
    std::vector<pid_t> m_running;
};

TEST_F(Lyb30Process, WithoutTheEncoderStartUpEndsSilentlyWithAFailureCode) {
    Install("double_lse_complete", "liblsedll.so");
    const int rc = Wait(Start({}, true, "a"));
    EXPECT_EQ(rc, 1);
    const std::string t = Trace("a");
    EXPECT_NE(t.find("AAC DLL initialization fault"), std::string::npos);
    EXPECT_EQ(t.find("MainFrame loaded"), std::string::npos);
    EXPECT_FALSE(fs::exists(m_root + "/shot-a.png"));
    // The settings were loaded (step 7), so they are written at exit.
    EXPECT_NE(ReadText(m_root + "/reg/user.reg").find("\"Bitrate\"=dword:0002ee00"), std::string::npos);
}

TEST_F(Lyb30Process, AnEncoderWithoutReleaseEndsStartUp) {
    Install("double_tessel_incomplete", "libtessel.so");
    EXPECT_EQ(Wait(Start({}, true, "b")), 1);
    EXPECT_EQ(Trace("b").find("MainFrame loaded"), std::string::npos);
    EXPECT_EQ(ReadText(m_root + "/components.txt").find("CreateAACInterface"), std::string::npos);
}

TEST_F(Lyb30Process, RunsWithAllComponentsAndReleasesThemInOrder) {
    Install("double_tessel_complete", "libtessel.so");
    Install("double_lse_complete", "liblsedll.so");
    Install("double_usb_complete", "libusb-orvik.so");
    EXPECT_EQ(Wait(Start({}, true, "c")), 0);
    EXPECT_TRUE(fs::exists(m_root + "/shot-c.png"));
    EXPECT_EQ(ReadText(m_root + "/components.txt"),
              "CreateLockstreamInterface\nCreateAACInterface\nORVIKCreateInstance\n"
              "ReleaseLockstreamInterface\nReleaseAACInterface\n");
    const std::string t = Trace("c");
    EXPECT_NE(t.find("end of InitInstance"), std::string::npos);
    EXPECT_NE(t.find("usb.dll initialized successfully"), std::string::npos);
}

TEST_F(Lyb30Process, IncompleteOptionalLibrariesAreLeftOut) {
    Install("double_tessel_complete", "libtessel.so");
    Install("double_lse_incomplete", "liblsedll.so");
    Install("double_usb_incomplete", "libusb-orvik.so");
    EXPECT_EQ(Wait(Start({}, true, "d")), 0);
    EXPECT_EQ(ReadText(m_root + "/components.txt"), "CreateAACInterface\nReleaseAACInterface\n");
    EXPECT_EQ(Trace("d").find("usb.dll initialized successfully"), std::string::npos);
}

TEST_F(Lyb30Process, ASecondStartHandsItsFileToTheFirstAndACrashLeavesNoLock) {
    Install("double_tessel_complete", "libtessel.so");
    const pid_t first = Start({}, false, "first");
    ASSERT_TRUE(WaitForTrace("first", "end of InitInstance"));

    EXPECT_EQ(Wait(Start({}, false, "noarg")), 1); // nothing to hand over: just ends
    EXPECT_EQ(Wait(Start({"/play", "/music/a.mp3"}, false, "second")), 1);
    EXPECT_TRUE(WaitForTrace("first", "Music Studio: handed-over file /music/a.mp3", 5));
    EXPECT_EQ(Trace("second").find("Loading registry setting"), std::string::npos);
    EXPECT_EQ(Trace("first").find("/music/"), Trace("first").find("/music/a.mp3"));

    // The first instance dies without clean-up; the next start is not blocked.
    ::kill(first, SIGKILL);
    Wait(first);
    EXPECT_EQ(Wait(Start({}, true, "third")), 0);
    EXPECT_TRUE(fs::exists(m_root + "/shot-third.png"));
}

// End to end over the real channel and real signals: a relative name handed
// over arrives absolute; another user's connection is refused; SIGTERM ends
// the program as closing it does, with the settings saved (it used to end
// the process on the spot, saving nothing).
TEST_F(Lyb30Process, RelativeHandOffAnotherUserAndSigterm) {
    Install("double_tessel_complete", "libtessel.so");
    const pid_t first = Start({}, false, "first");
    ASSERT_TRUE(WaitForTrace("first", "end of InitInstance"));

    const std::string elsewhere = m_root + "/elsewhere";
    fs::create_directories(elsewhere);
    EXPECT_EQ(Wait(Start({"/play", "rel/a.mp3"}, false, "second", elsewhere)), 1);
    EXPECT_TRUE(WaitForTrace("first", "Music Studio: handed-over file " + elsewhere + "/rel/a.mp3", 5))
        << Trace("first");

    if (::geteuid() == 0 && fs::exists("/usr/bin/setpriv") && fs::exists("/usr/bin/python3")) {
        // The folder is private, so another user cannot even reach the
        // socket; opened for this test, the receiver itself refuses.
        const std::string socket = m_root + "/run/Lyb30MDIMainWnd";
        ASSERT_TRUE(fs::exists(socket));
        ::chmod(m_root.c_str(), 0711);
        ::chmod((m_root + "/run").c_str(), 0711);
        ::chmod(socket.c_str(), 0666);
        const std::string script =
            "import socket,struct,sys\n"
            "s=socket.socket(socket.AF_UNIX)\n"
            "try:\n s.connect(sys.argv[1])\n"
            "except OSError as e:\n print('refused', e.strerror); sys.exit(0)\n"
            "d=b'/music/other.mp3\\0'\n"
            "s.settimeout(3)\n"
            "try:\n s.sendall(struct.pack('=III',0x3142594C,777,len(d))+d); a=s.recv(8)\n"
            "except OSError:\n a=b''\n"
            "print('answered' if len(a)==8 else 'refused')\n";
        std::ofstream(m_root + "/client.py") << script;
        ::chmod((m_root + "/client.py").c_str(), 0644);
        const std::string command = "setpriv --reuid=65534 --regid=65534 --clear-groups /usr/bin/python3 " +
                                    m_root + "/client.py " + socket + " 2>&1";
        std::string out;
        if (FILE* p = ::popen(command.c_str(), "r")) {
            char buf[256];
            while (size_t n = std::fread(buf, 1, sizeof buf, p))
                out.append(buf, n);
            ::pclose(p);
        }
        ::chmod((m_root + "/run").c_str(), 0700);
        EXPECT_EQ(out.substr(0, 7), "refused") << out;
        EXPECT_TRUE(WaitForTrace("first", "Hand-off from user 65534 refused", 5)) << Trace("first");
        EXPECT_EQ(Trace("first").find("/music/other.mp3"), std::string::npos);
    }

    ASSERT_EQ(::kill(first, SIGTERM), 0);
    EXPECT_EQ(Wait(first, 20), 0);
    const std::string t = Trace("first");
    EXPECT_NE(t.find("Signal 15: shutting down"), std::string::npos) << t;
    EXPECT_NE(t.find("Saving registry settings..."), std::string::npos);
    EXPECT_NE(ReadText(m_root + "/reg/user.reg").find("\"Bitrate\"=dword:0002ee00"), std::string::npos);
}

// A signal while start-up waits for an answer (here: the machine settings are
// missing, so a message waits) ends the question and then the program, with
// the settings saved.
TEST_F(Lyb30Process, SigtermWhileStartUpAsksEndsTheProgramCleanly) {
    Install("double_tessel_complete", "libtessel.so");
    fs::remove(m_root + "/reg/machine.reg");
    const pid_t pid = Start({}, false, "ask");
    ASSERT_TRUE(WaitForTrace("ask", "Loading registry setting"));
    std::this_thread::sleep_for(std::chrono::milliseconds(300)); // the message is up
    ASSERT_EQ(::kill(pid, SIGTERM), 0);
    EXPECT_EQ(Wait(pid, 20), 0);
    const std::string t = Trace("ask");
    EXPECT_NE(t.find("Signal 15: shutting down"), std::string::npos) << t;
    EXPECT_NE(t.find("Saving registry settings..."), std::string::npos) << t;
    EXPECT_TRUE(fs::exists(m_root + "/reg/user.reg"));
}

} // namespace
