// The volume pop-up: a small window with an upside-down vertical slider
// (the top is full volume), opened 50 pixels up and left of the cursor,
// writing the slider's value every 50 ms and closing when the cursor leaves.
#pragma once

#include "player/mixer_volume.h"

#include <QTimer>
#include <QWidget>

#include <functional>

class QSlider;

namespace lyb {

class CVolumePopup final : public QWidget {
public:
    /// Drives the CD line when `cdIsSource`, else the wave-out line.
    CVolumePopup(CMixerVolume& mixer, bool cdIsSource, QWidget* parent = nullptr);

    /// Shows the pop-up with its top-left corner 50 pixels up and left of `cursor`.
    void ShowAt(QPoint cursor);
    QSlider* Slider() const { return m_slider; }
    const VolumePopupState& State() const { return m_state; }
    /// Called after a value was written (the Small Player redraws its bar).
    std::function<void()> changed;
    /// The 50 ms poll (also run by tests).
    void OnTimer();

protected:
    void leaveEvent(QEvent*) override;

private:
    VolumePopupState m_state;
    QSlider* m_slider = nullptr;
    QTimer m_timer;
};

} // namespace lyb
