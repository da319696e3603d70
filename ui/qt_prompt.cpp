#include "ui/qt_prompt.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QThread>

namespace lyb {

namespace {

// The buttons' localiser numbers and English texts.
struct ButtonName {
    QMessageBox::StandardButton button;
    int id;
    const char* english;
};
constexpr ButtonName kButtonNames[] = {
    {QMessageBox::Ok, 199, "OK"},   {QMessageBox::Cancel, 200, "Cancel"}, {QMessageBox::Yes, 381, "&Yes"},
    {QMessageBox::No, 382, "&No"}, {QMessageBox::Retry, 383, "&Retry"},
};

PromptAnswer AskNow(const std::string& text, const std::string& caption, PromptButtons buttons, PromptIcon icon,
                    const QtPrompt::ButtonText& buttonText) {
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
    if (buttonText)
        for (const ButtonName& b : kButtonNames)
            if (QAbstractButton* button = box.button(b.button))
                button->setText(QString::fromStdString(buttonText(b.id, b.english)));
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
        return AskNow(text, caption, buttons, icon, m_buttonText);
    PromptAnswer answer = PromptAnswer::Cancel;
    QMetaObject::invokeMethod(
        app, [&] { answer = AskNow(text, caption, buttons, icon, m_buttonText); }, Qt::BlockingQueuedConnection);
    return answer;
}

} // namespace lyb
