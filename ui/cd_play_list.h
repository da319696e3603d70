// The CD Player page as the player dialog drives it: CdPlayList over the
// page state.
#pragma once

#include "cd/cd_doc.h"
#include "player/play_list.h"

namespace lyb {

class CdPagePlayList final : public CdPlayList {
public:
    explicit CdPagePlayList(CCDDoc& doc) : m_doc(doc) {}
    void PlayPause() override { m_doc.PlayPause(); }
    void Stop() override { m_doc.Stop(); }
    void RandomPlayNext() override { m_doc.RandomPlayNext(); }
    void Next(bool wrap) override { m_doc.Next(wrap); }
    void Previous() override { m_doc.Previous(); }
    void Seek(int seconds) override { m_doc.Seek(seconds); }
    void Eject() override { m_doc.PlayerEject(); }
    int SelectedRowCount() const override { return int(m_doc.Selection().size()); }
    void SelectFirstWhenNone() override { m_doc.SelectFirstWhenNone(); }
    bool Active() const override { return m_doc.Playing(); }
    bool Paused() const override { return m_doc.Paused(); }
    bool TakeTrackEnded() override { return m_doc.TakeTrackEnded(); }
    std::string TrackName() const override { return m_doc.TrackName(); }

private:
    CCDDoc& m_doc;
};

} // namespace lyb
