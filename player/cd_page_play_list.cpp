#include "player/cd_page_play_list.h"

#include "player/player_dialog_state.h"

namespace lyb {

CdPagePlayList::CdPagePlayList(CCDDoc& doc, PlayerDialogState& dialog,
                               std::function<void(int wparam)> notifySmallPlayer)
    : m_doc(doc), m_dialog(dialog) {
    dialog.SetCd(this);
    CdPageServices& s = doc.Services();
    s.randomPlayMode = [&dialog] { return dialog.Mode() == kModeRandom; };
    s.stopStudioPlayer = [&dialog] { dialog.StopStudio(); };
    s.notifySmallPlayer = [&dialog, notify = std::move(notifySmallPlayer)](int wparam) {
        // A disc pulled out while it played: the dialog shows the stop too.
        if (wparam == kSmallPlayerCdStopped)
            dialog.OnCdStopped();
        if (notify)
            notify(wparam);
    };
    s.playerInCdMode = [&dialog] { return dialog.CdActive(); };
    // A track started on the page itself makes the CD the player's source.
    s.trackStarted = [&dialog](int seconds) { dialog.OnCdTrackStarted(seconds); };
}

CdPagePlayList::~CdPagePlayList() {
    if (m_dialog.Cd() == this)
        m_dialog.SetCd(nullptr);
    CdPageServices& s = m_doc.Services();
    s.randomPlayMode = {};
    s.stopStudioPlayer = {};
    s.notifySmallPlayer = {};
    s.playerInCdMode = {};
    s.trackStarted = {};
}

} // namespace lyb
