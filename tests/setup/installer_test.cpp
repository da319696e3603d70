// The installer's logic on a temporary distribution and destination: the
// start rules, the pages' checks, the installation and its failures.
#include "app/associations.h"
#include "app/help_files.h"
#include "app/settings.h"
#include "platform/desktop_entry.h"
#include "platform/instance.h"
#include "platform/process.h"
#include "platform/prompt.h"
#include "platform/registry.h"
#include "platform/volumes.h"
#include "setup/installer.h"
#include "tests/setup/setup_dist.h"
#include "uninstall/install_log.h"

#include <gtest/gtest.h>

using namespace lyb;
using namespace lyb::test;

namespace {

class Steps final : public InstallProgress {
public:
    void Progress(int percent, const std::string& text) override {
        percents.push_back(percent);
        last = text;
    }
    std::vector<int> percents;
    std::string last;
};

struct SetupFixture : testing::Test {
    TempFolder root{"lybsetup"};
    TestDistribution dist{root / "dist"};
    std::string dest = root / "home/.local/opt/Orvik/Lyrabox 3.0";
    std::shared_ptr<MemoryRegistryStore> store = std::make_shared<MemoryRegistryStore>();
    std::shared_ptr<Registry> reg = std::make_shared<Registry>(store);
    ScriptedPrompt prompt;
    Steps steps;

    void SetUp() override {
        fs::create_directories(root / "run");
        fs::create_directories(root / "home/Desktop");
    }

    SetupEnvironment Env() { return TestSetupEnvironment(reg, prompt, dist, root); }
    InstallOptions Options() {
        InstallOptions o;
        o.destination = dest;
        o.group = "Lyrabox 3.0";
        o.musicFolder = root / "home/Music";
        o.playlistFolder = root / "home/Music/Playlists";
        o.associate = true;
        return o;
    }
    std::string Machine(const char* name) {
        RegKey k;
        std::string v;
        if (reg->OpenKey(Hive::LocalMachine, kSettingsKey, RegAccess::Read, k) == RegStatus::Ok)
            k.QueryString(name, v);
        return v;
    }
    std::uint32_t MachineNumber(const char* name) {
        RegKey k;
        std::uint32_t v = 0xFFFFFFFF;
        if (reg->OpenKey(Hive::LocalMachine, kSettingsKey, RegAccess::Read, k) == RegStatus::Ok)
            k.QueryDword(name, v);
        return v;
    }
};

TEST_F(SetupFixture, InstallsFilesLogSettingsAssociationsAndShortcuts) {
    RegKey mp3;
    reg->CreateKey(Hive::ClassesRoot, ".mp3", RegAccess::Full, mp3);
    mp3.SetString("", "VLC.mp3");
    CSetup s(Env());
    ASSERT_EQ(s.Start({}), CSetup::StartResult::Ready);
    EXPECT_EQ(s.Language().name, "English");
    EXPECT_TRUE(s.BoldDialogFont());
    EXPECT_FALSE(s.IsInstalled());
    ASSERT_EQ(s.PrepareDestination(dest), CSetup::FolderCheck::Usable);
    ASSERT_EQ(s.Install(Options(), &steps), 0);

    // A packed file unpacks to exactly its stored size; a plain one is unchanged.
    EXPECT_EQ(ReadBytes(dest + "/lyb30"), dist.program);
    EXPECT_EQ(ReadAll(dest + "/Skins/simple.nms"), "PAKc not packed, copied as it is");
    EXPECT_TRUE(fs::status(dest + "/lyb30").permissions() == (fs::perms::owner_all | fs::perms::group_read |
                                                              fs::perms::group_exec | fs::perms::others_read |
                                                              fs::perms::others_exec));
    EXPECT_EQ(ReadAll(dest + "/lang.dat"), Utf16Le("1=&File\r\n"));
    EXPECT_EQ(ReadAll(dest + "/uninstall.dat"), Utf16Le("197=Remove it?\r\n"));
    EXPECT_EQ(ReadAll(HelpFilePath(dest, true)), "<html>help</html>");
    EXPECT_EQ(ReadAll(dest + "/Font/Face.ttf"), "not really a font");
    EXPECT_EQ(ReadAll(root / "home/.local/share/fonts/Face.ttf"), "not really a font");

    // The log: the folders made for the destination, the files in order, the three late names.
    const auto log = ParseInstallLog(ReadAll(dest + "/" + kInstallLogName));
    std::vector<LogEntry> expected = {
        {true, root / "home/.local"}, {true, root / "home/.local/opt"}, {true, root / "home/.local/opt/Orvik"}, {true, dest},
        {false, dest + "/lyb30l.chm"},     {false, dest + "/lang.dat"},            {false, dest + "/uninstall.dat"},
        {true, dest + "/Skins"},           {false, dest + "/lyb30"},               {false, dest + "/uninstall"},
        {false, dest + "/ReadMe.txt"},     {false, dest + "/Skins/simple.nms"},    {true, dest + "/Font"},
        {false, dest + "/Font/Face.ttf"},  {true, dest + "/Offline"},              {false, dest + "/Offline/offline.htm"},
        {false, dest + "/setup.log"},      {false, dest + "/data.ms"},             {false, dest + "/_OrvikLog.txt"}};
    EXPECT_EQ(log, expected);
    EXPECT_EQ(ReadAll(dest + "/" + kInstallLogName).substr(ReadAll(dest + "/" + kInstallLogName).size() - 4),
              "\r\n\r\n");

    EXPECT_EQ(ReadAll(dest + "/Setup.cfg"), SetupCfgText(dist.folder, dest));
    EXPECT_NE(ReadAll(dest + "/Setup.cfg").find("set G_InstallPath " + dest + "/\r\n"), std::string::npos);
    const std::string page = ReadAll(dest + "/Offline/offline.htm");
    EXPECT_NE(page.find("<title>http://club.example/?a=1&amp;b=&lt;2&gt; (offline)</title>"), std::string::npos);
    EXPECT_NE(page.find("charset=windows-1251"), std::string::npos);
    EXPECT_NE(page.find("<img src=\"logo.jpg\""), std::string::npos);

    EXPECT_EQ(Machine("pth"), dest);
    EXPECT_EQ(Machine("grp"), "Lyrabox 3.0");
    EXPECT_EQ(Machine("FullExePath"), dest + "/lyb30");
    EXPECT_EQ(Machine("Default Skin Path"), dest + "/Skins/");
    EXPECT_EQ(Machine("Current Skin Name"), dest + "/Skins/simple.nms");
    EXPECT_EQ(Machine("DefaultURL"), "http://club.example/?a=1&b=<2>");
    EXPECT_EQ(Machine("TypefaceName"), "Orvik Sans");
    EXPECT_EQ(MachineNumber("Auto Scan Hard Drive"), 1u);
    EXPECT_EQ(MachineNumber("LangID"), 0u);
    EXPECT_EQ(MachineNumber("EnglishBase"), 1u);
    EXPECT_EQ(MachineNumber("CodePage"), 1252u);
    EXPECT_EQ(MachineNumber("chs"), 131075u);
    RegKey entry;
    std::string v;
    ASSERT_EQ(reg->OpenKey(Hive::LocalMachine, kUninstallKey, RegAccess::Read, entry), RegStatus::Ok);
    entry.QueryString("UninstallString", v);
    EXPECT_EQ(v, dest + "/uninstall");

    Associations a(*reg, dest, Env().xdg);
    EXPECT_TRUE(a.IsAssociated(".mp3"));
    EXPECT_TRUE(a.IsAssociated(".lse"));
    EXPECT_TRUE(a.IsAudioCDAssociated());
    reg->OpenKey(Hive::ClassesRoot, ".mp3", RegAccess::Read, mp3);
    mp3.QueryString("LYB30_Back", v);
    EXPECT_EQ(v, "VLC.mp3");
    RegKey open;
    reg->OpenKey(Hive::ClassesRoot, "LYB.File\\shell\\open\\command", RegAccess::Read, open);
    open.QueryString("", v);
    EXPECT_EQ(v, "\"" + dest + "/lyb30\" \"%1\"");

    const std::string shortcut = ReadAll(root / "home/.local/share/applications/Lyrabox 3.0/Lyrabox 3.0.desktop");
    EXPECT_EQ(DesktopEntryValue(shortcut, "Exec"), "\"" + dest + "/lyb30\"");
    EXPECT_EQ(DesktopEntryValue(shortcut, "Path"), dest);
    EXPECT_TRUE(fs::exists(root / "home/.local/share/applications/Lyrabox 3.0/Uninstall Lyrabox 3.0.desktop"));
    EXPECT_TRUE(fs::exists(root / "home/Desktop/Lyrabox 3.0.desktop"));
    EXPECT_TRUE(s.IsInstalled());

    EXPECT_EQ(steps.percents.back(), 100);
    EXPECT_TRUE(std::is_sorted(steps.percents.begin(), steps.percents.end()));
    EXPECT_NE(ReadAll(dest + "/setup.log").find("USB driver: not installed"), std::string::npos);
}

// The desktop's own checker reads every entry setup writes, and the
// package's entry and file types.
TEST_F(SetupFixture, DesktopEntriesAndFileTypesPassTheDesktopsOwnTools) {
    if (!fs::exists("/usr/bin/desktop-file-validate") || !fs::exists("/usr/bin/update-mime-database"))
        GTEST_SKIP() << "desktop-file-utils or shared-mime-info is not installed";
    dest = root / "home/My Programs/Lyrabox 3.0"; // a blank in the folder's name
    CSetup s(Env());
    ASSERT_EQ(s.Start({}), CSetup::StartResult::Ready);
    ASSERT_EQ(s.Install(Options(), nullptr), 0);
    std::vector<std::string> entries = {TestData("../../resources/package/lyb30.desktop")};
    for (const auto& e : fs::recursive_directory_iterator(root / "home"))
        if (e.path().extension() == ".desktop")
            entries.push_back(e.path().string());
    EXPECT_EQ(entries.size(), 7u); // the package's, four in the group, the desktop's, lyb30.desktop
    for (const auto& e : entries) {
        const ProcessRun run = RunAndCapture("/usr/bin/desktop-file-validate", {e}, "", 10000);
        EXPECT_EQ(run.exitCode, 0) << e << "\n" << run.output;
        EXPECT_EQ(run.output, "") << e;
    }
    const std::string mime = root / "mime";
    fs::create_directories(mime + "/packages");
    fs::copy_file(TestData("../../resources/package/lyrabox-mime.xml"), mime + "/packages/lyrabox.xml");
    const ProcessRun run = RunAndCapture("/usr/bin/update-mime-database", {mime}, "", 20000);
    EXPECT_EQ(run.exitCode, 0) << run.output;
    const std::string globs = ReadAll(mime + "/globs2");
    EXPECT_NE(globs.find("audio/x-lse:*.lse"), std::string::npos) << globs;
    EXPECT_NE(globs.find("application/x-cda:*.cda"), std::string::npos) << globs;
}

TEST_F(SetupFixture, ASecondSetupOrTheOtherProgramEndsTheStartAtOnce) {
    CSetup first(Env());
    ASSERT_EQ(first.Start({}), CSetup::StartResult::Ready);
    CSetup second(Env());
    EXPECT_EQ(second.Start({}), CSetup::StartResult::SetupRunning);
    first.ReleaseLock();
    auto other = MakeLockFileGuard(root / "run", kOtherMutexName);
    ASSERT_EQ(other->Acquire(), GuardResult::Acquired);
    CSetup third(Env());
    EXPECT_EQ(third.Start({}), CSetup::StartResult::OtherProgramRunning);
}

TEST_F(SetupFixture, TheLanguageOptionChoosesByNameInEitherForm) {
    {
        CSetup s(Env());
        ASSERT_EQ(s.Start({"-l Deutsch"}), CSetup::StartResult::Ready);
        EXPECT_EQ(s.Language().name, "Deutsch");
        EXPECT_EQ(s.Texts().Get(txt::SetupCaption), "Lyrabox 3.0 Installation");
        EXPECT_FALSE(s.BoldDialogFont());
    }
    {
        CSetup s(Env());
        ASSERT_EQ(s.Start({"-l", "Deutsch"}), CSetup::StartResult::Ready);
        EXPECT_EQ(s.LanguageIndex(), 1);
    }
    CSetup s(Env());
    ASSERT_EQ(s.Start({"-l Klingon"}), CSetup::StartResult::Ready);
    EXPECT_EQ(s.Language().name, "English"); // unknown name: the default
}

TEST_F(SetupFixture, ShortcutNamesFollowTheLanguageSoTheUninstallerFindsThem) {
    CSetup s(Env());
    ASSERT_EQ(s.Start({"-l Deutsch"}), CSetup::StartResult::Ready);
    ASSERT_EQ(s.Install(Options(), nullptr), 0);
    const std::string group = root / "home/.local/share/applications/Lyrabox 3.0";
    EXPECT_TRUE(fs::exists(group + "/Lyrabox.desktop"));
    EXPECT_TRUE(fs::exists(group + "/Lyrabox entfernen.desktop"));
    EXPECT_EQ(MachineNumber("EnglishBase"), 0u);
    EXPECT_EQ(MachineNumber("LangID"), 1u);
    EXPECT_EQ(Machine("DefaultURL"), "");
    EXPECT_FALSE(fs::exists(dest + "/Offline"));
    // No help in this language: the help shortcut names the English help.
    const std::string help = ReadAll(group + "/Lyrabox 3.0 Help.desktop");
    EXPECT_NE(DesktopEntryValue(help, "Exec").find("/lyb30.chm"), std::string::npos);
    EXPECT_EQ(DesktopEntryValue(help, "Exec").find(DesktopExecArgument(dest + "/lyb30-help")), 0u);
}

TEST_F(SetupFixture, AReadOnlyDestinationIsRefusedAtItsPage) {
    const std::string locked = root / "locked";
    fs::create_directories(locked);
    OpenToOthers(root.path());
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
    const SetupEnvironment env = Env();
    EXPECT_TRUE(AsUnprivileged([&] {
        CSetup s(env);
        return s.PrepareDestination(locked) == CSetup::FolderCheck::NotWritable &&
               s.PrepareDestination(locked + "/sub") == CSetup::FolderCheck::NotCreated;
    }));
    EXPECT_FALSE(fs::exists(locked + "/check.fi"));
}

TEST_F(SetupFixture, AFileInUseAtTheDestinationIsSkippedAndTheRestInstalled) {
    fs::create_directories(dest + "/Skins");
    WriteAll(dest + "/Skins/simple.nms", "in use");
    fs::permissions(dest + "/Skins", fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                         fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
    // The destination itself belongs to the (unprivileged) installing user.
    if (::geteuid() == 0) {
        for (const std::string& p : {root.path(), root / "home", root / "home/.local", root / "home/.local/opt",
                                     root / "home/.local/opt/Orvik", dest, root / "run"})
            if (::chown(p.c_str(), kNobody, kNobody) != 0)
                GTEST_SKIP() << "cannot give the folders away";
    }
    const SetupEnvironment env = Env();
    const InstallOptions options = Options();
    EXPECT_TRUE(AsUnprivileged([&] {
        CSetup s(env);
        if (s.Start({}) != CSetup::StartResult::Ready || s.Install(options, nullptr) != 0)
            return false;
        const auto log = ParseInstallLog(ReadAll(dest + "/" + kInstallLogName));
        for (const auto& e : log)
            if (e.path == dest + "/Skins/simple.nms")
                return false;
        return fs::exists(dest + "/lyb30") && fs::exists(dest + "/ReadMe.txt");
    }));
    EXPECT_EQ(ReadAll(dest + "/Skins/simple.nms"), "in use");
}

TEST_F(SetupFixture, ADamagedPackedFileStopsWithError6AndLeavesNothingHalfWritten) {
    std::string packed = ReadAll(dist.folder + "/prog/lyb30");
    WriteAll(dist.folder + "/prog/lyb30", packed.substr(0, packed.size() / 2));
    CSetup s(Env());
    ASSERT_EQ(s.Start({}), CSetup::StartResult::Ready);
    EXPECT_EQ(s.Install(Options(), nullptr), kSetupCopyFailed);
    EXPECT_FALSE(fs::exists(dest + "/lyb30"));
    for (const auto& f : fs::directory_iterator(dest))
        EXPECT_EQ(f.path().filename().string().find("lyb30.tmp"), std::string::npos) << f.path();
    bool damaged = false;
    for (const auto& q : prompt.asked())
        damaged |= q.text.find("damaged") != std::string::npos && q.text.find(dest + "/lyb30") != std::string::npos;
    EXPECT_TRUE(damaged);
    EXPECT_EQ(prompt.asked().back().text.find("Setup error 6"), 0u);
    // What was installed before the failure is in the log, and "pth" points
    // to it, so the uninstaller can remove it.
    const auto log = ParseInstallLog(ReadAll(dest + "/" + kInstallLogName));
    EXPECT_EQ(log.back(), (LogEntry{true, dest + "/Skins"}));
    EXPECT_EQ(Machine("pth"), dest);
}

TEST_F(SetupFixture, APackedFileClaimingAHugeSizeIsRefusedBeforeWriting) {
    std::string packed = ReadAll(dist.folder + "/prog/lyb30");
    packed[4] = packed[5] = packed[6] = packed[7] = '\xFF';
    WriteAll(dist.folder + "/prog/lyb30", packed);
    CSetup s(Env());
    ASSERT_EQ(s.Start({}), CSetup::StartResult::Ready);
    EXPECT_EQ(s.Install(Options(), nullptr), kSetupCopyFailed);
    EXPECT_FALSE(fs::exists(dest + "/lyb30"));
    EXPECT_NE(prompt.asked().front().text.find("larger than the packed data"), std::string::npos);
}

TEST_F(SetupFixture, NotEnoughSpaceIsError4BeforeAnythingIsCopied) {
    Volume v;
    v.mountPoint = "/";
    v.type = VolumeType::Fixed;
    v.freeBytes = 1000;
    SetVolumeSource(std::make_shared<SimVolumeSource>(std::vector<Volume>{v}));
    CSetup s(Env());
    ASSERT_EQ(s.Start({}), CSetup::StartResult::Ready);
    const int r = s.Install(Options(), nullptr);
    SetVolumeSource(nullptr);
    EXPECT_EQ(r, kSetupNoSpace);
    EXPECT_FALSE(fs::exists(dest + "/lyb30"));
    EXPECT_FALSE(fs::exists(dest + "/" + kInstallLogName));
}

TEST_F(SetupFixture, StoppingDuringTheCopyKeepsAUsableLog) {
    SetupEnvironment env = Env();
    int blocks = 0;
    env.pump = [&] { return ++blocks < 2; };
    CSetup s(env);
    ASSERT_EQ(s.Start({}), CSetup::StartResult::Ready);
    EXPECT_EQ(s.Install(Options(), nullptr), kSetupExitCancelled);
    EXPECT_FALSE(fs::exists(dest + "/lyb30"));
    const std::string log = ReadAll(dest + "/" + kInstallLogName);
    EXPECT_FALSE(ParseInstallLog(log).empty());
    EXPECT_EQ(log.substr(log.size() - 4), "\r\n\r\n");
}

TEST_F(SetupFixture, BrokenDistributionsEndTheStart) {
    dist.SetList("prog\\..\\..\\etc\\passwd\r\n");
    {
        CSetup s(Env());
        EXPECT_EQ(s.Start({}), CSetup::StartResult::NoFileList);
        EXPECT_NE(s.StartError().find("not a path below"), std::string::npos);
    }
    dist.SetList("");
    {
        CSetup s(Env());
        EXPECT_EQ(s.Start({}), CSetup::StartResult::NoFileList);
    }
    WriteAll(dist.folder + "/language.inf", "[LANGUAGE]\r\nDefault=X\r\n[X]\r\nCodePage=1252\r\n");
    CSetup s(Env());
    EXPECT_EQ(s.Start({}), CSetup::StartResult::NoLanguages);
}

TEST_F(SetupFixture, AnEntryFolderThatDoesNotExistIsError6) {
    dist.SetList("+Nowhere\r\nprog\\ReadMe.txt\r\n");
    CSetup s(Env());
    ASSERT_EQ(s.Start({}), CSetup::StartResult::Ready);
    EXPECT_EQ(s.Install(Options(), nullptr), kSetupCopyFailed);
}

TEST(SetupCtl, ParsesTotalsFoldersAndFiles) {
    SetupCtl ctl;
    std::string error;
    ASSERT_TRUE(ParseSetupCtl("^^^^12345\r\n \t!Skins\\Big\r+Skins\r\nprog\\a.bin\r\n+\r\n\r\ndir/b.txt", ctl, error));
    EXPECT_EQ(ctl.totalBytes, 12345u);
    const std::vector<SetupCtlEntry> expected = {{SetupCtlEntry::Kind::Folder, "Skins/Big"},
                                                 {SetupCtlEntry::Kind::SubFolder, "Skins"},
                                                 {SetupCtlEntry::Kind::File, "prog/a.bin"},
                                                 {SetupCtlEntry::Kind::SubFolder, ""},
                                                 {SetupCtlEntry::Kind::File, "dir/b.txt"}};
    EXPECT_EQ(ctl.entries, expected);
    EXPECT_EQ(EntryFileName("prog\\a.bin"), "a.bin");
    EXPECT_EQ(EntryFileName("dir/b.txt"), "b.txt");
}

TEST(SetupCtl, RefusesPathsThatLeaveTheirFolderAndOverlongLines) {
    SetupCtl ctl;
    std::string error;
    for (const char* bad : {"..\\x\r", "!a\\..\\..\\b\r", "+/etc\r", "C:\\x\r", "\\root\\x\r", "!\r", "a\\.\\b\r"}) {
        EXPECT_FALSE(ParseSetupCtl(bad, ctl, error)) << bad;
        EXPECT_FALSE(error.empty());
    }
    EXPECT_FALSE(ParseSetupCtl(std::string(kSetupCtlLineMax + 1, 'a') + "\r", ctl, error));
    EXPECT_TRUE(ParseSetupCtl(std::string(kSetupCtlLineMax, 'a') + "\r", ctl, error));
    EXPECT_FALSE(ParseSetupCtl("^^^^99999999999999999999999\r", ctl, error));
}

TEST(LanguageInf, LanguagesInFileOrderWithCaseFreeNamesAndQuotes) {
    const LanguageList list = ParseLanguageInf(
        "[language]\r\ndefault = fra\r\n[NoName]\r\nCodePage=1250\r\n"
        "[ENG]\r\nlanguagename=English (UK)\r\nCodePage=1252\r\n"
        "[FRA]\r\nLanguageName=\"Français\"\r\nCodePage=abc\r\nCharacterSet=1\r\n"
        "[ENG]\r\nLanguageName=Twice\r\n"
        "[HEB]\r\nLanguageName=Hebrew\r\nCodePage=1255\r\nLanguageName=Not this\r\n");
    ASSERT_EQ(list.languages.size(), 3u);
    EXPECT_EQ(list.languages[0].name, "English (UK)");
    EXPECT_TRUE(list.languages[0].englishBase);
    EXPECT_EQ(list.languages[1].name, "Français");
    EXPECT_EQ(list.languages[1].codePage, 1252); // unreadable: the default
    EXPECT_EQ(list.languages[1].id, 1);
    EXPECT_FALSE(list.languages[1].englishBase);
    EXPECT_EQ(list.languages[2].name, "Hebrew");
    EXPECT_TRUE(list.languages[2].RightToLeft());
    EXPECT_EQ(list.DefaultIndex(), 1);
    EXPECT_EQ(list.FindByName("Hebrew"), 2);
    EXPECT_EQ(list.FindByName("hebrew"), -1);
}

TEST(LanguageInf, ReadsUtf16WithItsMarkAndResolvesOnlyNamesBelowTheFolder) {
    std::string bytes = "\xFF\xFE" + Utf16Le("[A]\r\nLanguageName=Русский\r\nCodePage=1251\r\n");
    const LanguageList list = ParseLanguageInf(bytes);
    ASSERT_EQ(list.languages.size(), 1u);
    EXPECT_EQ(list.languages[0].name, "Русский");
    EXPECT_EQ(list.DefaultIndex(), 0);
    EXPECT_EQ(ResolveBelow("/d", "German\\lang.dat"), "/d/German/lang.dat");
    EXPECT_EQ(ResolveBelow("/d", "..\\x"), "");
    EXPECT_EQ(ResolveBelow("/d", "/etc/passwd"), "");
    EXPECT_EQ(ResolveBelow("/d", ""), "");
}

TEST(SetupFiles, SetupCfgHasItsFrameOfFiftyOneCharacters) {
    const std::string cfg = SetupCfgText("/media/cd", "/opt/x");
    size_t start = 0;
    for (int i = 0; i < 4; ++i) {
        const size_t end = cfg.find("\r\n", start);
        EXPECT_EQ(end - start, 51u) << i;
        start = end + 2;
    }
    EXPECT_EQ(cfg.substr(start), "\r\nset G_DataPath /media/cd\r\nset G_InstallPath /opt/x/\r\n");
    EXPECT_EQ(FormatThousands(1234567), "1,234,567");
    EXPECT_EQ(FormatThousands(12), "12");
}

} // namespace
