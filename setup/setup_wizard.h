// The installer's wizard (Qt): the pages over one CSetup. The pages hold
// no logic of their own: every check and every step is CSetup's; they show
// its texts and pass the user's choices on in InstallOptions.
#pragma once

#include "setup/installer.h"

#include <QWizard>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace lyb {

class CSetupWizard : public QWizard {
public:
    enum PageId { kInstalledPage, kWelcomePage, kDestinationPage, kGroupPage, kProgressPage, kAspiPage };

    explicit CSetupWizard(CSetup& setup, QWidget* parent = nullptr);

    /// The installer's exit code once the wizard has closed.
    int ExitCode() const { return m_exitCode; }
    CSetup& Setup() { return m_setup; }
    InstallOptions& Options() { return m_options; }
    /// The texts, fonts and direction of the chosen language, on every page.
    void Retranslate();
    /// Set when the installation ended.
    void SetExitCode(int code) { m_exitCode = code; }
    /// Closes the wizard at once with `code` (a fatal error ends it).
    void EndWith(int code) {
        m_exitCode = code;
        done(QDialog::Rejected);
    }
    /// True while the files are being copied (Cancel then asks and stops).
    bool Installing() const { return m_installing; }
    void SetInstalling(bool on) { m_installing = on; }
    /// The copy's question whether to stop, answered by the user's Cancel.
    bool StopRequested() const { return m_stopRequested; }

    void reject() override;

private:
    CSetup& m_setup;
    InstallOptions m_options;
    int m_exitCode = kSetupExitCancelled;
    int m_fontId = -1;
    bool m_installing = false;
    bool m_stopRequested = false;
};

} // namespace lyb
