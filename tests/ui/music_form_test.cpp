// The Music Studio page offscreen: the list over the page object, its
// columns, icons and expander, the buttons and fields, the dialogs, the
// context menu, the settings it reads and writes and the Studio lock.
#include "app/page_documents.h"
#include "library/id3v2_tag.h"
#include "library/media_info.h"
#include "ui/edit_item_dialog.h"
#include "ui/main_frame.h"
#include "ui/music_form.h"
#include "ui/search_dialog.h"
#include "ui/qt_shell.h"
#include "ui_fixture.h"

#include "../library/test_util.h"

#include <memory>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>

#include <set>

using namespace lyb;
using namespace lyb::test;

namespace {

struct StudioUi : UiFixture {
    /// Files made once with ffmpeg, copied into each test's folder.
    static std::string Made(const char* name) {
        // A static object, so that its folder goes when the test program ends.
        static std::unique_ptr<TempDir> made;
        static bool ok = false;
        if (!made) {
            made = std::make_unique<TempDir>();
            ok = HaveTool("ffmpeg") &&
                 MakeMp3(*made / "a.mp3", "-id3v2_version 4 -metadata title=Alpha -metadata artist=Aurora") &&
                 MakeMp3(*made / "b.mp3") && MakeAac(*made / "c.aac");
        }
        return ok ? *made / name : std::string();
    }
    static bool Copy(const char* name, const std::string& to) {
        const std::string from = Made(name);
        std::error_code ec;
        std::filesystem::create_directories(std::filesystem::path(to).parent_path(), ec);
        return !from.empty() && std::filesystem::copy_file(from, to, ec);
    }

    FakeEngine engine;
    std::string music;
    std::unique_ptr<QtAppShell> shell;
    std::unique_ptr<CLyb30App> app;

    void SetUp() override {
        UiFixture::SetUp();
        if (Made("a.mp3").empty())
            GTEST_SKIP() << "ffmpeg is needed to make test files";
        music = dir + "/music";
        ASSERT_TRUE(Copy("a.mp3", music + "/a.mp3"));
        ASSERT_TRUE(Copy("b.mp3", music + "/b.mp3"));
        ASSERT_TRUE(Copy("c.aac", music + "/c.aac"));
        WriteFile(music + "/Rock.m3u", "#EXTM3U\r\n" + music + "/a.mp3\r\n" + music + "/b.mp3\r\n");
        engine.mp3Seconds[music + "/a.mp3"] = 185;
        engine.mp3Seconds[music + "/b.mp3"] = 242;
        engine.aacMilliseconds[music + "/c.aac"] = 61000;
        UseMusicFolder(music);
    }
    void TearDown() override {
        EndProgram(shell, app);
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
        auto* form = dynamic_cast<CMusicForm*>(app->GetMusicForm());
        shell->MainFrame()->resize(960, 560);
        QApplication::processEvents();
        return form;
    }
    /// Runs the event loop until `done` or about two seconds passed.
    static bool Until(const std::function<bool()>& done) {
        QElapsedTimer t;
        t.start();
        while (!done() && t.elapsed() < 2000) {
            WaitForDurationProbes();
            QApplication::processEvents(QEventLoop::AllEvents, 20);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
        return done();
    }
    static void Click(QWidget* viewport, const QPoint& pos) {
        QMouseEvent press(QEvent::MouseButtonPress, pos, viewport->mapToGlobal(pos), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &press);
        QMouseEvent release(QEvent::MouseButtonRelease, pos, viewport->mapToGlobal(pos), Qt::LeftButton,
                            Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &release);
    }
    /// Answers the next popup menu with the entry of this text (and records all texts).
    static void PickFromPopup(const QString& text, QStringList* seen = nullptr, QStringList* enabled = nullptr) {
        QTimer::singleShot(50, [text, seen, enabled] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            ASSERT_NE(menu, nullptr);
            QAction* pick = nullptr;
            for (QAction* a : menu->actions()) {
                if (a->isSeparator())
                    continue;
                if (seen)
                    *seen << a->text();
                if (enabled && a->isEnabled())
                    *enabled << a->text();
                if (a->text() == text)
                    pick = a;
            }
            if (!pick) {
                menu->close();
                return;
            }
            // As the user does: highlight the entry and press Enter.
            menu->setActiveAction(pick);
            QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
            QApplication::sendEvent(menu, &enter);
        });
    }
    QString Cell(CMusicForm* form, int row, int column) {
        return form->Model()->data(form->Model()->index(row, column), Qt::DisplayRole).toString();
    }
};

} // namespace

TEST_F(StudioUi, PopulatedStudioShowsColumnsIconsTotalsAndAnExpandedPlaylist) {
    CMusicForm* form = Start();
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(shell->MainFrame()->CurrentPage(), 2); // the Music Studio is shown
    EXPECT_TRUE(form->HoldsStudio());
    CStudioListModel* model = form->Model();
    ASSERT_EQ(model->rowCount(), 4);
    EXPECT_EQ(Cell(form, 0, kColumnTitle), "Rock");
    EXPECT_EQ(Cell(form, 1, kColumnTitle), "Alpha");
    EXPECT_EQ(Cell(form, 1, kColumnArtist), "Aurora");
    EXPECT_EQ(Cell(form, 3, kColumnType), "AAC");
    // The probes fill the lengths after the start-up.
    ASSERT_TRUE(Until([&] { return Cell(form, 3, kColumnLength) == "01:01"; }));
    ASSERT_TRUE(Until([&] { return Cell(form, 0, kColumnLength) == "07:07"; }));
    EXPECT_EQ(Cell(form, 1, kColumnLength), "03:05");
    EXPECT_EQ(form->LengthField()->text(), "15:15"); // 427 + 185 + 242 + 61 seconds
    EXPECT_EQ(form->SizeField()->text().toStdString(), form->State().TotalSizeText());

    const QStringList headings = {"Track or playlist title", "Length", "Size", "Artist", "Type", "Location"};
    for (int c = 0; c < kStudioColumnCount; ++c)
        EXPECT_EQ(model->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString(), headings[c]);
    EXPECT_FALSE(model->data(model->index(0, 0), Qt::DecorationRole).value<QIcon>().isNull());
    EXPECT_FALSE(model->data(model->index(1, 0), Qt::DecorationRole).value<QIcon>().isNull());
    EXPECT_EQ(form->AddButton()->toolTip(), "Add Track(s) to the Music Studio");
    EXPECT_EQ(form->TransferButton()->toolTip(), "Transfer selected Track(s) to the Mobile Device");
    EXPECT_FALSE(form->TransferButton()->isEnabled()); // no device
    EXPECT_EQ(form->LengthField()->toolTip(), "Total music length in the Studio");
    EXPECT_EQ(form->SelectedField()->toolTip(), "Music selected size");

    // The widths are ninths of the list's width: 3, 1, 1, 1, 1, 2.
    ASSERT_TRUE(Until([&] { return form->List()->columnWidth(1) > 0 && form->List()->columnWidth(0) ==
                                                                             3 * form->List()->columnWidth(1); }));
    EXPECT_EQ(form->List()->columnWidth(5), 2 * form->List()->columnWidth(1));

    // A click in the first 17 pixels of the playlist's row opens it.
    CStudioListView* list = form->List();
    const QRect first = list->visualRect(model->index(0, 0));
    Click(list->viewport(), QPoint(first.left() + 6, first.center().y()));
    ASSERT_EQ(model->rowCount(), 6);
    EXPECT_EQ(form->State().KindOfRow(1), RowKind::PlaylistTrack);
    EXPECT_EQ(Cell(form, 1, kColumnTitle), "Alpha");
    EXPECT_EQ(Cell(form, 2, kColumnLength), "04:02");
    form->State().SetSelectedRows({2, 4});
    form->State().SetFocusRow(4);
    form->State().SelectionEdited();
    QApplication::processEvents();

    // The screenshot of the populated Studio.
    const QByteArray wanted = qgetenv("LYB30_STUDIO_SCREENSHOT");
    const QString shotPath = wanted.isEmpty() ? QString::fromStdString(dir + "/studio.png") : QString(wanted);
    QImage shot = shell->MainFrame()->grab().toImage();
    ASSERT_TRUE(shot.save(shotPath, "PNG"));
    std::set<QRgb> colours;
    for (int y = 0; y < shot.height(); y += 3)
        for (int x = 0; x < shot.width(); x += 3)
            colours.insert(shot.pixel(x, y));
    EXPECT_GT(colours.size(), 20u); // drawn text, icons and lines, not an empty window

    // A click on the expander closes it again.
    Click(list->viewport(), QPoint(first.left() + 6, first.center().y()));
    EXPECT_EQ(model->rowCount(), 4);
}

TEST_F(StudioUi, SelectionIsMirroredBothWaysAndKeysReachTheCommands) {
    CMusicForm* form = Start();
    ASSERT_NE(form, nullptr);
    CStudioListView* list = form->List();
    // The user's selection reaches the page object and the selected size.
    list->selectionModel()->select(form->Model()->index(1, 0),
                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    EXPECT_EQ(form->State().SelectedRows(), std::vector<int>{1});
    const uint32_t size = form->State().ItemOfRow(1)->size;
    EXPECT_EQ(form->SelectedField()->text().toStdString(), FormatSize(size));
    list->selectionModel()->setCurrentIndex(form->Model()->index(2, 0), QItemSelectionModel::NoUpdate);
    EXPECT_EQ(form->State().FocusRow(), 2);

    // The page's selection reaches the list.
    form->Action(MusicFormAction::SelectAll)->trigger();
    EXPECT_EQ(list->selectionModel()->selectedRows().size(), 4);
    form->Action(MusicFormAction::UnselectAll)->trigger();
    EXPECT_EQ(list->selectionModel()->selectedRows().size(), 0);
    EXPECT_EQ(form->Action(MusicFormAction::RemoveSelected)->shortcut(), QKeySequence(Qt::Key_Delete));
    EXPECT_EQ(form->Action(MusicFormAction::EditItem)->shortcut(), QKeySequence("Ctrl+E"));

    // Move down with the button; Del removes; "data.ms" follows.
    list->selectionModel()->select(form->Model()->index(1, 0),
                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    form->DownButton()->click();
    EXPECT_EQ(Cell(form, 2, kColumnTitle), "Alpha");
    EXPECT_EQ(list->selectionModel()->selectedRows().size(), 1);
    EXPECT_EQ(list->selectionModel()->selectedRows()[0].row(), 2);
    form->Action(MusicFormAction::RemoveSelected)->trigger();
    EXPECT_EQ(form->Model()->rowCount(), 3);
    const std::string studio = CMusicDoc::UserStudioPath(dir + "/data");
    EXPECT_EQ(ReadFile(studio).find("Alpha"), std::string::npos);
    EXPECT_NE(ReadFile(studio).find(music + "/b.mp3"), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(music + "/a.mp3"));
}

TEST_F(StudioUi, AddButtonOpensTheFilteredDialogAndAddsTheChosenFiles) {
    CMusicForm* form = Start();
    ASSERT_NE(form, nullptr);
    form->State().RemoveAll();
    form->AddButton()->click();
    QFileDialog* dialog = form->PendingFileDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFiles);
    EXPECT_EQ(dialog->defaultSuffix(), "MP3");
    const QStringList filters = dialog->nameFilters();
    ASSERT_EQ(filters.size(), 5);
    EXPECT_EQ(filters[0], "All supported types (*.MP3, *.AAC, *.M3U) (*.MP3 *.AAC *.M3U)");
    EXPECT_EQ(filters[2], "M3U playlist files (*.M3U) (*.M3U)");
    EXPECT_EQ(dialog->directory().absolutePath().toStdString(), music);
    // The chosen files arrive when the dialog reports them.
    dialog->selectFile(QString::fromStdString(music + "/c.aac"));
    QMetaObject::invokeMethod(dialog, "accept"); // as the Open button does
    ASSERT_TRUE(Until([&] { return form->Model()->rowCount() == 1; }));
    EXPECT_EQ(Cell(form, 0, kColumnTitle), "c");
    EXPECT_EQ(form->State().SelectedRows(), std::vector<int>{0});

    // Create a playlist of the selection through the save dialog.
    form->Action(MusicFormAction::CreatePlaylist)->trigger();
    dialog = form->PendingFileDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
    EXPECT_EQ(dialog->defaultSuffix(), "M3U");
    emit dialog->fileSelected(QString::fromStdString(music + "/Mine.M3U"));
    dialog->close();
    ASSERT_EQ(form->Model()->rowCount(), 2);
    EXPECT_EQ(Cell(form, 1, kColumnTitle), "Mine");
    EXPECT_EQ(form->State().FocusRow(), 1);
    EXPECT_NE(ReadFile(music + "/Mine.M3U").find(music + "/c.aac"), std::string::npos);
}

TEST_F(StudioUi, EditDialogContextMenuAndDropPopup) {
    CMusicForm* form = Start();
    ASSERT_NE(form, nullptr);
    StudioPage& page = form->State();
    page.SetSelectedRows({2}); // b
    page.SetFocusRow(2);
    form->Action(MusicFormAction::EditItem)->trigger();
    auto* dialog = form->findChild<CEditItemDlg*>();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle(), "Edit Track");
    EXPECT_EQ(dialog->titleLabel->text(), "Track title:");
    EXPECT_EQ(dialog->titleEdit->maxLength(), 255);
    ASSERT_NE(dialog->artistEdit, nullptr);
    EXPECT_EQ(dialog->saveButton->text(), "Save");
    dialog->titleEdit->setText("Bravo");
    dialog->artistEdit->setText("Bert");
    dialog->saveButton->click();
    EXPECT_EQ(Cell(form, 2, kColumnTitle), "Bravo");
    ID3v2Tag tag;
    ASSERT_TRUE(tag.ReadTag(music + "/b.mp3"));
    EXPECT_EQ(tag.GetTitle(), "Bravo");
    EXPECT_EQ(tag.GetArtist(), "Bert");

    // A playlist row opens the playlist mode without an artist field.
    page.SetSelectedRows({0});
    form->OnEditItem();
    QApplication::processEvents();
    CEditItemDlg* second = nullptr;
    for (CEditItemDlg* d : form->findChildren<CEditItemDlg*>())
        if (d->isVisible())
            second = d;
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->windowTitle(), "Edit Playlist");
    EXPECT_EQ(second->artistEdit, nullptr);
    second->cancelButton->click();

    // The context menu: texts, greying, and a chosen command.
    page.SetSelectedRows({1, 2});
    QStringList seen, enabled;
    PickFromPopup("Copy", &seen, &enabled);
    form->ShowContextMenu(1, form->List()->viewport()->mapToGlobal(QPoint(10, 10)));
    EXPECT_EQ(seen, (QStringList{"Play", "Edit...", "Remove", "Cut", "Copy", "Paste", "Up", "Down", "Select All",
                                 "Unselect All"}));
    EXPECT_FALSE(enabled.contains("Edit...")); // two rows selected
    EXPECT_FALSE(enabled.contains("Paste"));
    EXPECT_EQ(page.ClipboardSize(), 2u);

    // Rows dropped on the playlist: "Copy", then "Insert into Playlist?" answered Yes.
    PickFromPopup("Copy");
    form->DropRows({3}, 0, form->List()->viewport()->mapToGlobal(QPoint(10, 10)));
    EXPECT_EQ(prompt.asked().back().text, "Insert into Playlist?");
    const auto* rock = static_cast<const Playlist*>(page.ItemOfRow(0));
    ASSERT_EQ(rock->ChildCount(), 3u);
    EXPECT_EQ(rock->Child(2)->path, music + "/c.aac");
}

TEST_F(StudioUi, ColumnWidthsSettingsTheSaveAtCloseAndTheStudioLock) {
    {
        RegKey k;
        reg->CreateKey(Hive::LocalMachine, kSettingsKey, RegAccess::Full, k);
        k.SetString("Music Studio column", "200,50,60,70,80,90,");
    }
    CMusicForm* form = Start();
    ASSERT_NE(form, nullptr);
    ASSERT_TRUE(Until([&] { return form->List()->columnWidth(0) == 200; }));
    EXPECT_EQ(form->List()->columnWidth(5), 90);
    const std::string studio = CMusicDoc::UserStudioPath(dir + "/data");
    // Another writer is refused while the program holds the Studio.
    EXPECT_EQ(MakeStudioLock(studio)->Acquire(), GuardResult::AlreadyRunning);
    form->List()->setColumnWidth(5, 123);
    std::filesystem::remove(studio);
    shell->DestroyMainFrame();
    EXPECT_EQ(app->Settings().musicStudioColumns, "200,50,60,70,80,123,");
    EXPECT_TRUE(std::filesystem::exists(studio)); // saved at close
    EXPECT_EQ(MakeStudioLock(studio)->Acquire(), GuardResult::Acquired);
}

TEST_F(StudioUi, SearchDialogFindsFilesAndAddsThemOnTheUiThread) {
    CMusicForm* form = Start();
    ASSERT_NE(form, nullptr);
    ASSERT_EQ(form->Model()->rowCount(), 4);
    ASSERT_TRUE(Copy("b.mp3", music + "/new/x.mp3"));
    ASSERT_TRUE(Copy("c.aac", music + "/new/y.aac"));
    QAction* search = shell->MainFrame()->MenuAction(kIdSearch);
    ASSERT_NE(search, nullptr);
    EXPECT_EQ(search->text(), "&Search\tCtrl+F");
    EXPECT_EQ(CMainFrame::CommandOfKey(QKeyCombination(Qt::ControlModifier, Qt::Key_F)), kIdSearch);
    search->trigger();
    CSearchDlg* dialog = form->SearchDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->windowTitle(), "Search disks for music");
    EXPECT_EQ(dialog->drives->itemText(0), "All drives");
    EXPECT_EQ(dialog->folder->text().toStdString(), music);
    EXPECT_EQ(dialog->startStop->text(), "Start search");
    EXPECT_EQ(dialog->patterns->text(), "*.mp3; *.aac; *.m3u");
    dialog->types->setCurrentIndex(1);
    EXPECT_EQ(dialog->patterns->text(), "*.mp3");
    dialog->types->setCurrentIndex(0);
    dialog->subfolders->setChecked(true);
    dialog->startStop->click();
    EXPECT_EQ(dialog->startStop->text(), "Stop search");
    EXPECT_FALSE(dialog->folder->isEnabled());
    ASSERT_TRUE(Until([&] { return !dialog->State().Searching(); }));
    EXPECT_EQ(dialog->status->text(), "Found: 6  file(s) , Added: 2  file(s) to Music Studio");
    EXPECT_EQ(dialog->startStop->text(), "Start search");
    ASSERT_EQ(form->Model()->rowCount(), 6);
    EXPECT_EQ(form->List()->selectionModel()->selectedRows().size(), 2);
    std::set<QString> added = {Cell(form, 4, kColumnTitle), Cell(form, 5, kColumnTitle)};
    EXPECT_EQ(added, (std::set<QString>{"x", "y"}));
    dialog->closeButton->click();
    EXPECT_FALSE(dialog->isVisible());
    ASSERT_TRUE(Until([&] { return form->SearchDialog() == nullptr; }));
}
