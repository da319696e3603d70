#include "platform/mixer.h"

#include <algorithm>

namespace lyb {

OutputVolume& OutputVolume::Of(OutputLine line) {
    static OutputVolume cd;
    static OutputVolume wave;
    return line == OutputLine::CompactDisc ? cd : wave;
}

std::uint32_t OutputVolume::Value() const {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return m_value;
}

bool OutputVolume::Muted() const {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return m_muted;
}

double OutputVolume::Linear() const {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return m_muted ? 0.0 : static_cast<double>(m_value) / kMaxValue;
}

void OutputVolume::SetValue(std::uint32_t value) {
    {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        m_value = std::min(value, kMaxValue);
    }
    Notify();
}

void OutputVolume::SetMuted(bool muted) {
    {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        m_muted = muted;
    }
    Notify();
}

int OutputVolume::Listen(std::function<void(double)> listener) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    const int id = m_nextId++;
    m_listeners.emplace(id, std::move(listener));
    return id;
}

void OutputVolume::Unlisten(int id) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    m_listeners.erase(id);
}

void OutputVolume::Notify() {
    // Called under the lock so a listener that is being removed is never
    // called after Unlisten returned.
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    const double linear = m_muted ? 0.0 : static_cast<double>(m_value) / kMaxValue;
    for (auto& [id, listener] : m_listeners)
        listener(linear);
}

namespace {

constexpr std::uint32_t kCdVolumeId = 1, kCdMuteId = 2, kWaveVolumeId = 3, kWaveMuteId = 4;

class StreamMixer final : public MixerDevice {
public:
    bool Open(int index) override { return index == 0; }

    std::vector<MixerDestination> Destinations() const override {
        auto line = [](MixerComponent c, const char* name, std::uint32_t vol, std::uint32_t mute) {
            MixerLine l;
            l.component = c;
            l.name = name;
            l.controls = {{vol, MixerControlClass::Fader, 0, OutputVolume::kMaxValue, "Volume"},
                          {mute, MixerControlClass::Switch, 0, 1, "Mute"}};
            return l;
        };
        MixerDestination d;
        d.name = "Speakers";
        d.sources = {line(MixerComponent::CompactDisc, "CD Audio", kCdVolumeId, kCdMuteId),
                     line(MixerComponent::WaveOut, "Wave", kWaveVolumeId, kWaveMuteId)};
        return {d};
    }

    bool GetValue(std::uint32_t id, std::uint32_t& value) const override {
        switch (id) {
        case kCdVolumeId: value = Cd().Value(); return true;
        case kCdMuteId: value = Cd().Muted() ? 1 : 0; return true;
        case kWaveVolumeId: value = Wave().Value(); return true;
        case kWaveMuteId: value = Wave().Muted() ? 1 : 0; return true;
        default: return false;
        }
    }

    bool SetValue(std::uint32_t id, std::uint32_t value) override {
        switch (id) {
        case kCdVolumeId: Cd().SetValue(value); return true;
        case kCdMuteId: Cd().SetMuted(value != 0); return true;
        case kWaveVolumeId: Wave().SetValue(value); return true;
        case kWaveMuteId: Wave().SetMuted(value != 0); return true;
        default: return false;
        }
    }

private:
    static OutputVolume& Cd() { return OutputVolume::Of(OutputLine::CompactDisc); }
    static OutputVolume& Wave() { return OutputVolume::Of(OutputLine::WaveOut); }
};

class MemoryMixer final : public MixerDevice {
public:
    MemoryMixer(std::vector<MixerDestination> d, bool present) : m_dest(std::move(d)), m_present(present) {
        for (const auto& dest : m_dest)
            for (const auto& src : dest.sources)
                for (const auto& c : src.controls)
                    m_values[c.id] = c.maximum;
    }
    bool Open(int index) override { return m_present && index == 0; }
    std::vector<MixerDestination> Destinations() const override {
        return m_present ? m_dest : std::vector<MixerDestination>{};
    }
    bool GetValue(std::uint32_t id, std::uint32_t& value) const override {
        auto it = m_values.find(id);
        if (it == m_values.end())
            return false;
        value = it->second;
        return true;
    }
    bool SetValue(std::uint32_t id, std::uint32_t value) override {
        auto it = m_values.find(id);
        if (it == m_values.end())
            return false;
        it->second = value;
        return true;
    }

private:
    std::vector<MixerDestination> m_dest;
    std::map<std::uint32_t, std::uint32_t> m_values;
    bool m_present;
};

} // namespace

std::unique_ptr<MixerDevice> CreateStreamMixer() { return std::make_unique<StreamMixer>(); }

std::unique_ptr<MixerDevice> CreateMemoryMixer(std::vector<MixerDestination> destinations, bool present) {
    return std::make_unique<MemoryMixer>(std::move(destinations), present);
}

} // namespace lyb
