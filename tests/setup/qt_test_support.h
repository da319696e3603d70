// Helpers of the offscreen widget tests of the installer and uninstaller.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QPixmap>
#include <QWidget>

#include <cstdlib>
#include <string>

namespace lyb::test {

/// The one application object of a widget test (offscreen unless told).
inline QApplication& TestApp() {
    static int argc = 1;
    static char name[] = "lyb_widget_tests";
    static char* argv[] = {name, nullptr};
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Kept to the end of the process: destroyed among the static
    // destructors it would outlive Qt's own thread storage.
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

/// Grabs the widget; saved as NAME.png in $LYB_SCREENSHOT_DIR when set.
inline void Shot(QWidget& w, const std::string& name) {
    const QPixmap p = w.grab();
    ASSERT_FALSE(p.isNull());
    if (const char* dir = std::getenv("LYB_SCREENSHOT_DIR"))
        p.save(QString::fromStdString(std::string(dir) + "/" + name + ".png"), "PNG");
}

} // namespace lyb::test
