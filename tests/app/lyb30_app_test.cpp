#include "app_test_support.h"

#include "app/page_documents.h"
#include "platform/volumes.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <thread>

using namespace lyb;
using namespace lyb::test;

namespace {

struct Fixture : testing::Test {
    TempDir dir;
    std::shared_ptr<MemoryRegistryStore> store = std::make_shared<MemoryRegistryStore>();
    std::shared_ptr<Registry> reg = std::make_shared<Registry>(store);
    ScriptedPrompt prompt;
    SimInstanceHub hub;
    TestShell shell;
    TraceLog trace;
    std::string programFolder;

    void SetUp() override {
        programFolder = dir.path() + "/prog";
        std::filesystem::create_directories(programFolder);
        SetVolumeSource(std::make_shared<SimVolumeSource>(
            std::vector<Volume>{{"/", "/dev/sda1", "ext4", VolumeType::Fixed, 100, 50}},
            std::vector<std::string>{"/dev/sr0", "/dev/sr1"}));
    }
    void TearDown() override { SetVolumeSource(nullptr); }

    AppEnvironment Env(std::vector<std::string> args = {}) {
        AppEnvironment env;
        env.registry = reg;
        env.prompt = &prompt;
        env.guard = hub.MakeGuard();
        env.handoffServer = hub.MakeServer();
        env.handoffClient = hub.MakeClient();
        env.programFolder = programFolder;
        env.currentFolder = dir.path();
        env.args = std::move(args);
        env.handoffWaitMs = 0;
        env.exitWaitMs = 0;
        env.seams.cdDriveNames = [] { return std::vector<std::string>{"/dev/sr0", "/dev/sr1"}; };
        env.seams.usbRootHubId = [] { return std::string(); }; // whatever hubs this machine has
        return env;
    }
    void InstallAll() {
        InstallComponent(programFolder, "double_tessel_complete", kTesselLibraryFile);
        InstallComponent(programFolder, "double_lse_complete", kLseLibraryFile);
        InstallComponent(programFolder, "double_usb_complete", kUsbLibraryFile);
    }
};

TEST_F(Fixture, StartUpRunsEveryStepInOrderAndShutdownReleasesInOrder) {
    InstallAll();
    WriteMachineKey(*reg, dir.path());
    CLyb30App app(Env(), shell);
    ASSERT_TRUE(app.InitInstance());
    const std::vector<std::string> order = {
        "Player initialization", "Getting USB Root Hub ID", "No USB Root Hub detected on this machine",
        "Loading LSE library", "Loading registry setting", "Loading localize string table",
        "Splash screen enabling", "Font initialization", "Codec initialization",
        "usb.dll initialized successfully", "CD template initialization", "Club template initialization",
        "Music template initialization", "MainFrame loaded", "Process Shell Command", "OnFileNew success",
        "((CMusicForm*)GetMusicForm())->StartUp();", "ShowWindow", "UpdateWindow", "end of InitInstance"};
    int last = -1;
    for (const auto& t : order) {
        const int at = trace.IndexOf(t);
        EXPECT_GT(at, last) << t;
        last = std::max(last, at);
    }
    EXPECT_TRUE(app.LseLoaded());
    EXPECT_TRUE(app.EncoderLoaded());
    EXPECT_NE(app.GetComponents().encoder, nullptr);
    EXPECT_TRUE(app.DeviceLibraryLoaded());
    EXPECT_EQ(app.UsbRootHubId(), kNoRootHubWord);
    EXPECT_EQ(std::string(kNoRootHubWord).size(), 6u);
    // Templates in the fixed order with their class names; one page each.
    ASSERT_EQ(app.Templates().size(), 3u);
    EXPECT_EQ(app.Templates()[0]->ResourceId(), 105);
    EXPECT_EQ(app.Templates()[1]->ResourceId(), 104);
    EXPECT_EQ(app.Templates()[2]->ResourceId(), 129);
    EXPECT_EQ(app.Templates()[2]->DocumentClass(), "CMusicDoc");
    EXPECT_EQ(app.Templates()[1]->DocumentStringPart(2), "Club Orvik");
    EXPECT_EQ(shell.viewClasses, (std::vector<std::string>{"CCDForm", "CClubOrvikForm", "CMusicForm"}));
    EXPECT_NE(app.GetCDForm(), nullptr);
    EXPECT_NE(app.GetClubForm(), nullptr);
    ASSERT_NE(app.GetMusicForm(), nullptr);
    EXPECT_EQ(shell.startedUp, app.GetMusicForm());
    EXPECT_TRUE(dynamic_cast<MusicPageDocument*>(app.GetMusicForm()->GetDocument()) != nullptr);
    EXPECT_TRUE(app.StartupComplete());
    EXPECT_TRUE(shell.shown);
    EXPECT_FALSE(shell.shownHidden);
    EXPECT_EQ(shell.fontPath, dir.path() + "/Font/Oswbd.ttf");
    EXPECT_EQ(shell.fonts[0].weight, 700); // "Orvik Sans Wise" has "Orvik"
    EXPECT_EQ(shell.fonts[0].height, 15);
    EXPECT_EQ(shell.fonts[0].width, 5);
    EXPECT_TRUE(shell.fonts[1].italic);
    EXPECT_EQ(shell.fonts[2].weight, 400);
    EXPECT_EQ(app.HelpFilePath(), programFolder + "/lyb30.chm");

    EXPECT_EQ(app.ExitInstance(), 0);
    const std::vector<std::string> down = {"Saving registry settings...", "Remove Font Resource ...",
                                           "Shuting down USB...", "Shuting down ASPI...",
                                           "Shuting down Orvik Player...", "Freeing LSE library...",
                                           "Freeing AAC library...", "CWinApp::ExitInstance()"};
    last = -1;
    for (const auto& t : down) {
        const int at = trace.IndexOf(t);
        EXPECT_GT(at, last) << t;
        last = std::max(last, at);
    }
    EXPECT_FALSE(app.LseLoaded());
    EXPECT_FALSE(app.EncoderLoaded());
    EXPECT_EQ(shell.removedFont, shell.fontPath);
    EXPECT_FALSE(hub.guardHeld);
    // The user key was written at exit.
    EXPECT_TRUE(reg->KeyExists(Hive::CurrentUser, kSettingsKey));
}

TEST_F(Fixture, MissingEncoderEndsStartUpSilently) {
    InstallComponent(programFolder, "double_lse_complete", kLseLibraryFile);
    WriteMachineKey(*reg, dir.path());
    CLyb30App app(Env(), shell);
    EXPECT_FALSE(app.InitInstance());
    EXPECT_TRUE(trace.Has("AAC DLL initialization fault"));
    EXPECT_FALSE(shell.frameCreated);
    EXPECT_TRUE(prompt.asked().empty()); // no message box
    app.ExitInstance();
}

TEST_F(Fixture, IncompleteEncoderIsUnloadedAndEndsStartUp) {
    InstallComponent(programFolder, "double_tessel_incomplete", kTesselLibraryFile);
    WriteMachineKey(*reg, dir.path());
    CLyb30App app(Env(), shell);
    EXPECT_FALSE(app.InitInstance());
    EXPECT_FALSE(app.EncoderLoaded());
    EXPECT_FALSE(shell.frameCreated);
    EXPECT_TRUE(prompt.asked().empty());
}

TEST_F(Fixture, OptionalComponentsMissingOrIncompleteAreTolerated) {
    InstallComponent(programFolder, "double_tessel_complete", kTesselLibraryFile);
    InstallComponent(programFolder, "double_lse_incomplete", kLseLibraryFile);
    InstallComponent(programFolder, "double_usb_incomplete", kUsbLibraryFile);
    WriteMachineKey(*reg, dir.path());
    CLyb30App app(Env(), shell);
    ASSERT_TRUE(app.InitInstance());
    EXPECT_FALSE(app.LseLoaded());
    EXPECT_FALSE(app.DeviceLibraryLoaded());
    EXPECT_FALSE(trace.Has("usb.dll initialized successfully"));
    app.ExitInstance();

    // Without any optional file at all.
    std::filesystem::remove(programFolder + "/" + kLseLibraryFile);
    std::filesystem::remove(programFolder + "/" + kUsbLibraryFile);
    TestShell shell2;
    SimInstanceHub hub2;
    AppEnvironment env = Env();
    env.guard = hub2.MakeGuard();
    env.handoffServer = hub2.MakeServer();
    CLyb30App app2(std::move(env), shell2);
    EXPECT_TRUE(app2.InitInstance());
    EXPECT_TRUE(trace.Has("LSE DLL initialization fault"));
    app2.ExitInstance();
}

TEST_F(Fixture, MissingMachineKeyShowsTheMessageAndUsesDefaults) {
    InstallAll();
    CLyb30App app(Env(), shell);
    ASSERT_TRUE(app.InitInstance());
    ASSERT_FALSE(prompt.asked().empty());
    EXPECT_EQ(prompt.asked()[0].text, "Unable to load registry settings.\nPlease reinstall Lyrabox 3.0");
    EXPECT_EQ(prompt.asked()[0].icon, PromptIcon::Stop);
    EXPECT_EQ(app.Settings().installFolder, dir.path());
    EXPECT_EQ(app.Settings().bitrate, 128000);
    app.ExitInstance();
}

TEST_F(Fixture, SecondInstanceHandsItsFileOverWithRetriesAndExits) {
    InstallAll();
    WriteMachineKey(*reg, dir.path());
    CLyb30App first(Env(), shell);
    ASSERT_TRUE(first.InitInstance());

    // A receiver that is not ready answers -1; the sender tries again.
    int calls = 0;
    auto realHandler = hub.handler;
    hub.handler = [&](std::uint32_t dw, const std::string& data) -> std::intptr_t {
        return ++calls < 3 ? -1 : realHandler(dw, data);
    };
    TestShell shell2;
    CLyb30App second(Env({"/play", "/music/new.mp3"}), shell2);
    EXPECT_FALSE(second.InitInstance());
    EXPECT_EQ(calls, 3);
    EXPECT_EQ(shell.musicFiles, std::vector<std::string>{"/music/new.mp3"});
    EXPECT_FALSE(shell2.frameCreated);
    // It never got as far as the settings: nothing is written at its exit.
    second.ExitInstance();
    EXPECT_FALSE(reg->KeyExists(Hive::CurrentUser, kSettingsKey));

    // No argument: nothing is sent.
    calls = 0;
    TestShell shell3;
    CLyb30App third(Env(), shell3);
    EXPECT_FALSE(third.InitInstance());
    EXPECT_EQ(calls, 0);
    first.ExitInstance();
}

// A relative argument used to travel as it was written and was then read
// against the running program's folder.
TEST_F(Fixture, AHandOffMakesARelativeNameAbsoluteFirst) {
    InstallAll();
    WriteMachineKey(*reg, dir.path());
    CLyb30App first(Env(), shell);
    ASSERT_TRUE(first.InitInstance());
    const std::string here = std::filesystem::current_path().string();
    TestShell shell2;
    CLyb30App second(Env({"/play", "./rel//new.mp3"}), shell2);
    EXPECT_FALSE(second.InitInstance());
    EXPECT_EQ(shell.musicFiles, std::vector<std::string>{here + "/rel/new.mp3"});
    first.ExitInstance();
}

// The demo's virtual drive: a track of it is asked for on the command line
// and handed over by a second start, and never taken for a relative file.
TEST_F(Fixture, AVirtualDrivesTrackIsACdRequestAndTravelsAsWritten) {
    InstallAll();
    WriteMachineKey(*reg, dir.path());
    auto withVirtual = [&](std::vector<std::string> args) {
        AppEnvironment env = Env(std::move(args));
        env.seams.cdDriveNames = [] { return std::vector<std::string>{"virtual:cd0", "/dev/sr0"}; };
        return env;
    };
    CLyb30App first(withVirtual({"virtual:cd0/Track02.cda"}), shell);
    ASSERT_TRUE(first.InitInstance());
    EXPECT_TRUE(first.GetCdRequest().forCdTrack);
    EXPECT_EQ(first.GetCdRequest().drive, 0);
    EXPECT_EQ(first.GetCdRequest().track, 1);
    TestShell shell2;
    CLyb30App second(withVirtual({"virtual:cd0/Track03.cda"}), shell2);
    EXPECT_FALSE(second.InitInstance());
    EXPECT_EQ(shell.cdPlays, (std::vector<std::pair<int, int>>{{0, 2}}));
    EXPECT_TRUE(shell.musicFiles.empty());
    first.ExitInstance();
}

// A guard or channel that cannot be had used to end start-up silently.
TEST_F(Fixture, AGuardOrChannelThatCannotBeHadSaysWhy) {
    InstallAll();
    AppEnvironment env = Env();
    env.runtimeProblem = "/tmp/lyb30-0: belongs to another user";
    CLyb30App app(std::move(env), shell);
    EXPECT_FALSE(app.InitInstance());
    EXPECT_NE(app.StartupError().find("belongs to another user"), std::string::npos);
    EXPECT_TRUE(trace.Has("Start-up ended: no private runtime folder (/tmp/lyb30-0: belongs to another user)"));

    // The name taken: the reason of the channel is given.
    const std::string run = dir.path() + "/run";
    std::filesystem::create_directory(run);
    auto taken = MakeSocketHandoffServer(run, kMainWindowClass);
    ASSERT_TRUE(taken->Start([](std::uint32_t, const std::string&) { return 0; }));
    AppEnvironment env2 = Env();
    env2.guard = MakeLockFileGuard(run);
    env2.handoffServer = MakeSocketHandoffServer(run, kMainWindowClass);
    TestShell shell2;
    CLyb30App app2(std::move(env2), shell2);
    EXPECT_FALSE(app2.InitInstance());
    EXPECT_NE(app2.StartupError().find("hand-off channel could not start"), std::string::npos)
        << app2.StartupError();
    EXPECT_NE(app2.StartupError().find("taken"), std::string::npos) << app2.StartupError();
    taken->Stop();
}

// A receiver slow to answer used to get the same file again: the sender gave
// up on a connection after its time-out and sent once more on a new one.
TEST_F(Fixture, ABusyReceiverNeverGetsTheFileTwiceAndTheWaitIsBounded) {
    const std::string run = dir.path() + "/run";
    std::filesystem::create_directory(run);
    std::atomic<int> calls{0};
    std::atomic<bool> busy{true};
    auto receiver = MakeSocketHandoffServer(run, kMainWindowClass);
    ASSERT_TRUE(receiver->Start([&](std::uint32_t, const std::string&) -> std::intptr_t {
        ++calls;
        while (busy.load()) // the user-interface thread is busy elsewhere
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return 0;
    }));
    auto start = std::chrono::steady_clock::now();
    auto holder = hub.MakeGuard();
    ASSERT_EQ(holder->Acquire(), GuardResult::Acquired); // a first instance runs
    AppEnvironment env = Env({"/music/a.mp3"});
    env.handoffClient = MakeSocketHandoffClient(run, kMainWindowClass);
    env.handoffWaitMs = 100;
    env.handoffBudgetMs = 1200;
    CLyb30App second(std::move(env), shell);
    EXPECT_FALSE(second.InitInstance());
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_LT(waited, std::chrono::milliseconds(2500));
    busy = false;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(calls.load(), 1);
    receiver->Stop();

    // A receiver that is never ready: retried on the one connection until
    // the time is up, then the sender ends.
    calls = 0;
    auto never = MakeSocketHandoffServer(run, kMainWindowClass);
    ASSERT_TRUE(never->Start([&](std::uint32_t, const std::string&) -> std::intptr_t { return ++calls, -1; }));
    AppEnvironment env2 = Env({"/music/a.mp3"});
    env2.handoffClient = MakeSocketHandoffClient(run, kMainWindowClass);
    env2.handoffWaitMs = 100;
    env2.handoffBudgetMs = 1200;
    TestShell shell2;
    CLyb30App third(std::move(env2), shell2);
    start = std::chrono::steady_clock::now();
    EXPECT_FALSE(third.InitInstance());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2500));
    EXPECT_GE(calls.load(), 5);
    EXPECT_LE(calls.load(), 13);
    never->Stop();
}

TEST_F(Fixture, ReceiverRoutesMusicFilesAndCdTracks) {
    InstallAll();
    WriteMachineKey(*reg, dir.path());
    CLyb30App app(Env(), shell);
    EXPECT_EQ(app.OnCopyData(777, std::string("/x.mp3\0", 7)), -1); // pages not there yet
    ASSERT_TRUE(app.InitInstance());
    EXPECT_EQ(app.OnCopyData(777, std::string("/music/a.MP3\0", 13)), 0);
    EXPECT_EQ(app.OnCopyData(777, std::string("/dev/sr1/Track05.cda\0", 21)), 0);
    EXPECT_EQ(app.OnCopyData(777, std::string("/dev/sr0/Track.cda\0", 19)), 0);
    EXPECT_EQ(app.OnCopyData(777, std::string("/dev/sr0/Track05.mp3\0", 21)), 0); // .mp3 goes to the Studio
    EXPECT_EQ(shell.musicFiles, (std::vector<std::string>{"/music/a.MP3", "/dev/sr0/Track05.mp3"}));
    EXPECT_EQ(shell.cdPlays, (std::vector<std::pair<int, int>>{{1, 4}, {0, -1}}));
    EXPECT_EQ(app.OnCopyData(5, "x"), 0); // other dwData: default handling
    app.ExitInstance();
}

TEST_F(Fixture, NoCdPlayWhileExtracting) {
    InstallAll();
    WriteMachineKey(*reg, dir.path());
    AppEnvironment env = Env();
    env.seams.cdState = [] { return 3; };
    CLyb30App app(std::move(env), shell);
    ASSERT_TRUE(app.InitInstance());
    EXPECT_EQ(app.OnCopyData(777, std::string("/dev/sr0/Track02.cda\0", 21)), 0);
    EXPECT_TRUE(shell.cdPlays.empty());
    app.ExitInstance();
}

TEST_F(Fixture, CommandLineCdRequest) {
    InstallAll();
    WriteMachineKey(*reg, dir.path());
    {
        CLyb30App app(Env({"/dev/sr0/Track05.cda"}), shell);
        ASSERT_TRUE(app.InitInstance());
        EXPECT_TRUE(app.GetCdRequest().forCdTrack);
        EXPECT_EQ(app.GetCdRequest().drive, 0);
        EXPECT_EQ(app.GetCdRequest().track, 4);
        app.ExitInstance();
    }
    {
        TestShell s2;
        CLyb30App app(Env({"/dev/sr1"}), s2);
        ASSERT_TRUE(app.InitInstance());
        EXPECT_TRUE(app.GetCdRequest().forCdTrack);
        EXPECT_EQ(app.GetCdRequest().drive, 1);
        EXPECT_EQ(app.GetCdRequest().track, -1);
        app.ExitInstance();
    }
    {
        TestShell s3;
        CLyb30App app(Env({"/music/song.mp3"}), s3);
        ASSERT_TRUE(app.InitInstance());
        EXPECT_FALSE(app.GetCdRequest().forCdTrack);
        auto* doc = dynamic_cast<MusicPageDocument*>(app.GetMusicForm()->GetDocument());
        ASSERT_NE(doc, nullptr);
        EXPECT_EQ(doc->OpenPath(), "/music/song.mp3");
        EXPECT_EQ(app.RecentFiles().front(), "/music/song.mp3");
        app.ExitInstance();
    }
}

TEST_F(Fixture, LanguageQuestionWhenCodePagesDifferAndEnglishBaseIsOff) {
    InstallAll();
    WriteMachineKey(*reg, dir.path(), 1251, 0);
    {
        std::ofstream help(dir.path() + "/lyb30l.chm");
        help << "x";
        std::ofstream lang(programFolder + "/lang.dat", std::ios::binary);
        const char line[] = {'2', 0, '1', 0, '0', 0, '=', 0, 'P', 0, 'r', 0, 'e', 0, 'f', 0, '\r', 0, '\n', 0};
        lang.write(line, sizeof line);
    }
    AppEnvironment env = Env();
    env.systemCodePage = 1252;
    prompt.Push(PromptAnswer::No);
    CLyb30App app(std::move(env), shell);
    ASSERT_TRUE(app.InitInstance());
    ASSERT_EQ(prompt.asked().size(), 1u);
    EXPECT_EQ(prompt.asked()[0].text,
              "The selected interface language is not supported in current system code page.\n"
              "Do you want to change interface language to English?");
    EXPECT_EQ(prompt.asked()[0].buttons, PromptButtons::YesNo);
    EXPECT_FALSE(app.EnglishInterface());
    EXPECT_EQ(app.m_oLocalize.Get(210, "Preferences"), "Pref"); // No still loads the table
    app.ExitInstance();
}

TEST_F(Fixture, YesAndMissingHelpFileGiveTheEnglishInterface) {
    InstallAll();
    WriteMachineKey(*reg, dir.path(), 1251, 0);
    AppEnvironment env = Env();
    env.systemCodePage = 1252;
    prompt.Push(PromptAnswer::Yes);
    CLyb30App app(std::move(env), shell);
    ASSERT_TRUE(app.InitInstance());
    EXPECT_TRUE(app.EnglishInterface());
    app.ExitInstance();

    // A UTF-8 system needs no question; without the localised help file the
    // interface is English.
    TestShell s2;
    SimInstanceHub hub2;
    ScriptedPrompt p2;
    AppEnvironment env2 = Env();
    env2.prompt = &p2;
    env2.guard = hub2.MakeGuard();
    env2.handoffServer = hub2.MakeServer();
    CLyb30App app2(std::move(env2), s2);
    ASSERT_TRUE(app2.InitInstance());
    EXPECT_TRUE(p2.asked().empty());
    EXPECT_TRUE(app2.EnglishInterface());
    app2.ExitInstance();
}

// The localised help file in the installation folder lets the language
// table be used; without it the interface stays English, and says why.
TEST_F(Fixture, TheLocalisedHelpFileLetsTheLanguageSwitchOn) {
    InstallAll();
    WriteMachineKey(*reg, dir.path(), 1251, 1);
    {
        std::ofstream(programFolder + "/lyb30l.chm") << "x"; // the program's folder is not where it counts
        std::ofstream lang(programFolder + "/lang.dat", std::ios::binary);
        const char line[] = {'2', 0, '1', 0, '0', 0, '=', 0, 'P', 0, 'r', 0, 'e', 0, 'f', 0, '\r', 0, '\n', 0};
        lang.write(line, sizeof line);
    }
    {
        CLyb30App app(Env(), shell);
        ASSERT_TRUE(app.InitInstance());
        EXPECT_TRUE(app.EnglishInterface());
        EXPECT_TRUE(trace.Has("No localised help at " + dir.path() + "/lyb30l.chm: English interface"));
        app.ExitInstance();
    }
    std::ofstream(dir.path() + "/lyb30l.chm") << "x";
    TestShell shell2;
    SimInstanceHub hub2;
    AppEnvironment env = Env();
    env.guard = hub2.MakeGuard();
    env.handoffServer = hub2.MakeServer();
    CLyb30App app(std::move(env), shell2);
    ASSERT_TRUE(app.InitInstance());
    EXPECT_FALSE(app.EnglishInterface());
    EXPECT_EQ(app.m_oLocalize.Get(210, "Preferences"), "Pref");
    app.ExitInstance();
}

TEST_F(Fixture, FrameOrShellCommandFailureEndsStartUp) {
    InstallAll();
    WriteMachineKey(*reg, dir.path());
    shell.failFrame = true;
    CLyb30App app(Env(), shell);
    EXPECT_FALSE(app.InitInstance());
    EXPECT_FALSE(trace.Has("MainFrame loaded"));
    app.ExitInstance();

    TestShell s2;
    s2.failViews = true;
    SimInstanceHub hub2;
    AppEnvironment env = Env();
    env.guard = hub2.MakeGuard();
    env.handoffServer = hub2.MakeServer();
    CLyb30App app2(std::move(env), s2);
    EXPECT_FALSE(app2.InitInstance());
    EXPECT_EQ(app2.GetMusicForm(), nullptr);
    app2.ExitInstance();
}

} // namespace
