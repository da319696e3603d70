#include "player/lse_player.h"

#include "outside/aac/aac_playback.h"
#include "platform/mixer.h"
#include "platform/trace.h"

namespace lyb {

LSEPlayer::LSEPlayer(std::string folder) : m_folder(std::move(folder)) {
    m_volumeListener = OutputVolume::Of(OutputLine::WaveOut).Listen([this](double linear) {
        if (m_object)
            m_object->SetVolume(linear);
    });
}

LSEPlayer::~LSEPlayer() {
    OutputVolume::Of(OutputLine::WaveOut).Unlisten(m_volumeListener);
    ReleaseBacking();
}

int LSEPlayer::Init() {
    if (!m_library.Open(m_folder + "/" + kAacLibraryFile)) {
        TraceFormat("AAC player library not loaded: %s", m_library.Error().c_str());
        return -1;
    }
    m_getLSEPlayer = reinterpret_cast<GetLSEPlayerFn>(m_library.Symbol("GetLSEPlayer"));
    if (!m_getLSEPlayer) {
        m_library.Close();
        return kPlayerFailed;
    }
    m_getLSEPlayer(&m_object);
    if (!m_object)
        return kPlayerFailed;
    m_object->SetVolume(OutputVolume::Of(OutputLine::WaveOut).Linear());
    return m_object->Init();
}

int LSEPlayer::Open(const std::string& path, int) {
    m_path = path;
    m_position = 0;
    if (!m_object)
        return kPlayerFailed;
    return m_object->Open(path.c_str(), 0);
}

int LSEPlayer::Play() {
    if (!m_object)
        return kPlayerNothing;
    m_stopped = false;
    const int r = m_object->Play();
    m_state = kStatePlaying;
    return r;
}

int LSEPlayer::Pause() { return m_object ? m_object->Pause() : kPlayerNothing; }

int LSEPlayer::Stop() {
    if (m_stopped)
        return kPlayerDone;
    if (m_object)
        m_object->Stop();
    m_stopped = true;
    m_state = kStateStopped;
    if (m_itemType == 256 && m_lockstreamStop)
        m_lockstreamStop();
    return kPlayerDone;
}

int LSEPlayer::GetState() {
    if (!m_object)
        return kStateNoAnswer;
    return m_object->State();
}

int LSEPlayer::SetPosition(double seconds) {
    m_position = static_cast<int>(seconds);
    return m_object ? m_object->SetPosition(seconds * 1000.0) : kPlayerNothing;
}

double LSEPlayer::GetPosition() {
    // The object's own position when it tells it; else the last one set.
    if (m_object) {
        const double ms = m_object->Position();
        if (ms >= 0)
            return ms * 0.001;
    }
    return m_position;
}

double LSEPlayer::GetDuration() { return m_object ? m_object->Duration() * 0.001 : 0.0; }

void LSEPlayer::ReleaseBacking() {
    if (m_object) {
        m_object->Release();
        m_object = nullptr;
    }
    m_getLSEPlayer = nullptr;
    m_library.Close();
}

} // namespace lyb
