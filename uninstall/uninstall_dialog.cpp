#include "uninstall/uninstall_dialog.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

namespace lyb {

CUninstallDialog::CUninstallDialog(const std::string& caption, QWidget* parent) : QDialog(parent) {
    setObjectName("CUninstallDialog");
    setWindowTitle(QString::fromStdString(caption));
    auto* layout = new QVBoxLayout(this);
    m_text = new QLabel(this);
    m_text->setTextFormat(Qt::PlainText);
    m_text->setMinimumWidth(380);
    m_bar = new QProgressBar(this);
    m_bar->setRange(0, 100);
    layout->addWidget(m_text);
    layout->addWidget(m_bar);
    // The removal runs to its end: nothing to cancel half way.
    setWindowFlags(windowFlags() & ~Qt::WindowCloseButtonHint);
}

void CUninstallDialog::Step(const std::string& text, int percent) {
    if (!text.empty())
        m_text->setText(QString::fromStdString(text));
    m_bar->setValue(percent);
    QCoreApplication::processEvents();
}

QString CUninstallDialog::StepText() const { return m_text->text(); }

int CUninstallDialog::Percent() const { return m_bar->value(); }

} // namespace lyb
