// The edit dialog of the Music Studio in its three modes (edit track, edit
// playlist, create playlist): a title field, for tracks an artist field,
// "Save" and "Cancel". Fields accept at most 255 characters.
#pragma once

#include "library/studio_page.h"

#include <QDialog>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace lyb {

class CEditItemDlg final : public QDialog {
  public:
    explicit CEditItemDlg(const EditDialogSpec& texts, QWidget* parent = nullptr);

    std::string Title() const;
    std::string Artist() const;

    QGroupBox* group = nullptr;
    QLabel* titleLabel = nullptr;
    QLabel* artistLabel = nullptr;
    QLineEdit* titleEdit = nullptr;
    QLineEdit* artistEdit = nullptr; ///< null in the playlist modes
    QPushButton* saveButton = nullptr;
    QPushButton* cancelButton = nullptr;
};

} // namespace lyb
