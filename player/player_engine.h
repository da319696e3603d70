// The one playback engine of the program: two players behind the CPlayer
// interface, the choice between them by the file's ending, and the length
// queries the music library asks.
//
// Everything but the length queries runs on the user-interface thread. The
// length queries are thread-safe and never touch the players.
#pragma once

#include "library/media_context.h"
#include "player/player.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace lyb {

class LSEPlayer;

class CPlayerEngine final : public LengthQueryEngine {
public:
    CPlayerEngine();
    ~CPlayerEngine() override;
    CPlayerEngine(const CPlayerEngine&) = delete;
    CPlayerEngine& operator=(const CPlayerEngine&) = delete;

    /// Start-up: the media player (its failure makes the last known state
    /// -1), then the LSE player over the "aac" library of `programFolder`.
    void Init(const std::string& programFolder);
    /// Start-up with players made elsewhere (tests): each is Init-ed as above.
    void Init(std::unique_ptr<CPlayer> lse, std::unique_ptr<CPlayer> media);

    /// -1 when the file cannot be opened for reading; else the chosen
    /// player's Open result; 258 when there is no player.
    int Open(const std::string& path, int index);
    int Play();  ///< on 0: playing, state 1. 258 without a current player.
    int Pause(); ///< on 0: state 2, not playing.
    int Stop();  ///< on 0: state 3, not playing.
    /// The current player's answer when it gives one (it becomes the last
    /// known state); the last known state otherwise.
    int GetState();
    int SetPosition(double seconds);
    double GetPosition();
    double GetDuration();

    /// The shutdown: the media player (stop, release, destroy), then the LSE
    /// player, with their trace lines.
    void Release();

    /// True when the last three characters of `path` are "aac" or "lse",
    /// ignoring case: such files go to the LSE player.
    static bool IsLsePath(const std::string& path);

    bool Playing() const { return m_playing; }
    int LastIndex() const { return m_index; }
    int LastState() const { return m_lastState; }
    CPlayer* Current() const { return m_current; }
    CPlayer* Lse() const { return m_lse.get(); }
    CPlayer* Media() const { return m_media.get(); }

    /// The type of the item being played (the LSE player acts on 256).
    void SetItemType(std::uint32_t type);
    /// What stopping an LSE track tells the Lockstream library.
    void SetLockstreamStop(std::function<void()> hook);

    // LengthQueryEngine: exact lengths, safe from any thread.
    bool Mp3LengthSeconds(const std::string& path, double& seconds) override;
    bool AacLengthMilliseconds(const std::string& path, double& milliseconds) override;

private:
    bool m_playing = false;
    int m_index = -1;
    std::unique_ptr<CPlayer> m_lse;
    CPlayer* m_current = nullptr;
    std::unique_ptr<CPlayer> m_media;
    int m_lastState = 0;
};

} // namespace lyb
