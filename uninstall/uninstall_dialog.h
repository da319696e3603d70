// The uninstaller's progress window (Qt): the step's text and a bar.
#pragma once

#include "uninstall/uninstaller.h"

#include <QDialog>

class QLabel;
class QProgressBar;

namespace lyb {

class CUninstallDialog final : public QDialog, public UninstallProgress {
public:
    explicit CUninstallDialog(const std::string& caption, QWidget* parent = nullptr);
    void Step(const std::string& text, int percent) override;
    QString StepText() const;
    int Percent() const;

private:
    QLabel* m_text;
    QProgressBar* m_bar;
};

} // namespace lyb
