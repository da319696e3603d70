// The "Search disks for music" dialog: a thin view over DiskSearch. The
// worker's messages arrive on the user-interface thread; the files found
// are added to the Studio there, a slice at a time, so the dialog keeps
// answering while they go in.
#pragma once

#include "library/disk_search.h"

#include <QDialog>

#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace lyb {

class QtMessageTarget;

class CSearchDlg final : public QDialog {
  public:
    CSearchDlg(StudioPage& page, const std::string& musicFolder, QWidget* parent = nullptr);
    ~CSearchDlg() override;

    DiskSearch& State() { return *m_state; }

    QComboBox* drives = nullptr;
    QLineEdit* folder = nullptr;
    QPushButton* browse = nullptr;
    QCheckBox* subfolders = nullptr;
    QComboBox* types = nullptr;
    QLabel* patterns = nullptr;
    QLabel* status = nullptr;
    QPushButton* startStop = nullptr;
    QPushButton* closeButton = nullptr;

    /// The "Close" button (also Esc and the window's close box).
    void reject() override;

  private:
    void Refresh();
    void AddSlice();

    std::unique_ptr<QtMessageTarget> m_target;
    std::unique_ptr<DiskSearch> m_state;
    bool m_addingScheduled = false;
};

} // namespace lyb
