// The main window with the real program objects, offscreen: page switching
// by real key events and by the strip, the language table on the strip and
// in the menu, help by context under the pointer, every menu command
// reaching its operation, and the Club Orvik page against a local web
// server and an address that cannot be resolved.
#include "app/lyb30_app.h"
#include "app/page_documents.h"
#include "cd/cd_doc.h"
#include "platform/instance.h"
#include "platform/prompt.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "platform/volumes.h"
#include "player/player_subsystem.h"
#include "ui/cd_form.h"
#include "ui/club_orvik_form.h"
#include "ui/help_window.h"
#include "ui/main_frame.h"
#include "ui/mobile_device_form.h"
#include "ui/music_form.h"
#include "ui/page_strip.h"
#include "ui/pages.h"
#include "ui/player/player_ui.h"
#include "ui/player/skin_browser.h"
#include "ui/player/tray_icon.h"
#include "ui/qt_shell.h"
#include "ui/search_dialog.h"
#include "ui/shell/main_commands.h"

#include "../library/test_util.h"
#include "ui_fixture.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QElapsedTimer>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QMenuBar>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTableView>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTextBrowser>
#include <QTextDocumentFragment>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include <algorithm>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>

using namespace lyb;
using namespace lyb::test;
namespace fs = std::filesystem;

namespace {

bool Until(const std::function<bool()>& done, int ms = 10000) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms)
        QTest::qWait(10);
    return done();
}

class NullTray final : public TrayIcon {
public:
    bool Add(const QIcon&, const QString&, std::function<void()>) override { return true; }
    void Remove() override {}
};

// UTF-16LE "id=text" lines with CR LF, as a language file holds them.
std::string LangDat(const std::vector<std::pair<int, std::string>>& lines) {
    std::string bytes;
    for (const auto& [id, text] : lines)
        for (char16_t u : Utf8ToUtf16(std::to_string(id) + "=" + text + "\r\n")) {
            bytes.push_back(static_cast<char>(u & 0xFF));
            bytes.push_back(static_cast<char>(u >> 8));
        }
    return bytes;
}

// A tiny web server: answers GET requests from a table of paths, after a
// delay where one is set, and counts the requests.
class WebServer {
public:
    WebServer() {
        m_server.listen(QHostAddress::LocalHost);
        QObject::connect(&m_server, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* s = m_server.nextPendingConnection()) {
                QObject::connect(s, &QTcpSocket::readyRead, s, [this, s] {
                    m_buffer[s] += s->readAll();
                    if (!m_buffer[s].contains("\r\n\r\n"))
                        return;
                    const QByteArray path = m_buffer[s].split(' ').value(1);
                    ++hits[path.toStdString()];
                    auto answer = [this, s, path] {
                        const auto it = pages.find(path.toStdString());
                        const QByteArray body = it == pages.end() ? QByteArray("no") : QByteArray(it->second.c_str());
                        s->write((it == pages.end() ? "HTTP/1.0 404 Not Found\r\n" : "HTTP/1.0 200 OK\r\n") +
                                 QByteArray("Content-Type: text/html; charset=utf-8\r\nContent-Length: ") +
                                 QByteArray::number(body.size()) + "\r\n\r\n" + body);
                        s->disconnectFromHost();
                    };
                    if (delayMs > 0)
                        QTimer::singleShot(delayMs, s, answer);
                    else
                        answer();
                });
            }
        });
    }
    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(m_server.serverPort()) + path;
    }
    std::map<std::string, std::string> pages;
    std::map<std::string, int> hits;
    int delayMs = 0;

private:
    QTcpServer m_server;
    std::map<QTcpSocket*, QByteArray> m_buffer;
};

// A virtual CD drive with a short three-track disc of a quiet tone, named to
// the CD layer before anything lists the drives.
struct DiscEnvironment : ::testing::Environment {
    std::string dir;
    void SetUp() override {
        std::string tmpl = testing::TempDir() + "lybshelldisc_XXXXXX";
        dir = ::mkdtemp(tmpl.data());
        std::ofstream bin(dir + "/disc.bin", std::ios::binary);
        std::ofstream cue(dir + "/disc.cue");
        cue << "FILE \"disc.bin\" BINARY\n";
        const int frames = 150; // two seconds a track
        for (int t = 0; t < 3; ++t) {
            const int at = t * frames;
            char line[96];
            std::snprintf(line, sizeof line, "  TRACK %02d AUDIO\n    INDEX 01 %02d:%02d:%02d\n", t + 1, at / 4500,
                          (at / 75) % 60, at % 75);
            cue << line;
            std::string frame(2352, '\0');
            for (int f = 0; f < frames; ++f)
                bin.write(frame.data(), static_cast<std::streamsize>(frame.size()));
        }
        ::setenv("LYB30_VIRTUAL_CD", (dir + "/disc.cue").c_str(), 1);
        // A null sink keeping real time: a track neither ends at once nor
        // makes a sound.
        ::setenv("LYB30_AUDIO_SINK", "fakesink sync=true", 1);
    }
    void TearDown() override { fs::remove_all(dir); }
};
const auto* g_disc = ::testing::AddGlobalTestEnvironment(new DiscEnvironment);

struct ShellUi : testing::Test {
    std::string dir, music, card;
    std::shared_ptr<MemoryRegistryStore> store = std::make_shared<MemoryRegistryStore>();
    std::shared_ptr<Registry> reg = std::make_shared<Registry>(store);
    ScriptedPrompt prompt;
    SimInstanceHub hub;
    PlayerSubsystem player;
    FakeEngine engine;
    std::unique_ptr<QtAppShell> shell;
    std::unique_ptr<CLyb30App> app;
    CMainFrame* frame = nullptr;

    void SetUp() override {
        App();
        std::string tmpl = testing::TempDir() + "lybshell_XXXXXX";
        dir = ::mkdtemp(tmpl.data());
        fs::copy_file(std::string(LYB_TEST_COMPONENTS) + "/libdouble_tessel_complete.so", dir + "/libtessel.so");
        fs::copy_file(std::string(LYB_AAC_PLUGIN_DIR) + "/libaac.so", dir + "/libaac.so");
        fs::create_directories(dir + "/Skins");
        fs::copy_file(std::string(LYB_SKINS_DIR) + "/ocean.nms", dir + "/Skins/ocean.nms");
        fs::copy_file(std::string(LYB_USB_PLUGIN_DIR) + "/libusb-orvik.so", dir + "/libusb-orvik.so");
        music = dir + "/music";
        fs::create_directories(music);
        // A simulated phone whose card is a folder.
        card = dir + "/phone/card";
        fs::create_directories(card);
        WriteFile(dir + "/phone/devices.txt", "Orvik Mobile | Orvik QRX-4 | card\n");
        ::setenv("LYB30_SIM_USB", (dir + "/phone/devices.txt").c_str(), 1);
        RegKey k;
        reg->CreateKey(Hive::LocalMachine, kSettingsKey, RegAccess::Full, k);
        k.SetString("pth", dir);
        k.SetDword("EnglishBase", 1);
        k.SetString("Default Skin Path", dir + "/Skins");
        k.SetString("Current Skin Name", "ocean.nms");
        k.SetString("Default Music Folder", music);
        k.SetString("Default Playlist Folder", music);
        k.SetDword("Startup mode", 2);
        // The card is a removable volume of its own.
        SetVolumeSource(std::make_shared<SimVolumeSource>(
            std::vector<Volume>{{"/", "/dev/sda1", "ext4", VolumeType::Fixed, 0, 0},
                                {card, "/dev/sdb1", "vfat", VolumeType::Removable, 64ull << 20, 32ull << 20}}));
    }
    void TearDown() override {
        UiFixture::EndProgram(shell, app);
        SetVolumeSource(nullptr);
        ::unsetenv("LYB30_SIM_USB");
        fs::remove_all(dir);
    }
    void SetMachine(const char* name, const std::string& value) {
        RegKey k;
        reg->OpenKey(Hive::LocalMachine, kSettingsKey, RegAccess::Full, k);
        k.SetString(name, value);
    }
    bool Tracks(int count) {
        if (!HaveTool("ffmpeg"))
            return false;
        for (int i = 0; i < count; ++i) {
            const std::string path = music + "/t" + std::to_string(i) + ".mp3";
            if (!MakeMp3(path))
                return false;
            engine.mp3Seconds[path] = 1;
        }
        return true;
    }
    void CopyHelp(const std::string& from, const std::string& as) {
        fs::copy_file(std::string(LYB_HELP_DIR) + "/" + from, dir + "/" + as, fs::copy_options::overwrite_existing);
    }
    void Start() {
        AppEnvironment env = TestEnvironment(reg, prompt, hub, dir);
        env.seams.playerInit = [this] { player.Init(dir); };
        env.seams.playerShutdown = [this] { player.Shutdown(); };
        env.seams.lengthEngine = [this]() -> LengthQueryEngine* { return &engine; };
        shell = std::make_unique<QtAppShell>();
        env.seams.smallPlayerExists = [this] { return shell->Player() && shell->Player()->SmallPlayerExists(); };
        shell->SetPlayer(&player);
        app = std::make_unique<CLyb30App>(std::move(env), *shell);
        shell->SetApp(app.get());
        ASSERT_TRUE(app->InitInstance());
        shell->Player()->SetSwitchDelayMs(0);
        shell->Player()->SetTrayFactory([] { return std::make_unique<NullTray>(); });
        frame = shell->MainFrame();
        frame->move(0, 0);
        frame->resize(980, 640);
        frame->activateWindow();
        QTest::qWait(20);
    }
    CMusicForm* Music() const { return dynamic_cast<CMusicForm*>(app->GetMusicForm()); }
    CCDDoc* Cd() const {
        auto* form = dynamic_cast<CCDForm*>(app->GetCDForm());
        return form ? form->Doc() : nullptr;
    }
    CMobileDeviceForm* Pane() const {
        return dynamic_cast<CMobileDeviceForm*>(static_cast<CMusicFrame*>(frame->Page(2))->DevicePane());
    }
    CClubOrvikForm* Club() const { return dynamic_cast<CClubOrvikForm*>(app->GetClubForm()); }
    QWidget* Shown() const { return frame->findChild<QStackedWidget*>("pages")->currentWidget(); }
    bool PageShown(PageCode page) const {
        const int index = TemplateIndexOfPage(page);
        return frame->CurrentPageCode() == page && app->CurrentPageCode() == page &&
               Shown() == frame->Page(index) && frame->Strip()->State().Selected() == page;
    }
    void Key(QWidget* to, Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QTest::keyClick(to, key, mods);
        QApplication::processEvents();
    }
    // Runs `command`, closing the modal dialog it opens; returns that dialog's name.
    QString ModalOf(int command) {
        QString seen;
        QTimer::singleShot(0, [&seen] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                seen = modal->objectName();
                modal->close();
            }
        });
        frame->OnCommand(command);
        return seen;
    }
};

} // namespace

TEST_F(ShellUi, CtrlTabCyclesThePagesWithRealKeysAndTheStripFollows) {
    Start();
    CMusicForm* form = Music();
    ASSERT_NE(form, nullptr);
    EXPECT_TRUE(PageShown(kPageMusicStudio));
    EXPECT_EQ(frame->windowTitle(), "Lyrabox 3.0 - Music Studio");
    // The keys go to the Music Studio's list, as typed there.
    form->List()->setFocus();
    QWidget* to = form->List();
    Key(to, Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_TRUE(PageShown(kPageCdPlayer));
    EXPECT_EQ(frame->Strip()->State().image, (std::array<int, 3>{0, 2, 0}));
    EXPECT_EQ(frame->Strip()->State().second, (std::array<int, 3>{0, -1, 0}));
    Key(QApplication::focusWidget() ? QApplication::focusWidget() : frame, Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_TRUE(PageShown(kPageClubOrvik));
    Key(frame, Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_TRUE(PageShown(kPageMusicStudio));
    // Backwards from the Music Studio: Club Orvik.
    Key(frame, Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_TRUE(PageShown(kPageClubOrvik));
    Key(frame, Qt::Key_F6, Qt::ControlModifier);
    EXPECT_TRUE(PageShown(kPageMusicStudio));
    Key(frame, Qt::Key_F6, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_TRUE(PageShown(kPageClubOrvik));
    Key(frame, Qt::Key_2, Qt::ControlModifier);
    EXPECT_TRUE(PageShown(kPageCdPlayer));
    Key(frame, Qt::Key_1, Qt::ControlModifier);
    EXPECT_TRUE(PageShown(kPageMusicStudio));
    // A click on the strip's third button.
    QTest::mouseClick(frame->Strip(), Qt::LeftButton, {}, QPoint(50, 260));
    EXPECT_TRUE(PageShown(kPageClubOrvik));
    EXPECT_EQ(frame->windowTitle(), "Lyrabox 3.0 - Club Orvik");
    // While pages may not be switched (a CD is ripped), keys and strip do nothing.
    frame->EnablePageSwitch(false);
    Key(frame, Qt::Key_Tab, Qt::ControlModifier);
    Key(frame, Qt::Key_1, Qt::ControlModifier);
    EXPECT_TRUE(PageShown(kPageClubOrvik));
    EXPECT_FALSE(frame->CommandEnabled(kIdPageMusicStudio));
    frame->EnablePageSwitch(true);
    Key(frame, Qt::Key_1, Qt::ControlModifier);
    EXPECT_TRUE(PageShown(kPageMusicStudio));
}

TEST_F(ShellUi, TheTableTakesItsKeysBeforeThePageAndDeleteAloneStaysWithTheList) {
    if (!Tracks(3))
        GTEST_SKIP() << "ffmpeg is needed to make test files";
    Start();
    CMusicForm* form = Music();
    ASSERT_NE(form, nullptr);
    ASSERT_TRUE(Until([&] { return form->State().RowCount() == 3; }));
    form->List()->setFocus();
    // From the CD Player page, Ctrl+A selects the Studio's music and shows it.
    frame->SwitchPage(kPageCdPlayer);
    Key(frame, Qt::Key_A, Qt::ControlModifier);
    EXPECT_TRUE(PageShown(kPageMusicStudio));
    EXPECT_EQ(form->State().SelectedRows().size(), 3u);
    Key(form->List(), Qt::Key_U, Qt::ControlModifier);
    EXPECT_TRUE(form->State().SelectedRows().empty());
    // Delete alone removes the selection of the list that has the focus.
    form->State().SetRowSelected(0, true);
    form->State().SelectionEdited();
    Key(form->List(), Qt::Key_Delete);
    EXPECT_EQ(form->State().RowCount(), 2);
    Key(form->List(), Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(form->State().RowCount(), 0);
    // A text field keeps its own editing keys.
    auto* field = new QLineEdit("abc", form);
    field->show();
    field->setFocus();
    Key(field, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(field->selectedText(), "abc");
    // Menu items show their keys but bind none: the table alone does.
    for (const MenuNode* n : MenuCommands())
        EXPECT_TRUE(frame->MenuAction(n->command)->shortcut().isEmpty()) << n->command;
    EXPECT_EQ(frame->MenuAction(kIdRemoveSelected)->text(), "Remove Selected Music from Studio\tDel");
    EXPECT_EQ(frame->MenuAction(kIdTransfer)->statusTip(), "Transfer music from Music Studio to Mobile Device");
}

TEST_F(ShellUi, StudioContentsActOnTheCardWhileTheDevicePaneIsTheActiveView) {
    if (!Tracks(2) || !MakeMp3(card + "/a.mp3") || !MakeMp3(card + "/b.mp3"))
        GTEST_SKIP() << "ffmpeg is needed to make test files";
    Start();
    CMusicForm* form = Music();
    CMobileDeviceForm* pane = Pane();
    ASSERT_NE(pane, nullptr);
    pane->RefreshDevices(0);
    ASSERT_TRUE(Until([&] { return form->State().RowCount() == 2 && pane->State().RowCount() == 2; }));
    pane->FileList()->setFocus();
    Key(pane->FileList(), Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(pane->State().SelectedCount(), 2);
    EXPECT_TRUE(form->State().SelectedRows().empty());
    frame->OnCommand(kIdUnselectAll);
    EXPECT_EQ(pane->State().SelectedCount(), 0);
    // Back in the Studio's list the same keys act on the Studio.
    form->List()->setFocus();
    Key(form->List(), Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(form->State().SelectedRows().size(), 2u);
    EXPECT_EQ(pane->State().SelectedCount(), 0);
    // Delete alone in the pane deletes the card's selection (after the question).
    pane->FileList()->setFocus();
    pane->FileList()->topLevelItem(1)->setSelected(true);
    Key(pane->FileList(), Qt::Key_Delete);
    EXPECT_TRUE(Until([&] { return pane->State().RowCount() == 1; }));
    EXPECT_EQ(form->State().RowCount(), 2);
}

TEST_F(ShellUi, ALanguageTablePutsSlot155OnTheThirdStripButtonAndLocalisesTheMenu) {
    WriteFile(dir + "/lang.dat", LangDat({{1, "&Datei"}, {153, "Musikstudio"}, {154, "CD-Spieler"},
                                          {155, "Klub"}, {420, "Musik übertragen"}, {450, "Bereit"}}));
    CopyHelp("German/lyb30l.chm", "lyb30l.chm");
    Start();
    ASSERT_FALSE(app->EnglishInterface());
    CPageStrip* strip = frame->Strip();
    EXPECT_EQ(strip->Caption(0), "Musikstudio");
    EXPECT_EQ(strip->Caption(1), "CD-Spieler");
    EXPECT_EQ(strip->Caption(2).toStdString(), std::string(CLocalize::kSiteAddress));
    EXPECT_EQ(frame->menuBar()->actions().at(0)->text(), "&Datei");
    EXPECT_EQ(frame->MenuAction(kIdPageClubOrvik)->text().toStdString(),
              std::string(CLocalize::kSiteAddress) + "\tCtrl+3");
    EXPECT_EQ(frame->MenuAction(kIdTransfer)->statusTip(), "Musik übertragen");
    EXPECT_EQ(frame->IdleLabel()->text(), "Bereit");
    // The address wraps inside the caption's rectangle and is drawn there.
    const QImage shot = strip->grab().toImage();
    int ink = 0;
    for (int y = 296; y < 336; ++y)
        for (int x = 5; x < 95; ++x)
            ink += qGreen(shot.pixel(x, y)) > 150;
    EXPECT_GT(ink, 40);
    if (const char* out = std::getenv("LYB_SHELL_SCREENSHOTS"))
        frame->grab().save(QString(out) + "/main-window-table.png");
}

TEST_F(ShellUi, F1OverTheStripAndTheWindowOpensTheTopicOfItsContext) {
    CopyHelp("lyb30.chm", "lyb30.chm");
    Start();
    frame->show();
    QTest::qWait(20);
    CPageStrip* strip = frame->Strip();
    // The second region of the strip: the CD Player's topic.
    QCursor::setPos(strip->mapToGlobal(QPoint(50, 150)));
    Key(frame, Qt::Key_F1);
    CHelpWindow* help = frame->HelpWindow();
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->isVisible());
    EXPECT_EQ(frame->LastHelpRequest(), (HelpRequest{false, 0x20069}));
    EXPECT_FALSE(frame->LastHelpFellBack());
    EXPECT_EQ(help->CurrentTopic(), "cd_player.html");
    EXPECT_TRUE(help->Browser()->toPlainText().contains("The CD Player"));
    EXPECT_GT(help->Contents()->topLevelItemCount(), 5);
    ASSERT_NE(help->Contents()->currentItem(), nullptr);
    EXPECT_EQ(help->Contents()->currentItem()->text(0), "The CD Player");
    help->move(frame->width() + 50, 0); // out of the pointer's way
    if (const char* out = std::getenv("LYB_SHELL_SCREENSHOTS"))
        help->grab().save(QString(out) + "/help-window.png");
    // The first and third regions, and below the third: the default topic.
    QCursor::setPos(strip->mapToGlobal(QPoint(50, 20)));
    Key(frame, Qt::Key_F1);
    EXPECT_EQ(help->CurrentTopic(), "music_studio.html");
    QCursor::setPos(strip->mapToGlobal(QPoint(50, 300)));
    Key(frame, Qt::Key_F1);
    EXPECT_EQ(help->CurrentTopic(), "club_orvik.html");
    QCursor::setPos(strip->mapToGlobal(QPoint(50, 337)));
    Key(frame, Qt::Key_F1);
    EXPECT_EQ(frame->LastHelpRequest(), (HelpRequest{true, 0}));
    EXPECT_EQ(help->CurrentTopic(), "welcome.html");
    // Over the main window itself (its menu bar).
    QCursor::setPos(frame->menuBar()->mapToGlobal(QPoint(300, 5)));
    Key(frame, Qt::Key_F1);
    EXPECT_EQ(frame->LastHelpRequest(), (HelpRequest{false, kHelpMainWindow}));
    EXPECT_EQ(help->CurrentTopic(), "main_window.html");
    // Over a page: that page's context, as the framework asks.
    frame->SwitchPage(kPageClubOrvik);
    QCursor::setPos(Club()->View()->mapToGlobal(QPoint(40, 40)));
    Key(frame, Qt::Key_F1);
    EXPECT_EQ(frame->LastHelpRequest(), (HelpRequest{false, kHelpClubOrvik}));
    // A context the file does not map: the default topic instead.
    frame->RunHelp(0x2FFFF, QPoint(-5000, -5000));
    EXPECT_TRUE(frame->LastHelpFellBack());
    EXPECT_EQ(help->CurrentTopic(), "welcome.html");
    // Shift+F1, then a click on the strip's first region.
    Key(frame, Qt::Key_F1, Qt::ShiftModifier);
    EXPECT_TRUE(frame->InContextHelp());
    QTest::mouseClick(strip, Qt::LeftButton, {}, QPoint(50, 40));
    EXPECT_FALSE(frame->InContextHelp());
    EXPECT_EQ(help->CurrentTopic(), "music_studio.html");
    EXPECT_TRUE(PageShown(kPageClubOrvik)); // the click explained, it switched nothing
    // Escape leaves the mode without help.
    Key(frame, Qt::Key_F1, Qt::ShiftModifier);
    Key(frame, Qt::Key_Escape);
    EXPECT_FALSE(frame->InContextHelp());
}

TEST_F(ShellUi, TheLocalisedHelpFileAndAMissingHelpFile) {
    WriteFile(dir + "/lang.dat", LangDat({{153, "Musikstudio"}}));
    CopyHelp("German/lyb30l.chm", "lyb30l.chm");
    Start();
    frame->RunHelp(kHelpCdPlayer, QPoint(-5000, -5000));
    ASSERT_NE(frame->HelpWindow(), nullptr);
    EXPECT_EQ(frame->HelpWindow()->File().Path(), dir + "/lyb30l.chm");
    EXPECT_TRUE(frame->HelpWindow()->Browser()->toPlainText().contains("Der CD-Player"));
    EXPECT_EQ(frame->HelpWindow()->windowTitle(), "Lyrabox 3.0 Hilfe");
    // The help file gone: a message, no help window content.
    frame->HelpWindow()->close();
    fs::remove(dir + "/lyb30l.chm");
    QString box;
    QTimer::singleShot(0, [&box] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            box = modal->objectName();
            modal->close();
        }
    });
    CHelpWindow fresh(app->m_oLocalize);
    EXPECT_FALSE(fresh.Open(dir + "/lyb30l.chm"));
    frame->RunHelp(kHelpCdPlayer, QPoint(-5000, -5000));
    EXPECT_EQ(box, "helpMissingBox");
}

TEST_F(ShellUi, EveryMenuCommandReachesItsOperation) {
    if (!Tracks(2))
        GTEST_SKIP() << "ffmpeg is needed to make test files";
    CopyHelp("lyb30.chm", "lyb30.chm");
    Start();
    CMusicForm* form = Music();
    ASSERT_NE(form, nullptr);
    ASSERT_TRUE(Until([&] { return form->State().RowCount() == 2; }));
    PlayerUi* player = shell->Player();
    ASSERT_NE(player, nullptr);
    bool skinBrowserRan = false;
    player->beforeSkinBrowser = [&](CSkinBrowser& b) {
        skinBrowserRan = true;
        QTimer::singleShot(0, &b, [&b] { b.reject(); });
    };
    CMobileDeviceForm* pane = Pane();
    ASSERT_NE(pane, nullptr);
    ASSERT_TRUE(MakeMp3(card + "/OnCard.mp3"));
    pane->RefreshDevices(0);
    ASSERT_TRUE(Until([&] { return pane->State().DeviceSelected() && pane->State().RowCount() == 1; }));
    // The transfer's result dialog is closed as soon as it shows.
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [] {
        if (QWidget* modal = QApplication::activeModalWidget())
            if (modal->objectName() != "CTransferDlg") {
                modal->close();
            }
    });
    closer.start(20);
    auto selectFirst = [&] {
        form->State().UnselectAll();
        form->State().SetRowSelected(0, true);
        form->State().SelectionEdited();
    };
    // What each command visibly does.
    CCDDoc* cd = Cd();
    ASSERT_NE(cd, nullptr);
    ASSERT_TRUE(Until([&] { return cd->TrackCount() == 3; }));
    std::map<int, std::function<bool()>> checks = {
        {kIdPlayCd, [&] {
             frame->SwitchPage(kPageMusicStudio);
             return frame->OnCommand(kIdPlayCd) && PageShown(kPageCdPlayer) && Until([&] { return cd->Playing(); });
         }},
        {kIdStopCd, [&] { return frame->OnCommand(kIdStopCd) && Until([&] { return !cd->Playing(); }); }},
        {kIdEjectCd, [&] { return frame->OnCommand(kIdEjectCd) && Until([&] { return cd->TrackCount() == 0; }); }},
        {kIdTransfer, [&] {
             selectFirst();
             return frame->OnCommand(kIdTransfer) && Until([&] { return fs::exists(card + "/t0.mp3"); }) &&
                    Until([&] { return pane->State().RowCount() == 2; });
         }},
        {kIdDeviceSelectAll, [&] { return frame->OnCommand(kIdDeviceSelectAll) && pane->State().SelectedCount() == 2; }},
        {kIdDeviceUnselectAll, [&] { return frame->OnCommand(kIdDeviceUnselectAll) && pane->State().SelectedCount() == 0; }},
        {kIdDeviceDeleteSelected, [&] {
             pane->State().SetRowSelected(0, true);
             return frame->OnCommand(kIdDeviceDeleteSelected) && Until([&] { return pane->State().RowCount() == 1; });
         }},
        {kIdDeviceDeleteAll, [&] {
             return frame->OnCommand(kIdDeviceDeleteAll) && Until([&] { return pane->State().RowCount() == 0; }) &&
                    !fs::exists(card + "/t0.mp3") && !fs::exists(card + "/OnCard.mp3");
         }},
        {kIdSearch, [&] { return frame->OnCommand(kIdSearch) && form->SearchDialog() && form->SearchDialog()->isVisible(); }},
        {kIdPageCdPlayer, [&] { return frame->OnCommand(kIdPageCdPlayer) && PageShown(kPageCdPlayer); }},
        {kIdPageClubOrvik, [&] { return frame->OnCommand(kIdPageClubOrvik) && PageShown(kPageClubOrvik); }},
        {kIdPageMusicStudio, [&] { return frame->OnCommand(kIdPageMusicStudio) && PageShown(kPageMusicStudio); }},
        {kIdPlayStudio, [&] {
             selectFirst();
             frame->OnCommand(kIdPlayStudio);
             return Until([&] { return player->Dialog().Playing(); });
         }},
        {kIdStopStudio, [&] { return frame->OnCommand(kIdStopStudio) && !player->Dialog().Playing(); }},
        {kIdEditItem, [&] {
             selectFirst();
             frame->SwitchPage(kPageCdPlayer);
             const bool ran = frame->OnCommand(kIdEditItem);
             QWidget* dialog = form->findChild<QWidget*>("CEditItemDlg");
             const bool shown = ran && dialog && dialog->isVisible() && PageShown(kPageMusicStudio);
             if (dialog)
                 dialog->close();
             return shown;
         }},
        {kIdCreatePlaylist, [&] {
             const bool shown = frame->OnCommand(kIdCreatePlaylist) && form->PendingFileDialog() &&
                                form->PendingFileDialog()->acceptMode() == QFileDialog::AcceptSave;
             if (form->PendingFileDialog())
                 form->PendingFileDialog()->close();
             return shown;
         }},
        {kIdSelectAll, [&] { return frame->OnCommand(kIdSelectAll) && form->State().SelectedRows().size() == 2; }},
        {kIdUnselectAll, [&] { return frame->OnCommand(kIdUnselectAll) && form->State().SelectedRows().empty(); }},
        {kIdRemoveSelected, [&] {
             selectFirst();
             return frame->OnCommand(kIdRemoveSelected) && form->State().RowCount() == 1;
         }},
        {kIdRemoveAll, [&] { return frame->OnCommand(kIdRemoveAll) && form->State().RowCount() == 0; }},
        {kIdSinglePlay, [&] { return frame->OnCommand(kIdSinglePlay) && player->Dialog().Mode() == 0; }},
        {kIdContinuousPlay, [&] { return frame->OnCommand(kIdContinuousPlay) && player->Dialog().Mode() == 1; }},
        {kIdRandomPlay, [&] { return frame->OnCommand(kIdRandomPlay) && player->Dialog().Mode() == 2; }},
        {kIdSkins, [&] { return frame->OnCommand(kIdSkins) && skinBrowserRan; }},
        {kIdPreferences, [&] { return ModalOf(kIdPreferences) == "CPreferencesDlg"; }},
        {kIdAbout, [&] { return ModalOf(kIdAbout) == "CAboutDlg"; }},
        {kIdHelpTopics, [&] {
             return frame->OnCommand(kIdHelpTopics) && frame->HelpWindow() && frame->HelpWindow()->isVisible() &&
                    !frame->HelpWindow()->CurrentTopic().empty();
         }},
        {kIdExit, [&] {
             const bool ran = frame->OnCommand(kIdExit);
             return ran && !frame->isVisible();
         }},
    };
    // Reached by keys only.
    std::map<int, std::function<bool()>> keyChecks = {
        {kIdNextPage, [&] {
             frame->SwitchPage(kPageMusicStudio);
             return frame->OnCommand(kIdNextPage) && PageShown(kPageCdPlayer);
         }},
        {kIdPreviousPage, [&] { return frame->OnCommand(kIdPreviousPage) && PageShown(kPageMusicStudio); }},
        {kIdFileOpen, [&] {
             const bool shown = frame->OnCommand(kIdFileOpen) && frame->PendingOpenDialog() &&
                                frame->PendingOpenDialog()->isVisible();
             if (frame->PendingOpenDialog())
                 frame->PendingOpenDialog()->close();
             return shown;
         }},
        {kIdHelp, [&] { return frame->OnCommand(kIdHelp) && frame->HelpWindow()->isVisible(); }},
        {kIdContextHelp, [&] {
             const bool on = frame->OnCommand(kIdContextHelp) && frame->InContextHelp();
             QTest::keyClick(frame, Qt::Key_Escape);
             return on && !frame->InContextHelp();
         }},
        {kIdSmallPlayer, [&] {
             const bool ran = frame->OnCommand(kIdSmallPlayer);
             QTest::qWait(20);
             const bool small = player->SmallPlayerExists();
             player->RestoreMainWindow();
             QTest::qWait(20);
             return ran && small;
         }},
    };
    for (auto& [command, check] : keyChecks)
        EXPECT_TRUE(check()) << "command " << command;
    int walked = 0;
    for (const MenuNode* n : MenuCommands()) {
        if (n->command == kIdExit)
            continue; // last
        ++walked;
        ASSERT_TRUE(checks.count(n->command)) << "no check for command " << n->command;
        EXPECT_TRUE(frame->HasCommandHandler(n->command)) << n->command;
        EXPECT_TRUE(checks[n->command]()) << "command " << n->command << " " << std::string(n->text);
    }
    EXPECT_EQ(walked + 1, 28);
    EXPECT_TRUE(checks[kIdExit]());
}

TEST_F(ShellUi, TheClubOrvikPageBrowsesBackForwardStopAndRefresh) {
    WebServer web;
    web.pages["/index.html"] = "<html><body><h1>Club index</h1><a href=\"news.html\">News</a></body></html>";
    web.pages["/news.html"] = "<html><body><h1>Club news</h1></body></html>";
    web.pages["/slow.html"] = "<html><body>slow</body></html>";
    SetMachine("DefaultURL", web.Url("/index.html"));
    Start();
    CClubOrvikForm* club = Club();
    ASSERT_NE(club, nullptr);
    EXPECT_EQ(club->Shows(), CClubOrvikForm::Showing::Nothing); // nothing is fetched before the page is seen
    frame->SwitchPage(kPageClubOrvik);
    ASSERT_TRUE(Until([&] { return club->Shows() == CClubOrvikForm::Showing::Page && !club->Loading(); }));
    EXPECT_TRUE(club->View()->toPlainText().contains("Club index"));
    EXPECT_EQ(club->AddressField()->text().toStdString(), web.Url("/index.html"));
    EXPECT_FALSE(club->BackButton()->isEnabled());
    // A link, then Back and Forward.
    emit club->View()->anchorClicked(QUrl("news.html"));
    ASSERT_TRUE(Until([&] { return club->View()->toPlainText().contains("Club news"); }));
    EXPECT_TRUE(club->BackButton()->isEnabled());
    club->BackButton()->click();
    ASSERT_TRUE(Until([&] { return club->View()->toPlainText().contains("Club index"); }));
    EXPECT_TRUE(club->ForwardButton()->isEnabled());
    club->ForwardButton()->click();
    ASSERT_TRUE(Until([&] { return club->View()->toPlainText().contains("Club news"); }));
    // Refresh asks again.
    const int before = web.hits["/news.html"];
    club->RefreshButton()->click();
    ASSERT_TRUE(Until([&] { return web.hits["/news.html"] == before + 1 && !club->Loading(); }));
    // Stop ends a slow page; what was shown stays.
    web.delayMs = 2000;
    club->Navigate(QUrl(QString::fromStdString(web.Url("/slow.html"))));
    EXPECT_TRUE(club->Loading());
    EXPECT_TRUE(club->StopButton()->isEnabled());
    club->StopButton()->click();
    EXPECT_FALSE(club->Loading());
    EXPECT_FALSE(club->StopButton()->isEnabled());
    EXPECT_TRUE(club->View()->toPlainText().contains("Club news"));
    web.delayMs = 0;
    // Home, and the address opened in the desktop's browser.
    club->HomeButton()->click();
    ASSERT_TRUE(Until([&] { return club->View()->toPlainText().contains("Club index"); }));
    QUrl opened;
    club->openExternal = [&opened](const QUrl& url) {
        opened = url;
        return true;
    };
    club->BrowserButton()->click();
    EXPECT_EQ(opened.toString().toStdString(), web.Url("/index.html"));
    // A page the server does not have: an error page, not the offline one.
    club->Navigate(QUrl(QString::fromStdString(web.Url("/missing.html"))));
    ASSERT_TRUE(Until([&] { return club->Shows() == CClubOrvikForm::Showing::Error; }));
}

TEST_F(ShellUi, TheClubOrvikPageIsOfflineWhenTheHostCannotBeFound) {
    SetMachine("DefaultURL", "http://club.lyrabox.invalid/start");
    Start();
    CClubOrvikForm* club = Club();
    ASSERT_NE(club, nullptr);
    QUrl opened;
    club->openExternal = [&opened](const QUrl& url) {
        opened = url;
        return true;
    };
    frame->SwitchPage(kPageClubOrvik);
    ASSERT_TRUE(Until([&] { return club->Shows() == CClubOrvikForm::Showing::Offline; }, 15000));
    const QString text = club->View()->toPlainText();
    EXPECT_TRUE(text.contains("You are offline"));
    EXPECT_TRUE(text.contains("http://club.lyrabox.invalid/start"));
    if (const char* out = std::getenv("LYB_SHELL_SCREENSHOTS"))
        frame->grab().save(QString(out) + "/club-offline.png");
    // The offline page's link opens the address in the desktop's browser.
    emit club->View()->anchorClicked(QUrl("lyb:open-browser"));
    EXPECT_EQ(opened.toString(), "http://club.lyrabox.invalid/start");
    opened = QUrl();
    EXPECT_TRUE(club->OpenInBrowser());
    EXPECT_EQ(opened.toString(), "http://club.lyrabox.invalid/start");
}

TEST_F(ShellUi, TheClubOrvikPageWithoutAnAddress) {
    Start();
    CClubOrvikForm* club = Club();
    frame->SwitchPage(kPageClubOrvik);
    EXPECT_EQ(club->Shows(), CClubOrvikForm::Showing::NoAddress);
    EXPECT_FALSE(club->BrowserButton()->isEnabled());
    EXPECT_FALSE(club->OpenInBrowser());
}

namespace {

// A language whose every slot is its own number between marks: a text on
// screen without a mark did not come through the localiser.
std::string PseudoLanguage() {
    std::vector<std::pair<int, std::string>> lines;
    for (int id = 0; id < CLocalize::kSlotCount; ++id)
        lines.emplace_back(id, "\u2039" + std::to_string(id) + "\u203a");
    return LangDat(lines);
}

// Collects the texts of windows that did not come through the localiser.
struct TextAudit {
    std::set<QString> data;     ///< the user's own texts (titles, devices)
    std::vector<QString> prefixes; ///< texts that start so are data too (paths, the site, drives)
    std::set<std::string> unmarked;

    void Check(const QString& where, QString text) {
        text.remove('&');
        text = text.trimmed();
        if (text.isEmpty() || text.contains(QChar(0x2039)) || data.count(text))
            return;
        for (const QString& p : prefixes)
            if (text.startsWith(p))
                return;
        if (std::none_of(text.begin(), text.end(), [](QChar c) { return c.isLetter(); }))
            return; // figures, times, sizes
        unmarked.insert(where.toStdString() + ": \"" + text.toStdString() + "\"");
    }
    void Menu(const QString& where, QMenu* menu) {
        Check(where, menu->title());
        for (QAction* a : menu->actions()) {
            if (a->isSeparator())
                continue;
            Check(where, a->text());
            Check(where + " tip", a->statusTip());
            Check(where + " tip", a->toolTip() == QString(a->text()).remove('&') ? QString() : a->toolTip());
            if (a->menu())
                Menu(where, a->menu());
        }
    }
    void Walk(QWidget* root) {
        QList<QWidget*> widgets = root->findChildren<QWidget*>();
        widgets.prepend(root);
        for (QWidget* w : widgets) {
            // Qt's own file dialogs speak Qt's language.
            if (qobject_cast<QFileDialog*>(w) || (w->parentWidget() && qobject_cast<QFileDialog*>(w->window())))
                continue;
            const QString where = w->window()->objectName() + "/" + w->objectName() + "(" + w->metaObject()->className() + ")";
            if (w->isWindow())
                Check(where + " title", w->windowTitle());
            Check(where + " tip", w->toolTip());
            if (auto* l = qobject_cast<QLabel*>(w))
                Check(where, QTextDocumentFragment::fromHtml(l->text()).toPlainText());
            if (auto* b = qobject_cast<QAbstractButton*>(w))
                Check(where, b->text());
            if (auto* g = qobject_cast<QGroupBox*>(w))
                Check(where, g->title());
            if (auto* e = qobject_cast<QLineEdit*>(w))
                Check(where + " placeholder", e->placeholderText());
            if (auto* c = qobject_cast<QComboBox*>(w); c && !c->isEditable())
                for (int i = 0; i < c->count(); ++i)
                    Check(where, c->itemText(i));
            if (auto* v = qobject_cast<QAbstractItemView*>(w); v && v->model()) {
                if (auto* tree = qobject_cast<QTreeView*>(v); tree && !tree->isHeaderHidden())
                    for (int c = 0; c < v->model()->columnCount(); ++c)
                        Check(where + " heading", v->model()->headerData(c, Qt::Horizontal).toString());
                if (auto* table = qobject_cast<QTableView*>(v); table && table->horizontalHeader()->isVisible())
                    for (int c = 0; c < v->model()->columnCount(); ++c)
                        Check(where + " heading", v->model()->headerData(c, Qt::Horizontal).toString());
            }
            if (auto* t = qobject_cast<QTabWidget*>(w))
                for (int i = 0; i < t->count(); ++i)
                    Check(where, t->tabText(i));
            for (QAction* a : w->actions())
                if (!a->isSeparator()) {
                    Check(where + " action", a->text());
                    if (a->menu())
                        Menu(where, a->menu());
                }
            if (auto* m = qobject_cast<QMenu*>(w))
                Menu(where, m);
        }
    }
};

} // namespace

TEST_F(ShellUi, APseudoLanguageLeavesNoTextOfAnyPageOrDialogUnmarked) {
    if (!Tracks(2))
        GTEST_SKIP() << "ffmpeg is needed to make test files";
    ASSERT_TRUE(MakeMp3(card + "/OnCard.mp3"));
    WriteFile(dir + "/lang.dat", PseudoLanguage());
    CopyHelp("German/lyb30l.chm", "lyb30l.chm");
    CopyHelp("lyb30.chm", "lyb30.chm");
    Start();
    ASSERT_FALSE(app->EnglishInterface());
    CMusicForm* form = Music();
    CMobileDeviceForm* pane = Pane();
    ASSERT_TRUE(form && pane);
    pane->RefreshDevices(0);
    ASSERT_TRUE(Until([&] { return form->State().RowCount() == 2 && pane->State().RowCount() == 1; }));
    CCDDoc* cd = Cd();
    ASSERT_TRUE(cd && Until([&] { return cd->TrackCount() == 3; }));
    TextAudit audit;
    // The user's data: file and track titles, the phone's name, addresses.
    for (const char* d : {"t0", "t1", "OnCard", "Orvik QRX-4", "ocean.nms", "ocean", "*.mp3; *.aac; *.m3u"})
        audit.data.insert(d);
    audit.prefixes = {QString::fromStdString(std::string(CLocalize::kSiteAddress)), QString::fromStdString(dir),
                      "virtual:cd0"};
    for (PageCode page : {kPageMusicStudio, kPageCdPlayer, kPageClubOrvik}) {
        frame->SwitchPage(page);
        QTest::qWait(20);
        audit.Walk(frame);
    }
    // The lists' context menus, as the pages give them.
    auto menuTexts = [&audit](const char* where, const auto& entries) {
        for (const auto& e : entries)
            audit.Check(where, QString::fromStdString(e.text));
    };
    menuTexts("studio context menu", form->State().ContextMenu(0));
    menuTexts("studio drop menu", form->State().DropMenu());
    menuTexts("card context menu", pane->State().ContextMenu());
    const CdPageTexts& cdTexts = cd->Texts();
    for (const std::string* t : {&cdTexts.menuPlay, &cdTexts.menuStop, &cdTexts.menuSave, &cdTexts.menuCancel,
                                 &cdTexts.menuModifyTitle})
        audit.Check("CD context menu", QString::fromStdString(*t));
    // The dialogs, each as it opens.
    auto auditModal = [&](int command) {
        QTimer::singleShot(0, [&audit] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                audit.Walk(modal);
                modal->close();
            }
        });
        frame->OnCommand(command);
    };
    auditModal(kIdPreferences);
    auditModal(kIdAbout);
    frame->OnCommand(kIdSearch);
    ASSERT_TRUE(form->SearchDialog());
    audit.Walk(form->SearchDialog());
    form->SearchDialog()->close();
    form->State().SetRowSelected(0, true);
    form->State().SelectionEdited();
    frame->OnCommand(kIdEditItem);
    if (QWidget* edit = form->findChild<QWidget*>("CEditItemDlg")) {
        audit.Walk(edit);
        edit->close();
    } else {
        ADD_FAILURE() << "no edit dialog";
    }
    bool skinBrowser = false;
    shell->Player()->beforeSkinBrowser = [&](CSkinBrowser& b) {
        skinBrowser = true;
        audit.Walk(&b);
    };
    frame->OnCommand(kIdSkins);
    frame->OnCommand(kIdHelpTopics);
    ASSERT_TRUE(frame->HelpWindow());
    // The help window's title is the help file's own.
    audit.data.insert(frame->HelpWindow()->windowTitle());
    audit.Walk(frame->HelpWindow());
    frame->HelpWindow()->close();
    // The transfer: its progress dialog and the result.
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&audit] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            audit.Walk(modal);
            if (modal->objectName() != "CTransferDlg")
                modal->close();
        }
    });
    watcher.start(5);
    frame->OnCommand(kIdTransfer);
    ASSERT_TRUE(Until([&] { return fs::exists(card + "/t0.mp3") && pane->State().RowCount() == 2; }));
    watcher.stop();
    // The Small Player.
    frame->OnCommand(kIdSmallPlayer);
    QTest::qWait(20);
    int smallPlayers = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == "SmallPlayer" && w->isVisible()) {
            audit.Walk(w);
            ++smallPlayers;
        }
    EXPECT_EQ(smallPlayers, 1);
    shell->Player()->RestoreMainWindow();
    QTest::qWait(20); // the Small Player goes (it is deleted later)
    // Questions and messages asked meanwhile.
    frame->OnCommand(kIdRemoveAll);
    for (const auto& asked : prompt.asked()) {
        audit.Check("prompt", QString::fromStdString(asked.text));
        audit.Check("prompt caption", QString::fromStdString(asked.caption));
    }
    EXPECT_TRUE(skinBrowser);
    std::string all;
    for (const std::string& u : audit.unmarked)
        all += "\n  " + u;
    EXPECT_TRUE(audit.unmarked.empty()) << audit.unmarked.size() << " texts bypass the localiser:" << all;
}

namespace {

// Installs a shipped language as the installer does: its interface file
// and help beside the program, its code page in the machine's settings.
void InstallLanguage(ShellUi& t, const std::string& folder, unsigned codePage, unsigned charSet) {
    fs::copy_file(std::string(LYB_LANGUAGE_DIR) + "/" + folder + "/lang.dat", t.dir + "/lang.dat",
                  fs::copy_options::overwrite_existing);
    t.CopyHelp(folder + "/lyb30l.chm", "lyb30l.chm");
    RegKey k;
    t.reg->OpenKey(Hive::LocalMachine, kSettingsKey, RegAccess::Full, k);
    k.SetDword("CodePage", codePage);
    k.SetDword("CharacterSet", charSet);
}

// Each page of the main window as a PNG in $LYB_SHELL_SCREENSHOTS, if set.
void SavePages(ShellUi& t, const QString& language) {
    const char* out = std::getenv("LYB_SHELL_SCREENSHOTS");
    if (!out)
        return;
    for (PageCode page : {kPageMusicStudio, kPageCdPlayer, kPageClubOrvik}) {
        t.frame->SwitchPage(page);
        QTest::qWait(50);
        t.frame->grab().save(QString("%1/main-%2-%3.png").arg(out, language).arg(static_cast<int>(page)));
    }
    t.frame->SwitchPage(kPageMusicStudio);
    // The help window and two dialogs.
    t.frame->OnCommand(kIdHelpTopics);
    if (CHelpWindow* help = t.frame->HelpWindow()) {
        help->resize(760, 520);
        QTest::qWait(50);
        help->grab().save(QString("%1/help-%2.png").arg(out, language));
        help->close();
    }
    for (int command : {kIdPreferences, kIdAbout}) {
        QTimer::singleShot(100, [&] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                modal->grab().save(QString("%1/dialog-%2-%3.png").arg(out, language).arg(command));
                modal->close();
            }
        });
        t.frame->OnCommand(command);
    }
}

} // namespace

TEST_F(ShellUi, TheShippedGermanTableShowsInMenuStripAndPages) {
    Tracks(2); // rows for the screenshots when ffmpeg is there
    InstallLanguage(*this, "German", 1252, 0);
    Start();
    ASSERT_FALSE(app->EnglishInterface());
    EXPECT_EQ(QApplication::layoutDirection(), Qt::LeftToRight);
    EXPECT_EQ(frame->menuBar()->actions().at(0)->text(), "&Datei");
    // The keys shown stay after a tab, as in the English menu.
    EXPECT_EQ(frame->MenuAction(kIdTransfer)->text(), QString::fromUtf8("Musik auf Mobilgerät übertragen\tCtrl+T"));
    EXPECT_EQ(frame->MenuAction(kIdTransfer)->statusTip(),
              QString::fromUtf8("Musik aus dem Music Studio auf das Mobilgerät übertragen"));
    EXPECT_EQ(frame->IdleLabel()->text(), "Bereit");
    EXPECT_EQ(frame->Strip()->Caption(1), "CD-Player");
    EXPECT_EQ(frame->windowTitle(), "Lyrabox 3.0 - Music Studio");
    // The longer texts do not widen the window.
    EXPECT_LE(frame->width(), 980);
    // The toolkit's own file dialog speaks German too, where the system has its texts.
    if (QFile::exists(QLibraryInfo::path(QLibraryInfo::TranslationsPath) + "/qtbase_de.qm")) {
        ASSERT_TRUE(frame->OnCommand(kIdFileOpen));
        QFileDialog* open = frame->PendingOpenDialog();
        ASSERT_NE(open, nullptr);
        QLabel* lookIn = open->findChild<QLabel*>("lookInLabel");
        ASSERT_NE(lookIn, nullptr);
        EXPECT_NE(lookIn->text(), "Look in:");
        EXPECT_EQ(open->windowTitle(), QString::fromUtf8("Öffnen"));
        open->close();
    }
    SavePages(*this, "German");
}

TEST_F(ShellUi, TheShippedHebrewTableMirrorsTheWholeWindow) {
    Tracks(2);
    InstallLanguage(*this, "Hebrew", 1255, 177);
    Start();
    ASSERT_FALSE(app->EnglishInterface());
    EXPECT_TRUE(app->Settings().rightToLeft);
    EXPECT_EQ(QApplication::layoutDirection(), Qt::RightToLeft);
    EXPECT_EQ(frame->layoutDirection(), Qt::RightToLeft);
    // Every letter arrives, the last one too.
    EXPECT_EQ(frame->IdleLabel()->text(), QString::fromUtf8("מוכן"));
    EXPECT_EQ(frame->menuBar()->actions().at(0)->text(), QString::fromUtf8("&קובץ"));
    // The strip stands on the right, the pages to its left.
    frame->show();
    QTest::qWait(20);
    const QPoint strip = frame->Strip()->mapTo(frame, QPoint(0, 0));
    const QPoint pages = frame->findChild<QStackedWidget*>("pages")->mapTo(frame, QPoint(0, 0));
    EXPECT_GT(strip.x(), pages.x());
    EXPECT_GE(strip.x() + frame->Strip()->width(), frame->width() - 2);
    // The program keeps its window size; paths still read left to right.
    EXPECT_LE(frame->width(), 980);
    if (HaveTool("ffmpeg") && Until([&] { return Music()->State().RowCount() == 2; })) {
        const QModelIndex location = Music()->List()->model()->index(0, 5);
        const QString shown = location.data().toString();
        const QString path = location.data(Qt::EditRole).toString();
        EXPECT_TRUE(path.startsWith('/'));
        EXPECT_EQ(shown, QChar(0x200E) + path + QChar(0x200E));
    }
    SavePages(*this, "Hebrew");
    QApplication::setLayoutDirection(Qt::LeftToRight);
}

TEST_F(ShellUi, WithoutALanguageTheWindowIsEnglish) {
    Tracks(2);
    CopyHelp("lyb30.chm", "lyb30.chm");
    Start();
    EXPECT_TRUE(app->EnglishInterface() || !fs::exists(dir + "/lang.dat"));
    EXPECT_EQ(frame->menuBar()->actions().at(0)->text(), "&File");
    EXPECT_EQ(QApplication::layoutDirection(), Qt::LeftToRight);
    SavePages(*this, "English");
}
