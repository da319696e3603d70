#include "platform/cdaudio/cd_audio.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/trace.h"

namespace lyb {

namespace {

constexpr double kBytesPerSecond = 176400.0;
/// Frames read per request of the player: 0.2 s of audio.
constexpr std::uint32_t kFramesPerRead = 15;

using Clock = std::chrono::steady_clock;

class ClockedOutput final : public PcmOutput {
public:
    explicit ClockedOutput(double speed) : m_speed(speed > 0 ? speed : 1.0) {}

    bool Start() override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_written = m_base = 0;
        m_anchor = Clock::now();
        m_paused = m_aborted = false;
        return true;
    }
    bool Write(const std::uint8_t*, std::size_t bytes) override {
        std::unique_lock<std::mutex> lock(m_mutex);
        // A quarter second of queue, as an output device buffers.
        const std::uint64_t queue = std::uint64_t(kBytesPerSecond / 4);
        while (!m_aborted && (m_paused || m_written - PlayedLocked() > queue))
            m_cv.wait_for(lock, std::chrono::milliseconds(2));
        if (m_aborted) return false;
        if (PlayedLocked() >= m_written) { // underrun: the clock waits for the data
            m_base = m_written;
            m_anchor = Clock::now();
        }
        m_written += bytes;
        return true;
    }
    void Pause(bool paused) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (paused == m_paused) return;
        if (paused) m_base = PlayedLocked();
        else m_anchor = Clock::now();
        m_paused = paused;
        m_cv.notify_all();
    }
    bool Drain() override {
        std::unique_lock<std::mutex> lock(m_mutex);
        while (!m_aborted && PlayedLocked() < m_written) m_cv.wait_for(lock, std::chrono::milliseconds(2));
        return !m_aborted;
    }
    void Abort() override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_aborted = true;
        m_cv.notify_all();
    }
    std::uint64_t PlayedBytes() override {
        std::lock_guard<std::mutex> lock(m_mutex);
        return PlayedLocked();
    }

private:
    std::uint64_t PlayedLocked() const {
        if (m_paused) return m_base;
        double seconds = std::chrono::duration<double>(Clock::now() - m_anchor).count();
        std::uint64_t played = m_base + std::uint64_t(seconds * kBytesPerSecond * m_speed);
        return std::min(played, m_written) / 4 * 4;
    }

    const double m_speed;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::uint64_t m_written = 0, m_base = 0;
    Clock::time_point m_anchor = Clock::now();
    bool m_paused = false, m_aborted = false;
};

CdMsf ToMsf(std::uint32_t lba, bool withLeadIn) {
    CdMsf m;
    std::uint32_t a = withLeadIn ? lba + 150 : lba;
    m.minutes = int(a / 4500);
    m.seconds = int((a / 75) % 60);
    m.frames = int(a % 75);
    return m;
}

} // namespace

std::unique_ptr<PcmOutput> MakeClockedOutput(double speed) { return std::make_unique<ClockedOutput>(speed); }

std::unique_ptr<PcmOutput> CdAudio::MakeDefaultOutput(const std::string& node) {
    const char* choice = std::getenv("LYB30_CD_AUDIO_OUTPUT");
    bool gst = !IsVirtualDriveNode(node) || (choice && std::strcmp(choice, "gst") == 0);
    if (gst) {
        if (auto out = MakeGstOutput()) return out;
        Trace("CD audio: no GStreamer output; playing without sound");
    }
    return MakeClockedOutput();
}

CdAudio::CdAudio(DeviceOpener open, OutputMaker output)
    : m_open(open ? std::move(open) : DeviceOpener([](const std::string& n) { return OpenCdromDevice(n); })),
      m_makeOutput(output ? std::move(output) : OutputMaker(&CdAudio::MakeDefaultOutput)) {}

CdAudio::~CdAudio() { Close(); }

bool CdAudio::Open(const std::string& node) {
    Close();
    m_device = m_open(node);
    if (!m_device) return false;
    m_node = node;
    m_doorOpen = false;
    Refresh();
    return true;
}

void CdAudio::Close() {
    Stop();
    m_device.reset();
    m_node.clear();
    m_toc = CdToc{};
}

bool CdAudio::Refresh() {
    m_toc = CdToc{};
    if (!m_device) return false;
    if (m_device->ReadToc(m_toc) != 0) {
        m_toc = CdToc{};
        return false;
    }
    m_doorOpen = false;
    return true;
}

bool CdAudio::MediaPresent() {
    if (!m_device) return false;
    bool present = false;
    return m_device->MediumPresent(present) == 0 && present;
}

CdAudioMode CdAudio::Mode() {
    if (!m_device) return CdAudioMode::NotReady;
    if (m_playing) return m_paused ? CdAudioMode::Paused : CdAudioMode::Playing;
    if (m_doorOpen) return CdAudioMode::Open;
    return MediaPresent() ? CdAudioMode::Stopped : CdAudioMode::NotReady;
}

int CdAudio::TrackCount() const {
    return m_toc.entries.empty() ? 0 : int(m_toc.entries.size()) - 1;
}

bool CdAudio::TrackIsAudio(int track) const {
    return track >= 1 && track <= TrackCount() && (m_toc.entries[std::size_t(track - 1)].control & 0x04) == 0;
}

std::uint32_t CdAudio::TrackStartLba(int track) const {
    return track >= 1 && track <= TrackCount() ? m_toc.entries[std::size_t(track - 1)].lba : 0;
}

std::uint32_t CdAudio::TrackFrames(int track) const {
    if (track < 1 || track > TrackCount()) return 0;
    std::uint32_t a = m_toc.entries[std::size_t(track - 1)].lba, b = m_toc.entries[std::size_t(track)].lba;
    return b > a ? b - a : 0;
}

CdMsf CdAudio::TrackStart(int track) const { return ToMsf(TrackStartLba(track), true); }
CdMsf CdAudio::TrackLength(int track) const { return ToMsf(TrackFrames(track), false); }

std::uint32_t CdAudio::PositionLba() {
    if (!m_playing || !m_output) return 0;
    return m_playFrom + std::uint32_t(m_output->PlayedBytes() / kCdFrameBytes);
}

void CdAudio::JoinPlayer() {
    if (m_player.joinable()) m_player.join();
}

bool CdAudio::Play(int track, std::uint32_t fromLba) {
    Stop();
    if (!m_device || !TrackIsAudio(track) || !MediaPresent()) return false;
    std::uint32_t start = TrackStartLba(track), end = start + TrackFrames(track);
    if (fromLba < start || fromLba >= end) fromLba = start;
    auto output = m_makeOutput(m_node);
    if (!output || !output->Start()) return false;
    m_output = std::shared_ptr<PcmOutput>(std::move(output));
    m_stop = false;
    m_paused = false;
    m_playing = true;
    m_playFrom = fromLba;
    m_playTrack = track;
    m_player = std::thread(&CdAudio::Player, this, fromLba, end);
    return true;
}

void CdAudio::Player(std::uint32_t from, std::uint32_t end) {
    // A device of its own: the user-interface thread keeps asking the other.
    std::unique_ptr<CdromDevice> device = m_open(m_node);
    std::vector<std::uint8_t> buffer(std::size_t(kFramesPerRead) * kCdFrameBytes);
    std::shared_ptr<PcmOutput> output = m_output;
    bool completed = false, lost = !device;
    std::uint32_t pos = from;
    while (!lost && pos < end && !m_stop) {
        std::uint32_t n = std::min(kFramesPerRead, end - pos);
        int error = device->ReadAudio(pos, n, buffer.data());
        if (error == kErrorIoDevice || error == kErrorUnreadable) error = device->ReadAudio(pos, n, buffer.data());
        if (error == kErrorNotReady || error == kErrorFileNotFound) {
            lost = true; // the disc is gone
            break;
        }
        // A scratch that does not read twice is heard as a short silence.
        if (error != 0) std::fill(buffer.begin(), buffer.end(), std::uint8_t(0));
        if (!output->Write(buffer.data(), std::size_t(n) * kCdFrameBytes)) break;
        pos += n;
    }
    if (!lost && pos >= end && !m_stop) completed = output->Drain();
    const bool stopped = m_stop;
    m_playing = false;
    m_paused = false;
    if (!stopped && m_notify) m_notify(completed);
}

bool CdAudio::Pause() {
    if (!m_playing || !m_output) return false;
    m_output->Pause(true);
    m_paused = true;
    return true;
}

bool CdAudio::Resume() {
    if (!m_playing || !m_output) return false;
    m_output->Pause(false);
    m_paused = false;
    return true;
}

bool CdAudio::Stop() {
    m_stop = true;
    if (m_output) m_output->Abort();
    JoinPlayer();
    m_output.reset();
    m_playing = false;
    m_paused = false;
    m_playTrack = 0;
    return m_device != nullptr;
}

bool CdAudio::Eject() {
    Stop();
    if (!m_device) return false;
    if (m_device->Eject() != 0) return false;
    m_doorOpen = true;
    m_toc = CdToc{};
    return true;
}

} // namespace lyb
