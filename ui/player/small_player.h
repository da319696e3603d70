// The Small Player: a borderless 300 x 104 window drawn from a skin, with
// ten skinned buttons, the progress thumb, the volume bar, the lights, the
// title, artist and time texts, and a notification-area icon.
#pragma once

#include "player/small_player_state.h"
#include "ui/player/skin_images.h"

#include <QFont>
#include <QPixmap>
#include <QPoint>
#include <QTimer>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <string>

namespace lyb {

class CMixerVolume;
class PlayerDialogState;
class TrayIcon;

/// What the Small Player needs from the program.
class SmallPlayerHost {
public:
    virtual ~SmallPlayerHost() = default;
    virtual PlayerDialogState& Dialog() = 0;
    virtual CMixerVolume* Mixer() = 0;
    /// The interface text `id` (English default).
    virtual QString Text(int id, const char* english) = 0;
    /// The skin file to load ("" for the built-in images).
    virtual std::string SkinPath() = 0;
    virtual bool AlwaysOnTop() = 0;
    virtual bool RightToLeft() = 0;
    virtual int DeviceCount() = 0;
    virtual std::unique_ptr<TrayIcon> MakeTrayIcon() = 0;
    /// Restore: the Small Player closes and the main window comes back.
    virtual void RestoreMainWindow() = 0;
    /// Close: the application ends.
    virtual void CloseApplication() = 0;
    /// The volume pop-up at the cursor.
    virtual void OpenVolumePopup(QPoint globalCursor) = 0;
    /// The CD player's eject (refused while saving).
    virtual void EjectCd() = 0;
};

/// One skinned button: its three state images (made once), hover kept by
/// a 100 ms timer, pressed while the mouse button is down.
class CSkinButton final : public QWidget {
public:
    CSkinButton(const ButtonLayout& layout, const SkinImages& images, bool rightToLeft, QWidget* parent);
    SkinButton Button() const { return m_layout.button; }
    ButtonImage State() const;
    std::function<void()> clicked;

protected:
    void paintEvent(QPaintEvent*) override;
    void enterEvent(QEnterEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void changeEvent(QEvent*) override;

private:
    void CheckHover();
    const ButtonLayout& m_layout;
    std::array<QPixmap, 3> m_images; ///< normal, hover, pressed
    bool m_hover = false;
    bool m_pressed = false;
    QTimer m_hoverTimer; ///< timer 116
};

class CSmallPlayer final : public QWidget {
public:
    explicit CSmallPlayer(SmallPlayerHost& host, QWidget* parent = nullptr);
    ~CSmallPlayer() override;

    /// Message 2022: 0 redraws the text strip, 1 the whole top strip (a
    /// phone came or went).
    void OnMessage2022(int wparam);
    /// The notification-area icon's callback (message 2023): a left press
    /// brings the window to the front, or restores it when minimised.
    void OnTrayPress();

    // The commands (buttons, keys).
    void Command(SkinButton button);

    const SmallPlayerState& State() const { return m_state; }
    const SkinImages& Images() const { return m_images; }
    CSkinButton* ButtonWidget(SkinButton b) const { return m_buttons[static_cast<size_t>(b)]; }
    TrayIcon* Tray() const { return m_tray.get(); }
    bool SkinLoaded() const { return m_images.fromSkin; }
    /// The clock of the Small Player (also run by tests).
    void OnClock();

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void moveEvent(QMoveEvent*) override;
    void closeEvent(QCloseEvent*) override;
    void changeEvent(QEvent*) override;
    bool event(QEvent*) override;

private:
    void SyncFromDialog();
    void DrawLight(QPainter& p, SkinPoint at, Light light);
    void DrawText(QPainter& p, const SkinRect& box, const QString& text);
    QString TitleText() const;
    QString ArtistText() const;

    SmallPlayerHost& m_host;
    SmallPlayerState m_state;
    SkinImages m_images;
    QFont m_font;
    std::array<CSkinButton*, kSkinButtonCount> m_buttons{};
    std::unique_ptr<TrayIcon> m_tray;
    QTimer m_clock;
    bool m_moving = false;
    QPoint m_moveOffset;
    bool m_closing = false;
};

} // namespace lyb
