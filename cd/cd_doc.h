// CCDDoc: the CD Player page without widgets. It holds the drive choice,
// the disc's tracks, the selection, the play state and the saving state,
// with every text and enabled state the page shows, and carries out the
// page's commands: select a drive, play/pause, stop, eject, save the
// selected tracks (through either extraction engine and the ripping
// pipeline), cancel, random play, disc arrival and removal.
//
// Runs on one thread (the user-interface thread, or a headless front end's
// loop). The engines report through the owner MessageTarget; whoever owns
// the target hands each message to OnMessage. Timers are asked for through
// the services' setTimer and come back through OnTimer.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cd/extraction_sink.h"
#include "cd/rip_pipeline.h"
#include "platform/message_target.h"

class AACInterface;

namespace lyb {

class CAspiExtraction;
class CAspiManager;
class CCDManager;
class CLocalize;
class CdAudio;
class Prompt;
class RipQuestions;

/// Timers of the page: 333 stops; 334 stops and plays again; 335 ejects.
constexpr unsigned kTimerStop = 333;
constexpr unsigned kTimerStopAndPlay = 334;
constexpr unsigned kTimerEject = 335;
/// Starts the next device-control track after its 100 ms pause.
constexpr unsigned kTimerNextTrack = 336;

/// The audio device's notification: a play reached its end (wparam 1) or
/// the disc could not be read any more (wparam 0). (MM_MCINOTIFY.)
constexpr unsigned kMsgCdPlayEnd = 0x03B9;
/// The ASPI engine's progress controls, carried to the page's thread.
constexpr unsigned kMsgAspiProgressStep = kUserMessageBase + 1540;
constexpr unsigned kMsgAspiProgressTexts = kUserMessageBase + 1541;
constexpr unsigned kMsgAspiProgressReset = kUserMessageBase + 1542;
/// Message 2022 to the Small Player (player/): wparam 1 after a removal.
constexpr int kSmallPlayerCdStopped = 1;

/// What the page is given by the application.
struct CdPageServices {
    CCDManager* manager = nullptr;      ///< required
    CAspiManager* aspi = nullptr;       ///< null or not ready: the device controls extract
    AACInterface* encoder = nullptr;    ///< the application's encoder interface
    const CLocalize* localize = nullptr; ///< null: English texts
    Prompt* prompt = nullptr;           ///< the page's own questions ("Are you sure?")
    RipQuestions* questions = nullptr;  ///< the pipeline's questions (required for saving)
    /// Music folder, bitrate and output format of a rip (album and artist
    /// are the page's own).
    std::function<RipSettings()> ripSettings;
    /// True when the Audio CD association belongs to this program.
    std::function<bool()> audioCdAssociated;
    /// True when the Small Player's play mode is random.
    std::function<bool()> randomPlayMode;
    /// Stops the Music Studio's player when it plays.
    std::function<void()> stopStudioPlayer;
    /// Message 2022 to the Small Player.
    std::function<void(int wparam)> notifySmallPlayer;
    /// A track of `seconds` starts (the Small Player shows its length).
    std::function<void(int seconds)> trackStarted;
    /// True while the player plays the CD.
    std::function<bool()> playerInCdMode;
    /// Shows the CD Player page.
    std::function<void()> showPage;
    /// Enables or disables the main window's page switch.
    std::function<void(bool)> enablePageSwitch;
    /// Runs OnTimer(id) after `ms`; unset: at once.
    std::function<void(unsigned id, int ms)> setTimer;
    /// The page's audio device (a CdAudio of the default outputs when unset).
    std::function<std::unique_ptr<CdAudio>()> makeAudio;
};

/// Every text of the page, from the language table with English defaults.
struct CdPageTexts {
    std::string tracks, artist, name, cdInformation, drive, speed, estimated;
    std::string stop, play, pause, resume, eject, cancel, save;
    std::string columnTitle, columnDuration, columnSize;
    std::string tipPlay, tipStop, tipEject, tipSave, tipCancel, tipDrive, tipProgress;
    std::string menuPlay, menuStop, menuSave, menuCancel, menuModifyTitle;
    std::string unknownAlbum, unknownArtist, audioTrack, mb, areYouSure, savingInProgress;
    static CdPageTexts From(const CLocalize* localize);
};

class CCDDoc {
public:
    explicit CCDDoc(CdPageServices services);
    ~CCDDoc();
    CCDDoc(const CCDDoc&) = delete;
    CCDDoc& operator=(const CCDDoc&) = delete;

    /// Where the engines and the audio device report (the page's thread
    /// hands every message to OnMessage). Set before the first command.
    void SetOwner(MessageTarget* owner);
    /// The page that owned the document goes: a rip in progress is stopped
    /// (its partial file removed), playback ends and its thread is joined,
    /// and nothing reports to the old owner any more.
    void ReleaseOwner();
    /// Called after every change the page shows.
    void SetChanged(std::function<void()> changed) { m_changed = std::move(changed); }

    /// The page's start: the first drive (or the requested one) is read; a
    /// command-line CD request is acted on (`track` -1: the whole disc).
    void Start(bool forCdTrack, int drive, int track);
    /// A CD track handed over by a second start, or asked for by the command line.
    void PlayRequest(int drive, int track);

    // Commands.
    bool SelectDrive(int index);
    void FillTrackList();
    void PlayPause();
    void Stop();
    /// The Eject button: runs Eject through timer 335.
    void EjectButton();
    void Eject();
    /// The player controls' eject: refused with "Saving in progress!" while
    /// saving; otherwise only with a medium in the drive.
    void PlayerEject();
    void CancelSaving();
    void RandomPlayNext();
    void SaveTracks();
    void AutoPlay();
    void OnDeviceChange(bool arrival, std::uint32_t unitMask, bool isMedia);
    void OnTimer(unsigned id);
    /// Messages 1526, 1528, 1534, 1535, the ASPI progress, the audio
    /// device's end of play and the device change.
    std::intptr_t OnMessage(const Message& message);

    // What the player dialog drives (the CdPlayList side).
    void Next(bool wrap);
    void Previous();
    void Seek(int seconds);
    bool TakeTrackEnded();
    std::string TrackName() const;
    void SelectFirstWhenNone();

    // Editing.
    void SetSelection(std::vector<int> rows);
    void SelectAll();
    const std::vector<int>& Selection() const { return m_selection; }
    /// The context menu's "Modify Title": at most 255 characters.
    void ModifyTitle(int row, std::string title);
    void SetArtist(std::string artist);
    void SetAlbum(std::string album);

    // What the page shows.
    struct Row {
        std::string title, duration, size;
    };
    const std::vector<Row>& Rows() const { return m_rows; }
    const std::vector<CDTrackInfo>& Tracks() const { return m_tracks; }
    int FirstTrackOffset() const { return m_offset; }
    int TrackCount() const { return int(m_tracks.size()); }
    int SelectedDrive() const { return m_drive; }
    std::vector<std::string> DriveNames() const;
    const std::string& Artist() const { return m_artist; }
    const std::string& Album() const { return m_album; }
    const CdPageTexts& Texts() const { return m_texts; }
    const std::string& PlayButtonText() const { return m_playText; }
    const std::string& EstimatedText() const { return m_estimatedText; }
    const std::string& SpeedText() const { return m_speedText; }
    int ProgressRange() const { return m_progressRange; }
    int ProgressPosition() const { return m_progressPos; }
    bool Playing() const { return m_playing; }
    bool Paused() const { return m_paused; }
    bool Saving() const { return m_saving; }
    /// The last saving ended with a failed or cancelled track.
    bool SavingFailed() const { return m_saveFailed; }
    /// The track being played or saved (1-based), 0 when none.
    int CurrentTrack() const { return m_currentTrack; }
    int SavingTrack() const { return m_savingTrack; }

    struct Enabled {
        bool drives = false, play = false, stop = false, eject = false, save = false, cancel = false;
        bool list = false, fields = false;
    };
    Enabled ControlsEnabled() const;

    /// The services, for the view to add what only it has (timers, the
    /// page switch, showing the page).
    CdPageServices& Services() { return m_s; }
    CRipPipeline& Pipeline() { return *m_pipeline; }
    CdAudio& Audio() { return *m_audio; }

private:
    class AspiProgress;
    std::string Text(int id, const char* english) const;
    void Changed();
    void SetTimer(unsigned id, int ms);
    bool PlayTrack(int track);
    void ShowStopped();
    void SetPlayState(std::uint8_t state);
    bool AspiReady() const;
    int AspiDevice() const;
    void NextIoctlRow();
    void StartPendingTrack();
    void EndSaving();
    void ResetProgress();
    void StopSavingNow();
    bool AskSure();
    int RowOfTrack(int track) const { return track - 1 - m_offset; }

    CdPageServices m_s;
    CdPageTexts m_texts;
    std::unique_ptr<CdAudio> m_audio;
    std::unique_ptr<CRipPipeline> m_pipeline;
    std::unique_ptr<AspiProgress> m_aspiProgress;
    std::unique_ptr<CAspiExtraction> m_aspiEngine;
    MessageTarget* m_owner = nullptr;
    std::function<void()> m_changed;

    int m_drive = -1;
    std::vector<CDTrackInfo> m_tracks;
    std::vector<Row> m_rows;
    std::vector<int> m_selection;
    int m_offset = 0;
    std::string m_artist, m_album;

    bool m_playing = false;
    bool m_paused = false;
    int m_currentTrack = 0;
    /// The track whose end was the last notice (what Next and Previous go
    /// on from once the play has stopped); 0 after any other stop.
    int m_endedTrack = 0;
    bool m_trackEnded = false;
    std::string m_playText;

    bool m_saving = false;
    bool m_saveFailed = false;
    bool m_savingWithAspi = false;
    int m_ripRow = -1;
    int m_savingTrack = 0;
    int m_pendingTrack = 0;
    bool m_rereadAfterSaving = false;
    std::string m_estimatedText, m_speedText;
    int m_progressRange = 100, m_progressPos = 0;
};

} // namespace lyb
