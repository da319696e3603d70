// The program lyb30.
//
// Exit codes: 0 after a normal end (also on SIGTERM, SIGINT, SIGHUP, which
// end the program as closing it does); 1 when start-up ends (a second start
// that handed its file over, a missing encoder, ...); 3 when there is no
// private runtime folder or the single-instance guard or hand-off channel
// cannot be had (the reason goes to stderr and the trace).
//
// Environment: LYB30_TRACE (trace texts to "stderr" or a file),
// LYB30_REGISTRY_DIR (folder of the registry hives), LYB30_SCREENSHOT (a
// PNG path: the main window is grabbed once shown and the program ends).
#include "app/lyb30_app.h"
#include "platform/instance.h"
#include "platform/linux/file_registry.h"
#include "platform/qt/quit_signals.h"
#include "platform/registry.h"
#include "platform/shared_library.h"
#include "platform/trace.h"
#include "player/player_subsystem.h"
#include "ui/main_frame.h"
#include "ui/qt_file_dialog.h"
#include "ui/qt_prompt.h"
#include "ui/player/player_ui.h"
#include "ui/qt_shell.h"

#include <QApplication>
#include <QPixmap>
#include <QSessionManager>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <memory>

// Exit code when the single-instance guard or the hand-off channel cannot be
// had (1 is every other failed start-up).
constexpr int kExitNoInstanceChannel = 3;

int main(int argc, char** argv) {
    lyb::InitTraceFromEnvironment();
    QApplication qapp(argc, argv);

    lyb::QtPrompt prompt;
    lyb::QtFileDialog files;
    lyb::AppEnvironment env;
    env.registry = lyb::OpenDefaultRegistry();
    lyb::Registry::SetDefault(env.registry);
    env.prompt = &prompt;
    env.fileDialog = &files;
    const std::string runtime = lyb::RuntimeFolder(&env.runtimeProblem);
    env.guard = lyb::MakeLockFileGuard(runtime);
    env.handoffServer = lyb::MakeSocketHandoffServer(runtime, lyb::kMainWindowClass);
    env.handoffClient = lyb::MakeSocketHandoffClient(runtime, lyb::kMainWindowClass);
    env.programFolder = lyb::ProgramFolder();
    env.currentFolder = lyb::CurrentFolder();
    for (int i = 1; i < argc; ++i)
        env.args.emplace_back(argv[i]);
    env.xdg = lyb::XdgFolders::FromEnvironment();

    // The player: made at start-up, released at exit, shown by the shell.
    lyb::PlayerSubsystem player;
    lyb::QtAppShell shell;
    shell.WirePlayer(env.seams, player, env.programFolder);

    lyb::CLyb30App app(std::move(env), shell);
    shell.SetApp(&app);
    // Questions show their buttons in the interface language once it is loaded.
    prompt.SetButtonText([&app](int id, const char* english) { return app.m_oLocalize.Get(id, english); });

    // The end of the session and termination signals end the program as
    // closing it does: the Studio and the settings are saved. A signal
    // during start-up ends the dialogs asking meanwhile, and the program
    // ends once start-up is through. (The session manager may end the
    // process right after asking; the settings are written then already.)
    bool terminating = false;
    if (!lyb::QuitOnTerminationSignals(&qapp, [&terminating](int signal) {
            lyb::TraceFormat("Signal %d: shutting down", signal);
            terminating = true;
            QCoreApplication::exit(0); // every running event loop, dialogs' too
        }))
        lyb::Trace("Termination signals could not be caught");
    QObject::connect(&qapp, &QGuiApplication::commitDataRequest, &qapp, [&app](QSessionManager&) {
        lyb::Trace("Session ends: saving registry settings");
        if (app.Settings().loaded)
            app.SaveSettings();
    });

    const bool started = app.InitInstance();
    int rc = 1;
    if (started && terminating) {
        rc = 0;
    } else if (started) {
        if (const char* shot = std::getenv("LYB30_SCREENSHOT"); shot && *shot) {
            const std::string path = shot;
            QTimer::singleShot(500, &qapp, [&shell, path] {
                if (shell.MainFrame())
                    shell.MainFrame()->grab().save(QString::fromStdString(path), "PNG");
                QApplication::quit();
            });
        }
        rc = qapp.exec();
    }
    shell.DestroyMainFrame();
    const int exitCode = app.ExitInstance();
    if (!started && !app.StartupError().empty()) {
        std::fprintf(stderr, "lyb30: %s\n", app.StartupError().c_str());
        return kExitNoInstanceChannel;
    }
    return started ? (rc != 0 ? rc : exitCode) : 1;
}
