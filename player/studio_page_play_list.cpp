#include "player/studio_page_play_list.h"

namespace lyb {

StudioRow StudioPagePlayList::Row(int row) const {
    return row >= 0 && row < m_page.RowCount() ? m_page.Row(row) : StudioRow{};
}

void StudioPagePlayList::SelectOnly(int row) {
    if (row < 0 || row >= m_page.RowCount())
        return;
    m_page.SetSelectedRows({row});
    m_page.SetFocusRow(row);
}

} // namespace lyb
