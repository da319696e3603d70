// The Music Studio page without its widgets: the row tables over the
// collection, the selection and the focused row, the clipboard, every
// command of the page, its enabled states and its texts.
//
// The widget layer (CMusicForm) is a thin view over this object: it shows
// Rows() with CellText(), mirrors the selection both ways and forwards the
// user's commands; tests drive the same object headless. Everything here
// runs on the user-interface thread.
//
// Rows: every top-level item in collection order; an expanded playlist is
// followed by one row per track. A row names its item by index (top-level
// index, or index inside its playlist) and, for a track row of a playlist,
// the playlist's top-level index (-1 for top-level rows).
//
// Every command that changes the collection ends with the save step: Save
// on every top-level playlist (its M3U file), then "data.ms".
#pragma once

#include "library/music_doc.h"
#include "library/music_item.h"
#include "library/studio_row.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace lyb {

enum StudioColumn : int {
    kColumnTitle = 0,
    kColumnLength = 1,
    kColumnSize = 2,
    kColumnArtist = 3,
    kColumnType = 4,
    kColumnLocation = 5,
    kStudioColumnCount = 6,
};

/// What the icon of column 0 shows.
enum class RowKind { Track, Playlist, PlaylistTrack };

/// One entry of a file dialog's type list: the text shown and the patterns
/// (separated by ';').
struct FileFilter {
    std::string text;
    std::string pattern;
};

/// How the page's open- and save-file dialogs are to be shown.
struct FileDialogSpec {
    std::vector<FileFilter> filters;
    std::string defaultExt; ///< without the dot
    std::string folder;     ///< initial folder
    bool multiSelect = false;
};

/// Context-menu commands (their numbers are the menu's command ids).
enum StudioCommand : int {
    kCmdSeparator = 0,
    kCmdPlay = 1,
    kCmdEdit = 2,
    kCmdRemove = 3,
    kCmdUp = 4,
    kCmdDown = 5,
    kCmdSelectAll = 6,
    kCmdUnselectAll = 7,
    kCmdCut = 10,
    kCmdCopy = 11,
    kCmdPaste = 12,
};

struct MenuEntry {
    int command = kCmdSeparator;
    std::string text;
    bool enabled = true;
    bool isDefault = false;
};

/// The answer of the popup shown after rows were dragged onto the list.
enum class DropChoice { Move, Copy, Cancel };

/// Modes of the edit dialog.
enum class EditMode { Track, Playlist, CreatePlaylist };

struct EditDialogSpec {
    EditMode mode = EditMode::Track;
    std::string caption;
    std::string group;
    std::string titleLabel;
    std::string artistLabel; ///< empty: no artist field (playlist modes)
    std::string saveText;
    std::string cancelText;
    std::string title;  ///< initial texts
    std::string artist;
};

/// Controls of the page that carry a tool tip.
enum class StudioControl {
    AddButton,
    RemoveButton,
    UpButton,
    DownButton,
    TransferButton,
    LengthField,
    SizeField,
};

/// The seam the player fills: what the page asks of Studio playback. Empty
/// slots mean that nothing plays (no player in this build).
struct StudioPlayback {
    /// True while Studio playback is playing or paused; the document's play
    /// position then names the item being played.
    std::function<bool()> active;
    /// Stops Studio playback.
    std::function<void()> stop;
    /// Plays a row (double click, context "Play"); CD playback and the
    /// current Studio playback are stopped first.
    std::function<void(int row)> playRow;
    /// Starts Studio playback of the selection.
    std::function<void()> playSelection;
};

/// The seam the Mobile Device subsystem fills for the transfer command.
struct StudioTransfer {
    /// 0 idle, 1 playing, 2 paused, 3 extracting (nothing is transferred then).
    std::function<int()> cdState;
    /// True when a phone is present and a device node is selected.
    std::function<bool()> deviceSelected;
    /// Tells the player dialog to stop.
    std::function<void()> stopPlayer;
    /// Shows the transfer dialog modally with the gathered records.
    std::function<void(std::vector<MusicItem> records)> showTransferDialog;
};

/// What a listener is told after a change.
struct StudioChange {
    enum : unsigned {
        kRows = 1,      ///< the row tables were rebuilt
        kCells = 2,     ///< the cells of rows first..last changed
        kSelection = 4, ///< the page changed the selection or the focus
        kTotals = 8,    ///< totals, selected size or transfer availability
        kVisible = 16,  ///< visibleRow is to be scrolled into view
    };
    unsigned flags = 0;
    int first = -1;
    int last = -1;
    int visibleRow = -1;
};

class StudioPage {
  public:
    /// `studioPath`: the "data.ms" the save step writes ("" writes none).
    StudioPage(CMusicDoc& doc, std::string studioPath);
    StudioPage(const StudioPage&) = delete;
    StudioPage& operator=(const StudioPage&) = delete;

    CMusicDoc& Doc() { return m_doc; }
    const CMusicDoc& Doc() const { return m_doc; }
    const std::string& StudioPath() const { return m_studioPath; }

    /// The folders the dialogs open in (the "Default Music Folder" and
    /// "Default Playlist Folder" settings).
    void SetFolders(std::string musicFolder, std::string playlistFolder);
    void SetPlayback(StudioPlayback playback) { m_playback = std::move(playback); }
    void SetTransfer(StudioTransfer transfer) { m_transfer = std::move(transfer); }
    const StudioPlayback& Playback() const { return m_playback; }
    const StudioTransfer& Transfer() const { return m_transfer; }

    /// Listeners are told about every change (the widget, the player dialog).
    int AddListener(std::function<void(const StudioChange&)> listener);
    void RemoveListener(int id);

    // --- Rows ----------------------------------------------------------
    /// Rebuilds the row tables from the collection; selection and focus
    /// stay with their items.
    void RebuildRows();
    int RowCount() const { return static_cast<int>(m_rows.size()); }
    const std::vector<StudioRow>& Rows() const { return m_rows; }
    const StudioRow& Row(int row) const { return m_rows[static_cast<size_t>(row)]; }
    /// The row's item (top-level item or playlist track); null out of range.
    MusicItem* ItemOfRow(int row) const;
    /// The playlist of a track row, or the row's own item when it is a
    /// top-level playlist; null otherwise.
    Playlist* PlaylistOfRow(int row) const;
    RowKind KindOfRow(int row) const;
    /// The first row that shows `item`, or -1.
    int RowOfItem(const MusicItem* item) const;
    /// The text of a cell.
    std::string CellText(int row, int column) const;
    /// Texts of the headings and the widths in ninths of the list's width.
    std::string ColumnHeading(int column) const;
    static int ColumnUnits(int column);
    /// Tool tip of a control.
    std::string ToolTip(StudioControl control) const;

    /// Toggles a top-level playlist's expanded byte (the expander: the
    /// first 17 pixels of its row). False for other rows.
    static constexpr int kExpanderWidth = 17;
    bool ToggleExpanded(int row);

    // --- Selection and focus -------------------------------------------
    bool IsSelected(int row) const;
    std::vector<int> SelectedRows() const;
    int SelectedCount() const;
    int FocusRow() const { return m_focus; }
    /// Changes made by the user in the list (no notification of kSelection,
    /// the list shows them already); SelectionEdited ends a batch.
    void SetRowSelected(int row, bool selected);
    void SetFocusRow(int row);
    /// Selects exactly these rows (programmatic: the list is told).
    void SetSelectedRows(const std::vector<int>& rows);
    /// Ends a batch of SetRowSelected calls: the totals are shown again.
    void SelectionEdited();
    void SelectAll();
    void UnselectAll();

    // --- Totals ----------------------------------------------------------
    /// Recomputes the collection's totals, the selected size and the
    /// transfer button's availability, and tells the listeners.
    void ShowTotals();
    std::string TotalLengthText() const;
    std::string TotalSizeText() const;
    std::string SelectedSizeText() const;
    uint32_t SelectedBytes() const { return m_selectedBytes; }
    bool TransferEnabled() const { return m_transferEnabled; }

    // --- Context menu ------------------------------------------------------
    /// The entries with their greying for a right click on `rowUnderPointer`
    /// (-1: no row under the pointer).
    std::vector<MenuEntry> ContextMenu(int rowUnderPointer) const;
    /// Runs a context-menu command (Edit has its dialog: the caller shows it).
    void RunCommand(int command, int rowUnderPointer);

    // --- Commands ----------------------------------------------------------
    /// The open-file dialog of AddTracks: filters from the format switches.
    FileDialogSpec AddTracksDialog() const;
    /// AddTracks with the files chosen in the dialog, in the dialog's order.
    void AddTracks(const std::vector<std::string>& paths);
    /// Files dropped from the desktop (folders are scanned).
    void DropFiles(const std::vector<std::string>& paths);
    void RemoveSelected();
    void RemoveAll();
    void MoveUp();
    void MoveDown();
    void Copy();
    void Cut();
    void Paste();
    bool ClipboardEmpty() const { return m_clipboard.empty(); }
    size_t ClipboardSize() const { return m_clipboard.size(); }
    /// The popup's entries after a drag: "Move" (default), "Copy", "Cancel".
    std::vector<MenuEntry> DropMenu() const;
    /// Drops the rows `dragged` onto `targetRow` (-1: below the last row).
    /// A playlist row or one of its tracks asks "Insert into Playlist?".
    /// Returns true when the Studio changed.
    bool DropOnList(const std::vector<int>& dragged, int targetRow, DropChoice choice);

    /// True when exactly one row is selected (EditItem's condition).
    bool CanEdit() const;
    /// The dialog for the selected row (track or playlist mode).
    EditDialogSpec EditItemDialog() const;
    /// The dialog's texts for a mode.
    EditDialogSpec DialogTexts(EditMode mode) const;
    /// Saves the dialog's texts into the selected item: a track's file gets
    /// them in its tag, a playlist's file takes the title as its name.
    /// On failure the old texts stay. True when the item took them.
    bool EditItem(const std::string& title, const std::string& artist);
    /// In-place editing of the title cell (at most 255 characters).
    bool EditTitleInPlace(int row, const std::string& title);
    /// Whether the artist cell of a row may be edited in place: track rows
    /// except the item being played.
    bool CanEditArtistInPlace(int row) const;
    bool EditArtistInPlace(int row, const std::string& artist);

    /// The save-file dialog of CreatePlaylist.
    FileDialogSpec CreatePlaylistDialog() const;
    /// Writes the selected rows as a playlist file and adds it to the Studio.
    bool CreatePlaylist(const std::string& path);

    /// A file handed over by the shell or a second start: added first, row 0
    /// focused and selected. True when it was added (the caller then starts
    /// Studio playback of the selection after a short delay).
    bool OpenAndPlay(const std::string& path);
    /// The page's part of the program start-up: when a file was opened by
    /// name, row 0 is focused and selected and Studio playback starts.
    /// True when that happened (the Music Studio page is then shown).
    bool StartUp();

    /// The transfer command: gathers the selected rows' track records and
    /// hands them to the transfer dialog. False when nothing was handed.
    bool TransferSelected();
    /// The records the transfer takes, in row order: a selected playlist
    /// gives all its tracks (its selected track rows are not taken again).
    std::vector<MusicItem> GatherSelectedRecords() const;
    bool Busy() const { return m_busy; }

    /// The document's DurationReady: every item with this exact path gets
    /// the length; the rows showing them and the totals are refreshed.
    void OnDurationReady(const std::string& path, uint32_t seconds);

    /// Adds files found by the disk search: paths already at the top level
    /// (exact text) are skipped. `status` is told each path before it is
    /// added. Returns how many files were added. The new rows are selected.
    size_t AddFoundFiles(const std::vector<std::string>& paths, size_t first, size_t count,
                         const std::function<void(const std::string&)>& status);
    /// Ends a run of AddFoundFiles: rows rebuilt, rows after `rowsBefore`
    /// selected, the last row shown, the save step.
    void FinishAddingFound(int rowsBefore);

    /// The save step. False when "data.ms" could not be written.
    bool SaveStep();
    /// How often the save step ran (tests).
    int SaveCount() const { return m_saveCount; }

    /// The item being played when Studio playback is active (else null).
    const MusicItem* PlayingItem() const;

  private:
    struct Anchor {
        const MusicItem* playing = nullptr;
        const MusicItem* focus = nullptr;
        std::vector<const MusicItem*> selected;
    };
    /// Which row a change scrolls into view.
    enum class Show { None, LastRow, Focus, FirstSelected, LastSelected };
    Anchor Capture() const;
    /// Rebuilds the rows, re-finds the play position, the focus and the
    /// selection (or `select` instead when given), prunes the random
    /// history, shows the totals and tells the listeners.
    void Restore(const Anchor& anchor, const std::vector<const MusicItem*>* select, Show show = Show::None);
    const MusicItem* ResolvePlayPosition() const;
    void PlacePlayPosition(const MusicItem* item);
    void PruneHistory();
    void StopIfPlaying(const MusicItem* item);
    bool ContainsPlaying(const MusicItem* item) const;
    void Notify(const StudioChange& change);
    std::string UniqueTitle(const std::string& title, const std::string& ownPath) const;
    std::unique_ptr<MusicItem> PasteCopy(const MusicItem& clip, bool topLevel) const;
    void CollectTracks(const MusicItem& item, std::vector<const MusicItem*>& out) const;
    void MoveRows(bool up);
    void AddNew(const std::vector<std::string>& paths, const std::vector<std::string>& folders,
                Playlist* target);
    bool WriteTrackTexts(MusicItem& item, const std::string& title, const std::string& artist);
    bool RenamePlaylist(MusicItem& item, const std::string& title);
    const LibraryContext& Ctx() const { return m_doc.Context(); }

    CMusicDoc& m_doc;
    std::string m_studioPath;
    std::string m_musicFolder;
    std::string m_playlistFolder;
    StudioPlayback m_playback;
    StudioTransfer m_transfer;
    std::vector<StudioRow> m_rows;
    std::vector<char> m_selected;
    int m_focus = -1;
    std::vector<std::unique_ptr<MusicItem>> m_clipboard;
    uint32_t m_selectedBytes = 0;
    bool m_transferEnabled = false;
    bool m_busy = false;
    int m_saveCount = 0;
    int m_nextListener = 1;
    std::vector<std::pair<int, std::function<void(const StudioChange&)>>> m_listeners;
};

/// Cuts UTF-8 text to at most `maxChars` characters.
std::string CutToChars(const std::string& text, size_t maxChars);

} // namespace lyb
