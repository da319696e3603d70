#include "ui/pages.h"

#include "app/lyb30_app.h"
#include "app/page_documents.h"
#include "platform/trace.h"

#include <QVBoxLayout>

namespace lyb {

CChildFrame::CChildFrame(const QString& className, QWidget* parent) : QWidget(parent) {
    setObjectName(className);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
}

void CChildFrame::SetView(CFormView* view) {
    m_view = view;
    layout()->addWidget(view);
}

CCDForm::CCDForm(CLyb30App& app, QWidget* parent) : CFormView(parent), m_app(app) {
    setObjectName("CCDForm");
    auto* layout = new QVBoxLayout(this);
    m_drives = new QLabel(this);
    m_drives->setObjectName("cdDrives");
    // The drive list of the CD subsystem (empty until it is part of the build).
    QStringList names;
    if (const auto& list = app.Environment().seams.cdDriveNames)
        for (const std::string& n : list())
            names << QString::fromStdString(n);
    m_drives->setText(names.isEmpty() ? QStringLiteral("No CD drive found")
                                      : QStringLiteral("CD drives: ") + names.join(QStringLiteral(", ")));
    layout->addWidget(m_drives);
    layout->addStretch();
    const CdRequest& r = app.GetCdRequest();
    if (r.forCdTrack) {
        m_pendingDrive = r.drive;
        m_pendingTrack = r.track;
    }
}

void CCDForm::PlayTrack(int drive, int track) {
    TraceFormat("CD Player: play request drive %d track %d", drive, track);
    m_pendingDrive = drive;
    m_pendingTrack = track;
}

CClubOrvikForm::CClubOrvikForm(const std::string& startUrl, QWidget* parent) : CFormView(parent) {
    setObjectName("CClubOrvikForm");
    auto* layout = new QVBoxLayout(this);
    auto* label = new QLabel(QString::fromStdString(startUrl), this);
    label->setObjectName("clubStartUrl");
    layout->addWidget(label);
    layout->addStretch();
}

CMusicForm::CMusicForm(CLyb30App& app, QWidget* parent) : CFormView(parent), m_app(app) {
    setObjectName("CMusicForm");
    auto* layout = new QVBoxLayout(this);
    m_summary = new QLabel(this);
    m_summary->setObjectName("studioSummary");
    layout->addWidget(m_summary);
    layout->addStretch();
}

MusicPageDocument* CMusicForm::Document() const { return dynamic_cast<MusicPageDocument*>(GetDocument()); }

void CMusicForm::StartUp() {
    MusicPageDocument* doc = Document();
    if (!doc)
        return;
    const AppSettings& s = m_app.Settings();
    StudioStartup startup;
    startup.mode = s.startupMode;
    startup.programFolder = m_app.Environment().programFolder;
    startup.defaultMusicFolder = s.defaultMusicFolder;
    startup.probeTarget = nullptr; // length probes need the player engine
    if (doc->OpenPath().empty())
        doc->Music().OnNewDocument(startup);
    else
        doc->Music().OnOpenDocument(startup, doc->OpenPath());
    Refresh();
}

void CMusicForm::AddAndPlay(const std::string& path) {
    TraceFormat("Music Studio: handed-over file %s", path.c_str());
    m_handedOver.push_back(path);
    if (MusicPageDocument* doc = Document()) {
        CMusicDoc& music = doc->Music();
        const size_t before = music.Collection().Count();
        // The file goes to the top of the Studio; playing it is the player
        // engine's, which picks up the pending-play index.
        if (music.Collection().AddFile(path, true, music.Context()) && music.Collection().Count() > before)
            music.SetPendingPlayIndex(0);
    }
    Refresh();
}

void CMusicForm::Refresh() {
    MusicPageDocument* doc = Document();
    const size_t n = doc ? doc->Music().Collection().Items().size() : 0;
    m_summary->setText(QStringLiteral("Music Studio") +
                       QString(" (%1)").arg(static_cast<qulonglong>(n)));
}

} // namespace lyb
