// MediaPlayer: files other than AAC and LSE (MP3) played through a media
// graph. The graph lives from Open to Stop; a new Open builds a new one.
#pragma once

#include "player/player.h"

#include <functional>
#include <memory>

namespace lyb {

class MediaGraph;

class MediaPlayer final : public CPlayer {
public:
    using GraphFactory = std::function<std::unique_ptr<MediaGraph>()>;

    /// The graphs come from `factory` (default: the GStreamer backend).
    explicit MediaPlayer(GraphFactory factory = {});
    ~MediaPlayer() override;
    MediaPlayer(const MediaPlayer&) = delete;
    MediaPlayer& operator=(const MediaPlayer&) = delete;

    int GetState() override;
    void ReleaseBacking() override;
    int SetPosition(double seconds) override;
    double DurationOf(const std::string& path) override;
    double GetDuration() override;
    double GetPosition() override;
    /// Creates the graph: 0, or 257 when there is none.
    int Init() override;
    int Open(const std::string& path, int index) override;
    int Pause() override;
    int Stop() override;
    int Play() override;

    /// The MP3 duration probe (a full frame scan); 0.0 on any failure.
    /// Thread-safe.
    static double ProbeMp3Duration(const std::string& path);

    bool Opened() const { return m_opened; }

private:
    GraphFactory m_factory;
    std::unique_ptr<MediaGraph> m_graph;
    bool m_opened = false;
    double m_exactLength = 0; ///< measured at Open for MP3 files; 0 when not
    int m_volumeListener = 0;
};

} // namespace lyb
