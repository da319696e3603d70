// What the play rules see of the lists they walk: the Music Studio (rows,
// selection, the collection, the play position and the two random
// histories kept in the library document) and the CD player page.
//
// The pages implement these; tests use fakes. Everything runs on the
// user-interface thread.
#pragma once

#include "library/media_context.h"
#include "library/music_item.h"
#include "library/studio_row.h"

#include <string>
#include <vector>

namespace lyb {

class StudioPlayList {
public:
    virtual ~StudioPlayList() = default;

    virtual const MusicCollection& Collection() const = 0;
    virtual int RowCount() const = 0;
    virtual StudioRow Row(int row) const = 0;
    /// The selected rows in row order.
    virtual std::vector<int> SelectedRows() const = 0;
    /// Selects `row` alone (the Small Player's Play with nothing selected).
    virtual void SelectOnly(int row) = 0;

    /// The play position: the current track's index (top-level index, or
    /// index inside the current playlist) and the current playlist's index
    /// (-1: a top-level track). -1/-1 (or -1/-2) when nothing was played.
    virtual int PlayItem() const = 0;
    virtual int PlayPlaylist() const = 0;
    virtual void SetPlayPosition(int item, int playlist) = 0;

    /// Items already played by random play over the library.
    virtual std::vector<const MusicItem*>& RandomHistory() = 0;
    /// Positions in the selection already played by random play over it.
    virtual std::vector<int>& SelectionHistory() = 0;

    /// Which track types may play (MP3 2, AAC 128, LSE 256).
    virtual FormatEnabled Formats() const = 0;
    /// Called after the play position changed (the page marks the row).
    virtual void PlayPositionChanged() {}
};

/// The CD player page as the player dialog drives it.
class CdPlayList {
public:
    virtual ~CdPlayList() = default;
    /// Play, pause or resume (the page's Play/Pause).
    virtual void PlayPause() = 0;
    virtual void Stop() = 0;
    /// Plays a random track not played yet.
    virtual void RandomPlayNext() = 0;
    /// The next track (of the selection when more than one row is selected);
    /// after the last one the first when `wrap`, else playing stops.
    virtual void Next(bool wrap) = 0;
    virtual void Previous() = 0;
    /// Moves the playing track to `seconds`.
    virtual void Seek(int seconds) = 0;
    /// Ejects the disc (refused while saving).
    virtual void Eject() = 0;
    virtual int SelectedRowCount() const = 0;
    /// Selects the first row when none is selected (the Small Player's Play).
    virtual void SelectFirstWhenNone() = 0;
    /// True while a track plays or is paused.
    virtual bool Active() const = 0;
    virtual bool Paused() const = 0;
    /// True once when the playing track has reached its end since the last call.
    virtual bool TakeTrackEnded() = 0;
    /// The playing track's name (the Small Player's title line).
    virtual std::string TrackName() const = 0;
};

} // namespace lyb
