#include "ui/edit_item_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace lyb {

CEditItemDlg::CEditItemDlg(const EditDialogSpec& texts, QWidget* parent) : QDialog(parent) {
    setObjectName("CEditItemDlg");
    setWindowTitle(QString::fromStdString(texts.caption));
    auto* layout = new QVBoxLayout(this);
    group = new QGroupBox(QString::fromStdString(texts.group), this);
    auto* form = new QFormLayout(group);
    titleLabel = new QLabel(QString::fromStdString(texts.titleLabel), group);
    titleEdit = new QLineEdit(QString::fromStdString(texts.title), group);
    titleEdit->setObjectName("titleEdit");
    titleEdit->setMaxLength(static_cast<int>(kMaxTitleChars));
    titleEdit->setMinimumWidth(320);
    form->addRow(titleLabel, titleEdit);
    if (!texts.artistLabel.empty()) {
        artistLabel = new QLabel(QString::fromStdString(texts.artistLabel), group);
        artistEdit = new QLineEdit(QString::fromStdString(texts.artist), group);
        artistEdit->setObjectName("artistEdit");
        artistEdit->setMaxLength(static_cast<int>(kMaxTitleChars));
        form->addRow(artistLabel, artistEdit);
    }
    layout->addWidget(group);
    auto* buttons = new QDialogButtonBox(this);
    saveButton = buttons->addButton(QString::fromStdString(texts.saveText), QDialogButtonBox::AcceptRole);
    cancelButton = buttons->addButton(QString::fromStdString(texts.cancelText), QDialogButtonBox::RejectRole);
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
