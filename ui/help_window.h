// The help viewer: a window with the help file's table of contents beside
// the topic it shows. The help file is a compiled bundle of HTML pages (see
// ui/shell/help_project.h) that the window maps into the resource system
// while it is open.
#pragma once

#include "ui/shell/help_project.h"

#include <QString>
#include <QUrl>
#include <QWidget>

#include <string>

class QTextBrowser;
class QTreeWidget;
class QTreeWidgetItem;
class QSplitter;
class QToolButton;

namespace lyb {

class CLocalize;

/// An opened help file: the bundle mapped below a resource root of its own.
class CHelpFile {
public:
    CHelpFile() = default;
    ~CHelpFile();
    CHelpFile(const CHelpFile&) = delete;
    CHelpFile& operator=(const CHelpFile&) = delete;

    /// Opens the bundle at `path`; false when it cannot be read or holds no project.
    bool Open(const std::string& path);
    void Close();
    bool IsOpen() const { return m_open; }
    const std::string& Path() const { return m_path; }
    const HelpProject& Project() const { return m_project; }
    /// True when the bundle holds the page `topic`.
    bool HasTopic(const std::string& topic) const;
    /// The address of a page of the bundle.
    QUrl TopicUrl(const std::string& topic) const;
    /// The page path of an address inside the bundle ("" for other addresses).
    std::string TopicOfUrl(const QUrl& url) const;
    /// True while the file on disk is the one opened (not replaced or removed).
    bool Unchanged() const;

private:
    std::string m_path;
    qint64 m_size = -1;
    qint64 m_modified = 0;
    QString m_root;
    HelpProject m_project;
    bool m_open = false;
};

class CHelpWindow final : public QWidget {
public:
    explicit CHelpWindow(const CLocalize& localize, QWidget* parent = nullptr);

    /// Opens a help file (kept open when it is the one already shown and
    /// has not changed on disk since).
    bool Open(const std::string& path);
    const CHelpFile& File() const { return m_file; }
    /// Shows the table of contents pane.
    void ShowContents();
    /// Shows the topic mapped to `context`; false (the viewer's error) when
    /// the file maps no topic to it or lacks the page.
    bool ShowContext(unsigned context);
    /// Shows the file's default topic (the first page of the contents when
    /// the project names none).
    void ShowDefaultTopic();
    /// The page shown now (a path inside the bundle).
    std::string CurrentTopic() const;

    QTreeWidget* Contents() const { return m_contents; }
    QTextBrowser* Browser() const { return m_browser; }

private:
    bool ShowTopic(const std::string& topic);
    void FillContents();
    void SyncContents(const QUrl& url);

    const CLocalize& m_localize;
    CHelpFile m_file;
    QSplitter* m_splitter = nullptr;
    QTreeWidget* m_contents = nullptr;
    QTextBrowser* m_browser = nullptr;
    QToolButton* m_back = nullptr;
    QToolButton* m_forward = nullptr;
    QToolButton* m_home = nullptr;
};

} // namespace lyb
