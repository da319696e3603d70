// The abstract player: one interface over the two ways a music file plays
// (LSEPlayer over the outside "aac" library, MediaPlayer over a media
// graph). The operations are declared in their fixed slot order; the slots
// marked unused take no part in playback and do nothing.
#pragma once

#include <string>

namespace lyb {

/// Result codes of Open and of the transport operations.
enum PlayerResult : int {
    kPlayerDone = 0,
    kPlayerFailed = 257,    ///< the file cannot be played
    kPlayerNothing = 258,   ///< nothing open / no player
    kPlayerNoFile = -1,     ///< the file cannot be opened for reading
};

/// State codes of GetState.
enum PlayerStateCode : int {
    kStateNoAnswer = 0,
    kStatePlaying = 1,
    kStatePaused = 2,
    kStateStopped = 3,
};

class CPlayer {
public:
    /// 0: 1 playing, 2 paused, 3 stopped, 0 no answer.
    virtual int GetState() = 0;
    /// 1: releases the backing object (at exit).
    virtual void ReleaseBacking() = 0;
    /// 2, 3: unused.
    virtual int Unused2() { return 0; }
    virtual int Unused3() { return 0; }
    /// 4: moves to `seconds`; 0 done.
    virtual int SetPosition(double seconds) = 0;
    /// 5: the length of a file measured apart from playback (MediaPlayer:
    /// the MP3 duration probe); 0.0 when it cannot be measured.
    virtual double DurationOf(const std::string& path) {
        (void)path;
        return 0.0;
    }
    /// 6: length of the open file in seconds.
    virtual double GetDuration() = 0;
    /// 7, 8: unused.
    virtual int Unused7() { return 0; }
    virtual int Unused8() { return 0; }
    /// 9: playing position in seconds.
    virtual double GetPosition() = 0;
    /// 10.
    virtual ~CPlayer() = default;
    /// 11: 0 ready, other values failed.
    virtual int Init() = 0;
    /// 12: 0 ready, 257 failed, 258 nothing to play.
    virtual int Open(const std::string& path, int index) = 0;
    /// 13: unused.
    virtual int Unused13() { return 0; }
    /// 14, 15, 16: 0 done.
    virtual int Pause() = 0;
    virtual int Stop() = 0;
    virtual int Play() = 0;
    /// 17: unused.
    virtual int Unused17() { return 0; }
};

} // namespace lyb
