#include "ui/main_frame.h"

#include "app/lyb30_app.h"
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
