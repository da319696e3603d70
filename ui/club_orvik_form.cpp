#include "ui/club_orvik_form.h"

#include "app/lyb30_app.h"
#include "platform/trace.h"
#include "ui/shell/shell_texts.h"

#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QStringDecoder>
#include <QStyle>
#include <QTextBrowser>
#include <QToolButton>
#include <QVBoxLayout>

namespace lyb {

namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

// Errors that mean the maker's host cannot be reached from here at all.
bool IsOfflineError(QNetworkReply::NetworkError e) {
    switch (e) {
    case QNetworkReply::HostNotFoundError:
    case QNetworkReply::TimeoutError:
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::UnknownNetworkError:
    case QNetworkReply::ProxyNotFoundError:
        return true;
    default:
        return false;
    }
}

constexpr int kTransferTimeoutMs = 20000;

} // namespace

CClubOrvikForm::CClubOrvikForm(CLyb30App& app, const std::string& startUrl, QWidget* parent)
    : CFormView(parent), m_app(app), m_start(QUrl::fromUserInput(Q(startUrl))) {
    setObjectName("CClubOrvikForm");
    if (startUrl.empty())
        m_start = QUrl();
    openExternal = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    const CLocalize& l = app.m_oLocalize;
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    auto* bar = new QHBoxLayout;
    const bool rtl = layoutDirection() == Qt::RightToLeft;
    auto button = [&](const char* name, UiText text, QStyle::StandardPixmap icon) {
        auto* b = new QToolButton(this);
        b->setObjectName(name);
        b->setText(Q(Tr(l, text)));
        b->setToolTip(Q(Tr(l, text)));
        b->setIcon(style()->standardIcon(icon));
        b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        b->setAutoRaise(true);
        bar->addWidget(b);
        return b;
    };
    m_back = button("clubBack", texts::kBack, rtl ? QStyle::SP_ArrowRight : QStyle::SP_ArrowLeft);
    m_forward = button("clubForward", texts::kForward, rtl ? QStyle::SP_ArrowLeft : QStyle::SP_ArrowRight);
    m_stop = button("clubStop", texts::kStop, QStyle::SP_BrowserStop);
    m_refresh = button("clubRefresh", texts::kRefresh, QStyle::SP_BrowserReload);
    m_home = button("clubHome", texts::kHome, QStyle::SP_DirHomeIcon);
    m_favourites = button("clubFavourites", texts::kFavourites, QStyle::SP_DirLinkIcon);
    m_favourites->setPopupMode(QToolButton::InstantPopup);
    auto* favourites = new QMenu(m_favourites);
    favourites->setObjectName("clubFavouritesMenu");
    if (m_start.isValid()) {
        QAction* club = favourites->addAction(Q(Tr(l, texts::kFavouriteClub)));
        connect(club, &QAction::triggered, this, [this] { Navigate(m_start); });
    }
    QAction* games = favourites->addAction(Q(Tr(l, texts::kFavouriteGames)));
    connect(games, &QAction::triggered, this,
            [this] { Navigate(QUrl(QString::fromUtf8(CLocalize::kSiteAddress.data(),
                                                     static_cast<int>(CLocalize::kSiteAddress.size())))); });
    m_favourites->setMenu(favourites);

    bar->addStretch(1);
    layout->addLayout(bar);
    // The address on a row of its own, with the way out to the desktop's browser.
    auto* addressRow = new QHBoxLayout;
    auto* addressLabel = new QLabel(Q(Tr(l, texts::kAddress)), this);
    addressRow->addWidget(addressLabel);
    m_address = new QLineEdit(this);
    m_address->setObjectName("clubAddress");
    // Addresses read left to right in every language.
    m_address->setLayoutDirection(Qt::LeftToRight);
    addressLabel->setBuddy(m_address);
    addressRow->addWidget(m_address, 1);
    bar = addressRow;
    m_browser = button("clubOpenInBrowser", texts::kOpenInBrowser, QStyle::SP_DesktopIcon);
    layout->addLayout(addressRow);

    m_view = new QTextBrowser(this);
    m_view->setObjectName("clubView");
    m_view->setOpenLinks(false);
    layout->addWidget(m_view, 1);

    m_net = new QNetworkAccessManager(this);
    connect(m_back, &QToolButton::clicked, this, [this] { Back(); });
    connect(m_forward, &QToolButton::clicked, this, [this] { Forward(); });
    connect(m_stop, &QToolButton::clicked, this, [this] { Stop(); });
    connect(m_refresh, &QToolButton::clicked, this, [this] { Refresh(); });
    connect(m_home, &QToolButton::clicked, this, [this] { Home(); });
    connect(m_browser, &QToolButton::clicked, this, [this] { OpenInBrowser(); });
    connect(m_view, &QTextBrowser::anchorClicked, this, [this](const QUrl& link) { LinkClicked(link); });
    connect(m_address, &QLineEdit::returnPressed, this, [this] {
        const QUrl url = QUrl::fromUserInput(m_address->text().trimmed());
        if (url.isValid())
            Navigate(url);
    });
    UpdateButtons();
}

CClubOrvikForm::~CClubOrvikForm() {
    if (m_reply)
        m_reply->abort();
}

void CClubOrvikForm::showEvent(QShowEvent* event) {
    CFormView::showEvent(event);
    // The start address is loaded when the page is first looked at, not at
    // program start.
    if (!m_started) {
        m_started = true;
        Home();
    }
}

void CClubOrvikForm::Home() {
    m_started = true;
    if (!m_start.isValid()) {
        m_current = QUrl();
        m_address->clear();
        const QString body = "<p>" + Q(Tr(m_app.m_oLocalize, texts::kNoAddress)).toHtmlEscaped() + "</p>";
        ShowHtml(body, QUrl());
        m_showing = Showing::NoAddress;
        UpdateButtons();
        return;
    }
    Navigate(m_start);
}

void CClubOrvikForm::Navigate(const QUrl& url) {
    m_started = true;
    m_history.Visit(url.toString().toStdString());
    Load(url);
}

void CClubOrvikForm::Back() {
    if (m_history.CanGoBack())
        Load(QUrl(Q(m_history.Back())));
}

void CClubOrvikForm::Forward() {
    if (m_history.CanGoForward())
        Load(QUrl(Q(m_history.Forward())));
}

void CClubOrvikForm::Stop() {
    if (m_reply) {
        QNetworkReply* reply = m_reply;
        m_reply = nullptr;
        reply->abort();
        reply->deleteLater();
    }
    UpdateButtons();
}

void CClubOrvikForm::Refresh() {
    if (m_current.isValid())
        Load(m_current);
    else
        Home();
}

bool CClubOrvikForm::OpenInBrowser() {
    const QUrl url = m_showing == Showing::Page && m_current.isValid() ? m_current : m_start;
    if (!url.isValid() || !openExternal)
        return false;
    const bool ok = openExternal(url);
    TraceFormat("Club Orvik: open %s in the desktop's browser: %s", url.toString().toUtf8().constData(),
                ok ? "done" : "refused");
    return ok;
}

void CClubOrvikForm::Load(const QUrl& url) {
    Stop();
    m_current = url;
    m_address->setText(url.toString());
    const QString scheme = url.scheme().toLower();
    if (scheme == "file" || scheme == "qrc") {
        QFile file(scheme == "qrc" ? ":" + url.path() : url.toLocalFile());
        if (file.open(QIODevice::ReadOnly)) {
            const QByteArray body = file.readAll();
            QStringDecoder decoder = QStringDecoder::decoderForHtml(body);
            ShowHtml(decoder.isValid() ? decoder.decode(body) : QString::fromUtf8(body), url);
        } else {
            ShowError(file.errorString());
        }
        UpdateButtons();
        return;
    }
    if (scheme != "http" && scheme != "https") {
        if (openExternal)
            openExternal(url);
        UpdateButtons();
        return;
    }
    QNetworkRequest request(url);
    request.setTransferTimeout(kTransferTimeoutMs);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Lyrabox/3.0"));
    QNetworkReply* reply = m_net->get(request);
    m_reply = reply;
    connect(reply, &QNetworkReply::finished, this, [this, reply] { Finished(reply); });
    UpdateButtons();
}

void CClubOrvikForm::Finished(QNetworkReply* reply) {
    reply->deleteLater();
    if (reply != m_reply)
        return; // stopped or replaced by a newer request
    m_reply = nullptr;
    const QNetworkReply::NetworkError error = reply->error();
    if (error == QNetworkReply::OperationCanceledError) {
        UpdateButtons();
        return;
    }
    if (IsOfflineError(error)) {
        TraceFormat("Club Orvik: %s unreachable (%s)", reply->url().toString().toUtf8().constData(),
                    reply->errorString().toUtf8().constData());
        ShowOffline();
    } else if (error != QNetworkReply::NoError) {
        ShowError(reply->errorString());
    } else {
        const QByteArray body = reply->readAll();
        const QString type = reply->header(QNetworkRequest::ContentTypeHeader).toString().toLower();
        const QUrl base = reply->url();
        m_current = base;
        m_address->setText(base.toString());
        if (type.isEmpty() || type.startsWith("text/html") || type.startsWith("application/xhtml")) {
            QStringDecoder decoder = QStringDecoder::decoderForHtml(body);
            ShowHtml(decoder.isValid() ? decoder.decode(body) : QString::fromUtf8(body), base);
        } else if (type.startsWith("text/")) {
            ShowHtml("<pre>" + QString::fromUtf8(body).toHtmlEscaped() + "</pre>", base);
        } else {
            ShowError(Q(Tr(m_app.m_oLocalize, texts::kNotShown)));
        }
    }
    UpdateButtons();
}

void CClubOrvikForm::ShowHtml(const QString& html, const QUrl& base) {
    m_view->document()->setBaseUrl(base);
    m_view->setHtml(html);
    m_showing = Showing::Page;
}

void CClubOrvikForm::ShowOffline() {
    const CLocalize& l = m_app.m_oLocalize;
    const QString address = m_start.toString().toHtmlEscaped();
    QString logo;
    // The installer leaves the maker's logo beside its offline page.
    const QString logoPath = QFile::decodeName((m_app.Settings().installFolder + "/Offline/logo.jpg").c_str());
    if (QFileInfo::exists(logoPath))
        logo = "<p><img src=\"" + QUrl::fromLocalFile(logoPath).toString().toHtmlEscaped() + "\"></p>";
    const QString dir = layoutDirection() == Qt::RightToLeft ? "rtl" : "ltr";
    const QString html = "<html><body dir=\"" + dir + "\"><div align=\"center\">" + logo + "<h2>" +
                         Q(Tr(l, texts::kOfflineTitle)).toHtmlEscaped() + "</h2><p>" +
                         Q(Tr(l, texts::kOfflineBody)).toHtmlEscaped() + "</p><p dir=\"ltr\"><b>" + address +
                         "</b></p><p><a href=\"lyb:open-browser\">" +
                         Q(Tr(l, texts::kOfflineOpen)).toHtmlEscaped() + "</a></p></div></body></html>";
    m_view->document()->setBaseUrl(QUrl());
    m_view->setHtml(html);
    m_showing = Showing::Offline;
}

void CClubOrvikForm::ShowError(const QString& detail) {
    const CLocalize& l = m_app.m_oLocalize;
    const QString html = "<html><body><h3>" + Q(Tr(l, texts::kLoadFailed)).toHtmlEscaped() + "</h3><p dir=\"ltr\">" +
                         m_current.toString().toHtmlEscaped() + "</p><p>" + detail.toHtmlEscaped() +
                         "</p><p><a href=\"lyb:open-browser\">" + Q(Tr(l, texts::kOfflineOpen)).toHtmlEscaped() +
                         "</a></p></body></html>";
    m_view->document()->setBaseUrl(QUrl());
    m_view->setHtml(html);
    m_showing = Showing::Error;
}

void CClubOrvikForm::LinkClicked(const QUrl& link) {
    if (link.scheme() == "lyb") {
        if (link.path() == "open-browser") {
            // From the offline or error page: the address that failed.
            const QUrl url = m_current.isValid() ? m_current : m_start;
            if (url.isValid() && openExternal)
                openExternal(url);
        }
        return;
    }
    const QUrl url = m_current.resolved(link);
    if (url.matches(m_current, QUrl::RemoveFragment) && url.hasFragment()) {
        m_view->scrollToAnchor(url.fragment());
        return;
    }
    const QString scheme = url.scheme().toLower();
    if (scheme == "http" || scheme == "https" || scheme == "file" || scheme == "qrc")
        Navigate(url);
    else if (openExternal)
        openExternal(url);
}

void CClubOrvikForm::UpdateButtons() {
    m_back->setEnabled(m_history.CanGoBack());
    m_forward->setEnabled(m_history.CanGoForward());
    m_stop->setEnabled(Loading());
    m_refresh->setEnabled(m_current.isValid() || m_start.isValid());
    m_home->setEnabled(true);
    m_browser->setEnabled(m_start.isValid() || m_current.isValid());
}

} // namespace lyb
