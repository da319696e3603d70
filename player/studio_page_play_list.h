// The Music Studio page as the list the player dialog plays: its rows and
// selection, the document's play position and random history, and the
// history of random play over a selection.
#pragma once

#include "library/studio_page.h"
#include "player/play_list.h"

namespace lyb {

class StudioPagePlayList final : public StudioPlayList {
public:
    explicit StudioPagePlayList(StudioPage& page) : m_page(page) {}

    const MusicCollection& Collection() const override { return m_page.Doc().Collection(); }
    int RowCount() const override { return m_page.RowCount(); }
    StudioRow Row(int row) const override;
    std::vector<int> SelectedRows() const override { return m_page.SelectedRows(); }
    void SelectOnly(int row) override;
    int PlayItem() const override { return m_page.Doc().PlayItemIndex(); }
    int PlayPlaylist() const override { return m_page.Doc().PlayPlaylistIndex(); }
    void SetPlayPosition(int item, int playlist) override { m_page.Doc().SetPlayPosition(item, playlist); }
    std::vector<const MusicItem*>& RandomHistory() override { return m_page.Doc().RandomHistory(); }
    std::vector<int>& SelectionHistory() override { return m_selectionHistory; }
    FormatEnabled Formats() const override { return m_page.Doc().Context().formats; }

    StudioPage& Page() { return m_page; }

private:
    StudioPage& m_page;
    std::vector<int> m_selectionHistory;
};

} // namespace lyb
