#include "library/studio_page.h"

#include "library/media_info.h"
#include "platform/path.h"
#include "platform/prompt.h"
#include "platform/trace.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <unordered_map>
#include <unordered_set>

namespace lyb {

namespace {

Playlist* AsPlaylist(MusicItem* item) {
    return item && item->IsPlaylist() ? static_cast<Playlist*>(item) : nullptr;
}

const Playlist* AsPlaylist(const MusicItem* item) {
    return item && item->IsPlaylist() ? static_cast<const Playlist*>(item) : nullptr;
}

bool IsFolder(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_directory(path, ec);
}

} // namespace

std::string CutToChars(const std::string& text, size_t maxChars) {
    size_t chars = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        // Count lead bytes only; continuation bytes belong to the character before.
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            if (chars == maxChars)
                return text.substr(0, i);
            ++chars;
        }
    }
    return text;
}

StudioPage::StudioPage(CMusicDoc& doc, std::string studioPath)
    : m_doc(doc), m_studioPath(std::move(studioPath)) {
    RebuildRows();
    m_doc.Collection().RecomputeTotals();
}

void StudioPage::SetFolders(std::string musicFolder, std::string playlistFolder) {
    m_musicFolder = std::move(musicFolder);
    m_playlistFolder = std::move(playlistFolder);
}

int StudioPage::AddListener(std::function<void(const StudioChange&)> listener) {
    const int id = m_nextListener++;
    m_listeners.emplace_back(id, std::move(listener));
    return id;
}

void StudioPage::RemoveListener(int id) {
    std::erase_if(m_listeners, [id](const auto& entry) { return entry.first == id; });
}

void StudioPage::Notify(const StudioChange& change) {
    // A listener may remove itself while being told.
    const auto listeners = m_listeners;
    for (const auto& [id, listener] : listeners)
        if (listener)
            listener(change);
}

// --- Rows --------------------------------------------------------------------

void StudioPage::RebuildRows() {
    const MusicCollection& collection = m_doc.Collection();
    m_rows.clear();
    m_rows.reserve(collection.Count());
    for (size_t i = 0; i < collection.Count(); ++i) {
        m_rows.push_back({static_cast<int>(i), -1});
        if (const Playlist* playlist = AsPlaylist(collection.Item(i)); playlist && playlist->expanded)
            for (size_t j = 0; j < playlist->ChildCount(); ++j)
                m_rows.push_back({static_cast<int>(j), static_cast<int>(i)});
    }
    m_selected.assign(m_rows.size(), 0);
    if (m_focus >= RowCount())
        m_focus = -1;
}

MusicItem* StudioPage::ItemOfRow(int row) const {
    if (row < 0 || row >= RowCount())
        return nullptr;
    const StudioRow& r = m_rows[static_cast<size_t>(row)];
    const MusicCollection& collection = m_doc.Collection();
    if (!r.IsChild())
        return collection.Item(static_cast<size_t>(r.item));
    const Playlist* playlist = AsPlaylist(collection.Item(static_cast<size_t>(r.parent)));
    return playlist ? playlist->Child(static_cast<size_t>(r.item)) : nullptr;
}

Playlist* StudioPage::PlaylistOfRow(int row) const {
    if (row < 0 || row >= RowCount())
        return nullptr;
    const StudioRow& r = m_rows[static_cast<size_t>(row)];
    return AsPlaylist(m_doc.Collection().Item(static_cast<size_t>(r.IsChild() ? r.parent : r.item)));
}

RowKind StudioPage::KindOfRow(int row) const {
    if (row >= 0 && row < RowCount() && m_rows[static_cast<size_t>(row)].IsChild())
        return RowKind::PlaylistTrack;
    const MusicItem* item = ItemOfRow(row);
    return item && item->IsPlaylist() ? RowKind::Playlist : RowKind::Track;
}

int StudioPage::RowOfItem(const MusicItem* item) const {
    if (!item)
        return -1;
    for (int row = 0; row < RowCount(); ++row)
        if (ItemOfRow(row) == item)
            return row;
    return -1;
}

std::string StudioPage::CellText(int row, int column) const {
    const MusicItem* item = ItemOfRow(row);
    if (!item)
        return {};
    switch (column) {
    case kColumnTitle:
        return (item->flags & kTitleKnown) ? item->title : item->path;
    case kColumnLength:
        return FormatLength(*item);
    case kColumnSize:
        return FormatSize(*item, Ctx().localize);
    case kColumnArtist:
        return item->artist;
    case kColumnType:
        return TypeName(*item, Ctx().localize);
    case kColumnLocation:
        return item->path;
    default:
        return {};
    }
}

std::string StudioPage::ColumnHeading(int column) const {
    switch (column) {
    case kColumnTitle:
        return Ctx().Text(115, "Track or playlist title");
    case kColumnLength:
        return Ctx().Text(116, "Length");
    case kColumnSize:
        return Ctx().Text(117, "Size");
    case kColumnArtist:
        return Ctx().Text(118, "Artist");
    case kColumnType:
        return Ctx().Text(119, "Type");
    case kColumnLocation:
        return Ctx().Text(120, "Location");
    default:
        return {};
    }
}

int StudioPage::ColumnUnits(int column) {
    switch (column) {
    case kColumnTitle:
        return 3;
    case kColumnLocation:
        return 2;
    default:
        return 1;
    }
}

std::string StudioPage::ToolTip(StudioControl control) const {
    switch (control) {
    case StudioControl::AddButton:
        return Ctx().Text(275, "Add Track(s) to the Music Studio");
    case StudioControl::RemoveButton:
        return Ctx().Text(276, "Remove selected Track(s) from the Music Studio");
    case StudioControl::UpButton:
        return Ctx().Text(277, "Move selected Track(s) Up");
    case StudioControl::DownButton:
        return Ctx().Text(278, "Move selected Track(s) Down");
    case StudioControl::TransferButton:
        return Ctx().Text(280, "Transfer selected Track(s) to the Mobile Device");
    case StudioControl::LengthField:
        return Ctx().Text(281, "Total music length in the Studio");
    case StudioControl::SizeField:
        return Ctx().Text(297, "Music selected size");
    }
    return {};
}

bool StudioPage::ToggleExpanded(int row) {
    if (row < 0 || row >= RowCount() || m_rows[static_cast<size_t>(row)].IsChild())
        return false;
    Playlist* playlist = AsPlaylist(ItemOfRow(row));
    if (!playlist)
        return false;
    const Anchor anchor = Capture();
    playlist->expanded = playlist->expanded ? 0 : 1;
    Restore(anchor, nullptr);
    return true;
}

// --- Selection -------------------------------------------------------------

bool StudioPage::IsSelected(int row) const {
    return row >= 0 && row < RowCount() && m_selected[static_cast<size_t>(row)] != 0;
}

std::vector<int> StudioPage::SelectedRows() const {
    std::vector<int> rows;
    for (int row = 0; row < RowCount(); ++row)
        if (m_selected[static_cast<size_t>(row)])
            rows.push_back(row);
    return rows;
}

int StudioPage::SelectedCount() const {
    return static_cast<int>(std::count(m_selected.begin(), m_selected.end(), 1));
}

void StudioPage::SetRowSelected(int row, bool selected) {
    if (row >= 0 && row < RowCount())
        m_selected[static_cast<size_t>(row)] = selected ? 1 : 0;
}

void StudioPage::SetSelectedRows(const std::vector<int>& rows) {
    std::fill(m_selected.begin(), m_selected.end(), 0);
    for (int row : rows)
        SetRowSelected(row, true);
    ShowTotals();
    Notify({StudioChange::kSelection});
}

void StudioPage::SetFocusRow(int row) {
    m_focus = row >= 0 && row < RowCount() ? row : -1;
}

void StudioPage::SelectionEdited() {
    ShowTotals();
}

void StudioPage::SelectAll() {
    std::fill(m_selected.begin(), m_selected.end(), 1);
    ShowTotals();
    Notify({StudioChange::kSelection | StudioChange::kTotals});
}

void StudioPage::UnselectAll() {
    std::fill(m_selected.begin(), m_selected.end(), 0);
    ShowTotals();
    Notify({StudioChange::kSelection | StudioChange::kTotals});
}

// --- Totals ----------------------------------------------------------------

void StudioPage::ShowTotals() {
    m_doc.Collection().RecomputeTotals();
    uint32_t bytes = 0;
    int selected = 0;
    bool parentSelected = false; // track rows follow their playlist's row
    for (int row = 0; row < RowCount(); ++row) {
        const bool isChild = m_rows[static_cast<size_t>(row)].IsChild();
        const bool on = m_selected[static_cast<size_t>(row)] != 0;
        if (!isChild)
            parentSelected = on;
        if (!on)
            continue;
        ++selected;
        // A selected playlist counts once; its selected tracks are in it already.
        if (isChild && parentSelected)
            continue;
        bytes += ItemOfRow(row)->size;
    }
    m_selectedBytes = bytes;
    const int cd = m_transfer.cdState ? m_transfer.cdState() : 0;
    m_transferEnabled = cd != 3 && selected > 0 && m_transfer.deviceSelected &&
                        m_transfer.deviceSelected();
    Notify({StudioChange::kTotals});
}

std::string StudioPage::TotalLengthText() const {
    return FormatLength(m_doc.Collection().Totals().length);
}

std::string StudioPage::TotalSizeText() const {
    return FormatSize(m_doc.Collection().Totals().size, Ctx().localize);
}

std::string StudioPage::SelectedSizeText() const {
    return FormatSize(m_selectedBytes, Ctx().localize);
}

// --- Anchoring across structural changes ---------------------------------

const MusicItem* StudioPage::ResolvePlayPosition() const {
    const int item = m_doc.PlayItemIndex();
    const int playlist = m_doc.PlayPlaylistIndex();
    const MusicCollection& collection = m_doc.Collection();
    if (item < 0)
        return nullptr;
    if (playlist == -1)
        return static_cast<size_t>(item) < collection.Count() ? collection.Item(static_cast<size_t>(item))
                                                              : nullptr;
    if (playlist < 0 || static_cast<size_t>(playlist) >= collection.Count())
        return nullptr;
    const Playlist* list = AsPlaylist(collection.Item(static_cast<size_t>(playlist)));
    if (!list || static_cast<size_t>(item) >= list->ChildCount())
        return nullptr;
    return list->Child(static_cast<size_t>(item));
}

void StudioPage::PlacePlayPosition(const MusicItem* item) {
    if (!item) {
        if (m_doc.PlayItemIndex() >= 0)
            m_doc.SetPlayPosition(-1, -2);
        return;
    }
    const MusicCollection& collection = m_doc.Collection();
    for (size_t i = 0; i < collection.Count(); ++i) {
        if (collection.Item(i) == item) {
            m_doc.SetPlayPosition(static_cast<int>(i), -1);
            return;
        }
        if (const Playlist* list = AsPlaylist(collection.Item(i)))
            for (size_t j = 0; j < list->ChildCount(); ++j)
                if (list->Child(j) == item) {
                    m_doc.SetPlayPosition(static_cast<int>(j), static_cast<int>(i));
                    return;
                }
    }
    m_doc.SetPlayPosition(-1, -2);
}

const MusicItem* StudioPage::PlayingItem() const {
    if (!m_playback.active || !m_playback.active())
        return nullptr;
    return ResolvePlayPosition();
}

bool StudioPage::ContainsPlaying(const MusicItem* item) const {
    const MusicItem* playing = PlayingItem();
    if (!playing || !item)
        return false;
    if (playing == item)
        return true;
    if (const Playlist* list = AsPlaylist(item))
        return std::find(list->Children().begin(), list->Children().end(), playing) !=
               list->Children().end();
    return false;
}

void StudioPage::StopIfPlaying(const MusicItem* item) {
    if (ContainsPlaying(item) && m_playback.stop) {
        Trace("Music Studio: the item being played is removed; playback stops");
        m_playback.stop();
    }
}

void StudioPage::PruneHistory() {
    auto& history = m_doc.RandomHistory();
    if (history.empty())
        return;
    std::unordered_set<const MusicItem*> live;
    for (const auto& item : m_doc.Collection().Items()) {
        live.insert(item.get());
        if (const Playlist* list = AsPlaylist(item.get()))
            live.insert(list->Children().begin(), list->Children().end());
    }
    std::erase_if(history, [&](const MusicItem* item) { return !live.count(item); });
}

StudioPage::Anchor StudioPage::Capture() const {
    Anchor anchor;
    anchor.playing = ResolvePlayPosition();
    anchor.focus = ItemOfRow(m_focus);
    for (int row = 0; row < RowCount(); ++row)
        if (m_selected[static_cast<size_t>(row)])
            anchor.selected.push_back(ItemOfRow(row));
    return anchor;
}

void StudioPage::Restore(const Anchor& anchor, const std::vector<const MusicItem*>* select, Show show) {
    PlacePlayPosition(anchor.playing);
    PruneHistory();
    RebuildRows();
    const std::vector<const MusicItem*>& wanted = select ? *select : anchor.selected;
    std::unordered_set<const MusicItem*> keys(wanted.begin(), wanted.end());
    m_focus = -1;
    for (int row = 0; row < RowCount(); ++row) {
        const MusicItem* item = ItemOfRow(row);
        if (keys.count(item))
            m_selected[static_cast<size_t>(row)] = 1;
        if (m_focus < 0 && anchor.focus && item == anchor.focus)
            m_focus = row;
    }
    ShowTotals();
    StudioChange change;
    change.flags = StudioChange::kRows | StudioChange::kTotals | StudioChange::kSelection;
    int visible = -1;
    switch (show) {
    case Show::None:
        break;
    case Show::LastRow:
        visible = RowCount() - 1;
        break;
    case Show::Focus:
        visible = m_focus;
        break;
    case Show::FirstSelected:
    case Show::LastSelected:
        for (int row = 0; row < RowCount(); ++row)
            if (m_selected[static_cast<size_t>(row)]) {
                visible = row;
                if (show == Show::FirstSelected)
                    break;
            }
        break;
    }
    if (visible >= 0) {
        change.flags |= StudioChange::kVisible;
        change.visibleRow = visible;
    }
    Notify(change);
}

// --- Context menu ----------------------------------------------------------

std::vector<MenuEntry> StudioPage::ContextMenu(int rowUnderPointer) const {
    const bool onRow = rowUnderPointer >= 0 && rowUnderPointer < RowCount();
    const int selected = SelectedCount();
    const bool empty = RowCount() == 0;
    std::vector<MenuEntry> menu = {
        {kCmdPlay, Ctx().Text(121, "Play"), onRow, true},
        {kCmdEdit, Ctx().Text(122, "Edit..."), onRow && selected == 1, false},
        {kCmdRemove, Ctx().Text(123, "Remove"), onRow, false},
        {kCmdCut, Ctx().Text(124, "Cut"), selected > 0, false},
        {kCmdCopy, Ctx().Text(125, "Copy"), selected > 0, false},
        {kCmdPaste, Ctx().Text(126, "Paste"), !m_clipboard.empty(), false},
        {kCmdSeparator, {}, true, false},
        {kCmdUp, Ctx().Text(127, "Up"), onRow, false},
        {kCmdDown, Ctx().Text(128, "Down"), onRow, false},
        {kCmdSeparator, {}, true, false},
        {kCmdSelectAll, Ctx().Text(129, "Select All"), !empty, false},
        {kCmdUnselectAll, Ctx().Text(130, "Unselect All"), !empty && selected > 0, false},
    };
    return menu;
}

void StudioPage::RunCommand(int command, int rowUnderPointer) {
    switch (command) {
    case kCmdPlay:
        if (rowUnderPointer >= 0 && rowUnderPointer < RowCount() && m_playback.playRow)
            m_playback.playRow(rowUnderPointer);
        break;
    case kCmdRemove:
        RemoveSelected();
        break;
    case kCmdUp:
        MoveUp();
        break;
    case kCmdDown:
        MoveDown();
        break;
    case kCmdSelectAll:
        SelectAll();
        break;
    case kCmdUnselectAll:
        UnselectAll();
        break;
    case kCmdCut:
        Cut();
        break;
    case kCmdCopy:
        Copy();
        break;
    case kCmdPaste:
        Paste();
        break;
    default: // kCmdEdit opens the dialog, which is the caller's
        break;
    }
}

// --- Adding --------------------------------------------------------------------

FileDialogSpec StudioPage::AddTracksDialog() const {
    const FormatEnabled& f = Ctx().formats;
    struct Kind {
        bool on;
        const char* shown;
        const char* pattern;
    };
    const Kind kinds[3] = {{f.mp3, "*.MP3, ", "*.MP3;"}, {f.aac, "*.AAC, ", "*.AAC;"}, {f.lse, "*.LSE, ", "*.LSE;"}};
    FileDialogSpec dlg;
    std::string shown, pattern;
    for (const Kind& k : kinds)
        if (k.on) {
            shown += k.shown;
            pattern += k.pattern;
        }
    dlg.filters.push_back({Ctx().Text(231, "All supported types") + " (" + shown + "*.M3U)", pattern + "*.M3U"});
    if (!shown.empty()) {
        std::string mediaShown = shown.substr(0, shown.size() - 2) + ")";
        std::string mediaPattern = pattern.substr(0, pattern.size() - 1);
        dlg.filters.push_back({Ctx().Text(327, "Media files") + " (" + mediaShown, mediaPattern});
    }
    dlg.filters.push_back({Ctx().Text(234, "M3U playlist files") + " (*.M3U)", "*.M3U"});
    if (f.mp3)
        dlg.filters.push_back({Ctx().Text(232, "MP3 audio files") + " (*.MP3)", "*.MP3"});
    if (f.aac)
        dlg.filters.push_back({Ctx().Text(326, "AAC audio files") + " (*.AAC)", "*.AAC"});
    if (f.lse)
        dlg.filters.push_back({Ctx().Text(233, "LSE audio files") + " (*.LSE)", "*.LSE"});
    dlg.defaultExt = f.mp3 ? "MP3" : f.aac ? "AAC" : f.lse ? "LSE" : "M3U";
    dlg.folder = m_musicFolder;
    dlg.multiSelect = true;
    return dlg;
}

void StudioPage::AddNew(const std::vector<std::string>& paths, const std::vector<std::string>& folders,
                        Playlist* target) {
    const Anchor anchor = Capture();
    MusicCollection& collection = m_doc.Collection();
    std::unordered_set<const MusicItem*> before;
    for (const auto& item : collection.Items())
        before.insert(item.get());
    std::vector<const MusicItem*> fresh;
    const size_t childrenBefore = target ? target->ChildCount() : 0;

    std::vector<std::string> setAside;
    for (const std::string& path : paths) {
        if (target && !IsM3UPath(path))
            target->InsertFile(path, false, Ctx());
        else if (target)
            setAside.push_back(path);
        else
            collection.AddFile(path, false, Ctx());
    }
    for (const std::string& path : setAside)
        collection.AddFile(path, false, Ctx());
    for (const std::string& folder : folders)
        collection.ScanFolder(folder, Ctx());

    for (const auto& item : collection.Items())
        if (!before.count(item.get()))
            fresh.push_back(item.get());
    if (target) {
        target->RecomputeTotals();
        for (size_t j = childrenBefore; j < target->ChildCount(); ++j)
            fresh.push_back(target->Child(j));
        // A closed playlist shows no new rows; its own row stands for them.
        if (!target->expanded && target->ChildCount() > childrenBefore)
            fresh.push_back(target);
    }
    Restore(anchor, &fresh, Show::LastSelected);
    SaveStep();
}

void StudioPage::AddTracks(const std::vector<std::string>& paths) {
    if (paths.empty())
        return;
    // The target: the playlist of a focused track row, or a focused playlist
    // that is the only selected row; otherwise the Studio's top level.
    Playlist* target = nullptr;
    if (m_focus >= 0 && m_focus < RowCount()) {
        if (m_rows[static_cast<size_t>(m_focus)].IsChild())
            target = PlaylistOfRow(m_focus);
        else if (AsPlaylist(ItemOfRow(m_focus)) && SelectedCount() == 1 && IsSelected(m_focus))
            target = PlaylistOfRow(m_focus);
    }
    AddNew(paths, {}, target);
}

void StudioPage::DropFiles(const std::vector<std::string>& paths) {
    std::vector<std::string> files, folders;
    for (const std::string& path : paths)
        (IsFolder(path) ? folders : files).push_back(path);
    if (files.empty() && folders.empty())
        return;
    AddNew(files, folders, nullptr);
}

// --- Removing ------------------------------------------------------------------

void StudioPage::RemoveSelected() {
    const std::vector<int> rows = SelectedRows();
    if (rows.empty())
        return;
    Anchor anchor = Capture();
    MusicCollection& collection = m_doc.Collection();
    // From the last selected row to the first, so indices stay valid.
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
        const StudioRow r = m_rows[static_cast<size_t>(*it)];
        MusicItem* item = ItemOfRow(*it);
        StopIfPlaying(item);
        if (r.IsChild()) {
            Playlist* playlist = AsPlaylist(collection.Item(static_cast<size_t>(r.parent)));
            playlist->RemoveChild(static_cast<size_t>(r.item));
            playlist->RecomputeTotals();
        } else {
            if (Playlist* playlist = AsPlaylist(item))
                playlist->expanded = 0;
            collection.Remove(static_cast<size_t>(r.item));
        }
    }
    // Pointers of removed items must not be compared with new ones.
    std::unordered_set<const MusicItem*> live;
    for (const auto& item : collection.Items()) {
        live.insert(item.get());
        if (const Playlist* list = AsPlaylist(item.get()))
            live.insert(list->Children().begin(), list->Children().end());
    }
    if (!live.count(anchor.playing))
        anchor.playing = nullptr;
    if (!live.count(anchor.focus))
        anchor.focus = nullptr;
    anchor.selected.clear();
    Restore(anchor, nullptr);
    SaveStep();
}

void StudioPage::RemoveAll() {
    if (m_playback.stop && m_playback.active && m_playback.active())
        m_playback.stop();
    m_doc.Collection().Clear();
    m_doc.RandomHistory().clear();
    m_doc.SetPlayPosition(-1, -2);
    m_focus = -1;
    Restore(Anchor{}, nullptr);
    SaveStep();
}

// --- Moving ------------------------------------------------------------------------

void StudioPage::MoveRows(bool up) {
    const std::vector<int> rows = SelectedRows();
    if (rows.empty())
        return;
    const Anchor anchor = Capture();
    MusicCollection& collection = m_doc.Collection();

    // The selected items of each level: the top level and every expanded playlist.
    std::vector<char> topSelected(collection.Count(), 0);
    std::unordered_map<Playlist*, std::vector<char>> childSelected;
    for (int row : rows) {
        const StudioRow& r = m_rows[static_cast<size_t>(row)];
        if (r.IsChild()) {
            Playlist* playlist = AsPlaylist(collection.Item(static_cast<size_t>(r.parent)));
            auto& flags = childSelected[playlist];
            flags.resize(playlist->ChildCount(), 0);
            flags[static_cast<size_t>(r.item)] = 1;
        } else {
            topSelected[static_cast<size_t>(r.item)] = 1;
        }
    }
    // One level: each selected entry swaps with its neighbour unless that
    // neighbour is the edge or a selected entry that could not move.
    auto moveLevel = [up](std::vector<char>& selected, const std::function<void(size_t, size_t)>& swap) {
        const size_t n = selected.size();
        std::vector<char> stuck(n, 0);
        for (size_t k = 0; k < n; ++k) {
            const size_t i = up ? k : n - 1 - k;
            if (!selected[i])
                continue;
            const bool atEdge = up ? i == 0 : i == n - 1;
            const size_t j = up ? i - 1 : i + 1;
            if (atEdge || stuck[j]) {
                stuck[i] = 1;
                continue;
            }
            swap(i, j);
            std::swap(selected[i], selected[j]);
        }
    };
    moveLevel(topSelected, [&](size_t a, size_t b) { collection.Swap(a, b); });
    for (auto& [playlist, flags] : childSelected)
        moveLevel(flags, [playlist = playlist](size_t a, size_t b) { playlist->SwapChildren(a, b); });

    Restore(anchor, nullptr, Show::FirstSelected);
    SaveStep();
}

void StudioPage::MoveUp() {
    MoveRows(true);
}

void StudioPage::MoveDown() {
    MoveRows(false);
}

// --- Clipboard -------------------------------------------------------------------

void StudioPage::Copy() {
    const std::vector<int> rows = SelectedRows();
    if (rows.empty())
        return;
    m_clipboard.clear();
    for (int row : rows)
        m_clipboard.push_back(ItemOfRow(row)->Clone());
}

void StudioPage::Cut() {
    if (SelectedCount() == 0)
        return;
    Copy();
    RemoveSelected();
}

std::string StudioPage::UniqueTitle(const std::string& title, const std::string& ownPath) const {
    auto taken = [&](const std::string& candidate) {
        for (const auto& item : m_doc.Collection().Items())
            if (item->title == candidate)
                return true;
        // A renamed copy never takes over a file that lies there already.
        if (candidate != title) {
            PathParts parts = SplitPath(ownPath);
            parts.name = candidate;
            std::error_code ec;
            if (std::filesystem::exists(MakePath(parts), ec))
                return true;
        }
        return false;
    };
    std::string result = title;
    while (taken(result))
        result = "Copy of " + result;
    return result;
}

std::unique_ptr<MusicItem> StudioPage::PasteCopy(const MusicItem& clip, bool topLevel) const {
    if (const Playlist* playlist = AsPlaylist(&clip)) {
        auto copy = std::make_unique<M3UPlaylist>(*playlist);
        copy->expanded = 0;
        if (topLevel) {
            const std::string title = UniqueTitle(copy->title, copy->path);
            if (title != copy->title) {
                copy->title = title;
                copy->ApplyTitleToPath();
            }
        }
        return copy;
    }
    return std::make_unique<Track>(clip);
}

void StudioPage::CollectTracks(const MusicItem& item, std::vector<const MusicItem*>& out) const {
    if (const Playlist* playlist = AsPlaylist(&item))
        out.insert(out.end(), playlist->Children().begin(), playlist->Children().end());
    else
        out.push_back(&item);
}

void StudioPage::Paste() {
    if (m_clipboard.empty())
        return;
    const Anchor anchor = Capture();
    MusicCollection& collection = m_doc.Collection();
    std::vector<const MusicItem*> fresh;
    Show show = Show::None;

    const MusicItem* focused = ItemOfRow(m_focus);
    if (!focused) {
        for (const auto& clip : m_clipboard) {
            auto copy = PasteCopy(*clip, true);
            fresh.push_back(copy.get());
            collection.Append(std::move(copy));
        }
        show = Show::LastRow;
    } else if (!m_rows[static_cast<size_t>(m_focus)].IsChild() && focused->IsPlaylist()) {
        Playlist* playlist = PlaylistOfRow(m_focus);
        for (const auto& clip : m_clipboard) {
            std::vector<const MusicItem*> tracks;
            CollectTracks(*clip, tracks);
            for (const MusicItem* track : tracks) {
                auto copy = std::make_unique<Track>(*track);
                fresh.push_back(copy.get());
                playlist->AppendChild(std::move(copy));
            }
        }
        playlist->RecomputeTotals();
    } else if (!m_rows[static_cast<size_t>(m_focus)].IsChild()) {
        // Each item goes to the focused item's place, so they end up before
        // it in reverse clipboard order.
        const size_t at = static_cast<size_t>(m_rows[static_cast<size_t>(m_focus)].item);
        for (const auto& clip : m_clipboard) {
            auto copy = PasteCopy(*clip, true);
            fresh.push_back(copy.get());
            collection.Insert(at, std::move(copy));
        }
    } else {
        Playlist* playlist = PlaylistOfRow(m_focus);
        const size_t at = static_cast<size_t>(m_rows[static_cast<size_t>(m_focus)].item);
        for (const auto& clip : m_clipboard) {
            std::vector<const MusicItem*> tracks;
            CollectTracks(*clip, tracks);
            for (const MusicItem* track : tracks) {
                auto copy = std::make_unique<Track>(*track);
                fresh.push_back(copy.get());
                playlist->InsertChild(at, std::move(copy));
            }
        }
        playlist->RecomputeTotals();
    }
    Restore(anchor, &fresh, show);
    SaveStep();
}

// --- Drag and drop -------------------------------------------------------------

std::vector<MenuEntry> StudioPage::DropMenu() const {
    return {{1, Ctx().Text(133, "Move"), true, true},
            {2, Ctx().Text(134, "Copy"), true, false},
            {3, Ctx().Text(135, "Cancel"), true, false}};
}

bool StudioPage::DropOnList(const std::vector<int>& dragged, int targetRow, DropChoice choice) {
    if (choice == DropChoice::Cancel)
        return false;
    std::vector<int> rows;
    for (int row : dragged)
        if (row >= 0 && row < RowCount())
            rows.push_back(row);
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    if (rows.empty())
        return false;
    if (targetRow >= RowCount())
        targetRow = -1;

    MusicCollection& collection = m_doc.Collection();
    Playlist* into = nullptr;
    size_t topPosition = collection.Count();
    if (targetRow >= 0) {
        const StudioRow& t = m_rows[static_cast<size_t>(targetRow)];
        Playlist* targetPlaylist = PlaylistOfRow(targetRow);
        if (targetPlaylist) {
            PromptAnswer answer = PromptAnswer::Yes;
            if (Ctx().prompt)
                answer = Ctx().prompt->Ask(Ctx().Text(136, "Insert into Playlist?"), Ctx().Text(255, "Lyrabox"),
                                           PromptButtons::YesNoCancel, PromptIcon::Question);
            if (answer == PromptAnswer::Cancel)
                return false;
            if (answer == PromptAnswer::Yes)
                into = targetPlaylist;
        }
        // The top-level place: before a top-level row, after a track row's playlist.
        topPosition = static_cast<size_t>(t.IsChild() ? t.parent + 1 : t.item);
    }

    // What is dragged: top-level items and tracks of playlists.
    std::vector<MusicItem*> topItems;
    std::vector<std::pair<Playlist*, MusicItem*>> childItems;
    std::vector<MusicItem*> order; // in row order
    for (int row : rows) {
        MusicItem* item = ItemOfRow(row);
        order.push_back(item);
        if (m_rows[static_cast<size_t>(row)].IsChild())
            childItems.emplace_back(PlaylistOfRow(row), item);
        else
            topItems.push_back(item);
    }
    const bool move = choice == DropChoice::Move;
    // A playlist cannot be moved into itself.
    if (move && into && std::find(topItems.begin(), topItems.end(), into) != topItems.end())
        return false;

    Anchor anchor = Capture();
    std::vector<const MusicItem*> fresh;
    std::unordered_map<const MusicItem*, const MusicItem*> replaced;

    if (into) {
        for (MusicItem* item : order) {
            std::vector<const MusicItem*> tracks;
            CollectTracks(*item, tracks);
            for (const MusicItem* track : tracks) {
                auto copy = std::make_unique<Track>(*track);
                replaced[track] = copy.get();
                fresh.push_back(copy.get());
                into->AppendChild(std::move(copy));
            }
        }
    } else {
        // The item the dropped ones go before (null: the end); when it is
        // dragged itself, the next one that stays.
        const MusicItem* before = nullptr;
        for (size_t i = topPosition; i < collection.Count(); ++i) {
            MusicItem* candidate = collection.Item(i);
            if (!move || std::find(topItems.begin(), topItems.end(), candidate) == topItems.end()) {
                before = candidate;
                break;
            }
        }
        std::vector<std::unique_ptr<MusicItem>> placed;
        for (MusicItem* item : order) {
            const bool isTop = std::find(topItems.begin(), topItems.end(), item) != topItems.end();
            if (move && isTop) {
                placed.push_back(nullptr); // taken out below, in its place
            } else if (isTop) {
                placed.push_back(PasteCopy(*item, true));
            } else {
                auto track = std::make_unique<Track>(*item);
                replaced[item] = track.get();
                placed.push_back(std::move(track));
            }
        }
        if (move) {
            for (size_t k = 0; k < order.size(); ++k) {
                if (placed[k])
                    continue;
                for (size_t i = 0; i < collection.Count(); ++i)
                    if (collection.Item(i) == order[k]) {
                        placed[k] = collection.Take(i);
                        break;
                    }
            }
        }
        size_t at = collection.Count();
        if (before)
            for (size_t i = 0; i < collection.Count(); ++i)
                if (collection.Item(i) == before) {
                    at = i;
                    break;
                }
        // Placed at the top level with the titling rule of pasting: a playlist
        // copy's title must not collide (it is checked once all are in).
        for (auto& item : placed) {
            if (!item)
                continue;
            fresh.push_back(item.get());
            collection.Insert(at++, std::move(item));
        }
    }

    if (move) {
        // Tracks leave their playlists (last index first), then moved
        // top-level items already left; for an insert into a playlist the
        // dragged top-level items are removed here.
        for (auto it = childItems.rbegin(); it != childItems.rend(); ++it) {
            Playlist* playlist = it->first;
            const auto& children = playlist->Children();
            auto pos = std::find(children.begin(), children.end(), it->second);
            if (pos != children.end()) {
                if (anchor.playing == it->second)
                    anchor.playing = replaced.count(it->second) ? replaced[it->second] : nullptr;
                playlist->RemoveChild(static_cast<size_t>(pos - children.begin()));
            }
        }
        // The item being played lives on as its copy in the playlist.
        if (into)
            for (MusicItem* item : topItems)
                for (size_t i = 0; i < collection.Count(); ++i)
                    if (collection.Item(i) == item) {
                        if (replaced.count(anchor.playing))
                            anchor.playing = replaced[anchor.playing];
                        collection.Remove(i);
                        break;
                    }
    }
    for (const auto& item : collection.Items())
        if (Playlist* playlist = AsPlaylist(item.get()))
            playlist->RecomputeTotals();
    anchor.focus = nullptr;
    Restore(anchor, &fresh, Show::FirstSelected);
    SaveStep();
    return true;
}

// --- Editing ---------------------------------------------------------------------

bool StudioPage::CanEdit() const {
    return SelectedCount() == 1;
}

EditDialogSpec StudioPage::DialogTexts(EditMode mode) const {
    EditDialogSpec dlg;
    dlg.mode = mode;
    switch (mode) {
    case EditMode::Track:
        dlg.caption = Ctx().Text(203, "Edit Track");
        dlg.group = Ctx().Text(205, "Track information");
        dlg.titleLabel = Ctx().Text(207, "Track title:");
        dlg.artistLabel = Ctx().Text(372, "Artist name:");
        break;
    case EditMode::Playlist:
        dlg.caption = Ctx().Text(202, "Edit Playlist");
        dlg.group = Ctx().Text(204, "Playlist information");
        dlg.titleLabel = Ctx().Text(206, "Playlist title:");
        break;
    case EditMode::CreatePlaylist:
        dlg.caption = Ctx().Text(201, "Create Playlist");
        dlg.group = Ctx().Text(204, "Playlist information");
        dlg.titleLabel = Ctx().Text(206, "Playlist title:");
        break;
    }
    dlg.saveText = Ctx().Text(370, "Save");
    dlg.cancelText = Ctx().Text(200, "Cancel");
    return dlg;
}

EditDialogSpec StudioPage::EditItemDialog() const {
    const std::vector<int> rows = SelectedRows();
    const MusicItem* item = rows.size() == 1 ? ItemOfRow(rows.front()) : nullptr;
    const bool playlist = item && item->IsPlaylist() && !m_rows[static_cast<size_t>(rows.front())].IsChild();
    EditDialogSpec dlg = DialogTexts(playlist ? EditMode::Playlist : EditMode::Track);
    if (item) {
        dlg.title = CutToChars(item->title, kMaxTitleChars);
        dlg.artist = CutToChars(item->artist, kMaxTitleChars);
    }
    return dlg;
}

bool StudioPage::WriteTrackTexts(MusicItem& item, const std::string& title, const std::string& artist) {
    // The file gets the new texts first; the record keeps its old ones unless
    // the tag was written.
    MusicItem record = item;
    record.title = CutToChars(title, kMaxTitleChars);
    record.artist = CutToChars(artist, kMaxTitleChars);
    const int result = SetMediaInfo(item.path, record, Ctx());
    if (result != 0) {
        TraceFormat("Music Studio: tag of %s not written (%d); the old texts stay", item.path.c_str(), result);
        return false;
    }
    item.title = record.title;
    item.artist = record.artist;
    item.flags |= kTitleKnown | kArtistKnown;
    item.titleFromName = false;
    // A new or grown tag changes the file's size, which the totals and the
    // transfer's space check rely on.
    std::error_code ec;
    const auto size = std::filesystem::file_size(item.path, ec);
    if (!ec)
        item.size = static_cast<uint32_t>(size);
    for (const auto& top : m_doc.Collection().Items())
        if (Playlist* playlist = AsPlaylist(top.get()))
            playlist->RecomputeTotals();
    return true;
}

bool StudioPage::RenamePlaylist(MusicItem& item, const std::string& title) {
    const std::string old = item.title;
    const std::string oldPath = item.path;
    item.title = CutToChars(title, kMaxTitleChars);
    if (!item.Save()) {
        item.title = old;
        // A rename that happened before a failed write is undone by the next save.
        TraceFormat("Music Studio: playlist %s not saved under the new title", oldPath.c_str());
        return false;
    }
    item.titleFromName = false;
    return true;
}

bool StudioPage::EditItem(const std::string& title, const std::string& artist) {
    if (!CanEdit())
        return false;
    const int row = SelectedRows().front();
    MusicItem* item = ItemOfRow(row);
    const bool playlist = item->IsPlaylist() && !m_rows[static_cast<size_t>(row)].IsChild();
    const bool done = playlist ? RenamePlaylist(*item, title) : WriteTrackTexts(*item, title, artist);
    StudioChange change;
    change.flags = StudioChange::kCells;
    change.first = change.last = row;
    Notify(change);
    SaveStep();
    return done;
}

bool StudioPage::EditTitleInPlace(int row, const std::string& title) {
    MusicItem* item = ItemOfRow(row);
    if (!item)
        return false;
    const bool playlist = item->IsPlaylist() && !m_rows[static_cast<size_t>(row)].IsChild();
    const bool done = playlist ? RenamePlaylist(*item, title) : WriteTrackTexts(*item, title, item->artist);
    StudioChange change;
    change.flags = StudioChange::kCells;
    change.first = change.last = row;
    Notify(change);
    SaveStep();
    return done;
}

bool StudioPage::CanEditArtistInPlace(int row) const {
    const MusicItem* item = ItemOfRow(row);
    if (!item || KindOfRow(row) == RowKind::Playlist)
        return false;
    return item != PlayingItem();
}

bool StudioPage::EditArtistInPlace(int row, const std::string& artist) {
    if (!CanEditArtistInPlace(row))
        return false;
    MusicItem* item = ItemOfRow(row);
    const bool done = WriteTrackTexts(*item, item->title, artist);
    StudioChange change;
    change.flags = StudioChange::kCells;
    change.first = change.last = row;
    Notify(change);
    SaveStep();
    return done;
}

// --- Creating a playlist ---------------------------------------------------------

FileDialogSpec StudioPage::CreatePlaylistDialog() const {
    FileDialogSpec dlg;
    dlg.filters.push_back({Ctx().Text(234, "M3U playlist files") + " (*.M3U)", "*.M3U"});
    dlg.defaultExt = "M3U";
    dlg.folder = m_playlistFolder;
    return dlg;
}

bool StudioPage::CreatePlaylist(const std::string& chosen) {
    if (chosen.empty())
        return false;
    // Only a name ending in .M3U or .m3u becomes a playlist of the Studio.
    const std::string path = IsM3UPath(chosen) ? chosen : chosen + ".M3U";
    M3UPlaylist temporary;
    temporary.SetBorrowed(true);
    for (int row : SelectedRows())
        temporary.AppendBorrowed(ItemOfRow(row));
    if (!temporary.WriteM3U(path)) {
        TraceFormat("Music Studio: playlist %s could not be written", path.c_str());
        return false;
    }
    Anchor anchor = Capture();
    MusicCollection& collection = m_doc.Collection();
    const size_t before = collection.Count();
    collection.AddFile(path, false, Ctx());
    const bool added = collection.Count() > before;
    if (added)
        anchor.focus = collection.Item(collection.Count() - 1);
    Restore(anchor, nullptr, added ? Show::Focus : Show::None);
    SaveStep();
    return added;
}

// --- Opening and starting ------------------------------------------------------

bool StudioPage::OpenAndPlay(const std::string& path) {
    if (path == "%cd")
        return false;
    MusicCollection& collection = m_doc.Collection();
    const size_t before = collection.Count();
    const Anchor anchor = Capture();
    if (!collection.AddFile(path, true, Ctx()) || collection.Count() == before)
        return false;
    std::vector<const MusicItem*> first = {collection.Item(0)};
    Anchor focusFirst = anchor;
    focusFirst.focus = collection.Item(0);
    Restore(focusFirst, &first, Show::Focus);
    SaveStep();
    return true;
}

bool StudioPage::StartUp() {
    if (m_doc.PendingPlayIndex() < 0 || RowCount() == 0)
        return false;
    std::fill(m_selected.begin(), m_selected.end(), 0);
    m_selected[0] = 1;
    m_focus = 0;
    ShowTotals();
    StudioChange change;
    change.flags = StudioChange::kSelection | StudioChange::kVisible;
    change.visibleRow = 0;
    Notify(change);
    if (m_playback.playSelection)
        m_playback.playSelection();
    return true;
}

// --- Transfer -------------------------------------------------------------------

std::vector<MusicItem> StudioPage::GatherSelectedRecords() const {
    std::vector<MusicItem> records;
    bool parentSelected = false; // track rows follow their playlist's row
    for (int row = 0; row < RowCount(); ++row) {
        const StudioRow& r = m_rows[static_cast<size_t>(row)];
        const bool on = m_selected[static_cast<size_t>(row)] != 0;
        if (!r.IsChild())
            parentSelected = on;
        if (!on)
            continue;
        if (r.IsChild()) {
            if (parentSelected)
                continue; // its playlist gave it already
            records.emplace_back();
            records.back().CopyRecordFrom(*ItemOfRow(row));
        } else if (const Playlist* playlist = AsPlaylist(ItemOfRow(row))) {
            for (const MusicItem* child : playlist->Children()) {
                records.emplace_back();
                records.back().CopyRecordFrom(*child);
            }
        } else {
            records.emplace_back();
            records.back().CopyRecordFrom(*ItemOfRow(row));
        }
    }
    return records;
}

bool StudioPage::TransferSelected() {
    if (m_transfer.cdState && m_transfer.cdState() == 3)
        return false;
    if (!m_transfer.deviceSelected || !m_transfer.deviceSelected() || !m_transfer.showTransferDialog)
        return false;
    if (m_transfer.stopPlayer)
        m_transfer.stopPlayer();
    std::vector<MusicItem> records = GatherSelectedRecords();
    m_busy = true;
    m_transfer.showTransferDialog(std::move(records));
    m_busy = false;
    return true;
}

// --- Lengths and search results -------------------------------------------------

void StudioPage::OnDurationReady(const std::string& path, uint32_t seconds) {
    if (m_doc.ApplyDuration(path, seconds) == 0)
        return;
    // Rows of the items with this path and of the playlists that hold them.
    int first = -1, last = -1;
    for (int row = 0; row < RowCount(); ++row) {
        const MusicItem* item = ItemOfRow(row);
        bool touched = item->path == path;
        if (!touched)
            if (const Playlist* playlist = AsPlaylist(item); playlist && !m_rows[static_cast<size_t>(row)].IsChild())
                for (const MusicItem* child : playlist->Children())
                    if (child->path == path) {
                        touched = true;
                        break;
                    }
        if (touched) {
            if (first < 0)
                first = row;
            last = row;
        }
    }
    ShowTotals();
    if (first >= 0) {
        StudioChange change;
        change.flags = StudioChange::kCells;
        change.first = first;
        change.last = last;
        Notify(change);
    }
}

size_t StudioPage::AddFoundFiles(const std::vector<std::string>& paths, size_t first, size_t count,
                                 const std::function<void(const std::string&)>& status) {
    MusicCollection& collection = m_doc.Collection();
    size_t added = 0;
    const size_t end = std::min(paths.size(), first + count);
    for (size_t i = first; i < end; ++i) {
        const std::string& path = paths[i];
        bool present = false;
        for (const auto& item : collection.Items())
            if (item->path == path) {
                present = true;
                break;
            }
        if (present)
            continue;
        if (status)
            status(path);
        const size_t before = collection.Count();
        if (collection.AddFile(path, false, Ctx()) && collection.Count() > before)
            ++added;
    }
    return added;
}

void StudioPage::FinishAddingFound(int rowsBefore) {
    Anchor anchor = Capture();
    anchor.selected.clear();
    RebuildRows();
    std::vector<const MusicItem*> fresh;
    for (int row = std::max(rowsBefore, 0); row < RowCount(); ++row)
        fresh.push_back(ItemOfRow(row));
    Restore(anchor, &fresh, Show::LastRow);
    SaveStep();
}

// --- Saving ------------------------------------------------------------------------

bool StudioPage::SaveStep() {
    ++m_saveCount;
    if (m_studioPath.empty())
        return true;
    std::error_code ec;
    const std::filesystem::path folder = std::filesystem::path(m_studioPath).parent_path();
    if (!folder.empty())
        std::filesystem::create_directories(folder, ec);
    const bool saved = m_doc.SaveAll(m_studioPath);
    if (!saved)
        TraceFormat("Music Studio: %s could not be written", m_studioPath.c_str());
    return saved;
}

} // namespace lyb
