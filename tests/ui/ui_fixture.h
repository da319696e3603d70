// The offscreen application and the fixture of the widget tests.
#pragma once

#include "app/lyb30_app.h"
#include "platform/instance.h"
#include "platform/prompt.h"
#include "platform/registry.h"
#include "platform/volumes.h"

#include <gtest/gtest.h>

#include <QApplication>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>



namespace lyb {

inline QApplication& App() {
    static int argc = 1;
    static char name[] = "ui_tests";
    static char* argv[] = {name, nullptr};
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Kept to the end of the process: a QApplication destroyed among the
    // static destructors outlives Qt's own thread storage.
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

/// The environment of a program a widget test starts: the test's registry,
/// prompt and instance hub, everything else in `dir`.
inline AppEnvironment TestEnvironment(const std::shared_ptr<Registry>& reg, ScriptedPrompt& prompt,
                                      SimInstanceHub& hub, const std::string& dir) {
    AppEnvironment env;
    env.registry = reg;
    env.prompt = &prompt;
    env.guard = hub.MakeGuard();
    env.handoffServer = hub.MakeServer();
    env.handoffClient = hub.MakeClient();
    env.programFolder = dir;
    env.currentFolder = dir;
    env.exitWaitMs = 0;
    env.xdg = {dir + "/data", dir + "/config"};
    return env;
}

struct UiFixture : testing::Test {
    std::string dir;
    std::shared_ptr<MemoryRegistryStore> store = std::make_shared<MemoryRegistryStore>();
    std::shared_ptr<Registry> reg = std::make_shared<Registry>(store);
    ScriptedPrompt prompt;
    SimInstanceHub hub;
    int cdState = 0;

    void SetUp() override {
        App();
        std::string tmpl = testing::TempDir() + "lybui_XXXXXX";
        dir = ::mkdtemp(tmpl.data());
        std::filesystem::copy_file(std::string(LYB_TEST_COMPONENTS) + "/libdouble_tessel_complete.so",
                                   dir + "/libtessel.so");
        RegKey k;
        reg->CreateKey(Hive::LocalMachine, kSettingsKey, RegAccess::Full, k);
        k.SetString("pth", dir);
        k.SetDword("EnglishBase", 1);
        k.SetDword("Bitrate", 100000);
        k.SetString("TypefaceName", "No Such Face Anywhere");
        SetVolumeSource(std::make_shared<SimVolumeSource>(
            std::vector<Volume>{{"/", "/dev/sda1", "ext4", VolumeType::Fixed, 0, 0}}));
    }
    void TearDown() override {
        SetVolumeSource(nullptr);
        std::filesystem::remove_all(dir);
    }
    /// The Studio starts empty and looks for music and playlists in `music`.
    void UseMusicFolder(const std::string& music) {
        RegKey k;
        reg->CreateKey(Hive::LocalMachine, kSettingsKey, RegAccess::Full, k);
        k.SetDword("Startup mode", 2);
        k.SetString("Default Music Folder", music);
        k.SetString("Default Playlist Folder", music);
    }
    /// Ends a program a test started: the window, then the application.
    template <class Shell, class Application>
    static void EndProgram(std::unique_ptr<Shell>& shell, std::unique_ptr<Application>& app) {
        if (shell)
            shell->DestroyMainFrame();
        if (app)
            app->ExitInstance();
        app.reset();
        shell.reset();
    }
    AppEnvironment Env() {
        AppEnvironment env = TestEnvironment(reg, prompt, hub, dir);
        env.seams.cdState = [this] { return cdState; };
        return env;
    }
};


} // namespace lyb
