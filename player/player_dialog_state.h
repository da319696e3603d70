// The player dialog's playback state and every play rule: starting an item,
// Play, Pause, Stop, Previous, Next, the end of a track in the three play
// modes for both sources, the two random choices with their histories, the
// one-second clock and seeking after a drag of the progress bar.
//
// Plain logic over the engine and the two lists (StudioPlayList,
// CdPlayList); the dialog and the Small Player are views of it. Runs on
// the user-interface thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace lyb {

class CPlayerEngine;
class CdPlayList;
class MusicItem;
class Playlist;
class StudioPlayList;

/// Message number (WM_USER + 1254) of "a new track / new state" to the
/// player dialog and the Small Player.
inline constexpr unsigned kPlayerMessage2022 = 0x400 + 1254;

enum PlaySource : int { kSourceStudio = 1, kSourceCd = 2 };
enum PlayMode : int { kModeSingle = 0, kModeContinuous = 1, kModeRandom = 2 };

/// The C library's generator by default; tests give their own.
struct RandomSource {
    std::function<void(unsigned)> seed;
    std::function<int()> draw;
    static RandomSource Standard();
};

class PlayerDialogState {
public:
    explicit PlayerDialogState(CPlayerEngine& engine);

    // Collaborators (borrowed; may be null while a page does not exist).
    void SetStudio(StudioPlayList* studio) { m_studio = studio; }
    void SetCd(CdPlayList* cd) { m_cd = cd; }
    StudioPlayList* Studio() const { return m_studio; }
    CdPlayList* Cd() const { return m_cd; }
    /// The CD state (3: an extraction runs and every button does nothing).
    void SetCdState(std::function<int()> cdState) { m_cdState = std::move(cdState); }
    /// Sends message 2022 to the Small Player (when it exists) with `wparam`.
    void SetSmallPlayerNotify(std::function<void(int wparam)> notify) { m_notify = std::move(notify); }
    /// Called after every change the dialog shows.
    void SetChanged(std::function<void()> changed) { m_changed = std::move(changed); }
    /// The pause between a seek and reading the position back (default: a
    /// real 50 ms sleep).
    void SetWait(std::function<void(int ms)> wait) { m_wait = std::move(wait); }
    void SetRandom(RandomSource random) { m_random = std::move(random); }

    // The dialog's buttons (each does nothing while a CD extraction runs).
    void Play();
    void Pause();
    void Stop();
    void Previous();
    void Next();
    /// The three mode buttons (0 single, 1 continuous, 2 random).
    void SetMode(int mode);
    /// Single -> continuous -> random -> single (the Small Player's button).
    void CycleMode();
    void SetSource(int source);

    /// The Small Player's Play: selects the first row when none is selected,
    /// then plays (the CD: stops a track in progress first, then plays).
    void SmallPlayerPlay();
    /// The Small Player's Pause: pause when not paused, otherwise resume.
    void SmallPlayerPause();

    /// Plays the Studio row `row` (a double click): CD playback and the
    /// current Studio playback stop first. False when nothing started.
    bool PlayRow(int row);
    /// Stops Studio playback (the item being played is removed, the transfer
    /// starts, ...). Nothing when the CD is the source.
    void StopStudio();

    /// Message 2022 to the dialog: a new track of `seconds`.
    void OnMessage2022(int seconds);
    /// The CD player started a track of `seconds`: the CD becomes the source.
    void OnCdTrackStarted(int seconds);
    /// The CD player stopped (its Stop, a removed disc).
    void OnCdStopped();
    /// True while the CD is the source and a track plays or is paused.
    bool CdActive() const;
    /// The one-second clock (timer 13).
    void OnClock();
    /// The user grabbed the progress bar: the clock leaves it alone.
    void BeginSeek();
    /// The user let the progress bar go at `second`.
    void EndSeek(int second);

    int Source() const { return m_source; }
    int Mode() const { return m_mode; }
    bool Playing() const { return m_playing; }
    bool Seeking() const { return m_seeking; }
    int Duration() const { return m_duration; }
    int Elapsed() const { return m_elapsed; }
    /// The engine's (or the CD's) "not stopped".
    bool Active();
    bool Paused();
    /// "%02d:%02d:%02d" of the elapsed seconds.
    std::string TimeText() const { return FormatClock(m_elapsed); }
    static std::string FormatClock(int seconds);

    /// The current Studio track (null when none).
    const MusicItem* CurrentStudioItem() const;
    /// Attempts the last random choice over the library needed.
    int LastRandomAttempts() const { return m_lastAttempts; }

private:
    bool Blocked() const;
    bool StudioReady() const { return m_studio != nullptr; }

    // Starting items.
    bool StartItem(int top, int child, bool randomTrack);
    bool StartRow(int row, bool randomTrack);
    void AfterChoice();
    void ShowStarted(int seconds);
    void ShowStopped();
    void Changed();
    void NotifySmallPlayer(int wparam);
    /// A CD player operation (only while a track plays or is paused, when
    /// asked), after which the dialog takes over the CD's playing state.
    void RunCd(bool onlyWhileActive, const std::function<void(CdPlayList&)>& operation);

    // Walks.
    void StudioNext(bool wrap, bool skipFailures);
    void StudioPrevious();
    void StudioEndOfTrack();
    void CdEndOfTrack();
    bool NextInSelection(const std::vector<int>& sel, bool wrap);
    bool NextInLibrary(bool skipFailures);
    int CurrentRow() const;
    bool InSelectedPlaylist(bool* last) const;
    int FirstPlayableSelectedRow(const std::vector<int>& sel) const;

    // Random choices.
    int Draw(int count);
    void RandomChoice();
    void RandomOverLibrary();
    void RandomOverSelection(const std::vector<int>& sel);
    int RandomTrackOf(const Playlist& playlist);

    CPlayerEngine& m_engine;
    StudioPlayList* m_studio = nullptr;
    CdPlayList* m_cd = nullptr;
    std::function<int()> m_cdState;
    std::function<void(int)> m_notify;
    std::function<void()> m_changed;
    std::function<void(int)> m_wait;
    RandomSource m_random;

    int m_source = kSourceStudio;
    int m_mode = kModeSingle;
    bool m_playing = false;
    int m_duration = 0;
    int m_elapsed = 0;
    bool m_seeking = false;
    int m_attempts = 0;
    int m_lastAttempts = 0;
};

} // namespace lyb
