#include "ui/qt_file_dialog.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QThread>

namespace lyb {

namespace {

std::optional<std::string> AskNow(const SaveFileRequest& r) {
    QFileDialog dialog;
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile); // the folder must exist; overwriting is confirmed
    dialog.setOption(QFileDialog::ReadOnly, false);
    if (!r.title.empty())
        dialog.setWindowTitle(QString::fromStdString(r.title));
    QStringList filters;
    for (const DialogFilter& f : ParseDialogFilter(r.filter)) {
        QStringList patterns;
        for (const std::string& p : f.patterns)
            patterns << (p == "*.*" ? QStringLiteral("*") : QString::fromStdString(p));
        QString name = QString::fromStdString(f.description);
        if (int paren = name.indexOf('('); paren > 0)
            name = name.left(paren).trimmed();
        filters << name + " (" + patterns.join(' ') + ")";
    }
    if (!filters.isEmpty())
        dialog.setNameFilters(filters);
    QString ext = QString::fromStdString(r.defaultExtension);
    if (ext.startsWith("*."))
        ext = ext.mid(2);
    if (!ext.isEmpty() && ext != "*")
        dialog.setDefaultSuffix(ext);
    if (!r.proposedPath.empty()) {
        QFileInfo proposed(QString::fromStdString(r.proposedPath));
        dialog.setDirectory(proposed.absolutePath());
        dialog.selectFile(proposed.fileName());
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().front().toStdString();
}

} // namespace

std::optional<std::string> QtFileDialog::SaveFileName(const SaveFileRequest& request) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() == app->thread())
        return AskNow(request);
    std::optional<std::string> answer;
    QMetaObject::invokeMethod(
        app, [&] { answer = AskNow(request); }, Qt::BlockingQueuedConnection);
    return answer;
}

} // namespace lyb
