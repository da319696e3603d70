// The Music Studio document as the list being played when no page shows
// it: rows are the top-level items and the tracks of expanded playlists,
// the selection is kept here. The page's own list takes its place once the
// page exists.
#pragma once

#include "library/music_doc.h"
#include "player/play_list.h"

#include <set>

namespace lyb {

class DocPlayList final : public StudioPlayList {
public:
    explicit DocPlayList(CMusicDoc& doc) : m_doc(doc) {}

    const MusicCollection& Collection() const override { return m_doc.Collection(); }
    int RowCount() const override { return static_cast<int>(Rows().size()); }
    PlayListRow Row(int row) const override;
    std::vector<int> SelectedRows() const override;
    void SelectOnly(int row) override { m_selected = {row}; }
    int PlayItem() const override { return m_doc.PlayItemIndex(); }
    int PlayPlaylist() const override { return m_doc.PlayPlaylistIndex(); }
    void SetPlayPosition(int item, int playlist) override { m_doc.SetPlayPosition(item, playlist); }
    std::vector<const MusicItem*>& RandomHistory() override { return m_doc.RandomHistory(); }
    std::vector<int>& SelectionHistory() override { return m_selectionHistory; }
    FormatEnabled Formats() const override { return m_doc.Context().formats; }

    void Select(std::set<int> rows) { m_selected = std::move(rows); }

private:
    std::vector<PlayListRow> Rows() const;
    CMusicDoc& m_doc;
    std::set<int> m_selected;
    std::vector<int> m_selectionHistory;
};

} // namespace lyb
