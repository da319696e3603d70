#include "ui/cd_form.h"

#include "app/lyb30_app.h"
#include "cd/cd_doc.h"
#include "cd/cd_manager.h"
#include "platform/qt/qt_message_target.h"
#include "platform/trace.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace lyb {

namespace {
QString Q(const std::string& s) { return QString::fromStdString(s); }
} // namespace

CCDForm::CCDForm(CLyb30App& app, CCDDoc* doc, Hooks hooks, QWidget* parent)
    : CFormView(parent), m_app(app), m_doc(doc), m_hooks(std::move(hooks)) {
    setObjectName("CCDForm");
    const CdPageTexts texts = m_doc ? m_doc->Texts() : CdPageTexts::From(&app.m_oLocalize);
    auto* root = new QVBoxLayout(this);

    auto* info = new QGroupBox(Q(texts.cdInformation), this);
    auto* grid = new QGridLayout(info);
    drives = new QComboBox(info);
    drives->setObjectName("cdDrives");
    drives->setToolTip(Q(texts.tipDrive));
    artist = new QLineEdit(info);
    artist->setObjectName("cdArtist");
    artist->setMaxLength(255);
    album = new QLineEdit(info);
    album->setObjectName("cdAlbum");
    album->setMaxLength(255);
    grid->addWidget(new QLabel(Q(texts.drive), info), 0, 0);
    grid->addWidget(drives, 0, 1);
    grid->addWidget(new QLabel(Q(texts.artist), info), 1, 0);
    grid->addWidget(artist, 1, 1);
    grid->addWidget(new QLabel(Q(texts.name), info), 2, 0);
    grid->addWidget(album, 2, 1);
    root->addWidget(info);

    m_tracksLabel = new QLabel(Q(texts.tracks), this);
    root->addWidget(m_tracksLabel);
    tracks = new QTreeWidget(this);
    tracks->setObjectName("cdTracks");
    tracks->setRootIsDecorated(false);
    tracks->setSelectionMode(QAbstractItemView::ExtendedSelection);
    tracks->setHeaderLabels({Q(texts.columnTitle), Q(texts.columnDuration), Q(texts.columnSize)});
    tracks->setContextMenuPolicy(Qt::CustomContextMenu);
    tracks->header()->setStretchLastSection(false);
    root->addWidget(tracks, 1);

    auto* buttons = new QHBoxLayout();
    auto button = [&](const std::string& text, const std::string& tip, const char* name) {
        auto* b = new QPushButton(Q(text), this);
        b->setObjectName(name);
        b->setToolTip(Q(tip));
        buttons->addWidget(b);
        return b;
    };
    play = button(texts.play, texts.tipPlay, "cdPlay");
    stop = button(texts.stop, texts.tipStop, "cdStop");
    eject = button(texts.eject, texts.tipEject, "cdEject");
    buttons->addStretch();
    save = button(texts.save, texts.tipSave, "cdSave");
    cancel = button(texts.cancel, texts.tipCancel, "cdCancel");
    root->addLayout(buttons);

    progress = new QProgressBar(this);
    progress->setObjectName("cdProgress");
    progress->setToolTip(Q(texts.tipProgress));
    progress->setTextVisible(false);
    root->addWidget(progress);
    auto* labels = new QHBoxLayout();
    estimated = new QLabel(this);
    estimated->setObjectName("cdEstimated");
    speed = new QLabel(this);
    speed->setObjectName("cdSpeed");
    labels->addWidget(estimated);
    labels->addStretch();
    labels->addWidget(speed);
    root->addLayout(labels);

    if (!m_doc) {
        Refresh();
        return;
    }
    // The engines' messages and the media watcher's notices come here, on
    // this thread, and go to the page state.
    m_target = std::make_unique<QtMessageTarget>([this](const Message& m) -> std::intptr_t {
        return m_doc ? m_doc->OnMessage(m) : 0;
    });
    CdPageServices& s = m_doc->Services();
    s.setTimer = [this](unsigned id, int ms) {
        QTimer::singleShot(ms, this, [this, id] {
            if (m_doc)
                m_doc->OnTimer(id);
        });
    };
    s.showPage = m_hooks.showPage;
    s.enablePageSwitch = m_hooks.enablePageSwitch;
    m_doc->SetOwner(m_target.get());
    m_doc->SetChanged([this] { Refresh(); });

    connect(drives, qOverload<int>(&QComboBox::activated), this, [this](int i) { m_doc->SelectDrive(i); });
    connect(artist, &QLineEdit::textEdited, this, [this](const QString& t) { m_doc->SetArtist(t.toStdString()); });
    connect(album, &QLineEdit::textEdited, this, [this](const QString& t) { m_doc->SetAlbum(t.toStdString()); });
    connect(tracks, &QTreeWidget::itemSelectionChanged, this, [this] { PushSelection(); });
    connect(tracks, &QTreeWidget::itemDoubleClicked, this, [this] {
        m_doc->Stop();
        m_doc->PlayPause();
    });
    connect(tracks, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) { ShowContextMenu(at); });
    connect(play, &QPushButton::clicked, this, [this] { m_doc->PlayPause(); });
    connect(stop, &QPushButton::clicked, this, [this] { m_doc->Stop(); });
    connect(eject, &QPushButton::clicked, this, [this] { m_doc->EjectButton(); });
    connect(save, &QPushButton::clicked, this, [this] { m_doc->SaveTracks(); });
    connect(cancel, &QPushButton::clicked, this, [this] { m_doc->CancelSaving(); });

    // Discs coming and going reach the page from the main window's device
    // watch (CMainFrame::OnDeviceChange).
    Refresh();
}

CCDForm::~CCDForm() { Detach(); }

void CCDForm::Detach() {
    if (m_target)
        m_target->Close();
    if (m_doc) {
        m_doc->SetChanged({});
        m_doc->Services().setTimer = {};
        m_doc->Services().showPage = {};
        m_doc->Services().enablePageSwitch = {};
        // The player's hooks go too: its windows may be gone already.
        m_doc->Services().randomPlayMode = {};
        m_doc->Services().stopStudioPlayer = {};
        m_doc->Services().notifySmallPlayer = {};
        m_doc->Services().playerInCdMode = {};
        m_doc->Services().trackStarted = {};
        // The document may outlive this page by a moment: its workers must
        // not report to the page's target, which goes with the page.
        m_doc->ReleaseOwner();
    }
    m_doc = nullptr;
}

void CCDForm::PlayTrack(int drive, int track) {
    TraceFormat("CD Player: play request drive %d track %d", drive, track);
    if (m_doc)
        m_doc->PlayRequest(drive, track);
}

void CCDForm::Refresh() {
    m_refreshing = true;
    if (!m_doc) {
        drives->clear();
        for (const std::string& n : m_app.Environment().seams.cdDriveNames ? m_app.Environment().seams.cdDriveNames()
                                                                           : std::vector<std::string>{})
            drives->addItem(Q(n));
        for (QWidget* w : std::initializer_list<QWidget*>{play, stop, eject, save, cancel, tracks})
            w->setEnabled(false);
        m_refreshing = false;
        return;
    }
    const CCDDoc& d = *m_doc;
    const std::vector<std::string> names = d.DriveNames();
    if (drives->count() != int(names.size())) {
        drives->clear();
        for (const auto& n : names)
            drives->addItem(Q(n));
    }
    drives->setCurrentIndex(d.SelectedDrive());
    if (!artist->hasFocus())
        artist->setText(Q(d.Artist()));
    if (!album->hasFocus())
        album->setText(Q(d.Album()));

    const auto& rows = d.Rows();
    if (tracks->topLevelItemCount() != int(rows.size())) {
        tracks->clear();
        for (std::size_t i = 0; i < rows.size(); ++i)
            tracks->addTopLevelItem(new QTreeWidgetItem());
    }
    for (int i = 0; i < int(rows.size()); ++i) {
        QTreeWidgetItem* item = tracks->topLevelItem(i);
        item->setText(0, Q(rows[std::size_t(i)].title));
        item->setText(1, Q(rows[std::size_t(i)].duration));
        item->setText(2, Q(rows[std::size_t(i)].size));
        item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
        item->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
        // The track being played or saved stands out.
        QFont f = item->font(0);
        const int track = i + d.FirstTrackOffset() + 1;
        f.setBold(track == d.CurrentTrack() || track == d.SavingTrack());
        for (int c = 0; c < 3; ++c)
            item->setFont(c, f);
        const auto& sel = d.Selection();
        item->setSelected(std::binary_search(sel.begin(), sel.end(), i));
    }
    SizeColumns();

    CCDDoc::Enabled e = d.ControlsEnabled();
    drives->setEnabled(e.drives);
    play->setEnabled(e.play);
    play->setText(Q(d.PlayButtonText()));
    stop->setEnabled(e.stop);
    eject->setEnabled(e.eject);
    save->setEnabled(e.save);
    cancel->setEnabled(e.cancel);
    tracks->setEnabled(e.list);
    artist->setEnabled(e.fields);
    album->setEnabled(e.fields);
    progress->setRange(0, std::max(1, d.ProgressRange()));
    progress->setValue(d.ProgressPosition());
    estimated->setText(Q(d.EstimatedText()));
    speed->setText(Q(d.SpeedText()));
    m_refreshing = false;
}

void CCDForm::PushSelection() {
    if (m_refreshing || !m_doc)
        return;
    std::vector<int> rows;
    for (QTreeWidgetItem* item : tracks->selectedItems())
        rows.push_back(tracks->indexOfTopLevelItem(item));
    m_doc->SetSelection(std::move(rows));
}

void CCDForm::ShowContextMenu(const QPoint& at) {
    if (!m_doc)
        return;
    const CdPageTexts& t = m_doc->Texts();
    const CCDDoc::Enabled e = m_doc->ControlsEnabled();
    QMenu menu(this);
    QAction* playAction = menu.addAction(Q(t.menuPlay));
    QAction* stopAction = menu.addAction(Q(t.menuStop));
    QAction* saveAction = menu.addAction(Q(t.menuSave));
    QAction* cancelAction = menu.addAction(Q(t.menuCancel));
    menu.addSeparator();
    QAction* titleAction = menu.addAction(Q(t.menuModifyTitle));
    playAction->setEnabled(e.play);
    stopAction->setEnabled(e.stop);
    saveAction->setEnabled(e.save && !m_doc->Selection().empty());
    cancelAction->setEnabled(e.cancel);
    titleAction->setEnabled(!m_doc->Saving() && m_doc->Selection().size() == 1);
    QAction* chosen = menu.exec(tracks->viewport()->mapToGlobal(at));
    if (chosen == playAction) {
        m_doc->Stop();
        m_doc->PlayPause();
    } else if (chosen == stopAction) {
        m_doc->Stop();
    } else if (chosen == saveAction) {
        m_doc->SaveTracks();
    } else if (chosen == cancelAction) {
        m_doc->CancelSaving();
    } else if (chosen == titleAction) {
        ModifyTitle();
    }
}

void CCDForm::ModifyTitle() {
    if (!m_doc || m_doc->Selection().size() != 1)
        return;
    const int row = m_doc->Selection().front();
    bool ok = false;
    QString title = QInputDialog::getText(this, Q(m_doc->Texts().menuModifyTitle), Q(m_doc->Texts().columnTitle),
                                          QLineEdit::Normal, Q(m_doc->Rows()[std::size_t(row)].title), &ok);
    if (ok && m_doc)
        m_doc->ModifyTitle(row, title.toStdString());
}

void CCDForm::SizeColumns() {
    // Title takes the list's width less 248 pixels; Duration and Size 100 each.
    tracks->setColumnWidth(0, std::max(100, tracks->width() - 248));
    tracks->setColumnWidth(1, 100);
    tracks->setColumnWidth(2, 100);
}

void CCDForm::showEvent(QShowEvent* event) {
    CFormView::showEvent(event);
    SizeColumns();
}

void CCDForm::resizeEvent(QResizeEvent* event) {
    CFormView::resizeEvent(event);
    SizeColumns();
}

} // namespace lyb
