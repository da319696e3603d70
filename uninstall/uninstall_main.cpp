// The program uninstall: removes Lyrabox 3.0 as the installation log and
// the settings describe it, asking first.
//
//   uninstall [--unattended [--delete-saved-games]]
//
// --unattended answers Yes to the confirmation and keeps saved games unless
// told otherwise; messages go to standard error. Exit codes: 0 removed,
// 1 declined, 2 no "uninstall.dat" beside the program, 3 lyb30 runs,
// 4 the settings are missing, 5 the installation log is missing.
#include "platform/instance.h"
#include "platform/linux/file_registry.h"
#include "platform/prompt.h"
#include "platform/registry.h"
#include "platform/shared_library.h"
#include "platform/trace.h"
#include "ui/qt_prompt.h"
#include "uninstall/uninstall_dialog.h"
#include "uninstall/uninstaller.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

namespace {

class ConsoleProgress final : public lyb::UninstallProgress {
public:
    void Step(const std::string& text, int percent) override {
        if (!text.empty())
            std::printf("%3d%% %s\n", percent, text.c_str());
        std::fflush(stdout);
    }
};

} // namespace

int main(int argc, char** argv) {
    lyb::InitTraceFromEnvironment();
    bool unattended = false, deleteSaves = false;
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--unattended" || a == "-q")
            unattended = true;
        else if (a == "--delete-saved-games")
            deleteSaves = true;
        else
            args.push_back(a);
    }

    lyb::UninstallEnvironment env;
    env.registry = lyb::OpenDefaultRegistry();
    env.selfPath = lyb::ProgramPath();
    env.args = args;
    env.runtimeFolder = lyb::RuntimeFolder();
    env.xdg = lyb::XdgFolders::FromEnvironment();
    const char* home = std::getenv("HOME");
    env.home = home && *home ? home : "/tmp";

    if (unattended) {
        ConsoleProgress progress;
        const lyb::CUninstaller* self = nullptr;
        lyb::ConsolePrompt prompt([&](const std::string& text, lyb::PromptButtons) {
            // The confirmation is given by the option; saved games go only on request.
            if (self && text == self->Texts().Get(lyb::txt::DeleteSavedGames))
                return deleteSaves ? lyb::PromptAnswer::Yes : lyb::PromptAnswer::No;
            return lyb::PromptAnswer::Yes;
        });
        env.prompt = &prompt;
        env.progress = &progress;
        lyb::CUninstaller u(env);
        self = &u;
        return u.Run();
    }

    QApplication qapp(argc, argv);
    lyb::QtPrompt prompt;
    env.prompt = &prompt;
    // The progress window shows once the user has said Yes.
    class ShowingProgress final : public lyb::UninstallProgress {
    public:
        void Step(const std::string& text, int percent) override {
            if (!m_dialog) {
                m_dialog = std::make_unique<lyb::CUninstallDialog>(self ? self->Texts().Get(lyb::txt::QuestionCaption)
                                                                        : std::string());
                m_dialog->show();
            }
            m_dialog->Step(text, percent);
        }
        const lyb::CUninstaller* self = nullptr;

    private:
        std::unique_ptr<lyb::CUninstallDialog> m_dialog;
    } progress;
    env.progress = &progress;
    lyb::CUninstaller u(env);
    progress.self = &u;
    return u.Run();
}
