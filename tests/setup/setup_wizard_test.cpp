// The installer's wizard offscreen, driven by its own buttons: the pages in
// order, the language switch (texts, direction), the destination check and
// a whole installation. With LYB_SCREENSHOT_DIR set, each page is saved as
// a PNG there.
#include "platform/prompt.h"
#include "platform/registry.h"
#include "setup/installer.h"
#include "setup/setup_wizard.h"
#include "tests/setup/qt_test_support.h"
#include "tests/setup/setup_dist.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QTimer>

using namespace lyb;
using namespace lyb::test;

namespace {

bool WaitFor(const std::function<bool()>& done, int ms = 10000) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

/// Answers the next message box with `button` (after saving it as `shot`).
void AnswerNextBox(QMessageBox::StandardButton button, const std::string& shot, std::string* text = nullptr) {
    auto* timer = new QTimer();
    QObject::connect(timer, &QTimer::timeout, [=] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        timer->stop();
        if (text)
            *text = box->text().toStdString();
        Shot(*box, shot);
        box->button(button)->click();
        timer->deleteLater();
    });
    timer->start(20);
}

struct WizardFixture : testing::Test {
    TempFolder root{"lybwizard"};
    TestDistribution dist{root / "dist"};
    std::string dest = root / "dest/Lyrabox 3.0";
    std::shared_ptr<Registry> reg = std::make_shared<Registry>(std::make_shared<MemoryRegistryStore>());
    ScriptedPrompt prompt;

    void SetUp() override {
        TestApp();
        fs::create_directories(root / "run");
        fs::create_directories(root / "home/Desktop");
    }
    SetupEnvironment Env() { return TestSetupEnvironment(reg, prompt, dist, root); }
};

TEST_F(WizardFixture, WalksThroughEveryPageAndInstalls) {
    SetupEnvironment env = Env();
    CSetupWizard* wizard = nullptr;
    bool shotMidway = false;
    env.pump = [&] {
        QProgressBar* bar = wizard ? wizard->findChild<QProgressBar*>() : nullptr;
        if (!shotMidway && bar && bar->value() > 30) {
            shotMidway = true;
            Shot(*wizard, "setup-4-progress");
        }
        QApplication::processEvents();
        return true;
    };
    CSetup setup(env);
    ASSERT_EQ(setup.Start({}), CSetup::StartResult::Ready);
    CSetupWizard w(setup);
    wizard = &w;
    w.show();
    ASSERT_EQ(w.currentId(), CSetupWizard::kWelcomePage);
    EXPECT_EQ(w.windowTitle().toStdString(), "Lyrabox 3.0 Setup");
    Shot(w, "setup-1-welcome");

    // Another language rebuilds the texts of the page.
    auto* languages = w.findChild<QComboBox*>("languages");
    ASSERT_NE(languages, nullptr);
    ASSERT_EQ(languages->count(), 2);
    languages->setCurrentIndex(1);
    EXPECT_EQ(setup.Language().name, "Deutsch");
    EXPECT_EQ(w.windowTitle().toStdString(), "Lyrabox 3.0 Installation");
    Shot(w, "setup-1-welcome-deutsch");
    languages->setCurrentIndex(0);
    EXPECT_EQ(w.buttonText(QWizard::NextButton).toStdString(), "&Next >");

    w.button(QWizard::NextButton)->click();
    ASSERT_EQ(w.currentId(), CSetupWizard::kDestinationPage);
    auto* folder = w.findChild<QLineEdit*>("destination");
    ASSERT_NE(folder, nullptr);
    folder->setText(QString::fromStdString(dest));
    auto* required = w.findChild<QLabel*>("required");
    EXPECT_EQ(required->text().toStdString(),
              "Space required: " + FormatThousands((setup.RequiredBytes(false) + 999) / 1000) + " KB");
    EXPECT_FALSE(w.findChild<QCheckBox*>("video")->isEnabled()); // no videos in this distribution
    Shot(w, "setup-2-destination");
    w.button(QWizard::NextButton)->click();
    ASSERT_EQ(w.currentId(), CSetupWizard::kGroupPage);
    EXPECT_EQ(w.findChild<QComboBox*>("group")->currentText().toStdString(), "Lyrabox 3.0");
    Shot(w, "setup-3-group");

    w.button(QWizard::CommitButton)->click();
    ASSERT_TRUE(WaitFor([&] { return w.currentId() == CSetupWizard::kAspiPage; }));
    EXPECT_TRUE(shotMidway);
    EXPECT_EQ(ReadBytes(dest + "/lyb30"), dist.program);
    EXPECT_EQ(w.findChild<QLabel*>("aspi")->text().toStdString(), SetupResText(txt::AspiMissing));
    Shot(w, "setup-5-cd-access");
    AnswerNextBox(QMessageBox::No, "setup-6-run-cd-access-setup");
    w.button(QWizard::FinishButton)->click();
    ASSERT_TRUE(WaitFor([&] { return !w.isVisible(); }));
    EXPECT_EQ(w.ExitCode(), 0);
    EXPECT_TRUE(setup.IsInstalled());
    // The association question went through the installer's prompt.
    ASSERT_FALSE(prompt.asked().empty());
    EXPECT_EQ(prompt.asked().back().text, SetupResText(txt::AskAssociate));
}

TEST_F(WizardFixture, AnUnwritableDestinationKeepsThePageWithAMessage) {
    CSetup setup(Env());
    ASSERT_EQ(setup.Start({}), CSetup::StartResult::Ready);
    CSetupWizard w(setup);
    w.show();
    w.button(QWizard::NextButton)->click();
    // A file where the folder should be: it cannot be created.
    WriteAll(root / "blocked", "a file");
    w.findChild<QLineEdit*>("destination")->setText(QString::fromStdString(root / "blocked/Lyrabox 3.0"));
    std::string said;
    AnswerNextBox(QMessageBox::Ok, "setup-2-destination-refused", &said);
    w.button(QWizard::NextButton)->click();
    EXPECT_EQ(w.currentId(), CSetupWizard::kDestinationPage);
    EXPECT_NE(said.find("cannot create the folder"), std::string::npos) << said;
}

TEST_F(WizardFixture, ARightToLeftLanguageTurnsTheWizardRound) {
    WriteAll(dist.folder + "/language.inf",
             "[LANGUAGE]\r\nDefault=ENG\r\n[ENG]\r\nLanguageName=English\r\nCodePage=1252\r\n"
             "[HEB]\r\nLanguageName=Hebrew\r\nCodePage=1255\r\n");
    CSetup setup(Env());
    ASSERT_EQ(setup.Start({}), CSetup::StartResult::Ready);
    CSetupWizard w(setup);
    w.show();
    EXPECT_EQ(w.layoutDirection(), Qt::LeftToRight);
    w.findChild<QComboBox*>("languages")->setCurrentIndex(1);
    EXPECT_EQ(w.layoutDirection(), Qt::RightToLeft);
    EXPECT_EQ(QApplication::layoutDirection(), Qt::RightToLeft); // message boxes too
    Shot(w, "setup-1-welcome-rtl");
    w.findChild<QComboBox*>("languages")->setCurrentIndex(0);
    EXPECT_EQ(QApplication::layoutDirection(), Qt::LeftToRight);
}

TEST_F(WizardFixture, CancelAsksFirstAndAnInstalledProductGetsItsOwnPage) {
    {
        CSetup setup(Env());
        ASSERT_EQ(setup.Start({}), CSetup::StartResult::Ready);
        CSetupWizard w(setup);
        w.show();
        AnswerNextBox(QMessageBox::No, "setup-cancel-question");
        w.button(QWizard::CancelButton)->click();
        EXPECT_TRUE(w.isVisible());
        AnswerNextBox(QMessageBox::Yes, "setup-cancel-question");
        w.button(QWizard::CancelButton)->click();
        EXPECT_FALSE(w.isVisible());
        EXPECT_EQ(w.ExitCode(), kSetupExitCancelled);
    }
    RegKey k;
    reg->CreateKey(Hive::LocalMachine, "SOFTWARE\\Orvik\\Lyrabox 3.0", RegAccess::Full, k);
    k.SetString("pth", dest);
    k.SetDword("chs", 131075);
    WriteAll(dest + "/uninstall", "x");
    CSetup setup(Env());
    ASSERT_EQ(setup.Start({}), CSetup::StartResult::Ready);
    CSetupWizard w(setup);
    w.show();
    EXPECT_EQ(w.currentId(), CSetupWizard::kInstalledPage);
    Shot(w, "setup-0-installed");
}

} // namespace
