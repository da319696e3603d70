#include "ui/qt_shell.h"

#include "app/page_documents.h"
#include "cd/cd_doc.h"
#include "platform/trace.h"
#include "ui/cd_form.h"
#include "ui/club_orvik_form.h"
#include "ui/main_frame.h"
#include "ui/mobile_device_form.h"
#include "ui/music_form.h"
#include "ui/pages.h"
#include "player/player_subsystem.h"
#include "ui/player/player_ui.h"
#include "ui/shell/main_commands.h"
#include "ui/shell/shell_texts.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QLibraryInfo>

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
    // Hidden before the documents go: hiding lays the lists out once more,
    // and they read their documents when they do.
    if (m_frame)
        m_frame->hide();
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

void QtAppShell::WirePlayer(AppSeams& seams, PlayerSubsystem& player, const std::string& programFolder) {
    m_player = &player;
    seams.playerInit = [this, &player, programFolder] {
        player.Init(programFolder);
        // Stopping an LSE track tells the Lockstream library (slot 16).
        player.Engine().SetLockstreamStop([this] {
            if (m_app && m_app->GetComponents().lockstream)
                m_app->GetComponents().lockstream->Slot16();
        });
    };
    seams.playerShutdown = [&player] { player.Shutdown(); };
    seams.lengthEngine = [&player]() -> LengthQueryEngine* { return &player.Engine(); };
    seams.smallPlayerExists = [this] { return m_playerUi && m_playerUi->SmallPlayerExists(); };
    seams.notifySmallPlayer = [this](int wparam) {
        if (m_playerUi)
            m_playerUi->NotifySmallPlayer(wparam);
    };
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
            auto* cdForm = new CCDForm(*m_app, cd ? &cd->Cd() : nullptr, std::move(hooks), frame);
            view = cdForm;
            if (cd && m_playerUi)
                m_playerUi->AttachCd(cd->Cd());
            caption = "CD Player";
            WireCdCommands(cdForm);
            break;
        }
        case 1: {
            frame = new CClubOrvikFrame();
            auto* club = dynamic_cast<CClubOrvikDoc*>(&doc);
            view = new CClubOrvikForm(*m_app, club ? club->StartUrl() : std::string(), frame);
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
            WireMusicCommands(musicForm, pane);
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
    // A right-to-left language mirrors every window of the program.
    QApplication::setLayoutDirection(!app.EnglishInterface() && app.Settings().rightToLeft ? Qt::RightToLeft
                                                                                          : Qt::LeftToRight);
    LoadToolkitTexts(app);
    m_frame = std::make_unique<CMainFrame>(app);
    if (m_player) {
        m_playerUi = std::make_unique<PlayerUi>(app, *m_player, *m_frame);
        m_frame->SetPlayerDialog(m_playerUi->MakeDialog(m_frame.get()));
        WirePlayerCommands();
    }
    return true;
}

void QtAppShell::LoadToolkitTexts(CLyb30App& app) {
    if (m_toolkitTexts) {
        QCoreApplication::removeTranslator(m_toolkitTexts.get());
        m_toolkitTexts.reset();
    }
    // The language table names its locale ("de", "he"); English needs nothing.
    const std::string locale = app.EnglishInterface() ? std::string() : Tr(app.m_oLocalize, texts::kToolkitLocale);
    if (locale.empty() || locale == texts::kToolkitLocale.english)
        return;
    auto translator = std::make_unique<QTranslator>();
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!translator->load(QString::fromStdString("qtbase_" + locale), folder)) {
        TraceFormat("No toolkit texts for %s in %s", locale.c_str(), folder.toUtf8().constData());
        return;
    }
    QCoreApplication::installTranslator(translator.get());
    m_toolkitTexts = std::move(translator);
}

void QtAppShell::WirePlayerCommands() {
    PlayerUi* player = m_playerUi.get();
    CMainFrame* frame = m_frame.get();
    frame->SetCommandHandler(kIdPlayStudio, [player] { player->PlayStudio(); });
    frame->SetCommandHandler(kIdStopStudio, [player] { player->StopStudio(); });
    frame->SetCommandHandler(kIdSinglePlay, [player] { player->SetPlayMode(0); });
    frame->SetCommandHandler(kIdContinuousPlay, [player] { player->SetPlayMode(1); });
    frame->SetCommandHandler(kIdRandomPlay, [player] { player->SetPlayMode(2); });
    frame->SetCommandHandler(kIdSmallPlayer, [player] { player->SwitchToSmallPlayer(); });
    frame->SetCommandHandler(kIdSkins, [player] { player->ShowSkinBrowser(); });
}

void QtAppShell::WireCdCommands(CCDForm* form) {
    CCDDoc* doc = form->Doc();
    if (!doc)
        return;
    CMainFrame* frame = m_frame.get();
    // Play CD plays (or resumes) on the CD Player page; playing on, it does nothing.
    frame->SetCommandHandler(
        kIdPlayCd,
        [frame, doc] {
            frame->SwitchPage(kPageCdPlayer);
            if (doc->Playing() && !doc->Paused())
                return;
            doc->SelectFirstWhenNone();
            doc->PlayPause();
        },
        [doc] { return doc->ControlsEnabled().play; });
    frame->SetCommandHandler(
        kIdStopCd, [doc] { doc->Stop(); }, [doc] { return doc->ControlsEnabled().stop; });
    frame->SetCommandHandler(
        kIdEjectCd, [doc] { doc->EjectButton(); }, [doc] { return doc->ControlsEnabled().eject; });
}

void QtAppShell::WireMusicCommands(CMusicForm* form, CMobileDeviceForm* pane) {
    CMainFrame* frame = m_frame.get();
    // The Studio's commands act on the Music Studio page, which is shown first.
    auto onStudio = [frame, form](std::function<void(CMusicForm&)> run) {
        return [frame, form, run = std::move(run)] {
            frame->SwitchPage(kPageMusicStudio);
            run(*form);
        };
    };
    auto onPane = [frame, pane](void (CMobileDeviceForm::*run)()) {
        return [frame, pane, run] {
            frame->SwitchPage(kPageMusicStudio);
            (pane->*run)();
        };
    };
    // The active view of the page: the pane while the focus is in it, the
    // Studio's list once the focus went back there.
    auto paneActive = std::make_shared<bool>(false);
    QObject::connect(qApp, &QApplication::focusChanged, frame, [form, pane, paneActive](QWidget*, QWidget* now) {
        if (now && (now == pane || pane->isAncestorOf(now)))
            *paneActive = true;
        else if (now && (now == form || form->isAncestorOf(now)))
            *paneActive = false;
    });
    // "Studio Contents" acts on the card's list while the pane is the active view.
    auto studioOrPane = [onStudio, onPane, paneActive](std::function<void(CMusicForm&)> studio,
                                                       void (CMobileDeviceForm::*device)()) {
        return [studio = onStudio(std::move(studio)), device = onPane(device), paneActive] {
            if (*paneActive)
                device();
            else
                studio();
        };
    };
    frame->SetCommandHandler(
        kIdTransfer, onStudio([](CMusicForm& f) { f.OnTransfer(); }),
        [form] { return form->State().TransferEnabled(); });
    frame->SetCommandHandler(
        kIdEditItem, onStudio([](CMusicForm& f) { f.OnEditItem(); }), [form] { return form->State().CanEdit(); });
    frame->SetCommandHandler(kIdCreatePlaylist, onStudio([](CMusicForm& f) { f.OnCreatePlaylist(); }));
    frame->SetCommandHandler(kIdSearch, onStudio([](CMusicForm& f) { f.OnSearch(); }));
    frame->SetCommandHandler(kIdSelectAll,
                             studioOrPane([](CMusicForm& f) { f.State().SelectAll(); }, &CMobileDeviceForm::SelectAll));
    frame->SetCommandHandler(kIdUnselectAll, studioOrPane([](CMusicForm& f) { f.State().UnselectAll(); },
                                                          &CMobileDeviceForm::UnselectAll));
    frame->SetCommandHandler(kIdRemoveSelected, studioOrPane([](CMusicForm& f) { f.State().RemoveSelected(); },
                                                             &CMobileDeviceForm::RemoveSelected));
    frame->SetCommandHandler(kIdRemoveAll, studioOrPane([](CMusicForm& f) { f.State().RemoveAll(); },
                                                        &CMobileDeviceForm::RemoveAll));
    frame->SetCommandHandler(kIdDeviceSelectAll, onPane(&CMobileDeviceForm::SelectAll));
    frame->SetCommandHandler(kIdDeviceUnselectAll, onPane(&CMobileDeviceForm::UnselectAll));
    frame->SetCommandHandler(kIdDeviceDeleteSelected, onPane(&CMobileDeviceForm::RemoveSelected));
    frame->SetCommandHandler(kIdDeviceDeleteAll, onPane(&CMobileDeviceForm::RemoveAll));
}

void QtAppShell::ShowMainWindow(bool hidden) {
    if (!m_frame)
        return;
    // Discs and cards coming and going reach the pages from now on.
    m_frame->StartDeviceWatch();
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
