// The player's windows with the real program objects: the player dialog in
// the main window, the Small Player (its skin, buttons, commands, Close and
// Restore, the tray icon), the volume pop-up and the skin browser.
//
// Run offscreen by CTest; the tests named Xvfb* need a real X server (the
// window's mask) and run again under xvfb-run.
#include "app/lyb30_app.h"
#include "app/page_documents.h"
#include "platform/mixer.h"
#include "platform/registry.h"
#include "player/art/skin_art.h"
#include "library/studio_page.h"
#include "player/player_subsystem.h"
#include "player/skin_file.h"
#include "outside/usb/usb_device.h"
#include "platform/cdrom/volume_watcher.h"
#include "ui/main_frame.h"
#include "ui/music_form.h"
#include "ui/player/player_dialog.h"
#include "ui/player/player_ui.h"
#include "ui/player/skin_browser.h"
#include "ui/player/tray_icon.h"
#include "ui/player/volume_popup.h"
#include "ui/qt_shell.h"
#include "ui_fixture.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QWindow>

#include <filesystem>
#include <fstream>

using namespace lyb;
namespace fs = std::filesystem;

namespace {

void Settle(int ms = 50) {
    QTest::qWait(ms);
    QCoreApplication::processEvents();
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A skin whose face is one flat colour, so a screenshot shows where the
// face and where the buttons are.
std::string FlatSkin(QRgb face, const char* author) {
    QImage picture = BuiltinSkinPicture().copy();
    for (int y = 0; y < 104; ++y)
        for (int x = 0; x < 300; ++x)
            picture.setPixel(x, y, face);
    return WriteSkinBytes(ToSkinPicture(picture), author, "flat face");
}

struct PlayerUiFixture : UiFixture {
    PlayerSubsystem player;
    QtAppShell shell;
    std::unique_ptr<CLyb30App> app;
    FakeTrayIcon* tray = nullptr;

    void SetUp() override {
        qputenv("LYB30_AUDIO_SINK", "fakesink sync=true");
        UiFixture::SetUp();
        fs::copy_file(std::string(LYB_AAC_PLUGIN_DIR) + "/libaac.so", dir + "/libaac.so");
        fs::create_directories(dir + "/Skins");
        fs::copy_file(std::string(LYB_SKINS_DIR) + "/ocean.nms", dir + "/Skins/ocean.nms");
        RegKey k;
        reg->OpenKey(Hive::LocalMachine, kSettingsKey, RegAccess::Full, k);
        k.SetString("Default Skin Path", dir + "/Skins");
        k.SetString("Current Skin Name", "ocean.nms");
    }
    void TearDown() override {
        shell.DestroyMainFrame();
        if (app)
            app->ExitInstance();
        app.reset();
        UiFixture::TearDown();
    }
    void Start() {
        AppEnvironment env = Env();
        shell.WirePlayer(env.seams, player, dir);
        app = std::make_unique<CLyb30App>(std::move(env), shell);
        shell.SetApp(app.get());
        ASSERT_TRUE(app->InitInstance());
        shell.Player()->SetSwitchDelayMs(0);
        shell.Player()->SetTrayFactory([this] {
            auto t = std::make_unique<FakeTrayIcon>();
            tray = t.get();
            return t;
        });
    }
    CSmallPlayer* SwitchToSmall() {
        shell.Player()->SwitchToSmallPlayer();
        Settle();
        return shell.Player()->SmallPlayer();
    }
};

TEST_F(PlayerUiFixture, PlayerDialogSitsInTheMainWindow) {
    Start();
    CPlayerDialog* d = shell.Player()->DialogWidget();
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->window(), shell.MainFrame());
    EXPECT_EQ(d->Time()->text(), "00:00:00");
    EXPECT_TRUE(d->Button("playerSingle")->isChecked());
    d->Button("playerRandom")->click();
    EXPECT_EQ(player.Dialog().Mode(), kModeRandom);
    EXPECT_TRUE(d->Button("playerRandom")->isChecked());
    // Play with nothing to play starts nothing.
    d->Button("playerPlay")->click();
    EXPECT_FALSE(player.Dialog().Playing());
}

TEST_F(PlayerUiFixture, SwitchingShowsTheSkinnedSmallPlayerAndHidesTheMainWindow) {
    Start();
    CSmallPlayer* small = SwitchToSmall();
    ASSERT_NE(small, nullptr);
    EXPECT_TRUE(small->isVisible());
    EXPECT_FALSE(shell.MainFrame()->isVisible());
    EXPECT_EQ(small->size(), QSize(300, 104));
    EXPECT_EQ(small->windowTitle(), "Lyrabox 3.0 Player");
    EXPECT_TRUE(small->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(small->SkinLoaded()); // the ocean skin of the settings
    ASSERT_NE(tray, nullptr);
    EXPECT_TRUE(tray->shown);
    EXPECT_EQ(tray->tip, "Lyrabox 3.0 Player");
    EXPECT_EQ(small->ButtonWidget(SkinButton::Play)->geometry(), QRect(46, 80, 16, 16));
    EXPECT_EQ(small->ButtonWidget(SkinButton::Eject)->geometry(), QRect(260, 76, 23, 23));
    EXPECT_EQ(small->ButtonWidget(SkinButton::Close)->toolTip(), "Close");
    // The text colours come from the skin's two pixels.
    const SkinFile skin = ReadSkinFile(dir + "/Skins/ocean.nms");
    EXPECT_EQ(small->Images().timeColour.rgb() & 0xFFFFFF, skin.picture.Pixel(86, 105));
    EXPECT_EQ(small->Images().titleColour.rgb() & 0xFFFFFF, skin.picture.Pixel(171, 105));
    // The start-up rule sees the Small Player.
    EXPECT_TRUE(app->Environment().seams.smallPlayerExists());
}

TEST_F(PlayerUiFixture, ThePhoneLightFollowsAPhoneThatComesAndGoesAtOnce) {
    // A simulated phone whose card is not there yet.
    fs::copy_file(std::string(LYB_USB_PLUGIN_DIR) + "/libusb-orvik.so", dir + "/libusb-orvik.so");
    const std::string card = dir + "/phone/card";
    fs::create_directories(dir + "/phone");
    WriteBytes(dir + "/phone/phones.txt", "Orvik Mobile | Orvik QRX-4 | card\n");
    ::setenv(kSimUsbEnvironment, (dir + "/phone/phones.txt").c_str(), 1);
    Start();
    CSmallPlayer* small = SwitchToSmall();
    ASSERT_NE(small, nullptr);
    EXPECT_FALSE(small->State().deviceConnected);
    // The card's volume arrives: the Mobile Device pane refreshes and the
    // Small Player is told at once, before its own clock runs.
    fs::create_directories(card);
    shell.MainFrame()->OnDeviceChange(VolumeChange{true, 0, false, card});
    EXPECT_TRUE(small->State().deviceConnected);
    // Pulled out: the main window posts the pane its refresh (1923).
    fs::remove_all(card);
    shell.MainFrame()->OnDeviceChange(VolumeChange{false, 0, false, card});
    QCoreApplication::processEvents();
    EXPECT_FALSE(small->State().deviceConnected);
    ::unsetenv(kSimUsbEnvironment);
}

TEST_F(PlayerUiFixture, BrokenSkinKeepsTheBuiltInImages) {
    WriteBytes(dir + "/Skins/broken.nms", FlatSkin(0xFF102030, "x").substr(0, 1000));
    RegKey k;
    reg->OpenKey(Hive::LocalMachine, kSettingsKey, RegAccess::Full, k);
    k.SetString("Current Skin Name", "broken.nms");
    Start();
    CSmallPlayer* small = SwitchToSmall();
    ASSERT_NE(small, nullptr);
    EXPECT_FALSE(small->SkinLoaded());
    EXPECT_EQ(small->Images().face.pixel(150, 90), BuiltinSkinPicture().pixel(150, 90));
}

TEST_F(PlayerUiFixture, SequenceModeThreeTimesReturnsToSingle) {
    Start();
    CSmallPlayer* small = SwitchToSmall();
    ASSERT_NE(small, nullptr);
    CSkinButton* seq = small->ButtonWidget(SkinButton::Sequence);
    QTest::mouseClick(seq, Qt::LeftButton);
    EXPECT_EQ(small->State().mode, kModeContinuous);
    EXPECT_EQ(player.Dialog().Mode(), kModeContinuous);
    QTest::mouseClick(seq, Qt::LeftButton);
    EXPECT_EQ(small->State().ModeLight(), Light::Random);
    QTest::mouseClick(seq, Qt::LeftButton);
    EXPECT_EQ(small->State().mode, kModeSingle);
    EXPECT_EQ(player.Dialog().Mode(), kModeSingle);
    EXPECT_TRUE(shell.Player()->DialogWidget()->Button("playerSingle")->isChecked());
}

TEST_F(PlayerUiFixture, RestoreBringsTheMainWindowBack) {
    Start();
    shell.MainFrame()->showMaximized();
    CSmallPlayer* small = SwitchToSmall();
    ASSERT_NE(small, nullptr);
    QTest::mouseClick(small->ButtonWidget(SkinButton::Restore), Qt::LeftButton);
    Settle();
    EXPECT_FALSE(shell.Player()->SmallPlayerExists());
    EXPECT_TRUE(shell.MainFrame()->isVisible());
    EXPECT_TRUE(shell.MainFrame()->isMaximized());
    // Ctrl+Space on the Small Player does the same.
    small = SwitchToSmall();
    ASSERT_NE(small, nullptr);
    small->Command(SkinButton::Restore);
    Settle();
    EXPECT_TRUE(shell.MainFrame()->isVisible());
}

TEST_F(PlayerUiFixture, CloseEndsTheApplication) {
    Start();
    CSmallPlayer* small = SwitchToSmall();
    ASSERT_NE(small, nullptr);
    CSkinButton* close = small->ButtonWidget(SkinButton::Close);
    // The program's event loop ends when Close is pressed.
    bool ended = false;
    QTimer::singleShot(0, close, [close] { QTest::mouseClick(close, Qt::LeftButton); });
    QTimer::singleShot(3000, [] { QCoreApplication::exit(7); }); // a safety net
    const int rc = QCoreApplication::exec();
    ended = rc == 0;
    EXPECT_TRUE(ended);
    EXPECT_FALSE(shell.Player()->SmallPlayerExists());
    EXPECT_FALSE(shell.MainFrame()->isVisible());
}

TEST_F(PlayerUiFixture, TrayPressRestoresAMinimisedSmallPlayer) {
    Start();
    CSmallPlayer* small = SwitchToSmall();
    ASSERT_NE(small, nullptr);
    QTest::mouseClick(small->ButtonWidget(SkinButton::Minimize), Qt::LeftButton);
    EXPECT_TRUE(small->State().minimised);
    ASSERT_NE(tray, nullptr);
    tray->Press();
    Settle();
    EXPECT_FALSE(small->State().minimised);
    EXPECT_FALSE(small->isMinimized());
}

TEST_F(PlayerUiFixture, ButtonStatesAndMask) {
    Start();
    CSmallPlayer* small = SwitchToSmall();
    ASSERT_NE(small, nullptr);
    CSkinButton* play = small->ButtonWidget(SkinButton::Play);
    EXPECT_EQ(play->State(), ButtonImage::Normal);
    play->setEnabled(false);
    EXPECT_EQ(play->State(), ButtonImage::Pressed); // a disabled button shows the pressed image
    play->setEnabled(true);
    // Where the mask is black (the key's rounded corner) the face shows.
    const SkinImages& img = small->Images();
    const QImage normal = img.ButtonFace(SkinButton::Play, ButtonImage::Normal, false);
    EXPECT_EQ(normal.pixel(0, 0), img.face.pixel(46, 80));
    EXPECT_EQ(normal.pixel(8, 8), img.buttons[static_cast<size_t>(SkinButton::Play)].pixel(8, 4 + 8));
    const QImage rtl = img.ButtonFace(SkinButton::Play, ButtonImage::Normal, true);
    EXPECT_EQ(rtl.pixel(8, 8), img.buttons[static_cast<size_t>(SkinButton::Play)].pixel(56 + 8, 4 + 8));
}

TEST_F(PlayerUiFixture, VolumePopupAndBar) {
    Start();
    CSmallPlayer* small = SwitchToSmall();
    ASSERT_NE(small, nullptr);
    OutputVolume::Of(OutputLine::WaveOut).SetValue(OutputVolume::kMaxValue);
    shell.Player()->OpenVolumePopup(QPoint(400, 300));
    CVolumePopup* popup = shell.Player()->VolumePopup();
    ASSERT_NE(popup, nullptr);
    EXPECT_EQ(popup->pos(), QPoint(350, 250));
    EXPECT_EQ(popup->State().Line(), OutputLine::WaveOut);
    EXPECT_EQ(popup->Slider()->value(), 0); // full volume at the top
    popup->Slider()->setValue(OutputVolume::kMaxValue / 4);
    popup->OnTimer();
    EXPECT_EQ(OutputVolume::Of(OutputLine::WaveOut).Value(), OutputVolume::kMaxValue - OutputVolume::kMaxValue / 4);
    OutputVolume::Of(OutputLine::WaveOut).SetValue(OutputVolume::kMaxValue);
}

TEST_F(PlayerUiFixture, SkinBrowserListsPreviewsAndSelects) {
    Start();
    const std::string folder = dir + "/more skins";
    fs::create_directories(folder);
    WriteBytes(folder + "/red.nms", FlatSkin(0xFFC02020, "Red Author"));
    WriteBytes(folder + "/green.NMS", FlatSkin(0xFF20C020, "Green Author"));
    std::string wide = FlatSkin(0xFF2020C0, "Wide");
    wide[154 + 18] = static_cast<char>(301 & 0xFF);
    wide[154 + 19] = static_cast<char>(301 >> 8);
    WriteBytes(folder + "/wide.nms", wide);
    WriteBytes(folder + "/notes.txt", "not a skin");
    bool ran = false;
    shell.Player()->beforeSkinBrowser = [&](CSkinBrowser& b) {
        ran = true;
        b.pickFolder = [&] { return QString::fromStdString(folder + "/"); };
        b.Browse();
        ASSERT_EQ(b.List()->count(), 3);
        EXPECT_EQ(b.List()->item(0)->text(), "green.NMS");
        b.List()->setCurrentRow(1); // red
        EXPECT_EQ(b.Author()->text(), "Red Author");
        EXPECT_EQ(b.Description()->text(), "flat face");
        // The preview: the face stretched below a 7-pixel margin.
        const QImage shown = b.Preview()->pixmap().toImage();
        EXPECT_EQ(shown.pixel(150, 7 + 30) & 0xFFFFFF, 0xC02020u);
        // The 301-pixel skin is refused: the preview stays.
        b.List()->setCurrentRow(2);
        EXPECT_EQ(b.Author()->text(), "Red Author");
        EXPECT_EQ(b.State().Chosen(), folder + "/red.nms"); // no second '/'
        b.Select();
    };
    shell.Player()->ShowSkinBrowser();
    EXPECT_TRUE(ran);
    EXPECT_EQ(app->Settings().currentSkinName, folder + "/red.nms");
    EXPECT_EQ(app->Settings().defaultSkinPath, folder + "/");
    // The next Small Player wears it.
    CSmallPlayer* small = SwitchToSmall();
    ASSERT_NE(small, nullptr);
    EXPECT_EQ(small->Images().face.pixel(150, 90) & 0xFFFFFF, 0xC02020u);
}

TEST_F(PlayerUiFixture, SkinBrowserWithoutSkins) {
    Start();
    shell.Player()->beforeSkinBrowser = [&](CSkinBrowser& b) {
        b.ShowFolder(QString::fromStdString(dir));
        EXPECT_EQ(b.List()->count(), 0);
        EXPECT_FALSE(b.SelectButton()->isEnabled());
        EXPECT_TRUE(b.Author()->text().isEmpty());
    };
    shell.Player()->ShowSkinBrowser();
}

TEST_F(PlayerUiFixture, StudioPagePlaysThroughThePlayerAndStopsWhenThePlayingTrackGoes) {
    Start();
    auto* form = dynamic_cast<CMusicForm*>(app->GetMusicForm());
    ASSERT_NE(form, nullptr);
    StudioPage& page = form->State();
    const std::string data = std::string(std::getenv("LYB_TEST_DATA")) + "/player/";
    page.AddTracks({data + "tone.mp3", data + "tone.aac"});
    ASSERT_EQ(page.RowCount(), 2);
    // A double click plays the row: the AAC file through libaac.so.
    form->PlayRow(1);
    EXPECT_TRUE(player.Dialog().Playing());
    EXPECT_EQ(player.Engine().GetState(), 1);
    EXPECT_EQ(player.Engine().Current(), player.Engine().Lse());
    EXPECT_EQ(page.PlayingItem(), page.ItemOfRow(1));
    EXPECT_EQ(player.Dialog().Duration(), 2);
    // The other row moves above it: the play position follows the item.
    page.SetSelectedRows({0});
    page.MoveDown();
    EXPECT_EQ(page.PlayingItem(), page.ItemOfRow(0));
    // Removing the track being played stops playback; the file stays.
    page.SetSelectedRows({0});
    page.RemoveSelected();
    EXPECT_EQ(player.Engine().GetState(), 3);
    EXPECT_FALSE(player.Dialog().Playing());
    EXPECT_TRUE(fs::exists(data + "tone.aac"));
    // Play with the MP3 row selected, from the player dialog's button.
    page.SetSelectedRows({0});
    shell.Player()->DialogWidget()->Button("playerPlay")->click();
    EXPECT_EQ(player.Engine().Current(), player.Engine().Media());
    EXPECT_EQ(player.Engine().GetState(), 1);
    shell.Player()->DialogWidget()->Button("playerStop")->click();
    EXPECT_EQ(player.Engine().GetState(), 3);
}

TEST_F(PlayerUiFixture, LengthsComeFromTheEngine) {
    Start();
    auto* form = dynamic_cast<CMusicForm*>(app->GetMusicForm());
    ASSERT_NE(form, nullptr);
    const std::string data = std::string(std::getenv("LYB_TEST_DATA")) + "/player/";
    form->State().AddTracks({data + "vbr-noheader.mp3"});
    ASSERT_EQ(form->State().RowCount(), 1);
    // 3 s of audio, whatever the first frame suggests.
    EXPECT_EQ(form->State().ItemOfRow(0)->length, 3u);
}

// Under a real X server: the window's region, and a screenshot of the
// Small Player as the screen shows it.
TEST_F(PlayerUiFixture, XvfbSmallPlayerOnScreen) {
    if (QGuiApplication::platformName() != "xcb")
        GTEST_SKIP() << "needs an X server (run under xvfb-run)";
    Start();
    // A track playing, so the title and artist show.
    auto* form = dynamic_cast<CMusicForm*>(app->GetMusicForm());
    ASSERT_NE(form, nullptr);
    StudioPage& page = form->State();
    MusicCollection& c = page.Doc().Collection();
    ASSERT_TRUE(c.AddFile(std::string(std::getenv("LYB_TEST_DATA")) + "/player/tone.mp3", false,
                          page.Doc().Context()));
    c.Item(0)->title = "A Tone Long Enough To Be Cut Off At The Edge Of The Display";
    c.Item(0)->artist = "The Sine Generators";
    page.RebuildRows();
    page.SetSelectedRows({0});
    player.Dialog().Play();
    ASSERT_TRUE(player.Dialog().Playing());
    player.Dialog().OnClock();
    CSmallPlayer* small = SwitchToSmall();
    ASSERT_NE(small, nullptr);
    small->move(40, 40);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(small));
    Settle(200);
    EXPECT_EQ(small->mask(), QRegion(0, 0, 300, 104));
    ASSERT_TRUE(small->windowHandle());
    const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(small->winId());
    ASSERT_EQ(shot.size(), QSize(300, 104));
    const QImage img = shot.toImage();
    // The face away from every control, and the play button's key.
    EXPECT_EQ(img.pixel(150, 100) & 0xFFFFFF, small->Images().face.pixel(150, 100) & 0xFFFFFF);
    const QImage play = small->Images().ButtonFace(SkinButton::Play, ButtonImage::Normal, false);
    EXPECT_EQ(img.pixel(46 + 8, 80 + 8) & 0xFFFFFF, play.pixel(8, 8) & 0xFFFFFF);
    if (const char* out = std::getenv("LYB_PLAYER_SCREENSHOT"))
        shot.save(QString::fromLocal8Bit(out), "PNG");
}

} // namespace
