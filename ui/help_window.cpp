#include "ui/help_window.h"

#include "app/localize.h"
#include "platform/trace.h"
#include "ui/shell/shell_texts.h"

#include <QDesktopServices>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QResource>
#include <QSplitter>
#include <QStyle>
#include <QTextBrowser>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <atomic>
#include <vector>

namespace lyb {

namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

// Each opened bundle gets a resource root of its own, so a file replaced on
// disk is never confused with the one mapped before.
QString NewRoot() {
    static std::atomic<int> next{1};
    return QStringLiteral("/lyb-help-%1").arg(next++);
}

constexpr int kTopicRole = Qt::UserRole + 1;

} // namespace

CHelpFile::~CHelpFile() {
    Close();
}

void CHelpFile::Close() {
    if (m_open)
        QResource::unregisterResource(QFile::decodeName(m_path.c_str()), m_root);
    m_open = false;
    m_project = {};
    m_path.clear();
}

bool CHelpFile::Open(const std::string& path) {
    Close();
    const QString root = NewRoot();
    if (!QResource::registerResource(QFile::decodeName(path.c_str()), root)) {
        TraceFormat("Help: %s is no help file", path.c_str());
        return false;
    }
    QFile project(QStringLiteral(":") + root + QStringLiteral("/") + QString::fromLatin1(kHelpProjectName));
    if (!project.open(QIODevice::ReadOnly)) {
        QResource::unregisterResource(QFile::decodeName(path.c_str()), root);
        TraceFormat("Help: %s has no project", path.c_str());
        return false;
    }
    const QByteArray text = project.readAll();
    m_project = ParseHelpProject(std::string_view(text.constData(), static_cast<size_t>(text.size())));
    const QFileInfo info(QFile::decodeName(path.c_str()));
    m_size = info.size();
    m_modified = info.lastModified().toMSecsSinceEpoch();
    m_root = root;
    m_path = path;
    m_open = true;
    return true;
}

bool CHelpFile::Unchanged() const {
    const QFileInfo info(QFile::decodeName(m_path.c_str()));
    return m_open && info.exists() && info.size() == m_size && info.lastModified().toMSecsSinceEpoch() == m_modified;
}

bool CHelpFile::HasTopic(const std::string& topic) const {
    return m_open && IsSafeTopicPath(topic) && QFile::exists(QStringLiteral(":") + m_root + "/" + Q(topic));
}

QUrl CHelpFile::TopicUrl(const std::string& topic) const {
    QUrl url;
    url.setScheme("qrc");
    url.setPath(m_root + "/" + Q(topic));
    return url;
}

std::string CHelpFile::TopicOfUrl(const QUrl& url) const {
    if (!m_open || url.scheme() != "qrc")
        return {};
    const QString prefix = m_root + "/";
    const QString path = url.path();
    return path.startsWith(prefix) ? path.mid(prefix.size()).toStdString() : std::string();
}

CHelpWindow::CHelpWindow(const CLocalize& localize, QWidget* parent) : QWidget(parent, Qt::Window), m_localize(localize) {
    setObjectName("CHelpWindow");
    setWindowTitle(Q(Tr(localize, texts::kHelpTitle)));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    auto* bar = new QHBoxLayout;
    auto button = [&](const char* name, UiText text, QStyle::StandardPixmap icon) {
        auto* b = new QToolButton(this);
        b->setObjectName(name);
        b->setText(Q(Tr(localize, text)));
        b->setIcon(style()->standardIcon(icon));
        b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        b->setAutoRaise(true);
        bar->addWidget(b);
        return b;
    };
    const bool rtl = layoutDirection() == Qt::RightToLeft;
    m_back = button("helpBack", texts::kHelpBack, rtl ? QStyle::SP_ArrowRight : QStyle::SP_ArrowLeft);
    m_forward = button("helpForward", texts::kHelpForward, rtl ? QStyle::SP_ArrowLeft : QStyle::SP_ArrowRight);
    m_home = button("helpHome", texts::kHelpHome, QStyle::SP_DirHomeIcon);
    bar->addStretch(1);
    layout->addLayout(bar);

    m_splitter = new QSplitter(Qt::Horizontal, this);
    m_contents = new QTreeWidget(m_splitter);
    m_contents->setObjectName("helpContents");
    m_contents->setHeaderLabel(Q(Tr(localize, texts::kHelpContents)));
    m_browser = new QTextBrowser(m_splitter);
    m_browser->setObjectName("helpTopic");
    m_browser->setOpenLinks(false);
    m_splitter->setStretchFactor(1, 1);
    m_splitter->setSizes({220, 560});
    layout->addWidget(m_splitter, 1);
    m_back->setEnabled(false);
    m_forward->setEnabled(false);

    connect(m_back, &QToolButton::clicked, m_browser, &QTextBrowser::backward);
    connect(m_forward, &QToolButton::clicked, m_browser, &QTextBrowser::forward);
    connect(m_home, &QToolButton::clicked, this, [this] { ShowDefaultTopic(); });
    connect(m_browser, &QTextBrowser::backwardAvailable, m_back, &QToolButton::setEnabled);
    connect(m_browser, &QTextBrowser::forwardAvailable, m_forward, &QToolButton::setEnabled);
    connect(m_browser, &QTextBrowser::sourceChanged, this, [this](const QUrl& url) { SyncContents(url); });
    connect(m_browser, &QTextBrowser::anchorClicked, this, [this](const QUrl& link) {
        const QUrl url = m_browser->source().resolved(link);
        if (url.scheme() == "qrc" && !m_file.TopicOfUrl(url).empty())
            m_browser->setSource(url);
        else if (url.scheme() == "http" || url.scheme() == "https" || url.scheme() == "mailto")
            QDesktopServices::openUrl(url);
    });
    connect(m_contents, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
        const std::string topic = item->data(0, kTopicRole).toString().toStdString();
        if (!topic.empty())
            ShowTopic(topic);
    });
    connect(m_contents, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) {
        const std::string topic = item->data(0, kTopicRole).toString().toStdString();
        if (!topic.empty())
            ShowTopic(topic);
    });
    resize(820, 560);
}

bool CHelpWindow::Open(const std::string& path) {
    if (m_file.IsOpen() && m_file.Path() == path && m_file.Unchanged())
        return true;
    m_browser->clear();
    m_browser->clearHistory();
    m_contents->clear();
    if (!m_file.Open(path))
        return false;
    if (!m_file.Project().title.empty())
        setWindowTitle(Q(m_file.Project().title));
    FillContents();
    return true;
}

void CHelpWindow::FillContents() {
    m_contents->clear();
    std::vector<QTreeWidgetItem*> parents;
    for (const HelpContentsEntry& e : m_file.Project().contents) {
        const size_t level = std::min(static_cast<size_t>(e.level), parents.size());
        parents.resize(level);
        auto* item = parents.empty() ? new QTreeWidgetItem(m_contents) : new QTreeWidgetItem(parents.back());
        item->setText(0, Q(e.title));
        item->setData(0, kTopicRole, Q(e.topic));
        parents.push_back(item);
    }
    m_contents->expandAll();
}

void CHelpWindow::ShowContents() {
    QList<int> sizes = m_splitter->sizes();
    if (sizes.size() == 2 && sizes[0] == 0)
        m_splitter->setSizes({220, std::max(sizes[1] - 220, 300)});
    m_contents->show();
}

bool CHelpWindow::ShowTopic(const std::string& topic) {
    if (!m_file.HasTopic(topic))
        return false;
    m_browser->setSource(m_file.TopicUrl(topic));
    return true;
}

bool CHelpWindow::ShowContext(unsigned context) {
    const std::string topic = m_file.Project().TopicOf(context);
    if (topic.empty()) {
        TraceFormat("Help: no topic for context 0x%X", context);
        return false;
    }
    return ShowTopic(topic);
}

void CHelpWindow::ShowDefaultTopic() {
    if (ShowTopic(m_file.Project().defaultTopic))
        return;
    for (const HelpContentsEntry& e : m_file.Project().contents)
        if (ShowTopic(e.topic))
            return;
}

std::string CHelpWindow::CurrentTopic() const {
    return m_file.TopicOfUrl(m_browser->source());
}

void CHelpWindow::SyncContents(const QUrl& url) {
    const QString topic = Q(m_file.TopicOfUrl(url));
    for (QTreeWidgetItemIterator it(m_contents); *it; ++it) {
        if ((*it)->data(0, kTopicRole).toString() == topic) {
            m_contents->setCurrentItem(*it);
            return;
        }
    }
}

} // namespace lyb
