// The Club Orvik page: the maker's music pages in a simple web view with
// Back, Forward, Stop, Refresh and Home, the address shown, a list of
// favourite links and a button that opens the address in the desktop's
// web browser.
//
// The view shows HTML itself (no script, no style sheets): local pages
// directly, remote pages fetched over HTTP(S). When the maker's host name
// cannot be resolved (no connection) it shows an offline page instead,
// from which the address can be opened in the desktop's browser.
#pragma once

#include "ui/pages.h"
#include "ui/shell/browser_history.h"

#include <QPointer>
#include <QUrl>

#include <functional>
#include <string>

class QLineEdit;
class QNetworkAccessManager;
class QNetworkReply;
class QTextBrowser;
class QToolButton;

namespace lyb {

class CLyb30App;

class CClubOrvikForm final : public CFormView {
public:
    CClubOrvikForm(CLyb30App& app, const std::string& startUrl, QWidget* parent = nullptr);
    ~CClubOrvikForm() override;

    /// What the page shows now.
    enum class Showing { Nothing, Page, Offline, Error, NoAddress };

    void Home();
    void Back();
    void Forward();
    void Stop();
    void Refresh();
    /// Goes to an address (a new history entry).
    void Navigate(const QUrl& url);
    /// Opens the current address (the start address on the offline page) in
    /// the desktop's web browser; false when the desktop refuses.
    bool OpenInBrowser();

    QUrl StartUrl() const { return m_start; }
    QUrl CurrentUrl() const { return m_current; }
    Showing Shows() const { return m_showing; }
    bool Loading() const { return !m_reply.isNull(); }
    const BrowserHistory& History() const { return m_history; }

    QTextBrowser* View() const { return m_view; }
    QLineEdit* AddressField() const { return m_address; }
    QToolButton* BackButton() const { return m_back; }
    QToolButton* ForwardButton() const { return m_forward; }
    QToolButton* StopButton() const { return m_stop; }
    QToolButton* RefreshButton() const { return m_refresh; }
    QToolButton* HomeButton() const { return m_home; }
    QToolButton* BrowserButton() const { return m_browser; }
    QToolButton* FavouritesButton() const { return m_favourites; }

    /// How an address is handed to the desktop (tests replace it).
    std::function<bool(const QUrl&)> openExternal;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Load(const QUrl& url);
    void Finished(QNetworkReply* reply);
    void ShowHtml(const QString& html, const QUrl& base);
    void ShowOffline();
    void ShowError(const QString& detail);
    void LinkClicked(const QUrl& link);
    void UpdateButtons();

    CLyb30App& m_app;
    QUrl m_start;
    QUrl m_current;
    BrowserHistory m_history;
    Showing m_showing = Showing::Nothing;
    bool m_started = false;
    QNetworkAccessManager* m_net = nullptr;
    QPointer<QNetworkReply> m_reply;
    QTextBrowser* m_view = nullptr;
    QLineEdit* m_address = nullptr;
    QToolButton *m_back = nullptr, *m_forward = nullptr, *m_stop = nullptr, *m_refresh = nullptr,
                *m_home = nullptr, *m_browser = nullptr, *m_favourites = nullptr;
};

} // namespace lyb
