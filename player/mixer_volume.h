// CMixerVolume: the volume of the CD line and of the wave-out line, found
// on mixer device 0, and the state of the volume pop-up (an upside-down
// vertical slider polled by a 50 ms timer).
#pragma once

#include "platform/mixer.h"

#include <cstdint>
#include <memory>

namespace lyb {

class CMixerVolume {
public:
    /// The control chosen for one line.
    struct LineControl {
        bool found = false;
        std::uint32_t controlId = 0;
        std::uint32_t minimum = 0;
        std::uint32_t maximum = 0;
    };

    /// Opens device 0 of `device` and picks the first compact-disc source
    /// and the first wave-out source of any destination.
    explicit CMixerVolume(std::unique_ptr<MixerDevice> device);

    /// False when there is no mixer: no volume control at all.
    bool Available() const { return m_available; }
    const LineControl& Line(OutputLine line) const;

    /// The line's value, or -1 when it has no control.
    long Value(OutputLine line) const;
    /// Writes the value (clamped to the control's range); false without a control.
    bool SetValue(OutputLine line, std::uint32_t value);
    /// The value as a share of the range, 0 to 100 (rounded down); 0 without a control.
    int Percent(OutputLine line) const;

private:
    std::unique_ptr<MixerDevice> m_device;
    bool m_available = false;
    LineControl m_cd;
    LineControl m_wave;
};

/// The volume pop-up's state: which line it drives, the slider's range and
/// position (upside down: position = maximum - value), and the 50 ms poll.
class VolumePopupState {
public:
    /// Pixels the pop-up's top-left corner lies up and left of the cursor.
    static constexpr int kOffset = 50;
    /// Period of the poll that writes the slider's value.
    static constexpr int kTimerMs = 50;

    /// The CD line while the CD is the playing source, else wave-out.
    VolumePopupState(CMixerVolume& mixer, bool cdIsSource);

    bool Usable() const { return m_control.found; }
    OutputLine Line() const { return m_line; }
    int SliderMinimum() const { return static_cast<int>(m_control.minimum); }
    int SliderMaximum() const { return static_cast<int>(m_control.maximum); }
    /// The slider position that shows the line's current value.
    int InitialPosition() const { return m_position; }
    /// The timer: a slider position that changed is written as maximum - position.
    /// Returns true when a value was written.
    bool OnTimer(int sliderPosition);

private:
    CMixerVolume& m_mixer;
    OutputLine m_line;
    CMixerVolume::LineControl m_control;
    int m_position = 0;
};

/// Width in pixels of the Small Player's volume bar for a volume of
/// `percent` (0 to 100): percent x 60 / 100, rounded up.
int VolumeBarWidth(int percent);

} // namespace lyb
