#include "ui/qt_prompt.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

namespace lyb {

namespace {

PromptAnswer AskNow(const std::string& text, const std::string& caption, PromptButtons buttons, PromptIcon icon) {
    QMessageBox box;
    box.setText(QString::fromStdString(text));
    box.setWindowTitle(QString::fromStdString(caption));
    switch (icon) {
    case PromptIcon::None: box.setIcon(QMessageBox::NoIcon); break;
    case PromptIcon::Information: box.setIcon(QMessageBox::Information); break;
    case PromptIcon::Question: box.setIcon(QMessageBox::Question); break;
    case PromptIcon::Warning: box.setIcon(QMessageBox::Warning); break;
    case PromptIcon::Stop: box.setIcon(QMessageBox::Critical); break;
    }
    QMessageBox::StandardButtons set;
    switch (buttons) {
    case PromptButtons::Ok: set = QMessageBox::Ok; break;
    case PromptButtons::OkCancel: set = QMessageBox::Ok | QMessageBox::Cancel; break;
    case PromptButtons::YesNo: set = QMessageBox::Yes | QMessageBox::No; break;
    case PromptButtons::YesNoCancel: set = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel; break;
    case PromptButtons::RetryCancel: set = QMessageBox::Retry | QMessageBox::Cancel; break;
    }
    box.setStandardButtons(set);
    switch (box.exec()) {
    case QMessageBox::Yes: return PromptAnswer::Yes;
    case QMessageBox::No: return PromptAnswer::No;
    case QMessageBox::Cancel: return PromptAnswer::Cancel;
    case QMessageBox::Retry: return PromptAnswer::Retry;
    case QMessageBox::Ok: return PromptAnswer::Ok;
    default:
        // Closed by the window's close button: the safe answer.
        return buttons == PromptButtons::YesNo ? PromptAnswer::No
               : buttons == PromptButtons::Ok  ? PromptAnswer::Ok
                                               : PromptAnswer::Cancel;
    }
}

} // namespace

PromptAnswer QtPrompt::Ask(const std::string& text, const std::string& caption, PromptButtons buttons,
                           PromptIcon icon) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() == app->thread())
        return AskNow(text, caption, buttons, icon);
    PromptAnswer answer = PromptAnswer::Cancel;
    QMetaObject::invokeMethod(
        app, [&] { answer = AskNow(text, caption, buttons, icon); }, Qt::BlockingQueuedConnection);
    return answer;
}

} // namespace lyb
