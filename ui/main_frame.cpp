#include "ui/main_frame.h"

#include "app/help_files.h"
#include "app/lyb30_app.h"
#include "cd/cd_doc.h"
#include "cd/cd_manager.h"
#include "platform/cdrom/volume_watcher.h"
#include "platform/qt/qt_message_target.h"
#include "platform/trace.h"
#include "ui/cd_form.h"
#include "ui/mobile_device_form.h"
#include "ui/about_dialog.h"
#include "ui/help_window.h"
#include "ui/page_strip.h"
#include "ui/pages.h"
#include "ui/preferences_dialog.h"
#include "ui/qmenu_localize.h"
#include "ui/shell/shell_texts.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTextEdit>
#include <QVBoxLayout>

namespace lyb {

namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

// Keys that a text field keeps for its own editing while it has the focus.
bool IsTextEditingKey(QKeyCombination key) {
    const Qt::KeyboardModifiers mods = key.keyboardModifiers();
    if (mods != Qt::ControlModifier)
        return false;
    switch (key.key()) {
    case Qt::Key_A:
    case Qt::Key_U:
    case Qt::Key_E:
    case Qt::Key_Delete:
        return true;
    default:
        return false;
    }
}

bool IsEditableText(const QWidget* w) {
    if (const auto* e = qobject_cast<const QLineEdit*>(w))
        return !e->isReadOnly();
    if (const auto* e = qobject_cast<const QTextEdit*>(w))
        return !e->isReadOnly();
    if (const auto* e = qobject_cast<const QPlainTextEdit*>(w))
        return !e->isReadOnly();
    return qobject_cast<const QAbstractSpinBox*>(w) != nullptr;
}

// Help contexts of the program's dialogs, by their window names.
std::optional<unsigned> DialogHelpContext(const QString& name) {
    static const std::map<QString, unsigned> contexts = {
        {"CPreferencesDlg", kHelpPreferences}, {"CAboutDlg", kHelpAbout},     {"CEditItemDlg", kHelpEditItem},
        {"CSearchDlg", kHelpSearch},           {"CTransferDlg", kHelpTransfer}, {"CSkinBrowser", kHelpSkins},
        {"CSmallPlayer", kHelpSmallPlayer},
    };
    auto it = contexts.find(name);
    if (it == contexts.end())
        return std::nullopt;
    return it->second;
}

} // namespace

CMainFrame::CMainFrame(CLyb30App& app, QWidget* parent) : QMainWindow(parent), m_app(app) {
    setObjectName("Lyb30MDIMainWnd");
    const CLocalize& l = app.m_oLocalize;

    auto* central = new QWidget(this);
    central->setObjectName("mainClient");
    auto* row = new QHBoxLayout(central);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    // The strip stands in a column of its own colour, the pages beside it.
    auto* stripColumn = new QWidget(central);
    stripColumn->setObjectName("pageStripColumn");
    stripColumn->setAutoFillBackground(true);
    QPalette columnPalette = stripColumn->palette();
    columnPalette.setColor(QPalette::Window, QColor(44, 58, 77));
    stripColumn->setPalette(columnPalette);
    auto* stripLayout = new QVBoxLayout(stripColumn);
    stripLayout->setContentsMargins(0, 0, 0, 0);
    m_strip = new CPageStrip(l, stripColumn);
    stripLayout->addWidget(m_strip);
    stripLayout->addStretch(1);
    row->addWidget(stripColumn);
    auto* pageColumn = new QWidget(central);
    pageColumn->setObjectName("pageColumn");
    m_pageColumn = new QVBoxLayout(pageColumn);
    m_pageColumn->setContentsMargins(0, 0, 0, 0);
    m_pages = new QStackedWidget(pageColumn);
    m_pages->setObjectName("pages");
    m_pageColumn->addWidget(m_pages, 1);
    row->addWidget(pageColumn, 1);
    setCentralWidget(central);
    m_strip->onChoose = [this](PageCode page) {
        const int commands[] = {0, kIdPageMusicStudio, kIdPageCdPlayer, kIdPageClubOrvik};
        OnCommand(commands[page]);
    };

    // The status bar: the idle text, hidden while a command's prompt shows.
    m_idle = new QLabel(Q(Tr(l, texts::kReady)), this);
    m_idle->setObjectName("idleMessage");
    statusBar()->addWidget(m_idle, 1);

    // The frame's own commands.
    for (int page : {kPageMusicStudio, kPageCdPlayer, kPageClubOrvik}) {
        const int command = page == kPageMusicStudio ? kIdPageMusicStudio
                            : page == kPageCdPlayer  ? kIdPageCdPlayer
                                                     : kIdPageClubOrvik;
        SetCommandHandler(
            command, [this, page] { SwitchPage(static_cast<PageCode>(page)); },
            [this, page] { return m_pageSwitchEnabled && FrameOfPage(static_cast<PageCode>(page)); });
    }
    SetCommandHandler(
        kIdNextPage, [this] { SwitchPage(NextPage(CurrentPageCode())); },
        [this] { return m_pageSwitchEnabled && NextPage(CurrentPageCode()) != kPageNone; });
    SetCommandHandler(
        kIdPreviousPage, [this] { SwitchPage(PreviousPage(CurrentPageCode())); },
        [this] { return m_pageSwitchEnabled && PreviousPage(CurrentPageCode()) != kPageNone; });
    SetCommandHandler(kIdExit, [this] { OnExit(); });
    SetCommandHandler(kIdPreferences, [this] { OnPreferences(); });
    SetCommandHandler(kIdAbout, [this] { OnAbout(); });
    SetCommandHandler(kIdFileOpen, [this] { OnFileOpen(); });
    SetCommandHandler(kIdHelpTopics, [this] { RunHelp(std::nullopt, QCursor::pos()); });
    SetCommandHandler(kIdHelp, [this] {
        const QPoint pos = QCursor::pos();
        QWidget* under = QApplication::widgetAt(pos);
        RunHelp(FrameworkContextOf(under && under->window() == this ? under : nullptr), pos);
    });
    SetCommandHandler(kIdContextHelp, [this] { EnterContextHelp(); });

    BuildMenu();
    qApp->installEventFilter(this);
    UpdateTitle();
    resize(980, 640);

    m_target = std::make_unique<QtMessageTarget>([this](const Message& m) -> std::intptr_t {
        if (m.id != kMsgDeviceChange)
            return 0;
        if (const auto* change = std::any_cast<VolumeChange>(&m.payload))
            OnDeviceChange(*change);
        return 1; // handled (TRUE)
    });
}

CMainFrame::~CMainFrame() {
    if (m_watcher)
        m_watcher->Stop();
    m_watcher.reset();
    m_target->Close();
    qApp->removeEventFilter(this);
    if (m_contextHelp)
        QApplication::restoreOverrideCursor();
    delete m_help;
}

void CMainFrame::BuildMenu() {
    const CLocalize& l = m_app.m_oLocalize;
    std::function<void(QMenu*, const std::vector<MenuNode>&)> fill = [&](QMenu* menu,
                                                                          const std::vector<MenuNode>& nodes) {
        for (const MenuNode& n : nodes) {
            switch (n.kind) {
            case MenuNode::Kind::Separator:
                menu->addSeparator();
                break;
            case MenuNode::Kind::Popup: {
                QMenu* sub = menu->addMenu(Q(n.MenuText()));
                connect(sub, &QMenu::aboutToShow, this, [this, sub] { UpdateMenu(sub); });
                fill(sub, n.items);
                break;
            }
            case MenuNode::Kind::Item: {
                // The shortcut is part of the text (after a tab); the keys
                // themselves belong to the accelerator table.
                QAction* action = menu->addAction(Q(n.MenuText()));
                action->setObjectName(QStringLiteral("command%1").arg(n.command));
                action->setData(n.command);
                action->setStatusTip(Q(l.Get(n.promptId, n.prompt)));
                const int command = n.command;
                connect(action, &QAction::triggered, this, [this, command] { OnCommand(command); });
                m_menuActions[command] = action;
                break;
            }
            }
        }
    };
    for (const MenuNode& top : MainMenu()) {
        QMenu* menu = menuBar()->addMenu(Q(top.MenuText()));
        connect(menu, &QMenu::aboutToShow, this, [this, menu] { UpdateMenu(menu); });
        fill(menu, top.items);
    }
    QtLocalizableMenu localizable(menuBar());
    Trace("theApp.m_oLocalize.LocalizeMenu(pMenu);");
    l.LocalizeMenu(localizable, 0);
}

void CMainFrame::UpdateMenu(QMenu* menu) {
    for (QAction* action : menu->actions()) {
        if (action->isSeparator() || action->menu())
            continue;
        action->setEnabled(CommandEnabled(action->data().toInt()));
    }
}

QAction* CMainFrame::MenuAction(int command) const {
    auto it = m_menuActions.find(command);
    return it == m_menuActions.end() ? nullptr : it->second;
}

void CMainFrame::SetCommandHandler(int command, std::function<void()> run, std::function<bool()> enabled) {
    m_handlers[command] = Handler{std::move(run), std::move(enabled)};
}

bool CMainFrame::HasCommandHandler(int command) const {
    auto it = m_handlers.find(command);
    return it != m_handlers.end() && it->second.run;
}

bool CMainFrame::CommandEnabled(int command) const {
    auto it = m_handlers.find(command);
    if (it == m_handlers.end() || !it->second.run)
        return false;
    return !it->second.enabled || it->second.enabled();
}

bool CMainFrame::OnCommand(int command) {
    if (!CommandEnabled(command)) {
        TraceFormat("Command %d is not available", command);
        return false;
    }
    // The handler may replace itself; run a copy.
    const std::function<void()> run = m_handlers[command].run;
    run();
    return true;
}

int CMainFrame::CommandOfKey(QKeyCombination key) {
    Qt::KeyboardModifiers mods = key.keyboardModifiers() & ~Qt::KeypadModifier;
    Qt::Key k = key.key();
    // Shift+Tab arrives as Backtab.
    if (k == Qt::Key_Backtab) {
        k = Qt::Key_Tab;
        mods |= Qt::ShiftModifier;
    }
    for (const Accelerator& a : AcceleratorTable()) {
        const QKeySequence seq(QString::fromLatin1(a.keys.data(), static_cast<int>(a.keys.size())),
                               QKeySequence::PortableText);
        if (!seq.isEmpty() && seq[0] == QKeyCombination(mods, k))
            return a.command;
    }
    return 0;
}

MessageTarget* CMainFrame::Target() const {
    return m_target.get();
}

void CMainFrame::StartDeviceWatch() {
    if (m_watcher)
        return;
    std::vector<std::string> nodes;
    if (CCDManager* cd = m_app.CdManager())
        for (const auto& d : cd->Drives())
            nodes.push_back(d.root);
    m_watcher = std::make_unique<VolumeWatcher>(nodes, m_target.get());
    m_watcher->WatchVolumes();
    m_watcher->Start();
}

void CMainFrame::OnDeviceChange(const VolumeChange& change) {
    if (change.isMedia) {
        if (auto* cd = dynamic_cast<CCDForm*>(m_app.GetCDForm()); cd && cd->Doc())
            cd->Doc()->OnDeviceChange(change.arrival, change.unitMask, true);
        return;
    }
    for (int i = 0; i < PageCount(); ++i)
        if (auto* music = dynamic_cast<CMusicFrame*>(Page(i)))
            if (auto* pane = dynamic_cast<CMobileDeviceForm*>(music->DevicePane()))
                pane->OnVolumeChange(change.arrival);
}

// --- Pages ---------------------------------------------------------------------------

void CMainFrame::AddPage(CChildFrame* frame, const QString&) {
    // The newest page is the active one, until start-up chooses.
    m_pages->addWidget(frame);
    SwitchPage(PageOfTemplateIndex(m_pages->count() - 1));
}

CChildFrame* CMainFrame::FrameOfPage(PageCode page) const {
    // The first view of the page's template, as the page accessors find it.
    CView* view = page == kPageMusicStudio ? m_app.GetMusicForm()
                  : page == kPageCdPlayer  ? m_app.GetCDForm()
                  : page == kPageClubOrvik ? m_app.GetClubForm()
                                           : nullptr;
    for (int i = 0; i < m_pages->count(); ++i) {
        auto* frame = static_cast<CChildFrame*>(m_pages->widget(i));
        if (view && frame->View() && static_cast<CView*>(frame->View()) == view)
            return frame;
    }
    // While the pages are made (before the template knows its view) the
    // registration order names them.
    if (!view) {
        const int index = TemplateIndexOfPage(page);
        if (index >= 0 && index < m_pages->count())
            return static_cast<CChildFrame*>(m_pages->widget(index));
    }
    return nullptr;
}

void CMainFrame::SwitchPage(PageCode page) {
    CChildFrame* frame = FrameOfPage(page);
    if (!frame)
        return;
    m_pages->setCurrentWidget(frame);
    m_strip->Select(page);
    m_app.SetCurrentPageCode(page);
    // The page's view takes the focus, as an activated child frame does.
    if (isVisible()) {
        QWidget* focus = frame->focusWidget();
        if (!focus || !focus->isVisible()) {
            focus = frame;
            while ((focus = focus->nextInFocusChain()) != frame && focus)
                if (frame->isAncestorOf(focus) && focus->isVisible() && focus->isEnabled() &&
                    (focus->focusPolicy() & Qt::TabFocus))
                    break;
        }
        if (focus && focus != frame)
            focus->setFocus(Qt::OtherFocusReason);
    }
    UpdateTitle();
}

void CMainFrame::ShowPage(int index) {
    SwitchPage(PageOfTemplateIndex(index));
}

PageCode CMainFrame::CurrentPageCode() const {
    const int code = m_app.CurrentPageCode();
    return code >= kPageMusicStudio && code <= kPageClubOrvik ? static_cast<PageCode>(code) : kPageNone;
}

int CMainFrame::CurrentPage() const {
    return TemplateIndexOfPage(CurrentPageCode());
}

int CMainFrame::PageCount() const {
    return m_pages->count();
}

CChildFrame* CMainFrame::Page(int index) const {
    return static_cast<CChildFrame*>(m_pages->widget(index));
}

void CMainFrame::EnablePageSwitch(bool on) {
    m_pageSwitchEnabled = on;
    m_strip->setEnabled(on);
}

void CMainFrame::SetPlayerDialog(QWidget* dialog) {
    m_playerDialog = dialog;
    m_pageColumn->addWidget(dialog);
}

void CMainFrame::UpdateTitle() {
    const CLocalize& l = m_app.m_oLocalize;
    QString title = Q(Tr(l, texts::kProductName));
    const PageCode page = CurrentPageCode();
    if (page != kPageNone)
        title += " - " + m_strip->Caption(static_cast<int>(page) - 1);
    setWindowTitle(title);
}

// --- The frame's commands ----------------------------------------------------------------


void CMainFrame::OnPreferences() {
    CPreferencesDlg dlg(m_app, this);
    dlg.exec();
}

void CMainFrame::OnAbout() {
    CAboutDlg dlg(m_app, this);
    dlg.exec();
}

void CMainFrame::OnExit() {
    Trace("Exit command");
    close();
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    QMainWindow::closeEvent(event);
    if (event->isAccepted() && !m_closing) {
        m_closing = true;
        // Leaving the main window ends the program, whatever other windows
        // (the Small Player, help) are open.
        if (m_help)
            m_help->close();
        QCoreApplication::postEvent(qApp, new QEvent(QEvent::Quit));
    }
}

QFileDialog* CMainFrame::PendingOpenDialog() const {
    return m_openDialog;
}

void CMainFrame::OnFileOpen() {
    if (m_openDialog) {
        m_openDialog->raise();
        return;
    }
    const CLocalize& l = m_app.m_oLocalize;
    auto* dialog = new QFileDialog(this, Q(Tr(l, texts::kOpenTitle)));
    dialog->setObjectName("openFileDialog");
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setOption(QFileDialog::DontUseNativeDialog, true);
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setNameFilters({Q(l.Get(327, "Media files")) + " (*.mp3 *.aac *.lse *.m3u *.cda)",
                            Q(Tr(l, texts::kAllFiles)) + " (*)"});
    connect(dialog, &QFileDialog::fileSelected, this, [this](const QString& file) {
        // An opened file goes where a file handed over by a second start goes.
        const std::string path = QFile::encodeName(file).toStdString();
        TraceFormat("Open: %s", path.c_str());
        m_app.OnCopyData(777, path + std::string(1, '\0'));
    });
    m_openDialog = dialog;
    dialog->open();
}

// --- Help -------------------------------------------------------------------------------

std::optional<unsigned> CMainFrame::FrameworkContextOf(const QWidget* widget) const {
    if (widget && widget->window() != this) {
        for (const QWidget* w = widget; w; w = w->parentWidget())
            if (auto context = DialogHelpContext(w->objectName()))
                return context;
        return std::nullopt;
    }
    // Over a page: that page's; elsewhere: the active page's.
    for (const QWidget* w = widget; w; w = w->parentWidget()) {
        if (const auto* frame = dynamic_cast<const CChildFrame*>(w)) {
            for (PageCode page : {kPageMusicStudio, kPageCdPlayer, kPageClubOrvik})
                if (FrameOfPage(page) == frame)
                    return PageHelpContext(page);
        }
    }
    const PageCode page = CurrentPageCode();
    if (page != kPageNone)
        return PageHelpContext(page);
    return std::nullopt;
}

HelpTarget CMainFrame::HelpTargetAt(const QPoint& globalPos) const {
    HelpTarget target;
    QWidget* w = QApplication::widgetAt(globalPos);
    if (!w)
        return target; // Elsewhere
    if (w == m_strip || m_strip->isAncestorOf(w)) {
        const QPoint local = m_strip->mapFromGlobal(globalPos);
        target.kind = HelpTarget::Kind::PageStrip;
        target.x = local.x();
        target.y = local.y();
        return target;
    }
    if (w->window() != this) {
        target.kind = HelpTarget::Kind::Other;
        return target;
    }
    // Inside a page (or the player's dialog) it is the framework's context;
    // anywhere else on the frame it is the main window's.
    for (const QWidget* p = w; p && p != this; p = p->parentWidget())
        if (dynamic_cast<const CChildFrame*>(p) || p == m_playerDialog) {
            target.kind = HelpTarget::Kind::Other;
            return target;
        }
    target.kind = HelpTarget::Kind::MainWindow;
    return target;
}

void CMainFrame::RunHelp(std::optional<unsigned> frameworkContext, const QPoint& globalPos) {
    ShowHelp(ResolveHelp(frameworkContext, HelpTargetAt(globalPos)));
}

void CMainFrame::ShowHelp(const HelpRequest& request) {
    m_lastHelp = request;
    m_lastHelpFellBack = false;
    const CLocalize& l = m_app.m_oLocalize;
    if (!m_help)
        m_help = new CHelpWindow(l, nullptr);
    const std::string path = HelpFilePath(m_app.Settings().installFolder, !m_app.EnglishInterface());
    TraceFormat("Help: %s, %s 0x%X", path.c_str(), request.defaultTopic ? "default topic" : "context",
                request.context);
    if (!m_help->Open(path)) {
        QMessageBox box(QMessageBox::Warning, Q(Tr(l, texts::kHelpTitle)),
                        Q(Tr(l, texts::kHelpMissing)) + "\n" + QFile::decodeName(path.c_str()), QMessageBox::Ok,
                        this);
        box.setObjectName("helpMissingBox");
        if (QAbstractButton* ok = box.button(QMessageBox::Ok))
            ok->setText(Q(Tr(l, texts::kOk)));
        box.exec();
        return;
    }
    bool shown = false;
    if (!request.defaultTopic) {
        m_help->ShowContents();
        shown = m_help->ShowContext(request.context);
    }
    if (!shown) {
        // The viewer could not show the context: the file's default topic.
        m_lastHelpFellBack = !request.defaultTopic;
        m_help->ShowDefaultTopic();
    }
    m_help->setLayoutDirection(QApplication::layoutDirection());
    m_help->show();
    m_help->raise();
    m_help->activateWindow();
}

void CMainFrame::EnterContextHelp() {
    if (m_contextHelp)
        return;
    m_contextHelp = true;
    QApplication::setOverrideCursor(Qt::WhatsThisCursor);
    statusBar()->showMessage(Q(Tr(m_app.m_oLocalize, texts::kContextHelpPrompt)));
}

void CMainFrame::LeaveContextHelp() {
    if (!m_contextHelp)
        return;
    m_contextHelp = false;
    QApplication::restoreOverrideCursor();
    statusBar()->clearMessage();
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (m_contextHelp) {
        if (type == QEvent::MouseButtonPress && watched->isWidgetType()) {
            auto* mouse = static_cast<QMouseEvent*>(event);
            const QPoint pos = mouse->globalPosition().toPoint();
            LeaveContextHelp();
            QWidget* under = QApplication::widgetAt(pos);
            RunHelp(FrameworkContextOf(under), pos);
            return true;
        }
        if (type == QEvent::MouseButtonRelease || type == QEvent::MouseButtonDblClick)
            return watched->isWidgetType();
        if (type == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            LeaveContextHelp();
            return true;
        }
    }
    if (type != QEvent::ShortcutOverride && type != QEvent::KeyPress)
        return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget)
        return false;
    auto* key = static_cast<QKeyEvent*>(event);
    const int command = CommandOfKey(key->keyCombination());
    if (command == 0)
        return false;
    QWidget* window = widget->window();
    if (window != this) {
        // F1 in one of the program's dialogs: help on that dialog.
        if (command == kIdHelp && window->isWindow() && window != m_help && window->parentWidget() &&
            window->parentWidget()->window() == this) {
            if (type == QEvent::ShortcutOverride) {
                event->accept();
                return true;
            }
            const std::optional<unsigned> context = FrameworkContextOf(widget);
            ShowHelp(context ? HelpRequest{false, *context} : HelpRequest{true, 0});
            return true;
        }
        return false;
    }
    // The accelerator table is the main window's: nothing while a menu or
    // a modal dialog has the keyboard.
    if (QApplication::activePopupWidget() || (QApplication::activeModalWidget() &&
                                              QApplication::activeModalWidget() != this))
        return false;
    if (IsEditableText(widget) && IsTextEditingKey(key->keyCombination()))
        return false;
    if (type == QEvent::ShortcutOverride) {
        // Claimed here, so no shortcut of a page takes the key; the key
        // press that follows performs the command.
        event->accept();
        return true;
    }
    if (!key->isAutoRepeat() || command == kIdNextPage || command == kIdPreviousPage)
        OnCommand(command);
    return true;
}

} // namespace lyb
