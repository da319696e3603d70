// The main window: the page strip over the three pages.
#pragma once

#include <QMainWindow>

class QStackedWidget;
class QTabBar;

namespace lyb {

class CLyb30App;
class CChildFrame;

class CMainFrame final : public QMainWindow {
public:
    explicit CMainFrame(CLyb30App& app, QWidget* parent = nullptr);

    /// Adds a page's child frame with its strip caption (registration order).
    void AddPage(CChildFrame* frame, const QString& caption);
    void ShowPage(int index);
    int CurrentPage() const;
    int PageCount() const;
    CChildFrame* Page(int index) const;
    /// Enables or disables switching pages (off while a CD rip runs).
    void EnablePageSwitch(bool on);
    bool PageSwitchEnabled() const;

    /// Puts the player dialog under the pages.
    void SetPlayerDialog(QWidget* dialog);

    /// The "Program preferences" command.
    void OnPreferences();

private:
    CLyb30App& m_app;
    QTabBar* m_strip = nullptr;
    QStackedWidget* m_pages = nullptr;
    QWidget* m_playerDialog = nullptr;
};

} // namespace lyb
