// Widgets offscreen: the main frame's pages, the Preferences dialog, the
// interface fonts and the menu walk.
#include "app/lyb30_app.h"
#include "app/page_documents.h"
#include "platform/instance.h"
#include "platform/prompt.h"
#include "platform/registry.h"
#include "platform/volumes.h"
#include "ui/cd_form.h"
#include "ui/main_frame.h"
#include "ui/page_strip.h"
#include "ui/pages.h"
#include "ui/preferences_dialog.h"
#include "ui/qmenu_localize.h"
#include "ui/qt_prompt.h"
#include "ui/qt_shell.h"
#include "ui/shell/main_commands.h"
#include "ui_fixture.h"
#include "ui/music_form.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTimer>

#include <filesystem>

using namespace lyb;

TEST_F(UiFixture, MainFrameShowsThePagesInTemplateOrderAndTheFontFallsBack) {
    QtAppShell shell;
    CLyb30App app(Env(), shell);
    shell.SetApp(&app);
    ASSERT_TRUE(app.InitInstance());
    CMainFrame* frame = shell.MainFrame();
    ASSERT_NE(frame, nullptr);
    EXPECT_TRUE(frame->isVisible());
    EXPECT_EQ(frame->objectName(), "Lyb30MDIMainWnd");
    ASSERT_EQ(frame->PageCount(), 3);
    auto* strip = frame->findChild<CPageStrip*>("pageStrip");
    ASSERT_NE(strip, nullptr);
    EXPECT_EQ(strip->Caption(0), "Music Studio");
    EXPECT_EQ(strip->Caption(1), "CD Player");
    EXPECT_EQ(strip->Caption(2), "Club Orvik");
    EXPECT_EQ(frame->Page(0)->objectName(), "CCDFrame");
    EXPECT_EQ(frame->Page(2)->objectName(), "CMusicFrame");
    EXPECT_EQ(dynamic_cast<CView*>(frame->Page(0)->View()), app.GetCDForm());
    EXPECT_EQ(dynamic_cast<CView*>(frame->Page(2)->View()), app.GetMusicForm());
    EXPECT_NE(dynamic_cast<CMusicForm*>(app.GetMusicForm()), nullptr);
    // The missing typeface gives way to the system's; sizes stay.
    EXPECT_NE(shell.UsedFamily(), "No Such Face Anywhere");
    EXPECT_EQ(shell.Fonts()[0].pixelSize(), 15);
    EXPECT_TRUE(shell.Fonts()[3].italic());
    // A hand-off to the CD page switches pages.
    frame->ShowPage(2);
    shell.CdPlayTrack(app.GetCDForm(), 0, 3);
    EXPECT_EQ(frame->CurrentPage(), 0);
    EXPECT_NE(dynamic_cast<CCDForm*>(app.GetCDForm()), nullptr);
    shell.DestroyMainFrame();
    app.ExitInstance();
}

TEST_F(UiFixture, PreferencesDialogFieldsAndRules) {
    QtAppShell shell;
    CLyb30App app(Env(), shell);
    shell.SetApp(&app);
    app.LoadSettings();
    {
        CPreferencesDlg dlg(app);
        EXPECT_EQ(dlg.windowTitle(), "Preferences");
        ASSERT_EQ(dlg.bitrates->count(), 6);
        EXPECT_EQ(dlg.bitrates->itemText(0), "64000");
        EXPECT_EQ(dlg.bitrates->currentText(), "256000"); // 100000 is not in the list
        EXPECT_EQ(dlg.audioCd->text(), "Audio CD");
        EXPECT_TRUE(dlg.mp3->isEnabled());
        EXPECT_TRUE(dlg.bitrates->isEnabled());
        dlg.musicFolderEdit->setText(QString::fromStdString(dir));
        dlg.playlistFolderEdit->setText(QString::fromStdString(dir));
        dlg.mp3->setChecked(true);
        dlg.okButton->click();
        EXPECT_EQ(dlg.result(), QDialog::Accepted);
    }
    EXPECT_EQ(app.Settings().bitrate, 256000);
    EXPECT_TRUE(app.MakeAssociations().IsAssociated(".mp3"));
    {
        cdState = 3;
        store->SetWritable(Hive::LocalMachine, false);
        CPreferencesDlg dlg(app);
        EXPECT_FALSE(dlg.bitrates->isEnabled());
        EXPECT_FALSE(dlg.musicFolderEdit->isEnabled());
        EXPECT_FALSE(dlg.browseMusic->isEnabled());
        EXPECT_TRUE(dlg.playlistFolderEdit->isEnabled());
        EXPECT_FALSE(dlg.mp3->isEnabled());
        EXPECT_FALSE(dlg.audioCd->isEnabled());
        // An invalid folder keeps the dialog open.
        dlg.playlistFolderEdit->setText("x");
        dlg.show();
        dlg.okButton->click();
        EXPECT_TRUE(dlg.isVisible());
        EXPECT_FALSE(prompt.asked().empty());
    }
}

TEST(QtMenu, TheLocaliserWalksTheMenuBarDepthFirst) {
    App();
    QMenuBar bar;
    QMenu* file = bar.addMenu("File");
    file->addAction("New");
    file->addAction("Open");
    file->addSeparator();
    bar.addAction("Help");
    CLocalize loc;
    const char bytes[] = {'1', 0, '=', 0, 'D', 0, '\r', 0, '\n', 0, '2', 0, '=', 0, 'N', 0, '\t', 0,
                          'C', 0, 't', 0, 'r', 0, 'l', 0, '+', 0, 'N', 0, '\r', 0, '\n', 0};
    loc.LoadFromBytes(std::string_view(bytes, sizeof bytes));
    QtLocalizableMenu menu(&bar);
    EXPECT_EQ(loc.LocalizeMenu(menu, 0), 5);
    EXPECT_EQ(file->menuAction()->text(), "D");
    // The shortcut shown stays in the text; no key is bound by the text.
    EXPECT_EQ(file->actions()[0]->text(), "N\tCtrl+N");
    EXPECT_TRUE(file->actions()[0]->shortcut().isEmpty());
    EXPECT_EQ(file->actions()[1]->text(), "Open"); // id 3 has no text: the default stays
}

namespace {

// The texts of the buttons of the question `ask` shows.
QStringList ButtonsOf(const std::function<void()>& ask) {
    QStringList texts;
    QTimer::singleShot(0, [&texts] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            for (QAbstractButton* b : box->buttons())
                texts << b->text();
            box->close();
        }
    });
    ask();
    texts.sort();
    return texts;
}

std::string Utf16LeLines(const std::u16string& text) {
    std::string bytes;
    for (char16_t u : text) {
        bytes.push_back(static_cast<char>(u & 0xFF));
        bytes.push_back(static_cast<char>(u >> 8));
    }
    return bytes;
}

} // namespace

TEST(QtPromptButtons, QuestionsShowTheirButtonsInTheInterfaceLanguage) {
    App();
    CLocalize loc;
    loc.LoadFromBytes(Utf16LeLines(u"381=&Ja\r\n382=&Nein\r\n200=Abbrechen\r\n"));
    QtPrompt prompt;
    // Without a language: the English texts.
    EXPECT_EQ(ButtonsOf([&] { prompt.Ask("?", "t", PromptButtons::YesNo, PromptIcon::Question); }),
              (QStringList{"&No", "&Yes"}));
    prompt.SetButtonText([&loc](int id, const char* english) { return loc.Get(id, english); });
    EXPECT_EQ(ButtonsOf([&] { prompt.Ask("?", "t", PromptButtons::YesNoCancel, PromptIcon::Question); }),
              (QStringList{"&Ja", "&Nein", "Abbrechen"}));
    // A button the table has no text for keeps its English one.
    EXPECT_EQ(ButtonsOf([&] { prompt.Ask("?", "t", PromptButtons::RetryCancel, PromptIcon::Warning); }),
              (QStringList{"&Retry", "Abbrechen"}));
}

TEST(ShellTexts, AMenuCommandsTextWithoutItsKeysAndMarks) {
    CLocalize loc;
    EXPECT_EQ(CommandText(kIdExit, loc), "Exit");
    EXPECT_EQ(CommandText(kIdRemoveAll, loc), "Remove All Music from Studio");
    EXPECT_EQ(CommandText(kIdSmallPlayer, loc), ""); // not in the menu
    // The language's text of the command's menu position (Exit is 7, the
    // fourth item of the Mobile Device sub-menu 28).
    loc.LoadFromBytes(Utf16LeLines(u"7=&Beenden\tAlt+X\r\n28=Alles && alles l\u00f6schen\r\n"));
    EXPECT_EQ(CommandText(kIdExit, loc), "Beenden");
    EXPECT_EQ(CommandText(kIdDeviceDeleteAll, loc), "Alles & alles l\u00f6schen");
}



namespace {

TEST_F(UiFixture, AHandedOverFileEntersTheStudioAtTheTop) {
    QtAppShell shell;
    CLyb30App app(Env(), shell);
    shell.SetApp(&app);
    ASSERT_TRUE(app.InitInstance());
    const std::string song = dir + "/song.mp3";
    {
        std::FILE* f = std::fopen(song.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fputs("ID3", f);
        std::fclose(f);
    }
    EXPECT_EQ(app.OnCopyData(777, song + std::string(1, '\0')), 0);
    auto* form = dynamic_cast<CMusicForm*>(app.GetMusicForm());
    ASSERT_NE(form, nullptr);
    auto* doc = dynamic_cast<MusicPageDocument*>(form->GetDocument());
    ASSERT_NE(doc, nullptr);
    ASSERT_EQ(doc->Music().Collection().Count(), 1u);
    EXPECT_EQ(doc->Music().Collection().Item(0)->path, song);
    // The first row is focused and selected for the player to start.
    EXPECT_EQ(form->State().SelectedRows(), std::vector<int>{0});
    EXPECT_EQ(form->State().FocusRow(), 0);
    EXPECT_EQ(shell.MainFrame()->CurrentPage(), 2);
    shell.DestroyMainFrame();
    app.ExitInstance();
}

} // namespace
