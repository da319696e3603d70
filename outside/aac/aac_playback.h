// The playback object of the outside library "aac" (file libaac.so in the
// program's folder), as the program calls it: by slot number, through the
// one export GetLSEPlayer.
//
// Slots 0, 1, 4, 6, 11, 12, 14, 15 and 16 are the ones the program has
// always called; 7 (position) and 8 (volume) are this library's own
// additions, which a library without them answers with its placeholders.
// The object is released through slot 1 only, never deleted by the caller.
#ifndef LYB_OUTSIDE_AAC_PLAYBACK_H
#define LYB_OUTSIDE_AAC_PLAYBACK_H

class AacPlaybackObject {
public:
    /// 1 playing, 2 paused, 3 stopped (also after the end of the file).
    virtual int State() = 0;                          // 0
    /// Stops playing and frees the object.
    virtual void Release() = 0;                       // 1
    virtual int Reserved2() = 0;                      // 2
    virtual int Reserved3() = 0;                      // 3
    /// Moves to `milliseconds`; 0 done.
    virtual int SetPosition(double milliseconds) = 0; // 4
    virtual int Reserved5() = 0;                      // 5
    /// Length of the open file in milliseconds (0 when unknown).
    virtual double Duration() = 0;                    // 6
    /// Playing position in milliseconds; negative when unknown.
    virtual double Position() = 0;                    // 7
    /// Output volume, 0.0 to 1.0.
    virtual void SetVolume(double linear) = 0;        // 8
    virtual int Reserved9() = 0;                      // 9
    virtual int Reserved10() = 0;                     // 10
    /// 0 when the object can play on this machine.
    virtual int Init() = 0;                           // 11
    /// Opens `path` (`flags` 0): 0 ready, 257 failed.
    virtual int Open(const char* path, int flags) = 0; // 12
    virtual int Reserved13() = 0;                     // 13
    virtual int Pause() = 0;                          // 14
    virtual int Stop() = 0;                           // 15
    virtual int Play() = 0;                           // 16

protected:
    ~AacPlaybackObject() = default; // only Release frees the object
};

/// The export: fills `*object` with a new playback object; 0 done.
typedef int (*GetLSEPlayerFn)(AacPlaybackObject** object);

#endif
