#include "player/mixer_volume.h"

#include <algorithm>

namespace lyb {

namespace {

// The line's volume: its first control of the fader class. (Taking index 1
// whenever the first control is a fader would land on the mute switch or a
// meter of a usual line, leaving the slider without effect.)
CMixerVolume::LineControl PickControl(const MixerLine& line) {
    CMixerVolume::LineControl c;
    for (const MixerControl& mc : line.controls)
        if (mc.controlClass == MixerControlClass::Fader) {
            c.found = true;
            c.controlId = mc.id;
            c.minimum = mc.minimum;
            c.maximum = std::max(mc.minimum, mc.maximum);
            break;
        }
    return c;
}

} // namespace

CMixerVolume::CMixerVolume(std::unique_ptr<MixerDevice> device) : m_device(std::move(device)) {
    if (!m_device || !m_device->Open(0))
        return;
    m_available = true;
    for (const MixerDestination& d : m_device->Destinations())
        for (const MixerLine& source : d.sources) {
            if (source.component == MixerComponent::CompactDisc && !m_cd.found)
                m_cd = PickControl(source);
            else if (source.component == MixerComponent::WaveOut && !m_wave.found)
                m_wave = PickControl(source);
        }
}

const CMixerVolume::LineControl& CMixerVolume::Line(OutputLine line) const {
    return line == OutputLine::CompactDisc ? m_cd : m_wave;
}

long CMixerVolume::Value(OutputLine line) const {
    const LineControl& c = Line(line);
    std::uint32_t v = 0;
    if (!c.found || !m_device->GetValue(c.controlId, v))
        return -1;
    return static_cast<long>(v);
}

bool CMixerVolume::SetValue(OutputLine line, std::uint32_t value) {
    const LineControl& c = Line(line);
    if (!c.found)
        return false;
    return m_device->SetValue(c.controlId, std::clamp(value, c.minimum, c.maximum));
}

int CMixerVolume::Percent(OutputLine line) const {
    const LineControl& c = Line(line);
    const long v = Value(line);
    if (v < 0 || c.maximum == c.minimum)
        return 0;
    return static_cast<int>((static_cast<std::uint64_t>(v) - c.minimum) * 100 / (c.maximum - c.minimum));
}

VolumePopupState::VolumePopupState(CMixerVolume& mixer, bool cdIsSource)
    : m_mixer(mixer), m_line(cdIsSource ? OutputLine::CompactDisc : OutputLine::WaveOut),
      m_control(mixer.Line(m_line)) {
    const long v = mixer.Value(m_line);
    m_position = v < 0 ? 0 : static_cast<int>(m_control.maximum - static_cast<std::uint32_t>(v));
}

bool VolumePopupState::OnTimer(int sliderPosition) {
    if (!m_control.found || sliderPosition == m_position)
        return false;
    m_position = std::clamp(sliderPosition, SliderMinimum(), SliderMaximum());
    return m_mixer.SetValue(m_line, m_control.maximum - static_cast<std::uint32_t>(m_position));
}

int VolumeBarWidth(int percent) {
    percent = std::clamp(percent, 0, 100);
    return (percent * 60 + 99) / 100;
}

} // namespace lyb
