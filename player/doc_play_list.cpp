#include "player/doc_play_list.h"

namespace lyb {

std::vector<PlayListRow> DocPlayList::Rows() const {
    std::vector<PlayListRow> rows;
    const MusicCollection& c = m_doc.Collection();
    for (size_t i = 0; i < c.Count(); ++i) {
        rows.push_back({static_cast<int>(i), -1});
        const MusicItem* item = c.Item(i);
        if (item->IsPlaylist() && item->expanded) {
            const auto* p = static_cast<const Playlist*>(item);
            for (size_t t = 0; t < p->ChildCount(); ++t)
                rows.push_back({static_cast<int>(t), static_cast<int>(i)});
        }
    }
    return rows;
}

PlayListRow DocPlayList::Row(int row) const {
    const std::vector<PlayListRow> rows = Rows();
    return row >= 0 && static_cast<size_t>(row) < rows.size() ? rows[static_cast<size_t>(row)] : PlayListRow{};
}

std::vector<int> DocPlayList::SelectedRows() const {
    const int n = RowCount();
    std::vector<int> out;
    for (int r : m_selected)
        if (r >= 0 && r < n)
            out.push_back(r);
    return out;
}

} // namespace lyb
