// The player dialog: play, pause, stop, previous, next, the three play
// modes, the progress bar with the elapsed time, the volume, the switch to
// the Small Player and the skin browser. A view of PlayerDialogState; its
// one-second clock (timer 13) drives the state.
#pragma once

#include <QTimer>
#include <QWidget>

#include <functional>

class QAbstractButton;
class QLabel;
class QSlider;
class QToolButton;

namespace lyb {

class PlayerDialogState;

class CPlayerDialog final : public QWidget {
public:
    struct Actions {
        std::function<void(QPoint)> volume;   ///< the volume pop-up at a screen point
        std::function<void()> smallPlayer;    ///< "Switch to Small Player"
        std::function<void()> skins;          ///< the skin browser
    };

    CPlayerDialog(PlayerDialogState& state, std::function<QString(int, const char*)> text, Actions actions,
                  QWidget* parent = nullptr);

    /// Shows the state: range and position of the progress bar, time text,
    /// mode buttons.
    void Refresh();
    /// The one-second clock.
    void OnClock();

    QSlider* Progress() const { return m_progress; }
    QLabel* Time() const { return m_time; }
    QToolButton* Button(const char* objectName) const;

private:
    PlayerDialogState& m_state;
    QSlider* m_progress = nullptr;
    QLabel* m_time = nullptr;
    QToolButton* m_modes[3] = {};
    QTimer m_clock;
};

} // namespace lyb
