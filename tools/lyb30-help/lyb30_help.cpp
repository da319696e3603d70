// lyb30-help: shows a compiled help file in the program's help window.
//
//   lyb30-help [HELPFILE]
//
// Without an argument it opens the help beside it: the localised
// "lyb30l.chm" when there is one, else "lyb30.chm". The localised help is
// shown with the interface language of the installation ("lang.dat" in the
// same folder, read as the program reads it), and right to left when the
// installation's language is written that way. LYB30_SCREENSHOT=file.png
// saves the window once it is shown, then ends.
#include "app/help_files.h"
#include "app/localize.h"
#include "app/settings.h"
#include "platform/linux/file_registry.h"
#include "platform/shared_library.h"
#include "platform/registry.h"
#include "ui/help_window.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    std::string path;
    if (argc > 2 || (argc == 2 && argv[1][0] == '-')) {
        std::fprintf(stderr, "usage: lyb30-help [HELPFILE]\n");
        return 2;
    }
    const std::string folder = fs::path(lyb::ProgramPath()).parent_path().string();
    if (argc == 2)
        path = argv[1];
    else if (fs::exists(lyb::HelpFilePath(folder, true)))
        path = lyb::HelpFilePath(folder, true);
    else
        path = lyb::HelpFilePath(folder, false);

    // The localised help speaks the installation's language.
    lyb::CLocalize localize;
    const bool localised = fs::path(path).filename() == "lyb30l.chm";
    if (localised) {
        std::uint32_t codePage = 1252;
        lyb::RegKey key;
        if (lyb::OpenDefaultRegistry()->OpenKey(lyb::Hive::LocalMachine, lyb::kSettingsKey, lyb::RegAccess::Read,
                                                key) == lyb::RegStatus::Ok)
            key.QueryDword("CodePage", codePage);
        localize.SetCodePage(codePage);
        localize.SetPath(fs::path(path).parent_path().string() + "/lang.dat");
        localize.Load();
        if (codePage == 1255 || codePage == 1256)
            QApplication::setLayoutDirection(Qt::RightToLeft);
    }

    lyb::CHelpWindow window(localize);
    if (!window.Open(path)) {
        std::fprintf(stderr, "lyb30-help: %s is not a help file that can be read\n", path.c_str());
        return 1;
    }
    window.ShowContents();
    window.ShowDefaultTopic();
    window.show();
    if (const char* shot = std::getenv("LYB30_SCREENSHOT"); shot && *shot) {
        const std::string file = shot;
        QTimer::singleShot(300, &window, [&window, file] {
            window.grab().save(QString::fromStdString(file));
            QApplication::quit();
        });
    }
    return app.exec();
}
