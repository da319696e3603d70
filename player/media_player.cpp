#include "player/media_player.h"

#include "platform/media/exact_length.h"
#include "platform/media/media_graph.h"
#include "platform/mixer.h"
#include "platform/path.h"
#include "platform/trace.h"

#include <chrono>
#include <thread>

namespace lyb {

MediaPlayer::MediaPlayer(GraphFactory factory) : m_factory(std::move(factory)) {
    if (!m_factory)
        m_factory = [] { return CreateMediaGraph(); };
    m_volumeListener = OutputVolume::Of(OutputLine::WaveOut).Listen([this](double linear) {
        if (m_graph)
            m_graph->SetVolume(linear);
    });
}

MediaPlayer::~MediaPlayer() {
    OutputVolume::Of(OutputLine::WaveOut).Unlisten(m_volumeListener);
    ReleaseBacking();
}

int MediaPlayer::Init() {
    m_graph = m_factory();
    return m_graph ? kPlayerDone : kPlayerFailed;
}

int MediaPlayer::Open(const std::string& path, int) {
    // Every file gets a fresh graph.
    m_opened = Init() == kPlayerDone;
    m_exactLength = 0;
    if (!m_graph)
        return kPlayerFailed;
    m_graph->SetVolume(OutputVolume::Of(OutputLine::WaveOut).Linear());
    if (!m_graph->RenderFile(path)) {
        m_opened = false;
        return kPlayerFailed;
    }
    // The graph only estimates an MP3's length (a VBR file without a header
    // comes out several per cent off); the frames give it exactly.
    if (EndsWithIgnoringCase(path, ".mp3"))
        m_exactLength = ProbeMp3Duration(path);
    return kPlayerDone;
}

int MediaPlayer::Play() {
    if (!m_opened || !m_graph)
        return kPlayerNothing;
    const int r = m_graph->Run();
    if (r < 0)
        return kPlayerFailed;
    if (r > 0) {
        // The change is not complete yet: ask again, ten times at most.
        for (int i = 0; i < 10; ++i) {
            bool settled = false;
            m_graph->GetState(100, &settled);
            if (settled)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    return kPlayerDone;
}

int MediaPlayer::Pause() {
    if (!m_opened || !m_graph)
        return kPlayerNothing;
    m_graph->Pause();
    return kPlayerDone;
}

int MediaPlayer::Stop() {
    if (m_graph) {
        m_graph->Stop();
        m_graph.reset(); // the graph lives from Open to Stop
    }
    // Play after Stop needs a new Open: the graph is gone.
    m_opened = false;
    return kPlayerDone;
}

int MediaPlayer::GetState() {
    if (!m_graph)
        return kStateStopped;
    // The end of the stream, or a failure while playing, stops the player.
    if (m_graph->GetEvent(0) != GraphEvent::None) {
        Stop();
        return kStateStopped;
    }
    switch (m_graph->GetState(10, nullptr)) {
    case GraphState::Stopped: return kStateStopped;
    case GraphState::Paused: return kStatePaused;
    case GraphState::Running: return kStatePlaying;
    case GraphState::Failed: break;
    }
    return kStateNoAnswer;
}

void MediaPlayer::ReleaseBacking() {
    if (m_graph)
        m_graph->Stop();
    m_graph.reset();
    m_opened = false;
}

int MediaPlayer::SetPosition(double seconds) {
    return m_graph && m_opened && m_graph->SetPosition(seconds) ? kPlayerDone : kPlayerFailed;
}

double MediaPlayer::GetPosition() {
    double s = 0;
    return m_graph && m_opened && m_graph->Position(s) ? s : 0.0;
}

double MediaPlayer::GetDuration() {
    if (m_exactLength > 0)
        return m_exactLength;
    double s = 0;
    return m_graph && m_opened && m_graph->Duration(s) ? s : 0.0;
}

double MediaPlayer::DurationOf(const std::string& path) { return ProbeMp3Duration(path); }

double MediaPlayer::ProbeMp3Duration(const std::string& path) {
    double s = 0;
    return Mp3ExactSeconds(path, s) ? s : 0.0;
}

} // namespace lyb
