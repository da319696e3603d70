// The main window: the page strip over the three pages.
#pragma once

#include <QMainWindow>

#include <memory>

class QStackedWidget;
class QTabBar;

namespace lyb {

class CLyb30App;
class CChildFrame;
class MessageTarget;
class QtMessageTarget;
class VolumeWatcher;
struct VolumeChange;

class CMainFrame final : public QMainWindow {
public:
    explicit CMainFrame(CLyb30App& app, QWidget* parent = nullptr);
    ~CMainFrame() override;

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

    /// Starts watching the CD drives for discs and the mounted volumes for
    /// cards coming and going (once the pages exist).
    void StartDeviceWatch();
    /// A device change: a disc goes to the CD Player page, a volume to the
    /// Mobile Device page (refreshed at once on arrival, by message 1923 on
    /// removal).
    void OnDeviceChange(const VolumeChange& change);
    /// The window's own messages (the device changes arrive here).
    MessageTarget* Target() const;

private:
    CLyb30App& m_app;
    QTabBar* m_strip = nullptr;
    QStackedWidget* m_pages = nullptr;
    QWidget* m_playerDialog = nullptr;
    std::unique_ptr<QtMessageTarget> m_target;
    std::unique_ptr<VolumeWatcher> m_watcher; // stopped before the target and the pages go
};

} // namespace lyb
