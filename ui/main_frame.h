// The main window: the page strip beside the three pages, the main menu,
// the keyboard accelerators, the status bar with the commands' prompts,
// and help.
//
// Every command goes through OnCommand(number). The frame performs its own
// commands (page switch and cycle, exit, preferences, help, about, open);
// the pages' commands are handlers that the shell registers for the page
// that owns each one (SetCommandHandler). A command without a handler is
// shown disabled.
#pragma once

#include "ui/shell/main_commands.h"

#include <QKeySequence>
#include <QMainWindow>
#include <QPointer>

#include <functional>
#include <map>
#include <memory>
#include <optional>

class QAction;
class QFileDialog;
class QLabel;
class QStackedWidget;
class QVBoxLayout;

namespace lyb {

class CLyb30App;
class CChildFrame;
class CHelpWindow;
class CPageStrip;
class MessageTarget;
class QtMessageTarget;
class VolumeWatcher;
struct VolumeChange;

class CMainFrame final : public QMainWindow {
public:
    explicit CMainFrame(CLyb30App& app, QWidget* parent = nullptr);
    ~CMainFrame() override;

    /// Adds a page's child frame (registration order: CD Player, Club
    /// Orvik, Music Studio). The caption is the strip's, not this one.
    void AddPage(CChildFrame* frame, const QString& caption);
    /// Shows the page of template `index` (0 CD Player, 1 Club Orvik, 2 Music Studio).
    void ShowPage(int index);
    /// Template index of the page shown, -1 before the first.
    int CurrentPage() const;
    int PageCount() const;
    CChildFrame* Page(int index) const;

    /// The page switch: the page's view fills the window, the strip shows
    /// its button selected, the application object holds the page code.
    void SwitchPage(PageCode page);
    PageCode CurrentPageCode() const;
    /// Switching pages off and on (off while a CD is ripped).
    void EnablePageSwitch(bool on);
    bool PageSwitchEnabled() const { return m_pageSwitchEnabled; }

    /// Puts the player dialog under the pages.
    void SetPlayerDialog(QWidget* dialog);

    // --- Commands -------------------------------------------------------------------
    /// Registers what a command does and, optionally, when it is available.
    void SetCommandHandler(int command, std::function<void()> run, std::function<bool()> enabled = {});
    bool HasCommandHandler(int command) const;
    bool CommandEnabled(int command) const;
    /// Performs a command; false when it has no handler or is not available now.
    bool OnCommand(int command);
    /// The command of a key press, 0 when the accelerator table has none.
    static int CommandOfKey(QKeyCombination key);
    /// The menu item of a command (null for commands reached by keys only).
    QAction* MenuAction(int command) const;
    CPageStrip* Strip() const { return m_strip; }
    QLabel* IdleLabel() const { return m_idle; }

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

    // --- Help -----------------------------------------------------------------------
    /// Help for the window under `globalPos`; `frameworkContext` is what the
    /// framework asks for (nullopt: the default topic).
    void RunHelp(std::optional<unsigned> frameworkContext, const QPoint& globalPos);
    /// What the pointer at `globalPos` is over, for the help rules.
    HelpTarget HelpTargetAt(const QPoint& globalPos) const;
    /// The context the framework asks for over a widget (its page's or its dialog's).
    std::optional<unsigned> FrameworkContextOf(const QWidget* widget) const;
    /// Shift+F1: the next click names the window to explain; Escape leaves.
    void EnterContextHelp();
    bool InContextHelp() const { return m_contextHelp; }
    CHelpWindow* HelpWindow() const { return m_help; }
    /// The last request given to the help viewer and whether it fell back
    /// to the default topic.
    const HelpRequest& LastHelpRequest() const { return m_lastHelp; }
    bool LastHelpFellBack() const { return m_lastHelpFellBack; }

    /// The open-file dialog of Ctrl+O while it is open.
    QFileDialog* PendingOpenDialog() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildMenu();
    void UpdateMenu(QMenu* menu);
    void UpdateTitle();
    void OnFileOpen();
    void OnAbout();
    void OnExit();
    void LeaveContextHelp();
    void ShowHelp(const HelpRequest& request);
    CChildFrame* FrameOfPage(PageCode page) const;

    struct Handler {
        std::function<void()> run;
        std::function<bool()> enabled;
    };

    CLyb30App& m_app;
    CPageStrip* m_strip = nullptr;
    QStackedWidget* m_pages = nullptr;
    QVBoxLayout* m_pageColumn = nullptr;
    QWidget* m_playerDialog = nullptr;
    QLabel* m_idle = nullptr;
    CHelpWindow* m_help = nullptr;
    std::map<int, Handler> m_handlers;
    std::map<int, QAction*> m_menuActions;
    QPointer<QFileDialog> m_openDialog;
    std::unique_ptr<QtMessageTarget> m_target;
    std::unique_ptr<VolumeWatcher> m_watcher; // stopped before the target and the pages go
    HelpRequest m_lastHelp;
    bool m_lastHelpFellBack = false;
    bool m_contextHelp = false;
    bool m_pageSwitchEnabled = true;
    bool m_closing = false;
};

} // namespace lyb
