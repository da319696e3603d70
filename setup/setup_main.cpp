// The program setup: installs Lyrabox 3.0 from the distribution folder it
// lies in, through the wizard or, with --unattended, without a window.
//
//   setup [-l LANGUAGE] [--unattended] [--dest FOLDER] [--group NAME]
//         [--music FOLDER] [--playlists FOLDER] [--associate | --no-associate]
//         [--no-desktop-shortcut] [--video] [--cd-access-setup]
//
// Exit codes: 0 installed (or the installed program started), the fatal
// error's number (1, 4, 6, 7, 8, 9, 99), 2 the distribution is unusable,
// 3 cancelled, 5 a bad option, 10 another setup runs, 11 already installed
// (unattended).
//
// LYB30_SCREENSHOT=file.png saves the wizard's first page once it is shown
// and ends without installing (exit code 3).
#include "platform/instance.h"
#include "platform/linux/file_registry.h"
#include "platform/prompt.h"
#include "platform/registry.h"
#include "platform/shared_library.h"
#include "platform/trace.h"
#include "setup/installer.h"
#include "setup/setup_wizard.h"
#include "ui/qt_prompt.h"
#include "uninstall/install_log.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kExitInstalled = 11;

struct CommandLine {
    std::vector<std::string> setupArgs; ///< what CSetup reads ("-l ...")
    bool unattended = false;
    bool aspiSetup = false;
    std::optional<std::string> dest, group, music, playlists;
    std::optional<bool> associate;
    bool noDesktop = false;
    bool video = false;
    std::string error;
};

void Usage() {
    std::fprintf(stderr,
                 "usage: setup [-l LANGUAGE] [--unattended] [--dest FOLDER] [--group NAME]\n"
                 "             [--music FOLDER] [--playlists FOLDER] [--associate | --no-associate]\n"
                 "             [--no-desktop-shortcut] [--video] [--cd-access-setup]\n");
}

CommandLine Parse(int argc, char** argv) {
    CommandLine c;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](std::optional<std::string>& into) {
            if (i + 1 >= argc) {
                c.error = a + " needs a value";
                return;
            }
            into = argv[++i];
        };
        if (a == "-l") {
            if (i + 1 >= argc) {
                c.error = "-l needs a language name";
                break;
            }
            c.setupArgs.push_back(a);
            c.setupArgs.push_back(argv[++i]);
        } else if (a.size() > 4 && a.compare(0, 3, "-l ") == 0) {
            c.setupArgs.push_back(a);
        } else if (a == "--unattended" || a == "-q") {
            c.unattended = true;
        } else if (a == "--dest") {
            value(c.dest);
        } else if (a == "--group") {
            value(c.group);
        } else if (a == "--music") {
            value(c.music);
        } else if (a == "--playlists") {
            value(c.playlists);
        } else if (a == "--associate") {
            c.associate = true;
        } else if (a == "--no-associate") {
            c.associate = false;
        } else if (a == "--no-desktop-shortcut") {
            c.noDesktop = true;
        } else if (a == "--video") {
            c.video = true;
        } else if (a == "--cd-access-setup") {
            c.aspiSetup = true;
        } else if (a == "--help" || a == "-h") {
            c.error = "help";
        } else {
            c.error = "unknown option " + a;
        }
        if (!c.error.empty())
            break;
    }
    return c;
}

std::string Absolute(const std::string& path) {
    if (path.empty() || path[0] == '/')
        return path;
    return lyb::CurrentFolder() + "/" + path;
}

class ConsoleProgress final : public lyb::InstallProgress {
public:
    void Progress(int percent, const std::string& text) override {
        if (percent == m_last)
            return;
        m_last = percent;
        std::printf("%s\n", text.c_str());
        std::fflush(stdout);
    }

private:
    int m_last = -1;
};

int RunUnattended(lyb::CSetup& setup, const CommandLine& c) {
    if (setup.RequestedLanguage() && setup.Languages().FindByName(*setup.RequestedLanguage()) < 0)
        std::fprintf(stderr, "setup: no language \"%s\"; installing in %s\n", setup.RequestedLanguage()->c_str(),
                     setup.Language().name.c_str());
    std::string installed;
    if (setup.IsInstalled(&installed)) {
        std::fprintf(stderr, "setup: Lyrabox 3.0 is installed in %s already; remove it first\n", installed.c_str());
        return kExitInstalled;
    }
    lyb::InstallOptions o;
    o.destination = Absolute(c.dest.value_or(setup.DefaultDestination()));
    o.group = c.group.value_or(setup.DefaultGroup());
    o.musicFolder = Absolute(c.music.value_or(setup.DefaultMusicFolder()));
    o.playlistFolder = Absolute(c.playlists.value_or(setup.DefaultPlaylistFolder()));
    o.associate = c.associate.value_or(true);
    o.desktopShortcut = !c.noDesktop;
    o.video = c.video;
    if (!lyb::CSetup::IsUsableGroupName(o.group)) {
        std::fprintf(stderr, "setup: \"%s\" cannot be a program group (one folder name, no '/')\n", o.group.c_str());
        return lyb::kSetupExitBadOption;
    }
    if (o.video && !setup.HasVideos()) {
        std::fprintf(stderr, "setup: this distribution has no videos\n");
        return lyb::kSetupExitBadOption;
    }
    switch (setup.PrepareDestination(o.destination)) {
    case lyb::CSetup::FolderCheck::Usable: break;
    case lyb::CSetup::FolderCheck::NotCreated:
        std::fprintf(stderr, "setup: %s\n", setup.Texts().Format(lyb::txt::FolderNotCreated, {o.destination}).c_str());
        return lyb::kSetupFolderFailed;
    case lyb::CSetup::FolderCheck::NotWritable:
        std::fprintf(stderr, "setup: %s\n", setup.Texts().Format(lyb::txt::FolderNotWritable, {o.destination}).c_str());
        return lyb::kSetupCopyFailed;
    }
    ConsoleProgress progress;
    const int result = setup.Install(o, &progress);
    if (result != 0)
        return result;
    std::printf("%s %s\n", setup.Texts().Get(lyb::txt::Done).c_str(), o.destination.c_str());
    if (setup.AspiPresent(o.destination)) {
        std::printf("%s\n", setup.Texts().Get(lyb::txt::AspiPresent).c_str());
    } else {
        std::printf("%s\n", setup.Texts().Get(lyb::txt::AspiMissing).c_str());
        if (c.aspiSetup) {
            std::string output;
            const int failure = setup.RunAspiSetup(&output);
            std::printf("%s\n", failure ? setup.Texts().Get(failure).c_str() : output.c_str());
        }
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    lyb::InitTraceFromEnvironment();
    const CommandLine c = Parse(argc, argv);
    if (!c.error.empty()) {
        if (c.error != "help")
            std::fprintf(stderr, "setup: %s\n", c.error.c_str());
        Usage();
        return c.error == "help" ? 0 : lyb::kSetupExitBadOption;
    }

    std::unique_ptr<QApplication> qapp;
    if (!c.unattended)
        qapp = std::make_unique<QApplication>(argc, argv);
    lyb::QtPrompt guiPrompt;
    lyb::ConsolePrompt consolePrompt([&c](const std::string&, lyb::PromptButtons) {
        return c.associate.value_or(true) ? lyb::PromptAnswer::Yes : lyb::PromptAnswer::No;
    });

    lyb::CSetupWizard* wizard = nullptr;
    lyb::SetupEnvironment env;
    env.registry = lyb::OpenDefaultRegistry();
    env.prompt = c.unattended ? static_cast<lyb::Prompt*>(&consolePrompt) : &guiPrompt;
    env.sourceFolder = lyb::ProgramFolder();
    env.runtimeFolder = lyb::RuntimeFolder();
    env.xdg = lyb::XdgFolders::FromEnvironment();
    const char* home = std::getenv("HOME");
    env.home = home && *home ? home : "/tmp";
    if (!c.unattended)
        env.pump = [&wizard] {
            QCoreApplication::processEvents();
            return !(wizard && wizard->StopRequested());
        };

    lyb::CSetup setup(env);
    if (env.sourceFolder == "." || !lyb::IsPlainFullPath(env.sourceFolder)) {
        std::fprintf(stderr, "setup: error 1: %s\n", setup.Texts().Get(lyb::txt::Error1).c_str());
        return lyb::kSetupNoModulePath;
    }
    switch (setup.Start(c.setupArgs)) {
    case lyb::CSetup::StartResult::Ready: break;
    case lyb::CSetup::StartResult::SetupRunning:
    case lyb::CSetup::StartResult::OtherProgramRunning: return lyb::kSetupExitRunning;
    case lyb::CSetup::StartResult::NoLanguages:
    case lyb::CSetup::StartResult::NoFileList: {
        const int id = setup.Languages().languages.empty() ? lyb::txt::LanguageListMissing : lyb::txt::SetupListMissing;
        env.prompt->Ask(setup.Texts().Get(id) + "\n\n" + setup.StartError(), setup.Texts().Get(lyb::txt::SetupCaption),
                        lyb::PromptButtons::Ok, lyb::PromptIcon::Stop);
        return lyb::kSetupExitBadDistribution;
    }
    }

    if (c.unattended)
        return RunUnattended(setup, c);

    lyb::CSetupWizard w(setup);
    wizard = &w;
    if (c.dest)
        w.Options().destination = Absolute(*c.dest);
    if (c.group)
        w.Options().group = *c.group;
    if (c.music)
        w.Options().musicFolder = Absolute(*c.music);
    if (c.playlists)
        w.Options().playlistFolder = Absolute(*c.playlists);
    w.Options().associate = c.associate;
    w.Options().desktopShortcut = !c.noDesktop;
    w.Retranslate();
    w.show();
    if (const char* shot = std::getenv("LYB30_SCREENSHOT"); shot && *shot) {
        const QString file = QString::fromLocal8Bit(shot);
        QTimer::singleShot(300, &w, [&w, file] {
            w.grab().save(file);
            w.EndWith(lyb::kSetupExitCancelled);
        });
    }
    qapp->exec();
    return w.ExitCode();
}
