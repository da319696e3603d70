#include "player/player_engine.h"

#include "platform/media/exact_length.h"
#include "platform/path.h"
#include "platform/trace.h"
#include "player/lse_player.h"
#include "player/media_player.h"

#include <cstdio>

namespace lyb {

CPlayerEngine::CPlayerEngine() = default;

CPlayerEngine::~CPlayerEngine() {
    m_current = nullptr;
}

void CPlayerEngine::Init(const std::string& programFolder) {
    Init(std::make_unique<LSEPlayer>(programFolder), std::make_unique<MediaPlayer>());
}

void CPlayerEngine::Init(std::unique_ptr<CPlayer> lse, std::unique_ptr<CPlayer> media) {
    m_media = std::move(media);
    if (!m_media || m_media->Init() != kPlayerDone)
        m_lastState = -1;
    m_lse = std::move(lse);
    if (m_lse)
        m_lse->Init();
}

bool CPlayerEngine::IsLsePath(const std::string& path) {
    return EndsWithIgnoringCase(path, "aac") || EndsWithIgnoringCase(path, "lse");
}

int CPlayerEngine::Open(const std::string& path, int index) {
    if (std::FILE* f = std::fopen(path.c_str(), "rb"))
        std::fclose(f);
    else
        return kPlayerNoFile;
    m_index = index;
    m_current = IsLsePath(path) ? m_lse.get() : m_media.get();
    if (!m_current)
        return kPlayerNothing;
    return m_current->Open(path, index);
}

int CPlayerEngine::Play() {
    if (!m_current)
        return kPlayerNothing;
    const int r = m_current->Play();
    if (r == kPlayerDone) {
        m_playing = true;
        m_lastState = kStatePlaying;
    }
    return r;
}

int CPlayerEngine::Pause() {
    if (!m_current)
        return kPlayerNothing;
    const int r = m_current->Pause();
    if (r == kPlayerDone) {
        m_lastState = kStatePaused;
        m_playing = false;
    }
    return r;
}

int CPlayerEngine::Stop() {
    if (!m_current)
        return kPlayerNothing;
    const int r = m_current->Stop();
    if (r == kPlayerDone) {
        m_lastState = kStateStopped;
        m_playing = false;
    }
    return r;
}

int CPlayerEngine::GetState() {
    if (m_current) {
        const int s = m_current->GetState();
        if (s != kStateNoAnswer)
            m_lastState = s;
    }
    return m_lastState;
}

int CPlayerEngine::SetPosition(double seconds) {
    return m_current ? m_current->SetPosition(seconds) : kPlayerNothing;
}

double CPlayerEngine::GetPosition() { return m_current ? m_current->GetPosition() : 0.0; }

double CPlayerEngine::GetDuration() { return m_current ? m_current->GetDuration() : 0.0; }

void CPlayerEngine::SetItemType(std::uint32_t type) {
    if (auto* lse = dynamic_cast<LSEPlayer*>(m_lse.get()))
        lse->SetItemType(type);
}

void CPlayerEngine::SetLockstreamStop(std::function<void()> hook) {
    if (auto* lse = dynamic_cast<LSEPlayer*>(m_lse.get()))
        lse->SetLockstreamStop(std::move(hook));
}

void CPlayerEngine::Release() {
    m_current = nullptr;
    m_playing = false;
    if (m_media) {
        Trace("Releasing MediaPlayer");
        m_media->Stop();
        m_media->ReleaseBacking();
        m_media.reset();
    }
    if (m_lse) {
        Trace("Releasing LSEPlayer");
        Trace("stoping LSEPlayer");
        m_lse->Stop();
        Trace("saving LSEPlayer");
        m_lse->ReleaseBacking();
        Trace("deleting LSEPlayer");
        m_lse.reset();
    }
}

bool CPlayerEngine::Mp3LengthSeconds(const std::string& path, double& seconds) {
    const double s = MediaPlayer::ProbeMp3Duration(path);
    if (s <= 0)
        return false;
    seconds = s;
    return true;
}

bool CPlayerEngine::AacLengthMilliseconds(const std::string& path, double& milliseconds) {
    return AdtsExactMilliseconds(path, milliseconds);
}

} // namespace lyb
