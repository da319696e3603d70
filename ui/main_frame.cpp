#include "ui/main_frame.h"

#include "app/lyb30_app.h"
#include "cd/cd_doc.h"
#include "cd/cd_manager.h"
#include "platform/cdrom/volume_watcher.h"
#include "platform/qt/qt_message_target.h"
#include "ui/cd_form.h"
#include "ui/mobile_device_form.h"
#include "ui/music_form.h"
#include "ui/pages.h"
#include "ui/preferences_dialog.h"

#include <QAction>
#include <QMenuBar>
#include <QStackedWidget>
#include <QTabBar>
#include <QVBoxLayout>

namespace lyb {

CMainFrame::CMainFrame(CLyb30App& app, QWidget* parent) : QMainWindow(parent), m_app(app) {
    setObjectName("Lyb30MDIMainWnd");
    setWindowTitle("Lyrabox 3.0");
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    m_strip = new QTabBar(central);
    m_strip->setObjectName("pageStrip");
    m_pages = new QStackedWidget(central);
    layout->addWidget(m_strip);
    layout->addWidget(m_pages, 1);
    setCentralWidget(central);
    connect(m_strip, &QTabBar::currentChanged, m_pages, &QStackedWidget::setCurrentIndex);

    // The full main menu belongs to the interface shell; the disk search and
    // the preferences command are here so users reach them meanwhile.
    QMenu* file = menuBar()->addMenu("&File");
    QAction* search = file->addAction("&Search");
    search->setObjectName("actionSearch");
    search->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    connect(search, &QAction::triggered, this, [this] {
        if (auto* music = dynamic_cast<CMusicForm*>(m_app.GetMusicForm())) {
            for (int i = 0; i < PageCount(); ++i)
                if (Page(i)->View() == music)
                    ShowPage(i);
            music->OnSearch();
        }
    });
    QMenu* tools = menuBar()->addMenu("&Tools");
    QAction* prefs = tools->addAction("Program preferences");
    prefs->setObjectName("actionPreferences");
    connect(prefs, &QAction::triggered, this, [this] { OnPreferences(); });
    resize(900, 600);

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

void CMainFrame::AddPage(CChildFrame* frame, const QString& caption) {
    m_pages->addWidget(frame);
    m_strip->addTab(caption);
}

void CMainFrame::ShowPage(int index) {
    if (index >= 0 && index < m_strip->count())
        m_strip->setCurrentIndex(index);
}

void CMainFrame::SetPlayerDialog(QWidget* dialog) {
    m_playerDialog = dialog;
    if (auto* layout = centralWidget()->layout())
        layout->addWidget(dialog);
}

int CMainFrame::CurrentPage() const { return m_strip->currentIndex(); }
int CMainFrame::PageCount() const { return m_pages->count(); }
CChildFrame* CMainFrame::Page(int index) const { return static_cast<CChildFrame*>(m_pages->widget(index)); }

void CMainFrame::EnablePageSwitch(bool on) { m_strip->setEnabled(on); }
bool CMainFrame::PageSwitchEnabled() const { return m_strip->isEnabled(); }

void CMainFrame::OnPreferences() {
    CPreferencesDlg dlg(m_app, this);
    dlg.exec();
}

} // namespace lyb
