// The uninstaller's windows offscreen: the confirmation, the progress
// window through a real removal, the completion message and the refusal
// while lyb30 runs. With LYB_SCREENSHOT_DIR set, each is saved as a PNG.
#include "app/settings.h"
#include "platform/instance.h"
#include "platform/registry.h"
#include "tests/setup/qt_test_support.h"
#include "tests/setup/setup_test_support.h"
#include "ui/qt_prompt.h"
#include "uninstall/install_log.h"
#include "uninstall/uninstall_dialog.h"
#include "uninstall/uninstaller.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

using namespace lyb;
using namespace lyb::test;

namespace {

/// Answers the message boxes as they come, in order; records their texts.
class BoxAnswerer {
public:
    BoxAnswerer(std::vector<std::pair<QMessageBox::StandardButton, std::string>> plan) : m_plan(std::move(plan)) {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || m_next >= m_plan.size())
                return;
            texts.push_back(box->text().toStdString());
            Shot(*box, m_plan[m_next].second);
            box->button(m_plan[m_next].first)->click();
            ++m_next;
        });
        m_timer.start(20);
    }
    std::vector<std::string> texts;

private:
    std::vector<std::pair<QMessageBox::StandardButton, std::string>> m_plan;
    size_t m_next = 0;
    QTimer m_timer;
};

class ShootingProgress final : public UninstallProgress {
public:
    void Step(const std::string& text, int percent) override {
        dialog.Step(text, percent);
        if (!dialog.isVisible())
            dialog.show();
        if (percent == 50 && !shot) {
            shot = true;
            Shot(dialog, "uninstall-2-progress");
            seenText = dialog.StepText().toStdString();
        }
    }
    CUninstallDialog dialog{"Lyrabox 3.0 Uninstall"};
    bool shot = false;
    std::string seenText;
};

struct UninstallUi : testing::Test {
    TempFolder root{"lybuninstui"};
    std::string inst = root / "Lyrabox 3.0";
    std::shared_ptr<Registry> reg = std::make_shared<Registry>(std::make_shared<MemoryRegistryStore>());

    void SetUp() override {
        TestApp();
        fs::create_directories(root / "run");
        WriteAll(inst + "/uninstall", "program");
        WriteAll(inst + "/uninstall.dat", "");
        WriteAll(inst + "/lyb30", "program");
        WriteAll(inst + "/" + kInstallLogName,
                 FormatLogEntry({false, inst + "/lyb30"}) + FormatLogEntry({false, inst + "/uninstall.dat"}) + "\r\n");
        RegKey k;
        reg->CreateKey(Hive::LocalMachine, kSettingsKey, RegAccess::Full, k);
        k.SetString("pth", inst);
        k.SetString("grp", "Lyrabox 3.0");
    }
    UninstallEnvironment Env(Prompt* prompt, UninstallProgress* progress) {
        UninstallEnvironment env;
        env.registry = reg;
        env.prompt = prompt;
        env.progress = progress;
        env.selfPath = inst + "/uninstall";
        env.runtimeFolder = root / "run";
        env.xdg = XdgFolders{root / "data", root / "config"};
        env.home = root / "home";
        env.registryWaitMs = 0;
        return env;
    }
};

TEST_F(UninstallUi, ConfirmationProgressAndCompletion) {
    QtPrompt prompt;
    ShootingProgress progress;
    BoxAnswerer boxes({{QMessageBox::Yes, "uninstall-1-confirm"}, {QMessageBox::Ok, "uninstall-3-done"}});
    CUninstaller u(Env(&prompt, &progress));
    EXPECT_EQ(u.Run(), kUninstallDone);
    ASSERT_EQ(boxes.texts.size(), 2u);
    EXPECT_EQ(boxes.texts[0], SetupResText(txt::ConfirmRemoval));
    EXPECT_EQ(boxes.texts[1], SetupResText(txt::RemovalDone));
    EXPECT_TRUE(progress.shot);
    EXPECT_EQ(progress.seenText, SetupResText(txt::StepFiles)); // the files are done at 50 %
    EXPECT_EQ(progress.dialog.Percent(), 100);
    EXPECT_FALSE(fs::exists(inst));
}

TEST_F(UninstallUi, WhileLyb30RunsTheErrorFrameShowsMessage211) {
    auto running = MakeLockFileGuard(root / "run");
    ASSERT_EQ(running->Acquire(), GuardResult::Acquired);
    QtPrompt prompt;
    BoxAnswerer boxes({{QMessageBox::Ok, "uninstall-0-program-runs"}});
    CUninstaller u(Env(&prompt, nullptr));
    EXPECT_EQ(u.Run(), kUninstallProgramRuns);
    ASSERT_EQ(boxes.texts.size(), 1u);
    EXPECT_NE(boxes.texts[0].find(SetupResText(txt::ProgramRunning)), std::string::npos);
    EXPECT_TRUE(fs::exists(inst + "/lyb30"));
}

} // namespace
