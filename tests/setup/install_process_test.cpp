// The whole round as a user meets it: a distribution made by mkdist from
// this build, installed by `setup` into a temporary root, the installed
// `lyb30` started from there (offscreen), then `uninstall`; afterwards
// nothing the log named is left, the user's own files are, and the file
// types are back with the programs that had them.
#include "app/associations.h"
#include "platform/instance.h"
#include "platform/linux/file_registry.h"
#include "platform/registry.h"
#include "setup/language_inf.h"
#include "tests/setup/setup_test_support.h"
#include "uninstall/install_log.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

using namespace lyb;
using namespace lyb::test;

namespace {

struct Outcome {
    int code = -1;
    std::string output;
};

class InstallRound : public testing::Test {
protected:
    TempFolder root{"lybround"};
    std::string dist = root / "dist";
    std::string dest = root / "opt/Orvik/Lyrabox 3.0";
    std::string home = root / "home";

    void SetUp() override {
        fs::create_directories(root / "reg");
        fs::create_directories(root / "run");
        fs::permissions(root / "run", fs::perms::owner_all, fs::perm_options::replace);
        fs::create_directories(home + "/Desktop");
        fs::create_directories(home + "/Music");
    }

    /// Runs a program with the temporary root's environment and waits.
    Outcome Start(const std::string& program, const std::vector<std::string>& args, const std::string& cwd,
              const std::vector<std::string>& extraEnv = {}) {
        const std::string out = root / "out.txt";
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::setenv("HOME", home.c_str(), 1);
            ::setenv("LYB30_REGISTRY_DIR", (root / "reg").c_str(), 1);
            ::setenv("XDG_RUNTIME_DIR", (root / "run").c_str(), 1);
            ::setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
            ::setenv("XDG_DATA_HOME", (home + "/.local/share").c_str(), 1);
            ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
            ::unsetenv("LYB30_MACHINE_READONLY");
            ::unsetenv("LYB30_SCREENSHOT");
            for (const auto& e : extraEnv)
                ::putenv(const_cast<char*>(e.c_str()));
            if (!cwd.empty() && ::chdir(cwd.c_str()) != 0)
                ::_exit(97);
            // One open file for both, so neither writes over the other.
            if (!::freopen(out.c_str(), "w", stdout) || ::dup2(STDOUT_FILENO, STDERR_FILENO) < 0)
                ::_exit(98);
            ::setvbuf(stdout, nullptr, _IONBF, 0);
            std::vector<char*> argv{const_cast<char*>(program.c_str())};
            for (const auto& a : args)
                argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            ::execv(program.c_str(), argv.data());
            ::_exit(99);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        Outcome r;
        r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.output = ReadAll(out);
        return r;
    }

    std::shared_ptr<Registry> Reg() { return std::make_shared<Registry>(std::make_shared<FileRegistryStore>(root / "reg", true)); }
};

TEST_F(InstallRound, InstallRunRemoveLeavesTheMachineAsItWas) {
    const Outcome made = Start(LYB_MKDIST, {"--bin", LYB_BIN, "--resources", LYB_RESOURCES, "--font", LYB_FONT, "--out", dist}, "");
    ASSERT_EQ(made.code, 0) << made.output;

    // The machine before: other programs own the file types.
    {
        auto reg = Reg();
        for (const auto& [key, value] : std::vector<std::pair<std::string, std::string>>{
                 {".mp3", "VLC.mp3"}, {".aac", "VLC.aac"}, {".m3u", "Audacious.m3u"},
                 {".cda", "CDPlayer.cda"}, {".lse", "Other.lse"}, {"AudioCD\\shell\\play\\command", "cdplayer %1"}}) {
            RegKey k;
            ASSERT_EQ(reg->CreateKey(Hive::ClassesRoot, key, RegAccess::Full, k), RegStatus::Ok);
            k.SetString("", value);
        }
    }
    const std::string mimeBefore = "[Default Applications]\naudio/mpeg=vlc.desktop\naudio/aac=vlc.desktop\n\n"
                                   "[Added Associations]\naudio/mpeg=vlc.desktop;\n";
    WriteAll(home + "/.config/mimeapps.list", mimeBefore);

    const Outcome installed = Start(dist + "/setup", {"--unattended", "-l", "Deutsch", "--dest", dest}, root.path());
    ASSERT_EQ(installed.code, 0) << installed.output;
    EXPECT_NE(installed.output.find("100% Lyrabox 3.0 ist installiert."), std::string::npos) << installed.output;
    const std::vector<LogEntry> log = ParseInstallLog(ReadAll(dest + "/" + kInstallLogName));
    ASSERT_GT(log.size(), 10u);
    for (const char* f : {"lyb30", "libtessel.so", "uninstall", "uninstall.dat", "lang.dat", "lyb30l.chm", "lyb30.chm",
                          "Font/DejaVuSans-Bold.ttf", "Setup.cfg", "Offline/offline.htm"})
        EXPECT_TRUE(fs::exists(dest + "/" + f)) << f;
    EXPECT_EQ(MimeAppsDefault(ReadAll(home + "/.config/mimeapps.list"), "audio/mpeg"), "lyb30.desktop");
    EXPECT_TRUE(fs::exists(home + "/.local/share/applications/Lyrabox 3.0/Lyrabox 3.0.desktop"));

    // A second setup while... the product is installed: refused, nothing changed.
    const Outcome again = Start(dist + "/setup", {"--unattended", "--dest", root / "other"}, root.path());
    EXPECT_EQ(again.code, 11) << again.output;
    EXPECT_FALSE(fs::exists(root / "other"));

    // The language chosen is what the program reads: its interface file
    // and its help in the folder, its code page in the settings.
    EXPECT_EQ(ReadAll(dest + "/lang.dat"), ReadAll(dist + "/Language/German/lang.dat"));
    EXPECT_EQ(ReadAll(dest + "/lyb30l.chm"), ReadAll(dist + "/Language/German/lyb30l.chm"));
    EXPECT_EQ(ReadAll(dest + "/lang.dat").substr(0, 4), std::string("1\0=\0", 4));

    // The installed program starts from its folder and shows its window,
    // in German.
    const Outcome program = Start(dest + "/lyb30", {}, dest,
                                  {"LYB30_SCREENSHOT=" + (root / "lyb30.png"), "LYB30_TRACE=" + (root / "trace.txt")});
    EXPECT_EQ(program.code, 0) << program.output;
    EXPECT_EQ(ReadAll(root / "trace.txt").find("English interface"), std::string::npos) << ReadAll(root / "trace.txt");
    EXPECT_NE(ReadAll(root / "trace.txt").find("Loading localize string table"), std::string::npos);
    EXPECT_GT(fs::file_size(root / "lyb30.png"), 1000u);
    if (const char* keep = std::getenv("LYB_SCREENSHOT_DIR"))
        fs::copy_file(root / "lyb30.png", std::string(keep) + "/installed-lyb30.png", fs::copy_options::overwrite_existing);

    // The user's own files inside the installation.
    WriteAll(dest + "/Skins/mine.nms", "my skin");
    WriteAll(dest + "/notes.txt", "my notes");

    const Outcome removed = Start(dest + "/uninstall", {"--unattended"}, root.path());
    ASSERT_EQ(removed.code, 0) << removed.output;
    for (const LogEntry& e : log) {
        // Emptied folders go; the two that hold the user's files stay.
        const bool mayStay = e.folder && (e.path == dest || e.path == dest + "/Skins" || dest.find(e.path) == 0);
        if (!mayStay) {
            EXPECT_FALSE(fs::exists(e.path)) << e.path;
        }
    }
    EXPECT_EQ(ReadAll(dest + "/Skins/mine.nms"), "my skin");
    EXPECT_EQ(ReadAll(dest + "/notes.txt"), "my notes");
    EXPECT_FALSE(fs::exists(dest + "/uninstall"));
    EXPECT_FALSE(fs::exists(dest + "/Setup.cfg"));

    auto reg = Reg();
    for (const auto& [key, value] : std::vector<std::pair<std::string, std::string>>{
             {".mp3", "VLC.mp3"}, {".aac", "VLC.aac"}, {".m3u", "Audacious.m3u"},
             {".cda", "CDPlayer.cda"}, {".lse", "Other.lse"}, {"AudioCD\\shell\\play\\command", "cdplayer %1"}}) {
        RegKey k;
        std::string v;
        ASSERT_EQ(reg->OpenKey(Hive::ClassesRoot, key, RegAccess::Read, k), RegStatus::Ok) << key;
        k.QueryString("", v);
        EXPECT_EQ(v, value) << key;
    }
    EXPECT_FALSE(reg->KeyExists(Hive::LocalMachine, "SOFTWARE\\Orvik\\Lyrabox 3.0"));
    EXPECT_FALSE(reg->KeyExists(Hive::CurrentUser, "SOFTWARE\\Orvik\\Lyrabox 3.0"));
    EXPECT_FALSE(reg->KeyExists(Hive::LocalMachine, kUninstallKey));
    const std::string mimeAfter = ReadAll(home + "/.config/mimeapps.list");
    EXPECT_EQ(MimeAppsDefault(mimeAfter, "audio/mpeg"), "vlc.desktop");
    EXPECT_EQ(MimeAppsDefault(mimeAfter, "audio/aac"), "vlc.desktop");
    EXPECT_EQ(MimeAppsDefault(mimeAfter, "audio/x-mpegurl"), "");
    EXPECT_NE(mimeAfter.find("[Added Associations]\naudio/mpeg=vlc.desktop;"), std::string::npos);
    EXPECT_FALSE(fs::exists(home + "/.local/share/applications/lyb30.desktop"));
    EXPECT_FALSE(fs::exists(home + "/.local/share/applications/Lyrabox 3.0"));
    EXPECT_FALSE(fs::exists(home + "/Desktop/Lyrabox 3.0.desktop"));
    EXPECT_FALSE(fs::exists(home + "/.local/share/fonts/DejaVuSans-Bold.ttf"));
}

TEST_F(InstallRound, EveryLanguageTheBuildMadeTravelsAndOneWithoutItsFilesStaysBehind) {
    // A build's language files: German, a language no section names, and
    // a folder that is no language; help for German and for Hebrew, whose
    // interface file was not made.
    const std::string languages = root / "build/Language", help = root / "build/help";
    WriteAll(languages + "/German/lang.dat", Utf16Le("1=&Datei\r\n"));
    WriteAll(languages + "/Klingon/lang.dat", Utf16Le("1=De'wI'\r\n"));
    WriteAll(languages + "/.work/lang.dat", Utf16Le("1=x\r\n"));
    WriteAll(help + "/lyb30.chm", "english help");
    WriteAll(help + "/German/lyb30l.chm", "german help");
    WriteAll(help + "/Hebrew/lyb30l.chm", "hebrew help");
    // The shipped resources, but without a Hebrew interface file.
    const std::string resources = root / "resources";
    fs::create_directories(resources);
    fs::copy(std::string(LYB_RESOURCES) + "/setup", resources + "/setup", fs::copy_options::recursive);
    fs::remove(resources + "/setup/dist/Language/Hebrew/lang.txt");
    fs::remove(resources + "/setup/dist/Language/Hebrew/lang.dat");
    const Outcome made = Start(LYB_MKDIST, {"--bin", LYB_BIN, "--resources", resources, "--font", LYB_FONT, "--out",
                                            dist, "--help", help, "--languages", languages, "--no-pack"}, "");
    ASSERT_EQ(made.code, 0) << made.output;
    EXPECT_NE(made.output.find("Hebrew\\lang.dat is missing"), std::string::npos) << made.output;

    const LanguageList list = ParseLanguageInf(ReadAll(dist + "/language.inf"));
    std::vector<std::string> names;
    for (const auto& l : list.languages)
        names.push_back(l.name);
    EXPECT_EQ(names, (std::vector<std::string>{"English", "Deutsch", "Klingon"}));
    ASSERT_EQ(list.languages.size(), 3u);
    EXPECT_EQ(list.languages[0].id, 0);
    EXPECT_EQ(list.languages[1].helpFile, "German\\lyb30l.chm");
    EXPECT_EQ(list.languages[2].interfaceFile, "Klingon\\lang.dat");
    EXPECT_EQ(list.languages[2].codePage, 65001);
    EXPECT_EQ(list.languages[2].fontFile, "DejaVuSans-Bold.ttf");
    EXPECT_EQ(ReadAll(dist + "/Language/German/lang.dat"), Utf16Le("1=&Datei\r\n"));
    EXPECT_EQ(ReadAll(dist + "/Language/German/lyb30l.chm"), "german help");
    EXPECT_FALSE(fs::exists(dist + "/Language/.work"));
    EXPECT_FALSE(fs::exists(dist + "/Language/Hebrew")); // no language uses it
    EXPECT_NE(ReadAll(dist + "/setup.ctl").find("Program\\lyb30.chm\r\n"), std::string::npos);
    // Of the build's libraries only the program's components travel (the
    // build folder holds test doubles too).
    for (const auto& e : fs::directory_iterator(dist + "/Program")) {
        const std::string name = e.path().filename().string();
        if (name.rfind("lib", 0) == 0)
            EXPECT_TRUE(name == "libtessel.so" || name == "libaac.so" || name == "libwnaspi32.so" ||
                        name == "libusb-orvik.so" || name == "liblsedll.so")
                << name;
    }

    // The language chosen in setup is what the program reads.
    const Outcome installed =
        Start(dist + "/setup", {"--unattended", "-l", "Klingon", "--dest", dest, "--no-associate"}, root.path());
    ASSERT_EQ(installed.code, 0) << installed.output;
    EXPECT_EQ(ReadAll(dest + "/lang.dat"), Utf16Le("1=De'wI'\r\n"));
    EXPECT_EQ(ReadAll(dest + "/lyb30.chm"), "english help");
    EXPECT_FALSE(fs::exists(dest + "/lyb30l.chm"));
    RegKey key;
    ASSERT_EQ(Reg()->OpenKey(Hive::LocalMachine, "SOFTWARE\\Orvik\\Lyrabox 3.0", RegAccess::Read, key), RegStatus::Ok);
    std::uint32_t codePage = 0, langId = 9;
    key.QueryDword("CodePage", codePage);
    key.QueryDword("LangID", langId);
    EXPECT_EQ(codePage, 65001u);
    EXPECT_EQ(langId, 2u);
    EXPECT_EQ(Start(dest + "/uninstall", {"--unattended"}, root.path()).code, 0);
    EXPECT_FALSE(fs::exists(dest));
}

TEST_F(InstallRound, TheUninstallerRefusesWhileTheProgramRuns) {
    ASSERT_EQ(Start(LYB_MKDIST, {"--bin", LYB_BIN, "--resources", LYB_RESOURCES, "--font", LYB_FONT, "--out", dist}, "").code, 0);
    ASSERT_EQ(Start(dist + "/setup", {"--unattended", "--dest", dest, "--no-associate"}, root.path()).code, 0);
    // lyb30 holds its instance lock while it runs; a process holding the
    // same lock stands in for it.
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t holder = ::fork();
    if (holder == 0) {
        auto guard = MakeLockFileGuard(root / "run");
        const char ok = guard->Acquire() == GuardResult::Acquired ? '1' : '0';
        if (::write(ready[1], &ok, 1) != 1)
            ::_exit(1);
        ::pause();
        ::_exit(0);
    }
    char ok = 0;
    ASSERT_EQ(::read(ready[0], &ok, 1), 1);
    ASSERT_EQ(ok, '1');
    const Outcome refused = Start(dest + "/uninstall", {"--unattended"}, root.path());
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    EXPECT_EQ(refused.code, 3) << refused.output;
    EXPECT_NE(refused.output.find("Lyrabox 3.0 is running"), std::string::npos) << refused.output;
    EXPECT_TRUE(fs::exists(dest + "/lyb30"));
    // Once it has ended, the removal goes through.
    EXPECT_EQ(Start(dest + "/uninstall", {"--unattended"}, root.path()).code, 0);
    EXPECT_FALSE(fs::exists(dest));
}

} // namespace
