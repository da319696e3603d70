// Our stand-in for the outside AAC/Lockstream playback library: ADTS files
// played through a media graph, their length counted from the frames.
#include "outside/aac/aac_playback.h"

#include "platform/media/exact_length.h"
#include "platform/media/media_graph.h"

#include <chrono>
#include <memory>
#include <string>
#include <thread>

namespace {

constexpr int kDone = 0;
constexpr int kFailed = 257;

class AacPlayback final : public AacPlaybackObject {
public:
    int State() override {
        if (!m_graph || !m_open)
            return 3;
        // The end of the file (or a failure while playing) stops the object.
        const lyb::GraphEvent e = m_graph->GetEvent(0);
        if (e != lyb::GraphEvent::None) {
            m_graph->Stop();
            m_open = false;
            return 3;
        }
        switch (m_graph->GetState(10, nullptr)) {
        case lyb::GraphState::Running: return 1;
        case lyb::GraphState::Paused: return 2;
        default: return 3;
        }
    }

    void Release() override {
        if (m_graph)
            m_graph->Stop();
        delete this;
    }

    int Reserved2() override { return 0; }
    int Reserved3() override { return 0; }

    int SetPosition(double milliseconds) override {
        return m_graph && m_open && m_graph->SetPosition(milliseconds / 1000.0) ? kDone : kFailed;
    }

    int Reserved5() override { return 0; }

    double Duration() override {
        if (m_exactMs > 0)
            return m_exactMs;
        double s = 0;
        return m_graph && m_open && m_graph->Duration(s) ? s * 1000.0 : 0.0;
    }

    double Position() override {
        double s = 0;
        return m_graph && m_open && m_graph->Position(s) ? s * 1000.0 : -1.0;
    }

    void SetVolume(double linear) override {
        m_volume = linear;
        if (m_graph)
            m_graph->SetVolume(linear);
    }

    int Reserved9() override { return 0; }
    int Reserved10() override { return 0; }

    int Init() override {
        m_graph = lyb::CreateMediaGraph();
        return m_graph ? kDone : kFailed;
    }

    int Open(const char* path, int) override {
        m_open = false;
        m_exactMs = 0;
        if (!path)
            return kFailed;
        if (!m_graph && Init() != kDone)
            return kFailed;
        m_graph->SetVolume(m_volume);
        if (!m_graph->RenderFile(path))
            return kFailed;
        m_open = true;
        // Decoders only estimate the length of an ADTS stream; the frames
        // give it exactly.
        double ms = 0;
        if (lyb::AdtsExactMilliseconds(path, ms))
            m_exactMs = ms;
        return kDone;
    }

    int Reserved13() override { return 0; }

    int Pause() override { return m_graph && m_open && m_graph->Pause() ? kDone : kFailed; }

    int Stop() override {
        if (m_graph)
            m_graph->Stop();
        m_open = false;
        return kDone;
    }

    int Play() override {
        if (!m_graph || !m_open)
            return kFailed;
        const int r = m_graph->Run();
        if (r < 0)
            return kFailed;
        if (r > 0) {
            bool settled = false;
            for (int i = 0; i < 10 && !settled; ++i)
                if (m_graph->GetState(100, &settled) == lyb::GraphState::Failed)
                    return kFailed;
        }
        return kDone;
    }

private:
    ~AacPlayback() = default;

    std::unique_ptr<lyb::MediaGraph> m_graph;
    double m_exactMs = 0;
    double m_volume = 1.0;
    bool m_open = false;
};

} // namespace

extern "C" __attribute__((visibility("default"))) int GetLSEPlayer(AacPlaybackObject** object) {
    if (!object)
        return -1;
    *object = new AacPlayback();
    return 0;
}
