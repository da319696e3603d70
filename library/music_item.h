// The record of every Studio entry (tracks and playlists) and its display
// helpers.
//
// Texts are UTF-8 in std::string, so nothing is ever cut at a fixed buffer;
// titles and artists read from tags keep at most 255 characters, the limit
// the edit dialogs show. Ownership: a Playlist owns its children unless its
// borrowed flag is set; the collection owns its top-level items.
#pragma once

#include "library/media_context.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace lyb {

/// Type codes of an item.
enum ItemType : uint32_t {
    kItemMp3 = 2,
    kItemM3u = 32,
    kItemPls = 64,
    kItemAac = 128,
    kItemLse = 256,
};

/// Bits of MusicItem::flags.
enum ItemFlags : uint32_t {
    kTitleKnown = 0x02,
    kArtistKnown = 0x04,
    kMpegHeaderA = 0x40,
    kInfoRead = 0x80,
    kMpegHeaderB = 0x1000,
    kMpegHeaderC = 0x2000,
    /// The three bits set together when the file starts with an MPEG frame header.
    kMpegHeader = kMpegHeaderA | kMpegHeaderB | kMpegHeaderC,
};

/// Length value meaning "no length found yet".
constexpr uint32_t kNoLength = 0xFFFFFFFFu;

/// Maximum characters of a title or artist taken from a tag or a dialog.
constexpr size_t kMaxTitleChars = 255;

class MusicItem {
  public:
    uint32_t flags = 0;
    std::string path; ///< full path of the music file (playlist: the M3U file)
    std::string url;  ///< commercial-information URL of the tag
    std::string title;
    std::string artist;
    uint32_t size = 0;    ///< bytes (low 32 bits); playlist: sum over its tracks
    uint32_t type = 0;    ///< ItemType
    uint32_t length = 0;  ///< whole seconds; kNoLength = unknown; playlist: sum of known lengths
    uint32_t bitrate = 0; ///< bits per second (MPEG files, from the first frame header)
    uint32_t channels = 0;
    uint32_t sampleRate = 0; ///< Hz
    uint8_t expanded = 0;    ///< 1 while a playlist's row shows its tracks
    /// Not stored anywhere: true when DeriveTitle took the title from the
    /// file name (so a title stored in "data.ms" or an M3U file may replace it).
    bool titleFromName = false;

    /// Not stored in "data.ms": what the playlist file this item was read
    /// from says around it, so that rewriting the playlist keeps what other
    /// programs wrote there.
    struct PlaylistLines {
        /// The entry line as written ("" when not read from a playlist):
        /// a relative entry is written back relative.
        std::string entry;
        /// Lines just before this entry that the program does not use,
        /// as written: entries of files that cannot be read now (missing,
        /// on an unmounted stick, a format we do not play) with their
        /// "#EXTINF" lines, and other programs' directives.
        std::vector<std::string> before;
    } fromPlaylist;

    MusicItem() = default;
    MusicItem(const MusicItem&) = default;
    MusicItem& operator=(const MusicItem&) = default;

    // Virtual operations, declared in their fixed slot order.
    /// Slot 0: takes a path; has no effect in any kind of item.
    virtual void Attach(const std::string& path);
    /// Slot 1: M3U playlists rename their file to the title and rewrite it.
    virtual bool Save();
    /// Slot 2: M3U playlists write their extended M3U file to `path`.
    virtual bool WriteM3U(const std::string& path) const;
    /// Slot 3: no effect in any kind of item.
    virtual void Detach();
    /// Slot 4.
    virtual ~MusicItem();

    /// Deep copy keeping the kind (a Playlist copy owns copies of the children).
    virtual std::unique_ptr<MusicItem> Clone() const;
    virtual bool IsPlaylist() const { return false; }

    /// When no title is known (or it is empty) the title becomes the file
    /// name without folder and extension, as text (a name that is not UTF-8
    /// is read in code page 1252). Afterwards TitleKnown is set.
    void DeriveTitle();
    /// The record part only (no children), as a plain MusicItem.
    void CopyRecordFrom(const MusicItem& other);
};

/// A music file entry. Adds nothing to the record.
class Track : public MusicItem {
  public:
    Track() = default;
    explicit Track(const MusicItem& record) { CopyRecordFrom(record); }
    std::unique_ptr<MusicItem> Clone() const override;
};

class Playlist : public MusicItem {
  public:
    Playlist() = default;
    /// Copies the record and the expanded byte; every child becomes a new
    /// MusicItem copy (owned), in order. The copy is never borrowed.
    Playlist(const Playlist& other);
    Playlist& operator=(const Playlist& other);
    ~Playlist() override;

    std::unique_ptr<MusicItem> Clone() const override;
    bool IsPlaylist() const override { return true; }

    /// Slot 5: the path takes the title as its file name. Playlist: false.
    virtual bool ApplyTitleToPath();
    /// Slot 6: appends a track for a music file, or (when `acceptPlaylists`)
    /// a copy of every track of an M3U file. Size and length of the playlist
    /// are not changed: the caller runs RecomputeTotals. True when something
    /// was appended.
    virtual bool InsertFile(const std::string& path, bool acceptPlaylists,
                            const LibraryContext& context);
    /// Slot 7: writes the M3U file with paths relative to `volumeRoot`.
    virtual bool WriteDeviceM3U(const std::string& path, const std::string& volumeRoot) const;
    /// Slot 8: like Save, written with WriteDeviceM3U.
    virtual bool SaveForDevice(const std::string& volumeRoot);

    /// Size and length become the sums over the children (lengths of
    /// kNoLength are not counted; sums wrap at 32 bits).
    void RecomputeTotals();

    // Children. Owned unless borrowed.
    size_t ChildCount() const { return m_children.size(); }
    MusicItem* Child(size_t index) const { return m_children[index]; }
    const std::vector<MusicItem*>& Children() const { return m_children; }
    /// Appends (or inserts at `index`, clamped) an owned child.
    void AppendChild(std::unique_ptr<MusicItem> child);
    void InsertChild(size_t index, std::unique_ptr<MusicItem> child);
    /// Removes the child and hands it back (null when borrowed or out of
    /// range). The playlist lines kept before it stay in place: they move to
    /// the next child, or to the end of the playlist.
    std::unique_ptr<MusicItem> TakeChild(size_t index);
    /// Removes and destroys (when owned) the child.
    void RemoveChild(size_t index);
    void SwapChildren(size_t a, size_t b);

    /// A borrowing playlist only points at items owned elsewhere.
    bool Borrowed() const { return m_borrowed; }
    void SetBorrowed(bool borrowed);
    /// Appends a pointer to an item owned elsewhere; only on a borrowing playlist.
    bool AppendBorrowed(MusicItem* item);

    /// Lines of the playlist file after its last readable entry that the
    /// program does not use, as written (see MusicItem::fromPlaylist).
    const std::vector<std::string>& LinesAtEnd() const { return m_linesAtEnd; }

  protected:
    void DeleteChildren();

    std::vector<MusicItem*> m_children;
    bool m_borrowed = false;
    std::vector<std::string> m_linesAtEnd;
};

/// A playlist read from an M3U file; type 32.
class M3UPlaylist : public Playlist {
  public:
    M3UPlaylist() { type = kItemM3u; }
    M3UPlaylist(const M3UPlaylist&) = default;
    M3UPlaylist& operator=(const M3UPlaylist&) = default;
    /// A copy of another playlist of any kind, as an M3U playlist.
    explicit M3UPlaylist(const Playlist& other) : Playlist(other) { type = kItemM3u; }
    ~M3UPlaylist() override;

    std::unique_ptr<MusicItem> Clone() const override;

    bool Save() override;
    bool WriteM3U(const std::string& path) const override;
    bool ApplyTitleToPath() override;
    bool InsertFile(const std::string& path, bool acceptPlaylists,
                    const LibraryContext& context) override;
    bool WriteDeviceM3U(const std::string& path, const std::string& volumeRoot) const override;
    bool SaveForDevice(const std::string& volumeRoot) override;

    /// Appends the tracks of the M3U file at `path` (nested playlists
    /// flattened, each distinct playlist read once). A missing file or one
    /// without "#EXTM3U" on its first line adds nothing. Relative entries
    /// name files beside the playlist file. Every line is decided on its own
    /// (see libfile::PathFromLine); lines of the file itself that name
    /// nothing readable now are kept for a rewrite, in place. Afterwards
    /// the playlist counts as unchanged: Save leaves the file alone until
    /// the playlist's entries, their texts or its title change.
    void Load(const std::string& path, const LibraryContext& context);
    /// The same from the file's bytes; `path` names the file (for the
    /// visited list and for resolving relative entries).
    void LoadFromBytes(std::string_view bytes, const std::string& path,
                       const LibraryContext& context);

    /// The playlist files read into this playlist, its own first.
    const std::vector<std::string>& Visited() const { return m_visited; }

    /// The text WriteM3U writes (texts UTF-8, paths as their bytes, CR LF).
    /// The computer's form keeps each entry as it was read where it still
    /// names the same file (relative entries stay relative to the playlist's
    /// folder) and the lines kept from the file in place. The device form
    /// writes every path relative to `volumeRoot` and nothing else.
    std::string RenderM3U(bool deviceForm, const std::string& volumeRoot) const;

    /// True when Save would write the file: the entries, their texts or the
    /// file's place differ from what was last read or written.
    bool Changed() const;

  private:
    bool SaveWith(bool deviceForm, const std::string& volumeRoot);
    std::string Render(bool deviceForm, const std::string& volumeRoot, bool lengths) const;
    void TakeSnapshot();
    void LoadText(std::string_view text, const std::string& path, const LibraryContext& context,
                  int depth);
    bool LoadNested(const std::string& path, const LibraryContext& context, int depth);

    std::vector<std::string> m_visited;
    std::vector<std::string> m_visitedKeys; ///< the same paths with links and dots resolved
    std::string m_headerLine = "#EXTM3U";   ///< the first line as the file had it
    /// The playlist as last read or written (without lengths, which the
    /// program fills in later) and the file it was read from or written to.
    bool m_haveSnapshot = false;
    std::string m_snapshot;
    std::string m_snapshotPath;
};

/// "??:??" for kNoLength, else "mm:ss" or "hh:mm:ss" (hours modulo a day).
std::string FormatLength(const MusicItem& item);
std::string FormatLength(uint32_t seconds);
/// The length as a signed decimal ("-1" for kNoLength).
std::string FormatLengthSeconds(const MusicItem& item);
/// Size in whole kilobytes followed by " " and the text "Kb" (363).
std::string FormatSize(const MusicItem& item, const CLocalize* localize = nullptr);
std::string FormatSize(uint32_t bytes, const CLocalize* localize = nullptr);
/// The type's display name (texts 102-107).
std::string TypeName(const MusicItem& item, const CLocalize* localize = nullptr);

/// True when the path's last four characters are exactly ".M3U" or ".m3u".
bool IsM3UPath(std::string_view path);

/// The Studio's ordered list of top-level items and their totals.
class MusicCollection {
  public:
    MusicCollection() = default;
    MusicCollection(const MusicCollection&) = delete;
    MusicCollection& operator=(const MusicCollection&) = delete;
    ~MusicCollection();

    /// Adds one file: an M3U file becomes a playlist (always added, whatever
    /// its content), a music file a track when its type is accepted. A
    /// relative path is made absolute first: items always hold full paths.
    bool AddFile(const std::string& path, bool atFront, const LibraryContext& context);
    /// Adds every file under the folder, recursively (names in byte order
    /// within a folder; symbolic links to folders are not followed).
    void ScanFolder(const std::string& folder, const LibraryContext& context);
    /// The totals record: sums of sizes and of known lengths.
    void RecomputeTotals();
    const MusicItem& Totals() const { return m_totals; }

    size_t Count() const { return m_items.size(); }
    bool Empty() const { return m_items.empty(); }
    MusicItem* Item(size_t index) const { return m_items[index].get(); }
    const std::vector<std::unique_ptr<MusicItem>>& Items() const { return m_items; }

    void Append(std::unique_ptr<MusicItem> item);
    void Insert(size_t index, std::unique_ptr<MusicItem> item);
    std::unique_ptr<MusicItem> Take(size_t index);
    void Remove(size_t index);
    void Swap(size_t a, size_t b);
    void Clear();

  private:
    void Place(std::unique_ptr<MusicItem> item, bool atFront);

    std::vector<std::unique_ptr<MusicItem>> m_items;
    MusicItem m_totals;
};

} // namespace lyb
