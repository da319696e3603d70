// The about box: the product, its version, what it is for, the maker and
// which of the components loaded at start-up are present.
#pragma once

#include <QDialog>

class QPushButton;

namespace lyb {

class CLyb30App;

class CAboutDlg final : public QDialog {
public:
    explicit CAboutDlg(const CLyb30App& app, QWidget* parent = nullptr);
    QPushButton* okButton = nullptr;
};

} // namespace lyb
