// Output volume: the two lines the program plays through (the CD line and
// the wave-out line of files) and a mixer device that shows them as source
// lines with controls, the way the volume control looks for them.
//
// On Linux the lines are the volumes of our own output streams: every
// playing stream listens to its line and applies the value itself, so the
// program never changes the volume of other programs. The memory mixer is
// the simulated backend of tests.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace lyb {

enum class OutputLine { CompactDisc, WaveOut };

/// The volume of one output line: 0 to kMaxValue, plus a mute switch.
/// Thread-safe; listeners run on the thread that changes the value.
class OutputVolume {
public:
    static constexpr std::uint32_t kMaxValue = 65535;

    /// The process-wide volume of `line`.
    static OutputVolume& Of(OutputLine line);

    std::uint32_t Value() const;
    void SetValue(std::uint32_t value); ///< clamped to kMaxValue
    bool Muted() const;
    void SetMuted(bool muted);
    /// The factor a stream applies: 0.0 when muted, else Value / kMaxValue.
    double Linear() const;

    /// `listener` is called with the new factor after every change. Returns
    /// an id for Unlisten. A listener may read
    /// the value but must not call Listen or Unlisten.
    int Listen(std::function<void(double)> listener);
    void Unlisten(int id);

private:
    void Notify();
    mutable std::recursive_mutex m_mutex; // listeners may read the value back
    std::uint32_t m_value = kMaxValue;
    bool m_muted = false;
    int m_nextId = 1;
    std::map<int, std::function<void(double)>> m_listeners;
};

enum class MixerComponent { CompactDisc, WaveOut, Other };
enum class MixerControlClass { Fader, Switch, Meter, Other };

struct MixerControl {
    std::uint32_t id = 0;
    MixerControlClass controlClass = MixerControlClass::Other;
    std::uint32_t minimum = 0;
    std::uint32_t maximum = 0;
    std::string name;
};

struct MixerLine {
    MixerComponent component = MixerComponent::Other;
    std::string name;
    std::vector<MixerControl> controls;
};

struct MixerDestination {
    std::string name;
    std::vector<MixerLine> sources;
};

class MixerDevice {
public:
    virtual ~MixerDevice() = default;
    /// Opens device `index`; false when there is none.
    virtual bool Open(int index) = 0;
    /// The destination lines with their source lines (after Open).
    virtual std::vector<MixerDestination> Destinations() const = 0;
    /// One channel's value of a control; false for an unknown control.
    virtual bool GetValue(std::uint32_t controlId, std::uint32_t& value) const = 0;
    virtual bool SetValue(std::uint32_t controlId, std::uint32_t value) = 0;
};

/// The Linux backend: one device whose destination "Speakers" has the
/// sources "CD Audio" and "Wave" (each a volume fader 0..65535 and a mute
/// switch) over OutputVolume::Of.
std::unique_ptr<MixerDevice> CreateStreamMixer();

/// An in-memory device with the given lines (no device when `present` is
/// false); control values start at each control's maximum.
std::unique_ptr<MixerDevice> CreateMemoryMixer(std::vector<MixerDestination> destinations,
                                               bool present = true);

} // namespace lyb
