#include "ui/edit_item_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace lyb {

CEditItemDlg::CEditItemDlg(const EditDialogSpec& spec, QWidget* parent) : QDialog(parent) {
    setObjectName("CEditItemDlg");
    setWindowTitle(QString::fromStdString(spec.caption));
    auto* layout = new QVBoxLayout(this);
    group = new QGroupBox(QString::fromStdString(spec.group), this);
    auto* form = new QFormLayout(group);
    titleLabel = new QLabel(QString::fromStdString(spec.titleLabel), group);
    titleEdit = new QLineEdit(QString::fromStdString(spec.title), group);
    titleEdit->setObjectName("titleEdit");
    titleEdit->setMaxLength(static_cast<int>(kMaxTitleChars));
    titleEdit->setMinimumWidth(320);
    form->addRow(titleLabel, titleEdit);
    if (!spec.artistLabel.empty()) {
        artistLabel = new QLabel(QString::fromStdString(spec.artistLabel), group);
        artistEdit = new QLineEdit(QString::fromStdString(spec.artist), group);
        artistEdit->setObjectName("artistEdit");
        artistEdit->setMaxLength(static_cast<int>(kMaxTitleChars));
        form->addRow(artistLabel, artistEdit);
    }
    layout->addWidget(group);
    auto* buttons = new QDialogButtonBox(this);
    saveButton = buttons->addButton(QString::fromStdString(spec.saveText), QDialogButtonBox::AcceptRole);
    cancelButton = buttons->addButton(QString::fromStdString(spec.cancelText), QDialogButtonBox::RejectRole);
    saveButton->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    titleEdit->selectAll();
    titleEdit->setFocus();
}

std::string CEditItemDlg::Title() const {
    return titleEdit->text().toStdString();
}

std::string CEditItemDlg::Artist() const {
    return artistEdit ? artistEdit->text().toStdString() : std::string();
}

} // namespace lyb
