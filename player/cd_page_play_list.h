// The CD Player page as the list the player dialog drives: CdPlayList over
// the page state, and the page's questions to the player (random mode,
// stopping the Music Studio, the Small Player, a track that starts) answered
// by the dialog for as long as this object lives.
#pragma once

#include "cd/cd_doc.h"
#include "player/play_list.h"

#include <functional>

namespace lyb {

class PlayerDialogState;

class CdPagePlayList final : public CdPlayList {
public:
    /// Connects `doc` and `dialog` both ways; `notifySmallPlayer` sends
    /// message 2022 to the Small Player (may be empty). Both must outlive
    /// this object.
    CdPagePlayList(CCDDoc& doc, PlayerDialogState& dialog, std::function<void(int wparam)> notifySmallPlayer);
    /// Leaves the dialog without a CD and the page without the player.
    ~CdPagePlayList() override;
    CdPagePlayList(const CdPagePlayList&) = delete;
    CdPagePlayList& operator=(const CdPagePlayList&) = delete;

    void PlayPause() override { m_doc.PlayPause(); }
    void Stop() override { m_doc.Stop(); }
    void RandomPlayNext() override { m_doc.RandomPlayNext(); }
    void Next(bool wrap) override { m_doc.Next(wrap); }
    void Previous() override { m_doc.Previous(); }
    void Seek(int seconds) override { m_doc.Seek(seconds); }
    /// The player controls' eject (refused while saving, with its message).
    void Eject() override { m_doc.PlayerEject(); }
    int SelectedRowCount() const override { return static_cast<int>(m_doc.Selection().size()); }
    void SelectFirstWhenNone() override { m_doc.SelectFirstWhenNone(); }
    /// The page's playing flag stays set while a track is paused.
    bool Active() const override { return m_doc.Playing(); }
    bool Paused() const override { return m_doc.Paused(); }
    bool TakeTrackEnded() override { return m_doc.TakeTrackEnded(); }
    std::string TrackName() const override { return m_doc.TrackName(); }

    CCDDoc& Doc() { return m_doc; }

private:
    CCDDoc& m_doc;
    PlayerDialogState& m_dialog;
};

} // namespace lyb
