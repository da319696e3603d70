// The Music Studio document: the collection, the studio file "data.ms",
// the start-up modes and the background length probes.
//
// A plain logic class (no widgets): the Studio page is its view and reaches
// the collection through Collection(). Everything here runs on the
// user-interface thread except the length probes, which only post
// DurationReady messages (see media_info.h) to the target given to
// OnNewDocument / ProbeDurations.
#pragma once

#include "library/media_context.h"
#include "library/music_item.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace lyb {

class InstanceGuard;
class MessageTarget;

/// The lock a program keeps on a Studio file while it may write it: an
/// advisory lock on "<studio file>.lock" beside it, dropped by the kernel
/// when the process ends in any way. The program holds it for its whole
/// run; the command-line front end takes it for each change and refuses to
/// write while another process holds it. The folder is created if missing.
std::unique_ptr<InstanceGuard> MakeStudioLock(const std::string& studioPath);

/// The "Startup mode" setting.
enum class StudioStartupMode : int {
    Blank = 0,           ///< "Blank Music Studio"
    PreviousSession = 1, ///< "Previous session": data.ms of the program folder
    ScanMusicFolder = 2, ///< "Scan default Music Folder"
};

/// What the start-up step needs from the settings.
struct StudioStartup {
    int mode = 0;                         ///< StudioStartupMode; other values act as Blank
    std::string programFolder;            ///< folder of the main program (data.ms lies there)
    /// The user's own "data.ms"; when set, "Previous session" reads it, or
    /// the program folder's once while the user's does not exist yet.
    std::string studioFile;
    std::string defaultMusicFolder;       ///< the "Default Music Folder" setting
    MessageTarget* probeTarget = nullptr; ///< receives DurationReady; null: no probes
    /// Called with true before the Studio is filled and false after (the
    /// page shows the wait cursor meanwhile). May be empty.
    std::function<void(bool)> busy;
};

class CMusicDoc {
  public:
    /// The studio file's name inside the program folder.
    static constexpr std::string_view kStudioFileName = "data.ms";

    CMusicDoc() = default;
    explicit CMusicDoc(const LibraryContext& context) : m_context(context) {}
    CMusicDoc(const CMusicDoc&) = delete;
    CMusicDoc& operator=(const CMusicDoc&) = delete;
    /// Cancels the probes still queued for this document's target and waits
    /// for one that is running.
    ~CMusicDoc();

    void SetContext(const LibraryContext& context) { m_context = context; }
    const LibraryContext& Context() const { return m_context; }

    MusicCollection& Collection() { return m_collection; }
    const MusicCollection& Collection() const { return m_collection; }

    /// program folder + "data.ms" ("/" inserted when the folder lacks one).
    static std::string StudioPath(const std::string& programFolder);
    /// The user's "data.ms": `dataHome` + "/lyrabox/data.ms" (the program
    /// folder is shared and read-only, so each user keeps the Studio there).
    static std::string UserStudioPath(const std::string& dataHome);

    /// Reads "data.ms" (three lines per entry: title, path, artist) and adds
    /// every entry through AddFile; entries whose file is gone or no longer
    /// accepted are dropped. A missing file does nothing. Every line is
    /// decided on its own: a title or artist line that is not UTF-8 is text
    /// of an older version in `legacyCodePage`; a path line is the file
    /// name's bytes as they stand (see libfile::PathFromLine). Returns the
    /// number of entries added.
    size_t LoadStudio(const std::string& path, unsigned legacyCodePage = 1252);
    /// The same from the file's bytes.
    size_t LoadStudioFromBytes(std::string_view bytes, unsigned legacyCodePage = 1252);
    /// Writes "data.ms" (texts UTF-8, paths as their bytes, CR LF) beside the
    /// old one and replaces it atomically. False when it cannot be written
    /// (the old file stays).
    bool SaveStudio(const std::string& path) const;
    /// The text SaveStudio writes.
    std::string RenderStudio() const;

    /// The page's save step: Save on every top-level item (an M3U file takes
    /// its playlist's title as name and is rewritten when the playlist
    /// changed), then SaveStudio.
    bool SaveAll(const std::string& studioPath);

    /// The new-document step: length queries off, fill by the start-up mode,
    /// queries on, lengths of 0 become kNoLength, background probes started.
    bool OnNewDocument(const StudioStartup& startup);
    /// Opening a file by name: the start-up sequence, then AddFile(path, at
    /// front); when the collection grew the pending-play index becomes 0.
    /// Reports success in every case.
    bool OnOpenDocument(const StudioStartup& startup, const std::string& path);

    /// Starts the length probe of every top-level track and of every track
    /// inside a top-level playlist; results arrive as DurationReady messages.
    /// Paths are copied here, on the calling thread.
    void ProbeDurations(MessageTarget* target);
    /// The page's handling of DurationReady: every item whose path equals
    /// `path` exactly gets the length and InfoRead; playlists holding such a
    /// track and the collection's totals are recomputed. Returns how many
    /// items changed.
    size_t ApplyDuration(const std::string& path, uint32_t seconds);

    /// Every length still 0 (top level and inside playlists) becomes kNoLength.
    void MarkUnknownLengths();

    // Player state kept by the document.
    int PlayItemIndex() const { return m_playItem; }
    int PlayPlaylistIndex() const { return m_playPlaylist; }
    void SetPlayPosition(int item, int playlist) {
        m_playItem = item;
        m_playPlaylist = playlist;
    }
    int PendingPlayIndex() const { return m_pendingPlay; }
    void SetPendingPlayIndex(int index) { m_pendingPlay = index; }
    std::vector<const MusicItem*>& RandomHistory() { return m_randomHistory; }

  private:
    void CancelProbes();

    LibraryContext m_context;
    MusicCollection m_collection;
    std::vector<const MusicItem*> m_randomHistory;
    int m_playItem = -1;
    int m_playPlaylist = -2;
    int m_pendingPlay = -1;
    MessageTarget* m_probeTarget = nullptr;
};

} // namespace lyb
