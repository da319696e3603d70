// The Mobile Device pane offscreen in the whole program with a simulated
// phone: the tree, the card's list and space fields, the Studio's transfer
// command through the transfer and result dialogs, cancelling, and the
// phone going away.
#include "app/page_documents.h"
#include "device/transfer.h"
#include "library/media_info.h"
#include "outside/usb/usb_device.h"
#include "platform/cdrom/volume_watcher.h"
#include "ui/main_frame.h"
#include "ui/mobile_device_form.h"
#include "ui/music_form.h"
#include "ui/qt_shell.h"
#include "ui_fixture.h"

#include "../library/test_util.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include <cstdlib>

using namespace lyb;
using namespace lyb::test;

namespace {

namespace fs = std::filesystem;

struct DeviceUi : UiFixture {
    FakeEngine engine;
    std::string music;
    std::string card;
    std::unique_ptr<QtAppShell> shell;
    std::unique_ptr<CLyb30App> app;

    void SetUp() override {
        UiFixture::SetUp();
        if (!HaveTool("ffmpeg"))
            GTEST_SKIP() << "ffmpeg is needed to make test files";
        music = dir + "/music";
        card = dir + "/phone/card";
        fs::create_directories(music);
        fs::create_directories(card);
        ASSERT_TRUE(MakeMp3(music + "/a.mp3", "-id3v2_version 3 -metadata title=Alpha -metadata artist=Aurora", 1.0));
        ASSERT_TRUE(MakeMp3(music + "/b.mp3", "-id3v2_version 0", 1.5));
        ASSERT_TRUE(MakeMp3(card + "/On the card.mp3", "-id3v2_version 4 -metadata 'title=Already there'", 1.0));
        WriteFile(dir + "/phone/phones.txt", "Orvik Mobile | Orvik QRX-4 | card\n");
        ::setenv(kSimUsbEnvironment, (dir + "/phone/phones.txt").c_str(), 1);
        fs::copy_file(std::string(LYB_USB_PLUGIN_DIR) + "/libusb-orvik.so", dir + "/libusb-orvik.so");
        // The card's volume: 64 MB, half of it free.
        SetVolumeSource(std::make_shared<SimVolumeSource>(std::vector<Volume>{
            {"/", "/dev/sda1", "ext4", VolumeType::Fixed, 0, 0},
            {card, "/dev/sdb1", "vfat", VolumeType::Removable, 64ull << 20, 32ull << 20}}));
        engine.mp3Seconds[music + "/a.mp3"] = 61;
        engine.mp3Seconds[music + "/b.mp3"] = 95;
        engine.mp3Seconds[card + "/On the card.mp3"] = 64; // the pane's probe measures it
        UseMusicFolder(music);
    }
    void TearDown() override {
        EndProgram(shell, app);
        ::unsetenv(kSimUsbEnvironment);
        UiFixture::TearDown();
    }
    CMusicForm* Start() {
        AppEnvironment env = Env();
        env.seams.lengthEngine = [this] { return &engine; };
        shell = std::make_unique<QtAppShell>();
        app = std::make_unique<CLyb30App>(std::move(env), *shell);
        shell->SetApp(app.get());
        if (!app->InitInstance())
            return nullptr;
        shell->MainFrame()->resize(1000, 560);
        QApplication::processEvents();
        return dynamic_cast<CMusicForm*>(app->GetMusicForm());
    }
    CMobileDeviceForm* Pane() const {
        for (int i = 0; i < shell->MainFrame()->PageCount(); ++i)
            if (auto* frame = dynamic_cast<CMusicFrame*>(shell->MainFrame()->Page(i)))
                return dynamic_cast<CMobileDeviceForm*>(frame->DevicePane());
        return nullptr;
    }
    static bool Until(const std::function<bool()>& done, int ms = 3000) {
        QElapsedTimer t;
        t.start();
        while (!done() && t.elapsed() < ms) {
            WaitForDurationProbes();
            QApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        return done();
    }
    static QStringList Column(QTreeWidget* list, int column) {
        QStringList texts;
        for (int row = 0; row < list->topLevelItemCount(); ++row)
            texts << list->topLevelItem(row)->text(column);
        return texts;
    }
    void SelectPhone(CMobileDeviceForm* pane) {
        QTreeWidgetItem* root = pane->DeviceTree()->topLevelItem(0);
        ASSERT_NE(root, nullptr);
        ASSERT_EQ(root->childCount(), 1);
        pane->DeviceTree()->setCurrentItem(root->child(0));
    }
    static void Save(QWidget* widget, const char* name) {
        if (const char* folder = std::getenv("LYB_DEVICE_SCREENSHOTS"); folder && *folder)
            widget->grab().save(QString::fromUtf8(folder) + "/" + name, "PNG");
    }
};

TEST_F(DeviceUi, ThePaneShowsThePhoneItsCardAndItsSpaceBesideTheStudio) {
    CMusicForm* form = Start();
    ASSERT_NE(form, nullptr);
    CMobileDeviceForm* pane = Pane();
    ASSERT_NE(pane, nullptr);
    QTreeWidgetItem* root = pane->DeviceTree()->topLevelItem(0);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->text(0), "Orvik Mobile Devices");
    EXPECT_TRUE(root->isExpanded());
    EXPECT_EQ(pane->DeviceTree()->currentItem(), root);
    EXPECT_EQ(pane->FileList()->topLevelItemCount(), 0);
    EXPECT_EQ(app->DeviceCount(), 1);

    // A Studio row selected, but no phone chosen yet: no transfer.
    ASSERT_TRUE(Until([&] { return form->State().RowCount() == 2; }));
    form->State().SelectAll();
    EXPECT_FALSE(form->TransferButton()->isEnabled());

    SelectPhone(pane);
    ASSERT_TRUE(Until([&] { return Column(pane->FileList(), 1) == QStringList{"01:04"}; }));
    EXPECT_EQ(Column(pane->FileList(), 0), QStringList{"Already there"});
    EXPECT_EQ(pane->UsedField()->text(), "32768 Kb");
    EXPECT_EQ(pane->FreeField()->text(), "32768 Kb");
    EXPECT_EQ(pane->FreeField()->toolTip(), "Space available on Mobile Device");
    EXPECT_TRUE(form->TransferButton()->isEnabled());
    EXPECT_FALSE(pane->RemoveButton()->isEnabled());
    pane->FileList()->topLevelItem(0)->setSelected(true);
    EXPECT_TRUE(pane->RemoveButton()->isEnabled());
    EXPECT_TRUE(pane->Action(DeviceFormAction::RemoveSelected)->isEnabled());
    EXPECT_FALSE(pane->Action(DeviceFormAction::SelectAll)->isEnabled());
    Save(shell->MainFrame(), "mobile-device-pane.png");

    // The root again: nothing to transfer to.
    pane->DeviceTree()->setCurrentItem(root);
    EXPECT_FALSE(form->TransferButton()->isEnabled());
    EXPECT_EQ(pane->UsedField()->text(), "");
}

TEST_F(DeviceUi, TheStudiosTransferShowsProgressThenTheResultAndListsTheCardAgain) {
    CMusicForm* form = Start();
    ASSERT_NE(form, nullptr);
    CMobileDeviceForm* pane = Pane();
    ASSERT_TRUE(Until([&] { return form->State().RowCount() == 2; }));
    SelectPhone(pane);
    form->State().SelectAll();
    ASSERT_TRUE(form->TransferButton()->isEnabled());

    QString caption, summary, progress;
    int failedRows = -1;
    bool sawBars = false;
    QTimer watch;
    watch.setInterval(15);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* dlg = dynamic_cast<CTransferDlg*>(modal)) {
            caption = dlg->windowTitle();
            if (dlg->TotalBar()->value() > 0 && !sawBars) {
                sawBars = true;
                progress = dlg->ProgressLabel()->text();
                Save(dlg, "transfer-dialog.png");
            }
        } else if (auto* result = dynamic_cast<CTransferResultDlg*>(modal)) {
            summary = result->Summary()->text();
            failedRows = result->FailedList()->topLevelItemCount();
            Save(result, "transfer-result.png");
            result->accept();
        }
    });
    watch.start();
    form->OnTransfer();
    watch.stop();
    EXPECT_EQ(caption, "Transferring files to device");
    EXPECT_TRUE(sawBars);
    EXPECT_TRUE(progress.startsWith("Transferred ") || progress == "Preparing to transfer ...") << progress.toStdString();
    EXPECT_EQ(summary, "Transferred successfully: 2 track(s)\nCouldn't transfer: 0 track(s)");
    EXPECT_EQ(failedRows, 0);
    EXPECT_TRUE(fs::exists(card + "/a.mp3"));
    EXPECT_TRUE(fs::exists(card + "/b.mp3"));
    ASSERT_TRUE(Until([&] { return pane->FileList()->topLevelItemCount() == 3; }));
    EXPECT_EQ(Column(pane->FileList(), 0), (QStringList{"Already there", "Alpha", "b"}));
    EXPECT_TRUE(pane->UsedField()->text().endsWith(" kb"));
    EXPECT_FALSE(form->State().Busy());
}

TEST_F(DeviceUi, CancelStopsTheTransferAndLeavesNoPartOfAFile) {
    // A file long enough that the 20 ms pauses keep the copy going for seconds.
    ASSERT_TRUE(MakeMp3(music + "/long.mp3", "-id3v2_version 0", 40.0));
    CMusicForm* form = Start();
    ASSERT_NE(form, nullptr);
    CMobileDeviceForm* pane = Pane();
    ASSERT_TRUE(Until([&] { return form->State().RowCount() == 3; }));
    SelectPhone(pane);
    form->State().SelectAll();
    QString summary;
    bool clicked = false;
    QTimer watch;
    watch.setInterval(15);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* dlg = dynamic_cast<CTransferDlg*>(modal)) {
            if (!clicked && dlg->Session().CurrentItem() >= 0) {
                clicked = true;
                dlg->CancelButton()->click();
                EXPECT_FALSE(dlg->CancelButton()->isEnabled());
            }
        } else if (auto* result = dynamic_cast<CTransferResultDlg*>(modal)) {
            summary = result->Summary()->text();
            result->accept();
        }
    });
    watch.start();
    form->OnTransfer();
    watch.stop();
    ASSERT_TRUE(clicked);
    EXPECT_TRUE(summary.endsWith("Couldn't transfer: 3 track(s)") || summary.endsWith("Couldn't transfer: 2 track(s)"))
        << summary.toStdString();
    for (const auto& entry : fs::directory_iterator(card))
        EXPECT_EQ(entry.path().extension(), ".mp3") << entry.path();
}

TEST_F(DeviceUi, UnpluggingThePhoneWhileItsCardIsShownFallsBackToNoDevices) {
    CMusicForm* form = Start();
    ASSERT_NE(form, nullptr);
    CMobileDeviceForm* pane = Pane();
    SelectPhone(pane);
    ASSERT_TRUE(Until([&] { return pane->FileList()->topLevelItemCount() == 1; }));
    fs::remove_all(card);
    // The device change of the card's volume reaches the main window, which
    // posts message 1923 to the page.
    VolumeChange removed{false, 0, false, card};
    shell->MainFrame()->Target()->Post(Message{kMsgDeviceChange, kDeviceRemoveComplete, 0, removed});
    ASSERT_TRUE(Until([&] { return pane->DeviceTree()->topLevelItem(0)->text(0) == "No Devices Found"; }));
    EXPECT_EQ(pane->FileList()->topLevelItemCount(), 0);
    EXPECT_EQ(pane->DeviceTree()->topLevelItem(0)->childCount(), 0);
    form->State().SelectAll();
    EXPECT_FALSE(form->TransferButton()->isEnabled());
    // Plugged in again.
    fs::create_directories(card);
    shell->MainFrame()->OnDeviceChange(VolumeChange{true, 0, false, card});
    EXPECT_EQ(pane->DeviceTree()->topLevelItem(0)->text(0), "Orvik Mobile Devices");
}

} // namespace
