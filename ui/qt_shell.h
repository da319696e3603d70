// The widget layer's side of the application object: fonts, the main
// frame, the pages' views and the UI-thread message target.
#pragma once

#include "app/lyb30_app.h"
#include "platform/qt/qt_message_target.h"

#include <QFont>
#include <QTranslator>

#include <array>
#include <memory>

namespace lyb {

class CCDForm;
class CMainFrame;
class CMobileDeviceForm;
class CMusicForm;
class PlayerSubsystem;
class PlayerUi;

class QtAppShell final : public AppShell {
public:
    QtAppShell();
    ~QtAppShell() override;

    void SetApp(CLyb30App* app) { m_app = app; }
    /// The player the main frame shows (null: no player dialog).
    void SetPlayer(PlayerSubsystem* player) { m_player = player; }
    /// Makes `player` the program's: its start-up and shutdown, its length
    /// queries and the Small Player's messages go into `seams`, and the main
    /// frame shows it. `programFolder` holds the playback library.
    void WirePlayer(AppSeams& seams, PlayerSubsystem& player, const std::string& programFolder);
    /// The player's windows; null before the main frame exists.
    PlayerUi* Player() const { return m_playerUi.get(); }

    bool AddFontResource(const std::string& path) override;
    void CreateInterfaceFonts(const std::string& typeface, int characterSet,
                              const std::array<InterfaceFontSpec, 4>& fonts) override;
    void RemoveFontResource(const std::string& path) override;
    ViewFactory MakeViewFactory(int index) override;
    bool CreateMainFrame(CLyb30App& app) override;
    void ShowMainWindow(bool hidden) override;
    void MusicStartUp(CView* musicForm) override;
    void MusicAddAndPlay(CView* musicForm, const std::string& path) override;
    void CdPlayTrack(CView* cdForm, int drive, int track) override;
    MessageTarget* UiTarget() override { return m_target.get(); }

    CMainFrame* MainFrame() const { return m_frame.get(); }
    const std::array<QFont, 4>& Fonts() const { return m_fonts; }
    /// The face actually used (the requested one or the system's).
    const QString& UsedFamily() const { return m_usedFamily; }
    /// Closes the main frame before the application object is torn down.
    void DestroyMainFrame();

private:
    /// The Studio's transfer command goes to the Mobile Device pane.
    void ConnectTransfer(CMusicForm& music, CMobileDeviceForm& pane);
    /// The pane's column widths and the splitter's position into the settings.
    void SaveDevicePane();
    /// The main menu's Music Studio commands reach this page.
    void WireMusicCommands(CMusicForm* form, CMobileDeviceForm* pane);
    /// The CD Player page's commands.
    void WireCdCommands(CCDForm* form);
    /// The player's commands.
    void WirePlayerCommands();
    /// The toolkit's own texts (file dialogs, a text field's menu) in the
    /// interface language, when the system has them.
    void LoadToolkitTexts(CLyb30App& app);

    CLyb30App* m_app = nullptr;
    PlayerSubsystem* m_player = nullptr;
    std::unique_ptr<CMainFrame> m_frame;
    std::unique_ptr<PlayerUi> m_playerUi;
    std::unique_ptr<QtMessageTarget> m_target;
    std::array<QFont, 4> m_fonts;
    QString m_usedFamily;
    int m_fontId = -1;
    std::unique_ptr<QTranslator> m_toolkitTexts;
};

} // namespace lyb
