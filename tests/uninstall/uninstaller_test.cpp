// The uninstaller's logic on a temporary installation: the start checks,
// the removal steps and what must stay (the user's files, anything the log
// does not name, entries that escape through "..").
#include "app/associations.h"
#include "app/settings.h"
#include "platform/desktop_entry.h"
#include "platform/instance.h"
#include "platform/prompt.h"
#include "platform/registry.h"
#include "tests/setup/setup_test_support.h"
#include "uninstall/install_log.h"
#include "uninstall/uninstaller.h"

#include <gtest/gtest.h>

using namespace lyb;
using namespace lyb::test;

namespace {

class Recorder final : public UninstallProgress {
public:
    void Step(const std::string& text, int percent) override {
        if (!text.empty())
            texts.push_back(text);
        percents.push_back(percent);
    }
    std::vector<std::string> texts;
    std::vector<int> percents;
};

struct UninstallFixture : testing::Test {
    TempFolder root{"lybuninst"};
    std::string inst = root / "opt/Orvik/Lyrabox 3.0";
    std::shared_ptr<MemoryRegistryStore> store = std::make_shared<MemoryRegistryStore>();
    std::shared_ptr<Registry> reg = std::make_shared<Registry>(store);
    ScriptedPrompt prompt;
    Recorder progress;
    std::vector<LogEntry> log;

    void SetUp() override {
        fs::create_directories(inst);
        fs::create_directories(root / "run");
        WriteAll(inst + "/uninstall", "program");
        WriteAll(inst + "/uninstall.dat", Utf16Le("197=Really remove it?\r\n188=Stop: %s\r\n"));
        RegKey k;
        reg->CreateKey(Hive::LocalMachine, kSettingsKey, RegAccess::Full, k);
        k.SetString("pth", inst);
        k.SetString("grp", "Lyrabox 3.0");
        k.SetDword("chs", kChsValue);
        RegKey user;
        reg->CreateKey(Hive::CurrentUser, kSettingsKey, RegAccess::Full, user);
        user.SetDword("Bitrate", 192000);
        RegKey entry;
        reg->CreateKey(Hive::LocalMachine, kUninstallKey, RegAccess::Full, entry);
        entry.SetString("DisplayName", "Lyrabox 3.0");
    }

    void AddFile(const std::string& rel, const std::string& content = "x") {
        WriteAll(inst + "/" + rel, content);
        log.push_back({false, inst + "/" + rel});
    }
    void AddFolder(const std::string& rel) {
        fs::create_directories(inst + "/" + rel);
        log.push_back({true, inst + "/" + rel});
    }
    void WriteLog() {
        std::string text;
        for (const auto& e : log)
            text += FormatLogEntry(e);
        WriteAll(inst + "/" + kInstallLogName, text + "\r\n");
    }

    UninstallEnvironment Env(std::vector<std::string> args = {}) {
        UninstallEnvironment env;
        env.registry = reg;
        env.prompt = &prompt;
        env.progress = &progress;
        env.selfPath = inst + "/uninstall";
        env.args = std::move(args);
        env.runtimeFolder = root / "run";
        env.xdg = XdgFolders{root / "data", root / "config"};
        env.home = root / "home";
        env.registryWaitMs = 0;
        env.temporaryCopyWaitMs = 0;
        return env;
    }
};

TEST_F(UninstallFixture, WithoutItsStringFileItEndsAtOnceAndRemovesNothing) {
    AddFile("lyb30");
    WriteLog();
    fs::remove(inst + "/uninstall.dat");
    CUninstaller u(Env());
    EXPECT_EQ(u.Run(), kUninstallNoTexts);
    EXPECT_TRUE(prompt.asked().empty());
    EXPECT_TRUE(fs::exists(inst + "/lyb30"));
    EXPECT_TRUE(reg->KeyExists(Hive::LocalMachine, kSettingsKey));
}

TEST_F(UninstallFixture, WhileTheProgramRunsMessage211InsideTheFrameAndNothingRemoved) {
    AddFile("lyb30");
    WriteLog();
    auto running = MakeLockFileGuard(root / "run");
    ASSERT_EQ(running->Acquire(), GuardResult::Acquired);
    CUninstaller u(Env());
    EXPECT_EQ(u.Run(), kUninstallProgramRuns);
    ASSERT_EQ(prompt.asked().size(), 1u);
    EXPECT_EQ(prompt.asked()[0].text, "Stop: " + std::string(SetupResText(txt::ProgramRunning)));
    EXPECT_EQ(prompt.asked()[0].caption, SetupResText(txt::ErrorCaption));
    EXPECT_TRUE(fs::exists(inst + "/lyb30"));
    running->Release();
}

TEST_F(UninstallFixture, MissingSettingsOrLogAreReportedAndEndTheRun) {
    AddFile("lyb30");
    {
        CUninstaller u(Env()); // no log yet
        EXPECT_EQ(u.Run(), kUninstallNoLog);
        EXPECT_NE(prompt.asked().back().text.find(SetupResText(txt::LogMissing)), std::string::npos);
    }
    WriteLog();
    RegKey k;
    reg->OpenKey(Hive::LocalMachine, kSettingsKey, RegAccess::Full, k);
    k.DeleteValue("grp");
    CUninstaller u(Env());
    EXPECT_EQ(u.Run(), kUninstallNoSettings);
    EXPECT_NE(prompt.asked().back().text.find(SetupResText(txt::SettingsMissing)), std::string::npos);
    EXPECT_TRUE(fs::exists(inst + "/lyb30"));
}

TEST_F(UninstallFixture, AnsweringNoChangesNothing) {
    AddFile("lyb30");
    WriteLog();
    prompt.Push(PromptAnswer::No);
    CUninstaller u(Env());
    EXPECT_EQ(u.Run(), kUninstallDeclined);
    EXPECT_EQ(prompt.asked()[0].text, "Really remove it?"); // from the string file
    EXPECT_TRUE(fs::exists(inst + "/lyb30"));
    EXPECT_TRUE(reg->KeyExists(Hive::LocalMachine, kUninstallKey));
}

TEST_F(UninstallFixture, RemovesWhatTheLogNamesAndKeepsTheUsersFiles) {
    AddFolder("Skins");
    AddFolder("Help");
    AddFile("lyb30");
    AddFile("uninstall.dat", Utf16Le("197=Really remove it?\r\n"));
    AddFile("Skins/simple.nms");
    AddFile("Help/index.html");
    log.push_back({false, inst + "/data.ms"}); // named though never made
    WriteAll(inst + "/Skins/mine.nms", "the user's own skin");
    WriteAll(inst + "/Setup.cfg", "cfg");
    WriteAll(inst + "/lyb30l.chm", "help");
    WriteLog();
    CUninstaller u(Env());
    EXPECT_EQ(u.Run(), kUninstallDone);
    for (const auto& e : log) {
        if (!e.folder) {
            EXPECT_FALSE(fs::exists(e.path)) << e.path;
        }
    }
    EXPECT_FALSE(fs::exists(inst + "/Setup.cfg"));
    EXPECT_FALSE(fs::exists(inst + "/lyb30l.chm"));
    EXPECT_FALSE(fs::exists(inst + "/" + kInstallLogName));
    EXPECT_FALSE(fs::exists(inst + "/Help"));
    EXPECT_EQ(ReadAll(inst + "/Skins/mine.nms"), "the user's own skin");
    // The uninstaller's own file goes; the folder stays while it holds the user's skin.
    EXPECT_FALSE(fs::exists(inst + "/uninstall"));
    EXPECT_TRUE(fs::exists(inst));
    EXPECT_FALSE(reg->KeyExists(Hive::LocalMachine, kSettingsKey));
    EXPECT_FALSE(reg->KeyExists(Hive::CurrentUser, kSettingsKey));
    EXPECT_FALSE(reg->KeyExists(Hive::LocalMachine, kUninstallKey));
    EXPECT_EQ(prompt.asked().back().text, SetupResText(txt::RemovalDone));
    EXPECT_EQ(progress.percents.back(), 100);
    EXPECT_EQ(progress.texts.front(), SetupResText(txt::StepFont));
}

TEST_F(UninstallFixture, AFolderOnlyLogRemovesTheFoldersInReverseOrderAndKeepsOneWithUserFiles) {
    AddFolder("a");
    AddFolder("a/b");
    AddFolder("a/b/c");
    AddFolder("keep");
    WriteAll(inst + "/keep/letter.txt", "mine");
    WriteLog();
    CUninstaller u(Env());
    ASSERT_EQ(u.Run(), kUninstallDone);
    EXPECT_FALSE(fs::exists(inst + "/a")); // c, then b, then a
    EXPECT_EQ(ReadAll(inst + "/keep/letter.txt"), "mine");
}

TEST_F(UninstallFixture, ASaveFolderWithoutSavedGamesIsLeftWithoutAQuestion) {
    AddFile("lyb30");
    WriteLog();
    WriteAll(inst + "/SAVE/notes.txt", "not a saved game");
    CUninstaller u(Env());
    ASSERT_EQ(u.Run(), kUninstallDone);
    for (const auto& q : prompt.asked())
        EXPECT_NE(q.text, SetupResText(txt::DeleteSavedGames));
    EXPECT_TRUE(fs::exists(inst + "/SAVE/notes.txt"));
}

TEST_F(UninstallFixture, SavedGamesGoOnlyWhenTheUserSaysYes) {
    AddFile("lyb30");
    WriteLog();
    WriteAll(inst + "/SAVE/one.SAV", "1");
    WriteAll(inst + "/SAVE/two.sav", "2");
    prompt.Push(PromptAnswer::Yes); // remove?
    prompt.Push(PromptAnswer::No);  // saved games?
    {
        CUninstaller u(Env());
        ASSERT_EQ(u.Run(), kUninstallDone);
        EXPECT_TRUE(fs::exists(inst + "/SAVE/one.SAV"));
    }
    // Again, with a fresh log, answering Yes: the games and the folder go.
    WriteLog();
    WriteAll(inst + "/uninstall", "program");
    RegKey k;
    reg->CreateKey(Hive::LocalMachine, kSettingsKey, RegAccess::Full, k);
    k.SetString("pth", inst);
    k.SetString("grp", "g");
    CUninstaller again(Env());
    ASSERT_EQ(again.Run(), kUninstallDone);
    EXPECT_FALSE(fs::exists(inst + "/SAVE"));
}

TEST_F(UninstallFixture, AssociationsGoBackToTheirBackupAndATypeWithoutOneKeepsTheClass) {
    AddFile("lyb30");
    WriteLog();
    const XdgFolders xdg{root / "data", root / "config"};
    WriteAll(xdg.configHome + "/mimeapps.list", "[Default Applications]\naudio/mpeg=vlc.desktop\n");
    RegKey mp3;
    reg->CreateKey(Hive::ClassesRoot, ".mp3", RegAccess::Full, mp3);
    mp3.SetString("", "VLC.mp3");
    RegKey cd;
    reg->CreateKey(Hive::ClassesRoot, "AudioCD\\shell\\play\\command", RegAccess::Full, cd);
    cd.SetString("", "cdplayer %1");
    Associations a(*reg, inst, xdg);
    a.RegisterFileClass();
    a.AssociateAudioCD(true);
    a.Associate(".mp3");
    a.Associate(".aac"); // no key before: no backup
    ASSERT_TRUE(a.IsAssociated(".mp3"));
    ASSERT_EQ(MimeAppsDefault(ReadAll(xdg.configHome + "/mimeapps.list"), "audio/mpeg"), "lyb30.desktop");

    CUninstaller u(Env());
    ASSERT_EQ(u.Run(), kUninstallDone);
    std::string v;
    reg->OpenKey(Hive::ClassesRoot, ".mp3", RegAccess::Read, mp3);
    mp3.QueryString("", v);
    EXPECT_EQ(v, "VLC.mp3");
    reg->OpenKey(Hive::ClassesRoot, ".aac", RegAccess::Read, mp3);
    mp3.QueryString("", v);
    EXPECT_EQ(v, "LYB.File");
    reg->OpenKey(Hive::ClassesRoot, "AudioCD\\shell\\play\\command", RegAccess::Read, cd);
    cd.QueryString("", v);
    EXPECT_EQ(v, "cdplayer %1");
    const std::string list = ReadAll(xdg.configHome + "/mimeapps.list");
    EXPECT_EQ(MimeAppsDefault(list, "audio/mpeg"), "vlc.desktop");
    EXPECT_EQ(MimeAppsDefault(list, "audio/aac"), "");
    EXPECT_FALSE(fs::exists(xdg.dataHome + "/applications/lyb30.desktop"));
}

TEST_F(UninstallFixture, NeverFollowsDotDotNorTouchesWhatTheLogDoesNotName) {
    WriteAll(root / "outside/precious.txt", "keep me");
    WriteAll(root / "outside/named.txt", "named by the log");
    fs::create_directories(root / "outside/emptydir");
    AddFile("lyb30");
    log.push_back({false, inst + "/../../../../outside/precious.txt"});
    log.push_back({true, inst + "/../../../../outside/emptydir"});
    log.push_back({false, "outside/precious.txt"}); // not a full path
    log.push_back({false, root / "outside/named.txt"});
    // A symbolic link in the installation folder pointing outside: the link goes, not its target.
    fs::create_symlink(root / "outside/precious.txt", inst + "/link");
    log.push_back({false, inst + "/link"});
    fs::create_directories(inst + "/SAVE");
    fs::remove(inst + "/SAVE");
    fs::create_directory_symlink(root / "outside", inst + "/SAVE");
    WriteAll(root / "outside/game.SAV", "a game outside");
    WriteLog();
    CUninstaller u(Env());
    ASSERT_EQ(u.Run(), kUninstallDone);
    EXPECT_EQ(ReadAll(root / "outside/precious.txt"), "keep me");
    EXPECT_TRUE(fs::exists(root / "outside/emptydir"));
    EXPECT_TRUE(fs::exists(root / "outside/game.SAV"));
    EXPECT_FALSE(fs::exists(root / "outside/named.txt"));
    EXPECT_FALSE(fs::is_symlink(inst + "/link"));
}

TEST_F(UninstallFixture, ParentFoldersGoOnlyWhenTheInstallerMadeThem) {
    // The installer made "Orvik" and the installation folder; "opt" was there.
    log.push_back({true, root / "opt/Orvik"});
    log.push_back({true, inst});
    AddFile("lyb30");
    AddFile("uninstall.dat", Utf16Le("197=?\r\n"));
    WriteLog();
    CUninstaller u(Env());
    ASSERT_EQ(u.Run(), kUninstallDone);
    EXPECT_FALSE(fs::exists(inst));
    EXPECT_FALSE(fs::exists(root / "opt/Orvik"));
    EXPECT_TRUE(fs::exists(root / "opt"));
}

TEST_F(UninstallFixture, ShortcutsGoOnlyWhenTheyAreThisInstallations) {
    AddFile("lyb30");
    WriteLog();
    const std::string group = root / "data/applications/Lyrabox 3.0";
    DesktopEntry ours;
    ours.name = "Lyrabox 3.0";
    ours.command = {inst + "/lyb30"};
    ours.path = inst;
    WriteAll(group + "/" + ShortcutFileName(SetupResText(txt::ProgramShortcut)), FormatDesktopEntry(ours));
    WriteAll(group + "/" + ShortcutFileName(SetupResText(txt::HelpShortcut)), FormatDesktopEntry(ours));
    WriteAll(root / "home/Desktop/Lyrabox 3.0.desktop", FormatDesktopEntry(ours));
    DesktopEntry theirs = ours;
    theirs.path = root / "home";
    WriteAll(group + "/" + ShortcutFileName(SetupResText(txt::ReadMeShortcut)), FormatDesktopEntry(theirs));
    CUninstaller u(Env());
    ASSERT_EQ(u.Run(), kUninstallDone);
    EXPECT_FALSE(fs::exists(group + "/Lyrabox 3.0.desktop"));
    EXPECT_FALSE(fs::exists(group + "/Lyrabox 3.0 Help.desktop"));
    EXPECT_FALSE(fs::exists(root / "home/Desktop/Lyrabox 3.0.desktop"));
    EXPECT_TRUE(fs::exists(group + "/Lyrabox 3.0 ReadMe.desktop"));
    EXPECT_TRUE(fs::exists(group)); // not empty
}

TEST_F(UninstallFixture, TheInterfaceFontGoesOnlyWhenItIsTheInstalledCopy) {
    AddFile("Font/Face.ttf", "font bytes");
    WriteLog();
    RegKey k;
    reg->OpenKey(Hive::LocalMachine, kSettingsKey, RegAccess::Full, k);
    k.SetString("FontFileName", "Face.ttf");
    WriteAll(root / "data/fonts/Face.ttf", "font bytes");
    {
        CUninstaller u(Env());
        ASSERT_EQ(u.Run(), kUninstallDone);
        EXPECT_FALSE(fs::exists(root / "data/fonts/Face.ttf"));
    }
    // Another file of that name is the user's: it stays.
    AddFile("Font/Face.ttf", "font bytes");
    WriteAll(inst + "/uninstall", "program");
    WriteLog();
    reg->CreateKey(Hive::LocalMachine, kSettingsKey, RegAccess::Full, k);
    k.SetString("pth", inst);
    k.SetString("grp", "g");
    k.SetString("FontFileName", "Face.ttf");
    WriteAll(root / "data/fonts/Face.ttf", "the user's own face");
    CUninstaller again(Env());
    ASSERT_EQ(again.Run(), kUninstallDone);
    EXPECT_EQ(ReadAll(root / "data/fonts/Face.ttf"), "the user's own face");
}

TEST_F(UninstallFixture, TheTemporaryCopysCommandLineRemovesOnlyTheUninstallerAndAnEmptyFolder) {
    CUninstaller copy(Env({"+0+" + inst + "/uninstall+" + inst + "+"}));
    ASSERT_TRUE(copy.IsTemporaryCopy());
    WriteAll(inst + "/other", "stays");
    EXPECT_EQ(copy.Run(), kUninstallDone);
    EXPECT_FALSE(fs::exists(inst + "/uninstall"));
    EXPECT_TRUE(fs::exists(inst + "/other"));
    // A line naming a file outside its folder field, or another name, removes nothing.
    WriteAll(root / "victim", "v");
    CUninstaller bad(Env({"+0+" + root / "victim" + "+" + inst + "+"}));
    EXPECT_EQ(bad.Run(), kUninstallDone);
    EXPECT_TRUE(fs::exists(root / "victim"));
}

TEST(InstallLog, ReadingSkipsLeadingBlanksAndStopsAtTheFirstEmptyLine) {
    const auto entries =
        ParseInstallLog(" \t/a/b\r\n!/a\r\n+/c\r\n\r\n/after/the/end\r\n");
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0], (LogEntry{false, "/a/b"}));
    EXPECT_EQ(entries[1], (LogEntry{true, "/a"}));
    EXPECT_EQ(entries[2], (LogEntry{true, "/c"}));
    EXPECT_EQ(ParseInstallLog("/last/without/end").size(), 1u);
    EXPECT_TRUE(ParseInstallLog("").empty());
    // An entry longer than any path of ours is skipped, never cut.
    EXPECT_TRUE(ParseInstallLog("/" + std::string(kMaxLogEntry + 10, 'x') + "\r\n").empty());
}

TEST(InstallLog, PlainFullPathsAndInsideChecks) {
    EXPECT_TRUE(IsPlainFullPath("/opt/x"));
    EXPECT_TRUE(IsPlainFullPath("/opt/x/"));
    EXPECT_FALSE(IsPlainFullPath("/opt/../etc"));
    EXPECT_FALSE(IsPlainFullPath("/opt/./x"));
    EXPECT_FALSE(IsPlainFullPath("opt/x"));
    EXPECT_FALSE(IsPlainFullPath("/opt//x"));
    EXPECT_FALSE(IsPlainFullPath(""));
    EXPECT_TRUE(IsInsideFolder("/opt/a/b", "/opt/a"));
    EXPECT_FALSE(IsInsideFolder("/opt/ab", "/opt/a"));
    EXPECT_FALSE(IsInsideFolder("/opt/a", "/opt/a"));
}

TEST(InstallLog, TheWriterRefusesWhatCannotBeReadBack) {
    TempFolder dir;
    InstallLogWriter w;
    ASSERT_TRUE(w.Create(dir / "x.uns"));
    EXPECT_TRUE(w.AddFile("/a/b"));
    EXPECT_TRUE(w.AddFolder("/a"));
    EXPECT_FALSE(w.AddFile("/a\r\nb"));
    EXPECT_FALSE(w.AddFile("!looks/like/a/folder"));
    ASSERT_TRUE(w.Close());
    EXPECT_EQ(ReadAll(dir / "x.uns"), "/a/b\r\n!/a\r\n\r\n");
    // A link where the log goes is replaced, not followed.
    WriteAll(dir / "target", "keep");
    fs::remove(dir / "x.uns");
    fs::create_symlink(dir / "target", dir / "x.uns");
    ASSERT_TRUE(w.Create(dir / "x.uns"));
    w.Close();
    EXPECT_EQ(ReadAll(dir / "target"), "keep");
}

TEST(SetupTexts, StringFilesTranslateEscapesAndFillOnlyPlainPlaceholders) {
    SetupTexts t;
    t.LoadBytes(Utf16Le("188=Line one\\nLine\\ttwo \\\\ %s %n %x\r\n197=Ja?\r\n500=ignored\r\n"));
    EXPECT_EQ(t.Get(188), "Line one\nLine\ttwo \\ %s %n %x");
    EXPECT_EQ(t.Format(188, {"X"}), "Line one\nLine\ttwo \\ X %n %x");
    EXPECT_EQ(t.Get(197), "Ja?");
    EXPECT_EQ(t.Get(198), SetupResText(198)); // not in the file: ours
    EXPECT_EQ(FillText("%d%% %s", {"5"}), "5% %s");
}

TEST(SetupTexts, TextsAreConvertedToTheCodePageAndCut) {
    SetupTexts t;
    t.SetCodePage(1252);
    t.LoadBytes(Utf16Le("189=Привет\r\n190=" + std::string(1100, 'a') + "\r\n"));
    EXPECT_EQ(t.Get(189), "??????");
    EXPECT_LE(t.Get(190).size(), CLocalize::kStringFileTextUnits);
    EXPECT_GT(t.Get(190).size(), 1000u);
    SetupTexts cyr;
    cyr.SetCodePage(1251);
    cyr.LoadBytes(Utf16Le("189=Привет\r\n"));
    EXPECT_EQ(cyr.Get(189), "Привет");
}

} // namespace
