// The Preferences dialog over CPreferencesModel.
#pragma once

#include "app/preferences.h"

#include <QDialog>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace lyb {

class CLyb30App;

class CPreferencesDlg final : public QDialog {
public:
    CPreferencesDlg(CLyb30App& app, QWidget* parent = nullptr);
    void accept() override;

    CPreferencesModel& Model() { return m_model; }
    QLineEdit* musicFolderEdit = nullptr;
    QLineEdit* playlistFolderEdit = nullptr;
    QPushButton* browseMusic = nullptr;
    QPushButton* browsePlaylist = nullptr;
    QButtonGroup* startup = nullptr;
    QCheckBox* alwaysOnTop = nullptr;
    QComboBox* bitrates = nullptr;
    QCheckBox *mp3 = nullptr, *aac = nullptr, *m3u = nullptr, *audioCd = nullptr;
    QPushButton *okButton = nullptr, *cancelButton = nullptr;

private:
    void Browse(QLineEdit* edit, const std::string& title);
    CPreferencesModel m_model;
};

} // namespace lyb
