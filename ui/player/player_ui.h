// The player's windows and how they meet the program: the player dialog in
// the main window, the Small Player that replaces the main window, the
// volume pop-up and the skin browser; the commands the main menu calls.
#pragma once

#include "ui/player/player_dialog.h"
#include "ui/player/small_player.h"
#include "ui/player/volume_popup.h"

#include <QPointer>

#include <functional>
#include <memory>

class QMainWindow;

namespace lyb {

class CLyb30App;
class StudioPage;
class StudioPagePlayList;
class CCDDoc;
class CdPagePlayList;
class PlayerSubsystem;

class PlayerUi final : public SmallPlayerHost {
public:
    PlayerUi(CLyb30App& app, PlayerSubsystem& player, QMainWindow& mainWindow);
    ~PlayerUi() override;
    PlayerUi(const PlayerUi&) = delete;
    PlayerUi& operator=(const PlayerUi&) = delete;

    /// The player dialog for the main window (owned by `parent`).
    CPlayerDialog* MakeDialog(QWidget* parent);
    /// The Music Studio page becomes the list the dialog plays, and the page
    /// reaches Studio playback through its seam.
    void AttachStudio(StudioPage& page);
    /// The CD Player page: the dialog drives it, and it asks the player
    /// (random mode, stopping the Studio, the Small Player, a track that
    /// starts); the connection ends with this object.
    void AttachCd(CCDDoc& doc);

    // Commands (the main menu's entry points).
    void PlayStudio();            ///< 32791 "Play Music in Studio"
    void StopStudio();            ///< 32792 "Stop Playing Music in Studio"
    void SetPlayMode(int mode);   ///< 32793-32795
    void SwitchToSmallPlayer();   ///< 32796 (Ctrl+Space)
    void ShowSkinBrowser();       ///< 32797 (Ctrl+B)

    /// Message 2022 to the Small Player when it exists (0: the text strip
    /// changed; 1: the whole top strip, e.g. a phone came or went).
    void NotifySmallPlayer(int wparam);
    bool SmallPlayerExists() const { return m_small != nullptr; }
    CSmallPlayer* SmallPlayer() const { return m_small; }
    CPlayerDialog* DialogWidget() const { return m_dialog; }
    CVolumePopup* VolumePopup() const { return m_volume; }
    /// Tests replace the desktop's tray and the pause before showing.
    void SetTrayFactory(std::function<std::unique_ptr<TrayIcon>()> f) { m_trayFactory = std::move(f); }
    void SetSwitchDelayMs(int ms) { m_switchDelayMs = ms; }
    /// Tests run the skin browser with their own folder answer.
    std::function<void(class CSkinBrowser&)> beforeSkinBrowser;

    // SmallPlayerHost
    PlayerDialogState& Dialog() override;
    CMixerVolume* Mixer() override;
    QString Text(int id, const char* english) override;
    std::string SkinPath() override;
    bool AlwaysOnTop() override;
    bool RightToLeft() override;
    int DeviceCount() override;
    std::unique_ptr<TrayIcon> MakeTrayIcon() override;
    void RestoreMainWindow() override;
    void CloseApplication() override;
    void OpenVolumePopup(QPoint globalCursor) override;
    void EjectCd() override;

private:
    CLyb30App& m_app;
    PlayerSubsystem& m_player;
    QMainWindow& m_main;
    QPointer<CPlayerDialog> m_dialog;
    CSmallPlayer* m_small = nullptr;
    QPointer<CVolumePopup> m_volume;
    std::unique_ptr<StudioPagePlayList> m_studioList;
    std::unique_ptr<CdPagePlayList> m_cdList;
    std::function<std::unique_ptr<TrayIcon>()> m_trayFactory;
    bool m_mainWasMaximised = false;
    int m_switchDelayMs = 200;
};

} // namespace lyb
