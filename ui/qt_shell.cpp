#include "ui/qt_shell.h"

#include "app/page_documents.h"
#include "platform/trace.h"
#include "ui/cd_form.h"
#include "ui/main_frame.h"
#include "ui/mobile_device_form.h"
#include "ui/music_form.h"
#include "ui/pages.h"
#include "ui/player/player_ui.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>

namespace lyb {

QtAppShell::QtAppShell() {
    m_target = std::make_unique<QtMessageTarget>([this](const Message& m) -> std::intptr_t {
        if (m.id != kHandoffMessage || !m_app)
            return 0;
        const auto* data = std::any_cast<std::string>(&m.payload);
        return m_app->OnCopyData(static_cast<std::uint32_t>(m.wparam), data ? *data : std::string());
    });
}

QtAppShell::~QtAppShell() {
    // The application object may be gone already: only our own parts here.
    m_target->Close();
    m_playerUi.reset();
    m_frame.reset();
}

void QtAppShell::DestroyMainFrame() {
    // No hand-off may wait for a loop that no longer runs, nor reach a view
    // that is gone.
    m_target->Close();
    // The player's windows go first: they play from the pages' documents.
    m_playerUi.reset();
    if (m_app) {
        if (auto* cd = dynamic_cast<CCDForm*>(m_app->GetCDForm()))
            cd->Detach();
        // The Studio is saved while its page and document still exist.
        if (auto* music = dynamic_cast<CMusicForm*>(m_app->GetMusicForm()))
            music->CloseStudio();
        SaveDevicePane();
    }
    // The views (with the frame) go before their documents: a view being
    // torn down may still ask its document for texts.
    m_frame.reset();
    if (m_app)
        m_app->CloseAllDocuments();
}

void QtAppShell::SaveDevicePane() {
    if (!m_frame || !m_app)
        return;
    for (int i = 0; i < m_frame->PageCount(); ++i)
        if (auto* music = dynamic_cast<CMusicFrame*>(m_frame->Page(i))) {
            if (auto* pane = dynamic_cast<CMobileDeviceForm*>(music->DevicePane()))
                pane->SaveLayout();
            if (music->SplitterPosition() > 0)
                m_app->Settings().splitterPosition = music->SplitterPosition();
        }
}

bool QtAppShell::AddFontResource(const std::string& path) {
    m_fontId = QFontDatabase::addApplicationFont(QString::fromStdString(path));
    return m_fontId >= 0;
}

void QtAppShell::CreateInterfaceFonts(const std::string& typeface, int, const std::array<InterfaceFontSpec, 4>& fonts) {
    const QString family = QString::fromStdString(typeface);
    const bool available = QFontDatabase::families().contains(family, Qt::CaseInsensitive);
    m_usedFamily = available ? family : QApplication::font().family();
    if (!available)
        TraceFormat("Typeface %s is not installed; using %s", typeface.c_str(), m_usedFamily.toUtf8().constData());
    for (size_t i = 0; i < fonts.size(); ++i) {
        QFont f(m_usedFamily);
        f.setPixelSize(fonts[i].height);
        f.setWeight(static_cast<QFont::Weight>(fonts[i].weight));
        f.setItalic(fonts[i].italic);
        f.setStyleHint(QFont::SansSerif, QFont::PreferAntialias);
        m_fonts[i] = f;
    }
    QApplication::setFont(m_fonts[0]);
}

void QtAppShell::RemoveFontResource(const std::string&) {
    if (m_fontId >= 0)
        QFontDatabase::removeApplicationFont(m_fontId);
    m_fontId = -1;
}

void QtAppShell::ConnectTransfer(CMusicForm& music, CMobileDeviceForm& pane) {
    StudioTransfer transfer = music.State().Transfer();
    transfer.deviceSelected = [&pane] { return pane.State().DeviceSelected(); };
    transfer.showTransferDialog = [&pane](std::vector<MusicItem> records) { pane.RunTransfer(std::move(records)); };
    music.State().SetTransfer(transfer);
    // Every refresh and tree selection decides the Studio's transfer command again.
    pane.SetTransferAvailabilityChanged([&music] { music.State().ShowTotals(); });
    music.State().ShowTotals();
}

ViewFactory QtAppShell::MakeViewFactory(int index) {
    return [this, index](CDocument& doc, const CDocTemplate&) -> CView* {
        if (!m_frame || !m_app)
            return nullptr;
        CChildFrame* frame = nullptr;
        CFormView* view = nullptr;
        QString caption;
        switch (index) {
        case 0: {
            frame = new CCDFrame();
            auto* cd = dynamic_cast<CdPageDocument*>(&doc);
            CCDForm::Hooks hooks;
            hooks.showPage = [this] {
                if (m_frame)
                    m_frame->ShowPage(0);
            };
            hooks.enablePageSwitch = [this](bool on) {
                if (m_frame)
                    m_frame->EnablePageSwitch(on);
            };
            view = new CCDForm(*m_app, cd ? &cd->Cd() : nullptr, std::move(hooks), frame);
            caption = "CD Player";
            break;
        }
        case 1: {
            frame = new CClubOrvikFrame();
            auto* club = dynamic_cast<CClubOrvikDoc*>(&doc);
            view = new CClubOrvikForm(club ? club->StartUrl() : std::string(), frame);
            caption = "Club Orvik";
            break;
        }
        case 2: {
            auto* music = dynamic_cast<MusicPageDocument*>(&doc);
            if (!music)
                return nullptr;
            auto* musicFrame = new CMusicFrame();
            auto* musicForm = new CMusicForm(*m_app, *music, musicFrame);
            frame = musicFrame;
            view = musicForm;
            caption = "Music Studio";
            frame->SetView(view);
            // The Mobile Device pane beside the Music Studio; the Studio's
            // transfer command goes to it.
            auto* pane = new CMobileDeviceForm(*m_app, musicFrame);
            musicFrame->SetDevicePane(pane, m_app->Settings().splitterPosition);
            ConnectTransfer(*musicForm, *pane);
            m_frame->AddPage(frame, caption);
            return view;
        }
        default: return nullptr;
        }
        frame->SetView(view);
        m_frame->AddPage(frame, caption);
        return view;
    };
}

bool QtAppShell::CreateMainFrame(CLyb30App& app) {
    m_app = &app;
    m_frame = std::make_unique<CMainFrame>(app);
    if (m_player) {
        m_playerUi = std::make_unique<PlayerUi>(app, *m_player, *m_frame);
        m_frame->SetPlayerDialog(m_playerUi->MakeDialog(m_frame.get()));
    }
    return true;
}

void QtAppShell::ShowMainWindow(bool hidden) {
    if (!m_frame)
        return;
    m_frame->hide();
    if (!hidden) {
        m_frame->show();
        m_frame->activateWindow();
    }
}

void QtAppShell::MusicStartUp(CView* musicForm) {
    if (auto* form = dynamic_cast<CMusicForm*>(musicForm)) {
        // Playback is reachable before the start-up, which may play a file
        // the program was opened for.
        if (m_playerUi)
            m_playerUi->AttachStudio(form->State());
        form->StartUp();
    }
}

void QtAppShell::MusicAddAndPlay(CView* musicForm, const std::string& path) {
    if (auto* form = dynamic_cast<CMusicForm*>(musicForm))
        form->AddAndPlay(path);
}

void QtAppShell::CdPlayTrack(CView* cdForm, int drive, int track) {
    if (m_frame)
        m_frame->ShowPage(0);
    if (auto* form = dynamic_cast<CCDForm*>(cdForm))
        form->PlayTrack(drive, track);
}

} // namespace lyb
