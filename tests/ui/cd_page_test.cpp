// The CD Player page's widgets offscreen, over the virtual drive with a
// slow disc: the drive and track lists, a rip started with Save Tracks and
// cancelled with Cancel, the page switch locked while it runs. With
// LYB_TEST_SCREENSHOTS set, the page is grabbed during the rip.
#include "app/lyb30_app.h"
#include "app/page_documents.h"
#include "cd/cd_doc.h"
#include "cd/cd_state.h"
#include "platform/file_dialog.h"
#include "platform/instance.h"
#include "platform/prompt.h"
#include "platform/registry.h"
#include "platform/shared_library.h"
#include "platform/system_version.h"
#include "platform/trace.h"
#include "cd/aspi_manager.h"
#include "cd/cd_manager.h"
#include "platform/volumes.h"
#include "player/player_subsystem.h"
#include "ui/cd_form.h"
#include "ui/main_frame.h"
#include "ui/page_strip.h"
#include "ui/qt_shell.h"

#include "../cd/rip_test_support.h"
#include "ui_fixture.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <filesystem>

using namespace lyb;

namespace {

// The disc is named to the CD layer before anything lists the drives.
struct DiscEnvironment : ::testing::Environment {
    std::filesystem::path dir;
    void SetUp() override {
        dir = test::TempDir("ui_cd_disc");
        std::string cue = test::MakeDiscFrom(dir, {{750, false, 440}, {600, false, 550}, {450, false, 660}});
        ::setenv("LYB30_VIRTUAL_CD", cue.c_str(), 1);
        ::setenv("LYB30_VIRTUAL_CD_OPTIONS", "slow-us=400", 1);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
};
const auto* g_disc = ::testing::AddGlobalTestEnvironment(new DiscEnvironment);

// The widget tests' fixture with the real encoder, a music folder and room
// on the disk, and the CD state of the CD subsystem itself.
struct CdPage : UiFixture {
    ScriptedFileDialog files;

    void SetUp() override {
        UiFixture::SetUp();
        std::filesystem::remove(dir + "/libtessel.so");
        std::filesystem::copy_file(ProgramFolder() + "/libtessel.so", dir + "/libtessel.so");
        std::filesystem::create_directories(dir + "/music");
        RegKey k;
        reg->CreateKey(Hive::LocalMachine, kSettingsKey, RegAccess::Full, k);
        k.SetDword("Bitrate", 128000);
        k.SetString("Default Music Folder", dir + "/music");
        SetVolumeSource(std::make_shared<SimVolumeSource>(
            std::vector<Volume>{{"/", "/dev/sda1", "ext4", VolumeType::Fixed, 1ull << 40, 1ull << 39}}));
    }
    AppEnvironment Env() {
        AppEnvironment env = UiFixture::Env();
        env.fileDialog = &files;
        env.seams.cdState = {};
        return env;
    }
    template <typename Pred> bool PumpUntil(Pred done, std::chrono::milliseconds limit = std::chrono::seconds(20)) {
        auto end = std::chrono::steady_clock::now() + limit;
        while (!done() && std::chrono::steady_clock::now() < end)
            QApplication::processEvents(QEventLoop::AllEvents, 20);
        return done();
    }
};

TEST_F(CdPage, ShowsTheDiscAndRipsThroughItsButtons) {
    QtAppShell shell;
    CLyb30App app(Env(), shell);
    shell.SetApp(&app);
    ASSERT_TRUE(app.InitInstance());
    CMainFrame* frame = shell.MainFrame();
    frame->resize(900, 600);
    frame->ShowPage(0);
    QApplication::processEvents();
    auto* form = dynamic_cast<CCDForm*>(app.GetCDForm());
    ASSERT_NE(form, nullptr);
    ASSERT_NE(form->Doc(), nullptr);
    EXPECT_EQ(form->drives->count(), 1);
    EXPECT_EQ(form->drives->itemText(0), "virtual:cd0 (LYRABOX VIRTUAL CD-ROM)");
    EXPECT_FALSE(form->drives->isEnabled()); // one drive: nothing to choose
    ASSERT_EQ(form->tracks->topLevelItemCount(), 3);
    EXPECT_EQ(form->tracks->headerItem()->text(0), "Title");
    EXPECT_EQ(form->tracks->headerItem()->text(1), "Duration");
    EXPECT_EQ(form->tracks->headerItem()->text(2), "Size");
    EXPECT_EQ(form->tracks->columnWidth(1), 100);
    EXPECT_EQ(form->tracks->columnWidth(0), form->tracks->width() - 248);
    EXPECT_EQ(form->tracks->topLevelItem(0)->text(0), "AUDIO TRACK 01");
    EXPECT_EQ(form->tracks->topLevelItem(0)->text(1), "00:10");
    EXPECT_EQ(form->tracks->topLevelItem(0)->text(2), "1.68 Mb");
    EXPECT_EQ(form->play->text(), "Play");
    EXPECT_EQ(form->save->toolTip(), "Save CD Track(s) on hard drive");
    EXPECT_EQ(form->progress->toolTip(), "Saving Progress Bar");
    EXPECT_EQ(form->estimated->text(), "Estimated time : 00:00");
    EXPECT_FALSE(form->cancel->isEnabled());

    form->Doc()->ModifyTitle(0, "AC/DC: Live?");
    form->artist->setText("Test Artist");
    form->Doc()->SetArtist("Test Artist");
    form->tracks->selectAll();
    EXPECT_EQ(form->Doc()->Selection().size(), 3u);
    CPageStrip* strip = frame->Strip();
    form->save->click();
    EXPECT_FALSE(form->save->isEnabled());
    EXPECT_TRUE(form->cancel->isEnabled());
    EXPECT_FALSE(form->play->isEnabled());
    EXPECT_FALSE(strip->isEnabled());
    EXPECT_EQ(GetCdState(), kCdExtracting);
    ASSERT_TRUE(PumpUntil([&] { return form->progress->value() > form->progress->maximum() / 3; }));
    EXPECT_NE(form->speed->text(), "Speed: x00");
    if (const char* shots = std::getenv("LYB_TEST_SCREENSHOTS"))
        frame->grab().save(QString(shots) + "/cd_page_ripping.png", "PNG");
    ASSERT_TRUE(PumpUntil([&] { return !form->Doc()->Saving(); }));
    EXPECT_FALSE(form->Doc()->SavingFailed());
    EXPECT_TRUE(strip->isEnabled());
    EXPECT_TRUE(form->save->isEnabled());
    EXPECT_EQ(form->estimated->text(), "Estimated time : 00:00");
    EXPECT_EQ(form->progress->value(), 0);
    for (const char* name : {"AC_DC_ Live_.aac", "AUDIO TRACK 02.aac", "AUDIO TRACK 03.aac"})
        EXPECT_TRUE(std::filesystem::exists(dir + "/music/" + name)) << name;
    shell.DestroyMainFrame();
    app.ExitInstance();
}

TEST_F(CdPage, CancelAndExitNeverLeaveAPartialFile) {
    QtAppShell shell;
    CLyb30App app(Env(), shell);
    shell.SetApp(&app);
    ASSERT_TRUE(app.InitInstance());
    auto* form = dynamic_cast<CCDForm*>(app.GetCDForm());
    ASSERT_NE(form, nullptr);
    form->tracks->selectAll();
    form->save->click();
    ASSERT_TRUE(PumpUntil([&] { return form->progress->value() > 0; }));
    prompt.Push(PromptAnswer::Yes);
    form->cancel->click();
    EXPECT_FALSE(form->Doc()->Saving());
    EXPECT_EQ(prompt.asked().back().text, "Are you sure?");
    EXPECT_TRUE(std::filesystem::is_empty(dir + "/music"));
    // A rip still running when the program ends is stopped before the
    // encoder library goes, and leaves nothing behind.
    form->save->click();
    ASSERT_TRUE(PumpUntil([&] { return form->progress->value() > 0; }));
    shell.DestroyMainFrame();
    app.ExitInstance();
    EXPECT_EQ(GetCdState(), kCdIdle);
    EXPECT_TRUE(std::filesystem::is_empty(dir + "/music"));
}

TEST_F(CdPage, TheAspiSideStartsWithTheWindowAndStopsItsRipBeforeTheEncoderGoes) {
    std::filesystem::copy_file(ProgramFolder() + "/libwnaspi32.so", dir + "/libwnaspi32.so");
    SetSystemVersionOverride(SystemVersion{OsLine::Consumer, 0x040A});
    std::vector<std::string> traces;
    std::mutex traceMutex;
    SetTraceSink([&](std::string_view t) {
        std::lock_guard<std::mutex> lock(traceMutex);
        traces.emplace_back(t);
    });
    QtAppShell shell;
    CLyb30App app(Env(), shell);
    shell.SetApp(&app);
    ASSERT_TRUE(app.InitInstance());
    ASSERT_NE(app.AspiManager(), nullptr);
    EXPECT_TRUE(app.AspiManager()->IsInitialised());
    EXPECT_EQ(app.CdManager()->Drive(0)->aspiDevice, 0);
    auto* form = dynamic_cast<CCDForm*>(app.GetCDForm());
    ASSERT_NE(form, nullptr);
    form->tracks->selectAll();
    form->save->click();
    EXPECT_EQ(form->progress->maximum(), 50); // the ASPI engine's 50 steps
    ASSERT_TRUE(PumpUntil([&] { return form->progress->value() > 0; }));
    shell.DestroyMainFrame();
    app.ExitInstance();
    SetTraceSink({});
    SetSystemVersionOverride(std::nullopt);
    EXPECT_TRUE(std::filesystem::is_empty(dir + "/music"));
    EXPECT_EQ(GetCdState(), kCdIdle);
    auto at = [&](const std::string& text) {
        return std::find(traces.begin(), traces.end(), text) - traces.begin();
    };
    const auto n = std::ptrdiff_t(traces.size());
    EXPECT_LT(at("ASPI Manager initialized successfuly"), at("MainFrame loaded"));
    EXPECT_LT(at("Host Adapters Scan Procedure completed."), n);
    EXPECT_LT(at("1 Drive(s) found:"), n);
    EXPECT_LT(at("Riping canceled"), at("Freeing AAC library..."));
    EXPECT_LT(at("Uncompleted file is deleted"), at("Freeing AAC library..."));
    EXPECT_LT(at("Shuting down ASPI..."), at("ASPI unloaded successfuly"));
    EXPECT_LT(at("ASPI unloaded successfuly"), at("Freeing AAC library..."));
}

TEST_F(CdPage, ThePlayerDialogDrivesTheCdPage) {
    ::setenv("LYB30_AUDIO_SINK", "fakesink sync=true", 1);
    PlayerSubsystem player;
    QtAppShell shell;
    AppEnvironment env = Env();
    env.seams.playerInit = [&player, this] { player.Init(dir); };
    env.seams.playerShutdown = [&player] { player.Shutdown(); };
    shell.SetPlayer(&player);
    CLyb30App app(std::move(env), shell);
    shell.SetApp(&app);
    ASSERT_TRUE(app.InitInstance());
    auto* form = dynamic_cast<CCDForm*>(app.GetCDForm());
    ASSERT_NE(form, nullptr);
    PlayerDialogState& dialog = player.Dialog();
    ASSERT_NE(dialog.Cd(), nullptr);
    dialog.SetSource(kSourceCd);
    dialog.SmallPlayerPlay(); // no row selected: the first is
    EXPECT_EQ(form->Doc()->Selection(), std::vector<int>{0});
    EXPECT_TRUE(form->Doc()->Playing());
    EXPECT_EQ(form->Doc()->CurrentTrack(), 1);
    EXPECT_EQ(form->play->text(), "Pause");
    EXPECT_EQ(GetCdState(), kCdPlaying);
    dialog.Next();
    EXPECT_EQ(form->Doc()->CurrentTrack(), 2);
    dialog.Stop();
    EXPECT_FALSE(form->Doc()->Playing());
    EXPECT_EQ(GetCdState(), kCdIdle);
    // Random mode on the dialog makes the page's Play pick a random track.
    dialog.SetMode(kModeRandom);
    form->play->click();
    EXPECT_TRUE(form->Doc()->Playing());
    form->stop->click();
    shell.DestroyMainFrame();
    app.ExitInstance();
    ::unsetenv("LYB30_AUDIO_SINK");
}

} // namespace
