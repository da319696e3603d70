#include "ui/player/player_ui.h"

#include "app/lyb30_app.h"
#include "device/usb_manager.h"
#include "player/art/skin_art.h"
#include "player/cd_page_play_list.h"
#include "library/studio_page.h"
#include "player/play_list.h"
#include "player/player_subsystem.h"
#include "player/skin_browser_state.h"
#include "player/studio_page_play_list.h"
#include "ui/player/player_dialog.h"
#include "ui/player/skin_browser.h"
#include "ui/player/tray_icon.h"
#include "ui/player/volume_popup.h"

#include <QApplication>
#include <QMainWindow>
#include <QTimer>

namespace lyb {

PlayerUi::PlayerUi(CLyb30App& app, PlayerSubsystem& player, QMainWindow& mainWindow)
    : m_app(app), m_player(player), m_main(mainWindow) {
    PlayerDialogState& d = m_player.Dialog();
    d.SetCdState([this] { return m_app.CdState(); });
    d.SetSmallPlayerNotify([this](int w) { NotifySmallPlayer(w); });
    d.SetChanged([this] {
        if (m_dialog)
            m_dialog->Refresh();
    });
    m_trayFactory = [] { return std::make_unique<QtTrayIcon>(); };
}

PlayerUi::~PlayerUi() {
    PlayerDialogState& d = m_player.Dialog();
    d.SetSmallPlayerNotify({});
    d.SetChanged({});
    if (d.Studio() == m_studioList.get())
        d.SetStudio(nullptr);
    // The CD page's hooks into this object go with it.
    m_cdList.reset();
    if (m_studioList) {
        m_studioList->Page().SetPlayback({});
        StudioTransfer transfer = m_studioList->Page().Transfer();
        transfer.stopPlayer = nullptr;
        m_studioList->Page().SetTransfer(transfer);
    }
    delete m_small;
    m_small = nullptr;
}

CPlayerDialog* PlayerUi::MakeDialog(QWidget* parent) {
    CPlayerDialog::Actions actions;
    actions.volume = [this](QPoint at) { OpenVolumePopup(at); };
    actions.smallPlayer = [this] { SwitchToSmallPlayer(); };
    actions.skins = [this] { ShowSkinBrowser(); };
    m_dialog = new CPlayerDialog(
        m_player.Dialog(), [this](int id, const char* english) { return Text(id, english); }, actions, parent);
    return m_dialog;
}

void PlayerUi::AttachStudio(StudioPage& page) {
    m_studioList = std::make_unique<StudioPagePlayList>(page);
    PlayerDialogState& d = m_player.Dialog();
    d.SetStudio(m_studioList.get());
    StudioPlayback playback;
    playback.active = [&d] { return d.Source() == kSourceStudio && d.Active(); };
    playback.stop = [&d] { d.StopStudio(); };
    playback.playRow = [&d](int row) { d.PlayRow(row); };
    playback.playSelection = [this] { PlayStudio(); };
    page.SetPlayback(std::move(playback));
    StudioTransfer transfer = page.Transfer();
    transfer.stopPlayer = [&d] { d.Stop(); };
    page.SetTransfer(std::move(transfer));
}

void PlayerUi::AttachCd(CCDDoc& doc) {
    m_cdList.reset();
    m_cdList = std::make_unique<CdPagePlayList>(doc, m_player.Dialog(), [this](int wparam) { NotifySmallPlayer(wparam); });
}

void PlayerUi::NotifySmallPlayer(int wparam) {
    if (m_small)
        m_small->OnMessage2022(wparam);
}

void PlayerUi::PlayStudio() {
    m_player.Dialog().SetSource(kSourceStudio);
    m_player.Dialog().Play();
}

void PlayerUi::StopStudio() { m_player.Dialog().StopStudio(); }

void PlayerUi::SetPlayMode(int mode) { m_player.Dialog().SetMode(mode); }

void PlayerUi::SwitchToSmallPlayer() {
    if (!m_small)
        m_small = new CSmallPlayer(*this); // a top-level window without owner
    m_small->setWindowTitle(Text(338, "Lyrabox 3.0 Player"));
    m_small->setWindowIcon(QIcon(QPixmap::fromImage(PlayerIcon())));
    m_mainWasMaximised = m_main.isMaximized();
    m_main.hide();
    QPointer<CSmallPlayer> small = m_small;
    QTimer::singleShot(m_switchDelayMs, small, [small] {
        if (!small)
            return;
        small->show();
        small->raise();
        small->activateWindow();
    });
}

void PlayerUi::RestoreMainWindow() {
    if (m_small) {
        CSmallPlayer* small = m_small;
        m_small = nullptr;
        small->hide();
        small->deleteLater();
    }
    if (m_mainWasMaximised)
        m_main.showMaximized();
    else
        m_main.showNormal();
    m_main.raise();
    m_main.activateWindow();
}

void PlayerUi::CloseApplication() {
    if (m_small) {
        CSmallPlayer* small = m_small;
        m_small = nullptr;
        small->hide();
        small->deleteLater();
    }
    // The hidden main window closes, which ends the application.
    m_main.close();
    QCoreApplication::quit();
}

void PlayerUi::OpenVolumePopup(QPoint globalCursor) {
    CMixerVolume* mixer = m_player.Mixer();
    if (!mixer || !mixer->Available())
        return;
    if (m_volume)
        m_volume->close();
    m_volume = new CVolumePopup(*mixer, m_player.Dialog().Source() == kSourceCd);
    m_volume->changed = [this] {
        if (m_small)
            m_small->update();
    };
    m_volume->ShowAt(globalCursor);
}

void PlayerUi::EjectCd() {
    if (CdPlayList* cd = m_player.Dialog().Cd())
        cd->Eject();
}

void PlayerUi::ShowSkinBrowser() {
    AppSettings& s = m_app.Settings();
    CSkinBrowser browser(s.currentSkinName, s.defaultSkinPath,
                         [this](int id, const char* english) { return Text(id, english); },
                         m_small ? static_cast<QWidget*>(m_small) : &m_main);
    if (beforeSkinBrowser)
        beforeSkinBrowser(browser);
    else
        browser.exec();
}

PlayerDialogState& PlayerUi::Dialog() { return m_player.Dialog(); }

CMixerVolume* PlayerUi::Mixer() { return m_player.Mixer(); }

QString PlayerUi::Text(int id, const char* english) {
    return QString::fromStdString(m_app.m_oLocalize.Get(id, english));
}

std::string PlayerUi::SkinPath() {
    const AppSettings& s = m_app.Settings();
    return ResolveSkinPath(s.currentSkinName, s.defaultSkinPath, m_app.Environment().programFolder);
}

bool PlayerUi::AlwaysOnTop() { return m_app.Settings().alwaysOnTop != 0; }

bool PlayerUi::RightToLeft() { return m_app.Settings().rightToLeft; }

int PlayerUi::DeviceCount() {
    // The phones in the device table now: every refresh of the Mobile Device page renews it.
    return m_app.UsbManager() ? m_app.UsbManager()->DeviceCount() : m_app.DeviceCount();
}

std::unique_ptr<TrayIcon> PlayerUi::MakeTrayIcon() { return m_trayFactory ? m_trayFactory() : nullptr; }

} // namespace lyb
