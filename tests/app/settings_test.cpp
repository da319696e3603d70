#include "app_test_support.h"

#include "app/check_folder.h"
#include "app/preferences.h"
#include "platform/desktop_entry.h"
#include "platform/linux/file_registry.h"
#include "platform/volumes.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include <fstream>

using namespace lyb;
using namespace lyb::test;

namespace {

std::string ReadText(const std::string& path) {
    std::ifstream in(path);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

struct SettingsFixture : testing::Test {
    std::shared_ptr<MemoryRegistryStore> store = std::make_shared<MemoryRegistryStore>();
    Registry reg{store};
    ScriptedPrompt prompt;
    AppSettings s;
};

TEST_F(SettingsFixture, MachineValuesThenUserValuesAndSkinDefaults) {
    RegKey m;
    ASSERT_EQ(reg.CreateKey(Hive::LocalMachine, kSettingsKey, RegAccess::Full, m), RegStatus::Ok);
    m.SetString("pth", "/opt/lyrabox");
    m.SetString("Default Music Folder", "/srv/music");
    m.SetDword("Bitrate", 96000);
    m.SetDword("CodePage", 1256);
    m.SetDword("LangID", 1);
    m.SetString("Music Studio column", std::string(100, '9')); // too long: not read
    m.SetString("CD Player column", "120,80,");
    RegKey u;
    ASSERT_EQ(reg.CreateKey(Hive::CurrentUser, kSettingsKey, RegAccess::Full, u), RegStatus::Ok);
    u.SetDword("LangID", 1);
    u.SetDword("CodePage", 1256);
    u.SetDword("CharacterSet", 0);
    u.SetString("Default Music Folder", "");  // empty: machine value stays
    u.SetString("Default Playlist Folder", "/home/u/lists");
    u.SetDword("Bitrate", 192000);
    u.SetDword("Alwayes top", 1);

    auto report = LoadSettings(reg, &prompt, nullptr, "/cwd", s);
    EXPECT_TRUE(report.machineKeyOpened);
    EXPECT_FALSE(report.userValuesForAnotherLanguage);
    EXPECT_TRUE(s.loaded);
    EXPECT_EQ(s.installFolder, "/opt/lyrabox");
    EXPECT_EQ(s.installFolderCopy, "/opt/lyrabox");
    EXPECT_EQ(s.defaultMusicFolder, "/srv/music");
    EXPECT_EQ(s.defaultPlaylistFolder, "/home/u/lists");
    EXPECT_EQ(s.bitrate, 192000);
    EXPECT_EQ(s.alwaysOnTop, 1);
    EXPECT_EQ(s.englishBase, 0); // the machine key exists
    EXPECT_TRUE(s.rightToLeft);
    EXPECT_EQ(s.musicStudioColumns, "");
    EXPECT_EQ(s.cdPlayerColumns, "120,80,");
    EXPECT_EQ(s.typefaceName, "Orvik Sans Wise");
    EXPECT_EQ(s.fontFileName, "Oswbd.ttf");
    // First start: the user key gains the skin defaults.
    std::string v;
    EXPECT_EQ(u.QueryString("Default Skin Path", v), RegStatus::Ok);
    EXPECT_EQ(v, std::string(kDefaultSkinPath));
    EXPECT_EQ(u.QueryString("Current Skin Name", v), RegStatus::Ok);
    EXPECT_EQ(v, "default.nms");
    EXPECT_TRUE(prompt.asked().empty());
}

TEST_F(SettingsFixture, UserValuesOfAnotherLanguageAreIgnoredAndOverwrittenAtExit) {
    RegKey m, u;
    reg.CreateKey(Hive::LocalMachine, kSettingsKey, RegAccess::Full, m);
    m.SetDword("CodePage", 1251);
    m.SetDword("LangID", 25);
    reg.CreateKey(Hive::CurrentUser, kSettingsKey, RegAccess::Full, u);
    u.SetDword("CodePage", 1252);
    u.SetDword("LangID", 25);
    u.SetDword("Bitrate", 64000);
    auto report = LoadSettings(reg, &prompt, nullptr, "/cwd", s);
    EXPECT_TRUE(report.userValuesForAnotherLanguage);
    EXPECT_EQ(s.bitrate, 128000);
    EXPECT_FALSE(u.HasValue("Default Skin Path"));
    ASSERT_TRUE(SaveSettings(reg, s));
    std::uint32_t cp = 0;
    u.QueryDword("CodePage", cp);
    EXPECT_EQ(cp, 1251u);
    std::uint32_t br = 0;
    u.QueryDword("Bitrate", br);
    EXPECT_EQ(br, 128000u);
}

TEST_F(SettingsFixture, MissingUserValuesCountAsDefaultsWhenComparing) {
    RegKey m, u;
    reg.CreateKey(Hive::LocalMachine, kSettingsKey, RegAccess::Full, m);
    m.SetDword("CodePage", 0); // equals a missing user value
    reg.CreateKey(Hive::CurrentUser, kSettingsKey, RegAccess::Full, u);
    u.SetDword("Startup mode", 2);
    LoadSettings(reg, &prompt, nullptr, "/cwd", s);
    EXPECT_EQ(s.startupMode, 2);
}

TEST_F(SettingsFixture, MissingMachineKeyGivesMessageAndDefaults) {
    RegKey u;
    reg.CreateKey(Hive::CurrentUser, kSettingsKey, RegAccess::Full, u);
    u.SetDword("Bitrate", 64000);
    CLocalize loc;
    auto report = LoadSettings(reg, &prompt, &loc, "/cwd", s);
    EXPECT_FALSE(report.machineKeyOpened);
    EXPECT_EQ(s.bitrate, 128000); // user values are not read either
    EXPECT_EQ(s.englishBase, 1);
    EXPECT_EQ(s.installFolder, "/cwd");
    ASSERT_EQ(prompt.asked().size(), 1u);
}

TEST_F(SettingsFixture, SaveWritesEveryValueWithItsName) {
    s.defaultMusicFolder = "/m";
    s.langId = -1;
    ASSERT_TRUE(SaveSettings(reg, s));
    RegKey u;
    ASSERT_EQ(reg.OpenKey(Hive::CurrentUser, kSettingsKey, RegAccess::Read, u), RegStatus::Ok);
    const std::vector<std::string> names = {
        "Default Music Folder", "Default Skin Path", "Current Skin Name", "Default Playlist Folder",
        "Startup mode", "Alwayes top", "Auto Scan Hard Drive", "Bitrate", "Music Studio column",
        "Mobile Devise column", "CD Player column", "Spliter position", "CharacterSet", "CodePage", "LangID"};
    for (const auto& n : names)
        EXPECT_TRUE(u.HasValue(n)) << n;
    EXPECT_EQ(u.ValueNames().size(), names.size());
    std::uint32_t lang = 0;
    u.QueryDword("LangID", lang);
    EXPECT_EQ(lang, 0xFFFFFFFFu);
    // A read-only user hive: nothing saved, no crash.
    store->SetWritable(Hive::CurrentUser, false);
    EXPECT_FALSE(SaveSettings(reg, s));
}

// Saving used to rewrite (and sync) the hive file once per value: fifteen
// writes for one save.
TEST(SettingsFile, ASaveWritesTheHiveOnce) {
    std::string folder = testing::TempDir() + "settings_once_XXXXXX";
    ASSERT_NE(::mkdtemp(folder.data()), nullptr);
    class Counting final : public RegistryStore {
    public:
        explicit Counting(std::string dir) : inner(std::move(dir), true) {}
        RegStatus Read(Hive hive, HiveData& out) override { return inner.Read(hive, out); }
        RegStatus Modify(Hive hive, const std::function<bool(HiveData&)>& change) override {
            return inner.Modify(hive, [&](HiveData& d) {
                const bool stored = change(d);
                writes += stored;
                return stored;
            });
        }
        bool Writable(Hive hive) const override { return inner.Writable(hive); }
        FileRegistryStore inner;
        int writes = 0;
    };
    auto store = std::make_shared<Counting>(folder);
    Registry reg(store);
    AppSettings s;
    s.defaultMusicFolder = "/m";
    ASSERT_TRUE(SaveSettings(reg, s));
    EXPECT_EQ(store->writes, 1);
    s.bitrate = 320000;
    ASSERT_TRUE(SaveSettings(reg, s));
    EXPECT_EQ(store->writes, 2);
    EXPECT_NE(ReadText(folder + "/user.reg").find("\"Bitrate\"=dword:0004e200"), std::string::npos);
    std::filesystem::remove_all(folder);
}

struct Columns : ColumnList {
    std::vector<int> w = {10, 10, 10};
    int ColumnCount() const override { return static_cast<int>(w.size()); }
    int ColumnWidth(int c) const override { return w[static_cast<size_t>(c)]; }
    void SetColumnWidth(int c, int v) override { w[static_cast<size_t>(c)] = v; }
};

TEST(ColumnWidths, ReadAndWriteTheText) {
    AppSettings s;
    s.cdPlayerColumns = "120,80,";
    Columns list;
    GetColumnWidths(s, 3, list);
    EXPECT_EQ(list.w, (std::vector<int>{120, 80, 10}));
    s.cdPlayerColumns = "";
    GetColumnWidths(s, 3, list);
    EXPECT_EQ(list.w, (std::vector<int>{120, 80, 10}));
    SetColumnWidths(s, 2, list);
    EXPECT_EQ(s.mobileDeviceColumns, "120,80,10,");
    EXPECT_EQ(ParseColumnWidths("65637,x,7abc,", 6), (std::vector<int>{101, 0, 7}));
    EXPECT_EQ(ParseColumnWidths("1,2,3,4,5,6,7,8,", 6).size(), 6u);
    EXPECT_EQ(FormatColumnWidths({180, 60, 60}), "180,60,60,");
}

struct FolderFixture : testing::Test {
    TempDir dir;
    ScriptedPrompt prompt;
    void SetUp() override {
        SetVolumeSource(std::make_shared<SimVolumeSource>(
            std::vector<Volume>{{"/", "/dev/sda1", "ext4", VolumeType::Fixed, 0, 0},
                                {"/proc", "proc", "proc", VolumeType::Virtual, 0, 0},
                                {"/media/disc", "/dev/sr0", "iso9660", VolumeType::CdRom, 0, 0}},
            std::vector<std::string>{"/dev/sr0"}));
    }
    void TearDown() override { SetVolumeSource(nullptr); }
};

TEST_F(FolderFixture, Rules) {
    EXPECT_EQ(CheckFolder("/", prompt, nullptr), -1); // shorter than 2
    EXPECT_EQ(CheckFolder("", prompt, nullptr), -1);
    EXPECT_EQ(CheckFolder("relative/dir", prompt, nullptr), -1);
    EXPECT_EQ(CheckFolder("/media/disc/x", prompt, nullptr), -1); // a CD
    EXPECT_EQ(CheckFolder("/dev/sr0", prompt, nullptr), -1);
    EXPECT_EQ(CheckFolder("/proc/x", prompt, nullptr), -1);
    EXPECT_EQ(CheckFolder(dir.path(), prompt, nullptr), 0);
    EXPECT_TRUE(prompt.asked().empty());

    const std::string deep = dir.path() + "/a/b/c";
    prompt.Push(PromptAnswer::No);
    EXPECT_EQ(CheckFolder(deep, prompt, nullptr), -1);
    EXPECT_FALSE(std::filesystem::exists(deep));
    ASSERT_EQ(prompt.asked().size(), 1u);
    EXPECT_EQ(prompt.asked()[0].text,
              "The specified directory " + deep + " doesn't exit!\nDo you want to create it?");
    prompt.Push(PromptAnswer::Yes);
    EXPECT_EQ(CheckFolder(deep, prompt, nullptr), 0);
    EXPECT_TRUE(std::filesystem::is_directory(deep));

    // A file in the way cannot become a folder.
    { std::ofstream(dir.path() + "/file") << "x"; }
    prompt.Push(PromptAnswer::Yes);
    EXPECT_EQ(CheckFolder(dir.path() + "/file/sub", prompt, nullptr), -2);
}

struct AssocFixture : testing::Test {
    TempDir dir;
    std::shared_ptr<MemoryRegistryStore> store = std::make_shared<MemoryRegistryStore>();
    Registry reg{store};
    XdgFolders xdg;
    void SetUp() override {
        xdg.dataHome = dir.path() + "/data";
        xdg.configHome = dir.path() + "/config";
    }
    std::string Default(const char* ext) {
        RegKey k;
        std::string v;
        if (reg.OpenKey(Hive::ClassesRoot, ext, RegAccess::Read, k) == RegStatus::Ok)
            k.QueryString("", v);
        return v;
    }
};

TEST_F(AssocFixture, AssociateKeepsThePreviousClassAndUnassociateRestoresIt) {
    RegKey k;
    reg.CreateKey(Hive::ClassesRoot, ".mp3", RegAccess::Full, k);
    k.SetString("", "mp3file");
    std::filesystem::create_directories(xdg.configHome);
    { std::ofstream(xdg.configHome + "/mimeapps.list") << "[Default Applications]\naudio/mpeg=vlc.desktop\n\n[Added Associations]\nx=y\n"; }

    Associations a(reg, "/opt/lyrabox", xdg);
    EXPECT_FALSE(a.IsAssociated(".mp3"));
    a.Associate(".mp3");
    EXPECT_TRUE(a.IsAssociated(".mp3"));
    EXPECT_EQ(Default(".mp3"), "LYB.File");
    std::string back;
    k.QueryString("LYB30_Back", back);
    EXPECT_EQ(back, "mp3file");
    a.Associate(".mp3"); // a second time keeps the real backup
    k.QueryString("LYB30_Back", back);
    EXPECT_EQ(back, "mp3file");
    const std::string list = ReadText(xdg.configHome + "/mimeapps.list");
    EXPECT_EQ(MimeAppsDefault(list, "audio/mpeg"), "lyb30.desktop");
    EXPECT_NE(list.find("[Added Associations]\nx=y"), std::string::npos);
    const std::string desktop = ReadText(xdg.dataHome + "/applications/lyb30.desktop");
    EXPECT_NE(desktop.find("Exec=/opt/lyrabox/lyb30 /play %f"), std::string::npos);

    a.Unassociate(".mp3");
    EXPECT_EQ(Default(".mp3"), "mp3file");
    EXPECT_EQ(MimeAppsDefault(ReadText(xdg.configHome + "/mimeapps.list"), "audio/mpeg"), "vlc.desktop");
}

// The Exec line used to be the install folder as it stood: a folder with a
// blank (or $, quotes, %) split the program's path into several arguments.
TEST_F(AssocFixture, TheDesktopEntryQuotesTheProgramAndRunsItInItsFolder) {
    const std::string odd = dir.path() + "/Lyra Box \"3\" $HOME 100% `x`";
    std::filesystem::create_directories(odd);
    Associations a(reg, odd, xdg);
    a.Associate(".mp3");
    const std::string entry = xdg.dataHome + "/applications/lyb30.desktop";
    const std::string desktop = ReadText(entry);
    EXPECT_NE(desktop.find("Exec=\"" + dir.path() +
                           "/Lyra Box \\\\\"3\\\\\" \\\\$HOME 100%% \\\\`x\\\\`/lyb30\" /play %f\n"),
              std::string::npos)
        << desktop;
    EXPECT_NE(desktop.find("Path=" + odd + "\n"), std::string::npos) << desktop;
    EXPECT_EQ(DesktopExecArgument("/opt/lyrabox/lyb30"), "/opt/lyrabox/lyb30");
    EXPECT_EQ(DesktopStringValue(" a\\b\n"), "\\sa\\\\b\\n");

    // Tools we did not write read it back: the file is valid, and launching
    // it runs the program with its own path whole, in its own folder.
    if (std::system("command -v desktop-file-validate >/dev/null 2>&1") == 0) {
        EXPECT_EQ(std::system(("desktop-file-validate '" + entry + "' >/dev/null 2>&1").c_str()), 0)
            << desktop;
    }
    if (std::system("command -v gio >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "gio (libglib2.0-bin) is not installed: the launch is not tried";
    // GLib looks for the program before it expands "%%", so a folder with a
    // '%' cannot be launched through it whatever the entry says: that
    // character is left out here.
    const std::string install = dir.path() + "/Lyra Box \"3\" $HOME (x) `x`";
    std::filesystem::create_directories(install);
    Associations(reg, install, xdg).Associate(".mp3");
    const std::string record = dir.path() + "/launched.txt";
    {
        std::ofstream program(install + "/lyb30");
        program << "#!/bin/sh\n{ pwd; for a in \"$0\" \"$@\"; do echo \"$a\"; done; } > '" << record
                << "'\n";
    }
    std::filesystem::permissions(install + "/lyb30", std::filesystem::perms::owner_all);
    const std::string song = dir.path() + "/a song.mp3";
    { std::ofstream(song) << "x"; }
    ASSERT_EQ(std::system(("gio launch '" + entry + "' '" + song + "' >/dev/null 2>&1").c_str()), 0);
    for (int i = 0; i < 100 && ReadText(record).empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(ReadText(record), install + "\n" + install + "/lyb30\n/play\n" + song + "\n");
}

TEST_F(AssocFixture, NewKeyAndUnassociateWithoutBackupGivesABlank) {
    Associations a(reg, "/opt/lyrabox", xdg);
    a.Associate(".aac");
    EXPECT_EQ(Default(".aac"), "LYB.File");
    a.Unassociate(".aac");
    EXPECT_EQ(Default(".aac"), " ");
    EXPECT_EQ(MimeAppsDefault(ReadText(xdg.configHome + "/mimeapps.list"), "audio/aac"), "");
    RegKey k;
    reg.CreateKey(Hive::ClassesRoot, ".m3u", RegAccess::Full, k);
    k.SetString("LYB30_Back", "LYB.File");
    a.Unassociate(".m3u");
    EXPECT_EQ(Default(".m3u"), " ");
}

TEST_F(AssocFixture, AudioCdCommand) {
    Associations a(reg, "/opt/lyrabox", xdg);
    EXPECT_EQ(a.Command(), "/opt/lyrabox/lyb30 /play %1");
    EXPECT_FALSE(a.IsAudioCDAssociated()); // missing keys
    a.AssociateAudioCD();                  // no key: unchanged
    EXPECT_FALSE(a.IsAudioCDAssociated());
    RegKey k;
    reg.CreateKey(Hive::ClassesRoot, "AudioCD\\shell\\play\\command", RegAccess::Full, k);
    k.SetString("", "cdplayer %1");
    a.AssociateAudioCD();
    EXPECT_TRUE(a.IsAudioCDAssociated());
    k.SetString("", "/OPT/LYRABOX/LYB30 /PLAY %1"); // letter case does not matter
    EXPECT_TRUE(a.IsAudioCDAssociated());
    a.UnassociateAudioCD();
    std::string v;
    k.QueryString("", v);
    EXPECT_EQ(v, "cdplayer %1");
}

TEST(MimeApps, EditingKeepsOtherLines) {
    EXPECT_EQ(MimeAppsSetDefault("", "a/b", "x.desktop"), "[Default Applications]\na/b=x.desktop\n");
    const std::string t = "# c\n[Default Applications]\na/b=old.desktop\nc/d=e\n[Other]\na/b=zzz\n";
    EXPECT_EQ(MimeAppsDefault(t, "a/b"), "old.desktop");
    EXPECT_EQ(MimeAppsSetDefault(t, "a/b", "x.desktop"),
              "# c\n[Default Applications]\na/b=x.desktop\nc/d=e\n[Other]\na/b=zzz\n");
    EXPECT_EQ(MimeAppsSetDefault(t, "a/b", ""), "# c\n[Default Applications]\nc/d=e\n[Other]\na/b=zzz\n");
    EXPECT_EQ(MimeAppsSetDefault(t, "n/m", "y"),
              "# c\n[Default Applications]\na/b=old.desktop\nc/d=e\nn/m=y\n[Other]\na/b=zzz\n");
}

TEST(CommandLine, SwitchesAndFileArgument) {
    auto i = ParseCommandLine({"/play", "/dev/sr0/Track05.cda", "second"});
    EXPECT_TRUE(i.playSwitch);
    EXPECT_EQ(i.fileName, "/dev/sr0/Track05.cda");
    EXPECT_EQ(i.command, ShellCommand::FileOpen);
    EXPECT_TRUE(i.showSplash);
    auto j = ParseCommandLine({"-NOLOGO"});
    EXPECT_FALSE(j.showSplash);
    EXPECT_EQ(j.command, ShellCommand::FileNew);
    EXPECT_EQ(ParseCommandLine({"/tmp"}).fileName, "/tmp"); // a path, not a switch
    EXPECT_EQ(TrackIndexFromName("Track05"), 4);
    EXPECT_EQ(TrackIndexFromName("Track"), -1);
    EXPECT_EQ(TrackIndexFromName("a1b2"), 11);
    EXPECT_EQ(TrackIndexFromName("99999999999999"), 2147483646); // saturates, never overflows
    EXPECT_EQ(TrackIndexFromName("0"), -1);
}

TEST(CommandLine, CdRequests) {
    auto isCd = [](const std::string& r) { return r == "/dev/sr0" || r == "/dev/sr1"; };
    bool (*fn)(const std::string&) = isCd;
    const std::vector<std::string> drives = {"/dev/sr0", "/dev/sr1"};
    auto r = ParseCdRequest("/dev/sr0/Track05.cda", drives, fn);
    EXPECT_TRUE(r.forCdTrack);
    EXPECT_EQ(r.drive, 0);
    EXPECT_EQ(r.track, 4);
    r = ParseCdRequest("/dev/sr1/TRACK12.CDA", drives, fn);
    EXPECT_EQ(r.drive, 1);
    EXPECT_EQ(r.track, 11);
    r = ParseCdRequest("/dev/sr1", drives, fn);
    EXPECT_TRUE(r.forCdTrack);
    EXPECT_EQ(r.track, -1);
    EXPECT_FALSE(ParseCdRequest("/dev/sr0/Track05.mp3", drives, fn).forCdTrack);
    EXPECT_FALSE(ParseCdRequest("/dev/sda/Track05.cda", drives, fn).forCdTrack);
    EXPECT_FALSE(ParseCdRequest("/music/Track05.cda", drives, fn).forCdTrack);
    r = ParseCdRequest("/dev/sr0/Track05.cda", {"/dev/sr1"}, fn);
    EXPECT_TRUE(r.forCdTrack);
    EXPECT_EQ(r.drive, -1);

    // A virtual drive in the list is a drive root as well (the demo's disc);
    // one that is not listed, or a longer name, is not.
    const std::vector<std::string> withVirtual = {"virtual:cd0", "/dev/sr0"};
    r = ParseCdRequest("virtual:cd0/Track02.cda", withVirtual, fn);
    EXPECT_TRUE(r.forCdTrack);
    EXPECT_EQ(r.drive, 0);
    EXPECT_EQ(r.track, 1);
    r = ParseCdRequest("virtual:cd0", withVirtual, fn);
    EXPECT_EQ(r.drive, 0);
    EXPECT_EQ(r.track, -1);
    EXPECT_FALSE(ParseCdRequest("virtual:cd01/Track02.cda", withVirtual, fn).forCdTrack);
    EXPECT_FALSE(ParseCdRequest("virtual:cd0/Track02.cda", drives, fn).forCdTrack);
    const PathParts parts = SplitCdPath("virtual:cd0/Track02.cda", withVirtual);
    EXPECT_EQ(parts.drive, "virtual:cd0");
    EXPECT_EQ(parts.name, "Track02");
    EXPECT_EQ(SplitCdPath("/dev/sr0/Track05.cda", withVirtual).drive, "/dev/sr0");
}

struct PrefsFixture : testing::Test {
    TempDir dir;
    std::shared_ptr<MemoryRegistryStore> store = std::make_shared<MemoryRegistryStore>();
    std::shared_ptr<Registry> reg = std::make_shared<Registry>(store);
    ScriptedPrompt prompt;
    SimInstanceHub hub;
    TestShell shell;
    int cdState = 0;
    std::unique_ptr<CLyb30App> app;
    void SetUp() override {
        SetVolumeSource(std::make_shared<SimVolumeSource>(
            std::vector<Volume>{{"/", "/dev/sda1", "ext4", VolumeType::Fixed, 0, 0}}));
        WriteMachineKey(*reg, dir.path());
        RegKey m;
        reg->OpenKey(Hive::LocalMachine, kSettingsKey, RegAccess::Full, m);
        m.SetDword("Bitrate", 100000);
        AppEnvironment env;
        env.registry = reg;
        env.prompt = &prompt;
        env.currentFolder = dir.path();
        env.xdg = {dir.path() + "/data", dir.path() + "/config"};
        env.seams.cdState = [this] { return cdState; };
        app = std::make_unique<CLyb30App>(std::move(env), shell);
        app->LoadSettings();
    }
    void TearDown() override { SetVolumeSource(nullptr); }
};

TEST_F(PrefsFixture, OpeningSelectsTheListDefaultAndOkStoresIt) {
    CPreferencesModel m(*app);
    EXPECT_EQ(m.GetCaptions().title, "Preferences");
    EXPECT_EQ(m.GetCaptions().audioCd, "Audio CD");
    EXPECT_EQ(m.bitrateIndex, 4);
    EXPECT_EQ(CPreferencesModel::BitrateText(4), "256000");
    EXPECT_TRUE(m.AssociationsEnabled());
    EXPECT_TRUE(m.BitrateEnabled());
    m.musicFolder = dir.path();
    m.playlistFolder = dir.path();
    m.assocMp3 = true;
    bool changed = false;
    EXPECT_TRUE(m.Ok(&changed));
    EXPECT_TRUE(changed);
    EXPECT_EQ(app->Settings().bitrate, 256000);
    EXPECT_TRUE(app->MakeAssociations().IsAssociated(".mp3"));
}

TEST_F(PrefsFixture, InvalidFoldersKeepTheDialogOpenWithBothMessages) {
    CPreferencesModel m(*app);
    m.musicFolder = "x";
    m.playlistFolder = "relative";
    EXPECT_FALSE(m.Ok());
    ASSERT_EQ(prompt.asked().size(), 2u);
    EXPECT_EQ(prompt.asked()[0].text, "The specified Music Folder x is invalid.");
    EXPECT_EQ(prompt.asked()[1].text, "The specified Playlist Folder relative is invalid.");
}

TEST_F(PrefsFixture, ReadOnlyMachineHiveAndExtractionDisableControls) {
    store->SetWritable(Hive::LocalMachine, false);
    cdState = 3;
    CPreferencesModel m(*app);
    EXPECT_FALSE(m.AssociationsEnabled());
    EXPECT_FALSE(m.BitrateEnabled());
    EXPECT_FALSE(m.MusicFolderEnabled());
    m.musicFolder = m.playlistFolder = dir.path();
    m.assocAac = true;
    EXPECT_TRUE(m.Ok());
    EXPECT_FALSE(app->MakeAssociations().IsAssociated(".aac"));
}

} // namespace
