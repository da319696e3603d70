#include "player/player_dialog_state.h"

#include "library/music_item.h"
#include "player/play_list.h"
#include "player/player_engine.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <thread>

namespace lyb {

namespace {

// One place a walk may try to start: a top-level track (child -1) or a
// track of a playlist.
struct Target {
    int top = -1;
    int child = -1;
    bool operator==(const Target&) const = default;
};

const Playlist* AsPlaylist(const MusicItem* item) {
    return item && item->IsPlaylist() ? static_cast<const Playlist*>(item) : nullptr;
}

bool Contains(const std::vector<int>& v, int x) { return std::find(v.begin(), v.end(), x) != v.end(); }

// Every playable position in library order: top-level tracks, the tracks of
// each playlist in turn; empty playlists give none.
std::vector<Target> LibraryOrder(const MusicCollection& c) {
    std::vector<Target> order;
    for (size_t i = 0; i < c.Count(); ++i) {
        if (const Playlist* p = AsPlaylist(c.Item(i))) {
            for (size_t t = 0; t < p->ChildCount(); ++t)
                order.push_back({static_cast<int>(i), static_cast<int>(t)});
        } else {
            order.push_back({static_cast<int>(i), -1});
        }
    }
    return order;
}

} // namespace

RandomSource RandomSource::Standard() {
    return {[](unsigned s) { std::srand(s); }, [] { return std::rand(); }};
}

PlayerDialogState::PlayerDialogState(CPlayerEngine& engine)
    : m_engine(engine), m_random(RandomSource::Standard()) {
    m_wait = [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); };
}

std::string PlayerDialogState::FormatClock(int seconds) {
    if (seconds < 0)
        seconds = 0;
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", seconds / 3600, (seconds / 60) % 60, seconds % 60);
    return text;
}

bool PlayerDialogState::Blocked() const { return m_cdState && m_cdState() == 3; }

bool PlayerDialogState::Active() {
    if (m_source == kSourceCd)
        return m_cd && m_cd->Active();
    const int s = m_engine.GetState();
    return s == kStatePlaying || s == kStatePaused;
}

bool PlayerDialogState::Paused() {
    if (m_source == kSourceCd)
        return m_cd && m_cd->Paused();
    return m_engine.GetState() == kStatePaused;
}

void PlayerDialogState::Changed() {
    if (m_changed)
        m_changed();
}

void PlayerDialogState::NotifySmallPlayer(int wparam) {
    if (m_notify)
        m_notify(wparam);
}

const MusicItem* PlayerDialogState::CurrentStudioItem() const {
    if (!m_studio)
        return nullptr;
    const MusicCollection& c = m_studio->Collection();
    const int pl = m_studio->PlayPlaylist();
    const int it = m_studio->PlayItem();
    if (pl >= 0) {
        if (static_cast<size_t>(pl) >= c.Count())
            return nullptr;
        const Playlist* p = AsPlaylist(c.Item(static_cast<size_t>(pl)));
        if (!p || it < 0 || static_cast<size_t>(it) >= p->ChildCount())
            return nullptr;
        return p->Child(static_cast<size_t>(it));
    }
    if (it < 0 || static_cast<size_t>(it) >= c.Count())
        return nullptr;
    return c.Item(static_cast<size_t>(it));
}

// --- The dialog's view of a start -----------------------------------------

void PlayerDialogState::OnMessage2022(int seconds) {
    m_duration = std::max(0, seconds);
    m_elapsed = 0;
    NotifySmallPlayer(0);
    Changed();
}

void PlayerDialogState::OnCdTrackStarted(int seconds) {
    m_source = kSourceCd;
    ShowStarted(seconds);
}

bool PlayerDialogState::CdActive() const { return m_source == kSourceCd && m_cd && m_cd->Active(); }

void PlayerDialogState::OnCdStopped() {
    if (m_source == kSourceCd)
        ShowStopped();
}

void PlayerDialogState::ShowStarted(int seconds) {
    m_playing = true;
    OnMessage2022(seconds);
}

void PlayerDialogState::ShowStopped() {
    m_playing = false;
    m_elapsed = 0;
    m_duration = 0;
    NotifySmallPlayer(0);
    Changed();
}

void PlayerDialogState::AfterChoice() {
    if (m_engine.GetState() == kStatePlaying)
        ShowStarted(static_cast<int>(m_engine.GetDuration()));
    else
        ShowStopped();
}

// --- Starting an item ------------------------------------------------------

bool PlayerDialogState::StartItem(int top, int child, bool randomTrack) {
    if (!m_studio)
        return false;
    const MusicCollection& c = m_studio->Collection();
    if (top < 0 || static_cast<size_t>(top) >= c.Count())
        return false;
    const MusicItem* item = c.Item(static_cast<size_t>(top));
    const MusicItem* track = item;
    int playlist = -1;
    int index = top;
    if (const Playlist* p = AsPlaylist(item)) {
        if (p->ChildCount() == 0)
            return false;
        const bool drawn = child < 0 && randomTrack;
        if (child < 0)
            child = drawn ? RandomTrackOf(*p) : 0;
        if (static_cast<size_t>(child) >= p->ChildCount())
            return false;
        track = p->Child(static_cast<size_t>(child));
        if (drawn)
            m_studio->RandomHistory().push_back(track);
        playlist = top;
        index = child;
    }
    if (!m_studio->Formats().Accepts(track->type))
        return false;

    // One thing plays at a time.
    if (m_cd && m_cd->Active())
        m_cd->Stop();
    m_engine.Stop();
    m_studio->SetPlayPosition(-1, -1);
    m_engine.SetItemType(track->type);
    int r = m_engine.Open(track->path, index);
    if (r == kPlayerDone)
        r = m_engine.Play();
    // The position is set even when the start failed, so that a walk goes
    // on from this item.
    m_studio->SetPlayPosition(index, playlist);
    m_studio->PlayPositionChanged();
    m_source = kSourceStudio;
    if (r != kPlayerDone)
        return false;
    OnMessage2022(static_cast<int>(m_engine.GetDuration()));
    return m_engine.GetState() == kStatePlaying;
}

bool PlayerDialogState::StartRow(int row, bool randomTrack) {
    if (!m_studio || row < 0 || row >= m_studio->RowCount())
        return false;
    const StudioRow r = m_studio->Row(row);
    if (r.parent >= 0)
        return StartItem(r.parent, r.item, false);
    return StartItem(r.item, -1, randomTrack);
}

int PlayerDialogState::FirstPlayableSelectedRow(const std::vector<int>& sel) const {
    const MusicCollection& c = m_studio->Collection();
    for (int row : sel) {
        const StudioRow r = m_studio->Row(row);
        if (r.parent < 0 && r.item >= 0 && static_cast<size_t>(r.item) < c.Count()) {
            const Playlist* p = AsPlaylist(c.Item(static_cast<size_t>(r.item)));
            if (p && p->ChildCount() == 0)
                continue; // an empty playlist is passed over
        }
        return row;
    }
    return -1;
}

// --- Buttons ---------------------------------------------------------------

void PlayerDialogState::RunCd(bool onlyWhileActive, const std::function<void(CdPlayList&)>& operation) {
    if (!m_cd || (onlyWhileActive && !m_cd->Active()))
        return;
    operation(*m_cd);
    m_playing = m_cd->Active() && !m_cd->Paused();
    Changed();
}

void PlayerDialogState::Play() {
    if (Blocked())
        return;
    if (m_source == kSourceCd) {
        RunCd(false, [](CdPlayList& cd) { cd.PlayPause(); });
        return;
    }
    if (!m_studio)
        return;
    if (m_engine.GetState() == kStatePaused) {
        // Resuming keeps the elapsed time.
        if (m_engine.Play() == kPlayerDone)
            m_playing = true;
        NotifySmallPlayer(0);
        Changed();
        return;
    }
    if (m_mode == kModeRandom) {
        RandomChoice();
    } else {
        const int row = FirstPlayableSelectedRow(m_studio->SelectedRows());
        if (row < 0)
            return;
        StartRow(row, false);
    }
    AfterChoice();
}

void PlayerDialogState::Pause() {
    if (Blocked())
        return;
    if (m_source == kSourceCd) {
        RunCd(false, [](CdPlayList& cd) { cd.PlayPause(); });
    } else if (m_engine.Pause() == kPlayerDone) {
        m_playing = false;
        Changed();
    }
    NotifySmallPlayer(0);
}

void PlayerDialogState::Stop() {
    if (Blocked())
        return;
    if (m_source == kSourceCd) {
        if (m_cd)
            m_cd->Stop();
        ShowStopped();
        return;
    }
    StopStudio();
}

void PlayerDialogState::StopStudio() {
    if (m_source != kSourceStudio)
        return;
    if (m_engine.GetState() != kStateStopped)
        m_engine.Stop();
    ShowStopped();
}

void PlayerDialogState::Next() {
    if (Blocked())
        return;
    if (m_source == kSourceCd) {
        RunCd(true, [](CdPlayList& cd) { cd.Next(true); });
        return;
    }
    if (!m_studio || !Active())
        return;
    StudioNext(true, m_mode == kModeContinuous);
    AfterChoice();
}

void PlayerDialogState::Previous() {
    if (Blocked())
        return;
    if (m_source == kSourceCd) {
        RunCd(true, [](CdPlayList& cd) { cd.Previous(); });
        return;
    }
    if (!m_studio || !Active())
        return;
    StudioPrevious();
    AfterChoice();
}

void PlayerDialogState::SetMode(int mode) {
    if (mode < kModeSingle || mode > kModeRandom)
        return;
    m_mode = mode;
    NotifySmallPlayer(0);
    Changed();
}

void PlayerDialogState::CycleMode() { SetMode((m_mode + 1) % 3); }

void PlayerDialogState::SetSource(int source) {
    if (source != kSourceStudio && source != kSourceCd)
        return;
    m_source = source;
    NotifySmallPlayer(0);
    Changed();
}

void PlayerDialogState::SmallPlayerPlay() {
    if (Blocked())
        return;
    if (m_source == kSourceCd) {
        RunCd(false, [](CdPlayList& cd) {
            cd.SelectFirstWhenNone();
            if (cd.Active())
                cd.Stop();
            cd.PlayPause();
        });
        return;
    }
    if (!m_studio)
        return;
    if (m_studio->SelectedRows().empty() && m_studio->RowCount() > 0)
        m_studio->SelectOnly(0);
    Play();
}

void PlayerDialogState::SmallPlayerPause() {
    if (Blocked())
        return;
    if (m_source == kSourceStudio && m_engine.GetState() == kStatePaused)
        Play(); // resume
    else
        Pause();
}

bool PlayerDialogState::PlayRow(int row) {
    if (Blocked() || !m_studio)
        return false;
    if (m_cd && m_cd->Active())
        m_cd->Stop();
    if (m_engine.GetState() != kStateStopped)
        m_engine.Stop();
    m_source = kSourceStudio;
    StartRow(row, false);
    AfterChoice();
    return m_playing;
}

// --- Clock and seeking -----------------------------------------------------

void PlayerDialogState::OnClock() {
    if (m_source == kSourceCd && m_cd) {
        // The CD Player page plays, pauses and stops on its own too: the
        // dialog follows it.
        if (m_cd->TakeTrackEnded()) {
            CdEndOfTrack();
            return;
        }
        if (!m_cd->Active()) {
            if (m_playing || m_elapsed > 0 || m_duration > 0)
                ShowStopped();
            return;
        }
        m_playing = !m_cd->Paused();
    }
    if (!m_playing || m_seeking)
        return;
    // An unknown duration (0) does not hold the clock at zero.
    if (m_duration <= 0 || m_elapsed < m_duration)
        ++m_elapsed;
    if (m_source == kSourceStudio && m_studio && m_engine.GetState() == kStateStopped) {
        StudioEndOfTrack();
        return;
    }
    Changed();
}

void PlayerDialogState::BeginSeek() { m_seeking = true; }

void PlayerDialogState::EndSeek(int second) {
    m_seeking = false;
    if (m_playing && second >= 0) {
        if (m_source == kSourceStudio) {
            m_engine.SetPosition(second);
            if (m_wait)
                m_wait(50);
            m_elapsed = static_cast<int>(m_engine.GetPosition());
        } else if (m_cd) {
            m_cd->Seek(second);
            m_elapsed = second;
        }
        if (m_duration > 0)
            m_elapsed = std::min(m_elapsed, m_duration);
    }
    Changed();
}

// --- End of a track --------------------------------------------------------

void PlayerDialogState::StudioEndOfTrack() {
    switch (m_mode) {
    case kModeRandom:
        RandomChoice();
        AfterChoice();
        return;
    case kModeContinuous:
        StudioNext(true, true);
        AfterChoice();
        return;
    default: {
        bool last = false;
        const bool inPlaylist = InSelectedPlaylist(&last);
        if (m_studio->SelectedRows().size() > 1 || (inPlaylist && !last)) {
            StudioNext(false, false);
            AfterChoice();
            return;
        }
        if (m_engine.GetState() != kStateStopped)
            m_engine.Stop();
        ShowStopped();
        return;
    }
    }
}

void PlayerDialogState::CdEndOfTrack() {
    switch (m_mode) {
    case kModeRandom: m_cd->RandomPlayNext(); break;
    case kModeContinuous: m_cd->Next(true); break;
    default:
        if (m_cd->SelectedRowCount() > 1)
            m_cd->Next(false);
        else
            m_cd->Stop();
        break;
    }
    if (m_cd->Active()) {
        m_playing = !m_cd->Paused();
        Changed();
    } else {
        ShowStopped();
    }
}

// --- Walks -----------------------------------------------------------------

int PlayerDialogState::CurrentRow() const {
    const int pl = m_studio->PlayPlaylist();
    const int it = m_studio->PlayItem();
    int playlistRow = -1;
    for (int row = 0; row < m_studio->RowCount(); ++row) {
        const StudioRow r = m_studio->Row(row);
        if (pl >= 0) {
            if (r.parent == pl && r.item == it)
                return row;
            if (r.parent < 0 && r.item == pl)
                playlistRow = row;
        } else if (r.parent < 0 && r.item == it && it >= 0) {
            return row;
        }
    }
    // A track of a collapsed playlist stands at its playlist's row.
    return playlistRow;
}

bool PlayerDialogState::InSelectedPlaylist(bool* last) const {
    const MusicCollection& c = m_studio->Collection();
    const int pl = m_studio->PlayPlaylist();
    const int it = m_studio->PlayItem();
    if (pl < 0 || static_cast<size_t>(pl) >= c.Count())
        return false;
    const Playlist* p = AsPlaylist(c.Item(static_cast<size_t>(pl)));
    if (!p)
        return false;
    bool selected = false;
    for (int row : m_studio->SelectedRows()) {
        const StudioRow r = m_studio->Row(row);
        if (r.parent < 0 && r.item == pl)
            selected = true;
    }
    if (!selected)
        return false;
    if (last)
        *last = it < 0 || static_cast<size_t>(it) + 1 >= p->ChildCount();
    return true;
}

void PlayerDialogState::StudioNext(bool wrap, bool skipFailures) {
    const MusicCollection& c = m_studio->Collection();
    const std::vector<int> sel = m_studio->SelectedRows();
    const int pl = m_studio->PlayPlaylist();
    const int it = m_studio->PlayItem();

    // Inside a playlist whose own row is selected: its next track.
    bool last = false;
    if (InSelectedPlaylist(&last)) {
        const Playlist* p = AsPlaylist(c.Item(static_cast<size_t>(pl)));
        const int count = static_cast<int>(p->ChildCount());
        // A track that stops at once is passed over.
        for (int t = it + 1; t < count; ++t)
            if (StartItem(pl, t, false))
                return;
        const bool onlyThisRow = sel.size() == 1 && m_studio->Row(sel[0]).parent < 0 &&
                                 m_studio->Row(sel[0]).item == pl;
        if (onlyThisRow) {
            // After the last track: the playlist again from its start, or stop.
            if (wrap)
                for (int t = 0; t <= std::min(it, count - 1); ++t)
                    if (StartItem(pl, t, false))
                        return;
            m_engine.Stop();
            return;
        }
    }
    if (sel.size() > 1) {
        NextInSelection(sel, wrap);
        return;
    }
    NextInLibrary(skipFailures);
}

bool PlayerDialogState::NextInSelection(const std::vector<int>& sel, bool wrap) {
    const int current = CurrentRow();
    std::vector<int> order;
    for (int row : sel)
        if (row > current)
            order.push_back(row);
    if (wrap)
        for (int row : sel)
            if (row <= current)
                order.push_back(row);
    // A row that stops at once (a failed file, an empty playlist) is skipped.
    for (int row : order)
        if (StartRow(row, false))
            return true;
    m_engine.Stop();
    return false;
}

bool PlayerDialogState::NextInLibrary(bool skipFailures) {
    const std::vector<Target> order = LibraryOrder(m_studio->Collection());
    if (order.empty()) {
        m_engine.Stop();
        return false;
    }
    const int pl = m_studio->PlayPlaylist();
    const int it = m_studio->PlayItem();
    const Target current = pl >= 0 ? Target{pl, it} : Target{it, -1};
    const auto at = std::find(order.begin(), order.end(), current);
    size_t start = at == order.end() ? 0 : static_cast<size_t>(at - order.begin()) + 1;
    // Library order always wraps; one round at most, so a walk over items
    // that all fail comes back to the first failure and stops there.
    for (size_t n = 0; n < order.size(); ++n) {
        const Target t = order[(start + n) % order.size()];
        if (StartItem(t.top, t.child, false))
            return true;
        if (!skipFailures)
            break;
    }
    m_engine.Stop();
    return false;
}

void PlayerDialogState::StudioPrevious() {
    const std::vector<int> sel = m_studio->SelectedRows();
    if (sel.size() >= 2) {
        const int current = CurrentRow();
        int row = sel.back(); // from the first selected row to the last
        for (auto i = sel.rbegin(); i != sel.rend(); ++i)
            if (*i < current) {
                row = *i;
                break;
            }
        StartRow(row, false);
        return;
    }
    const std::vector<Target> order = LibraryOrder(m_studio->Collection());
    if (order.empty())
        return;
    const int pl = m_studio->PlayPlaylist();
    const int it = m_studio->PlayItem();
    const Target current = pl >= 0 ? Target{pl, it} : Target{it, -1};
    const auto at = std::find(order.begin(), order.end(), current);
    // Before the first item comes the last; a playlist entered from below
    // plays its last track; empty playlists have no place in the order.
    const size_t index = at == order.end() || at == order.begin() ? order.size() - 1
                                                                  : static_cast<size_t>(at - order.begin()) - 1;
    StartItem(order[index].top, order[index].child, false);
}

// --- Random choices --------------------------------------------------------

int PlayerDialogState::Draw(int count) {
    if (count <= 0)
        return 0;
    // A uniform draw: reducing rand() by factors of ten until it fits made
    // the lower part of a large library unreachable.
    const int r = m_random.draw ? m_random.draw() : 0;
    return (r < 0 ? -r : r) % count;
}

void PlayerDialogState::RandomChoice() {
    const std::vector<int> sel = m_studio->SelectedRows();
    if (sel.size() >= 2) {
        RandomOverSelection(sel);
        return;
    }
    if (sel.size() == 1) {
        const StudioRow r = m_studio->Row(sel[0]);
        const MusicCollection& c = m_studio->Collection();
        if (r.parent < 0 && r.item >= 0 && static_cast<size_t>(r.item) < c.Count() &&
            c.Item(static_cast<size_t>(r.item))->IsPlaylist()) {
            StartItem(r.item, -1, true);
            return;
        }
    }
    RandomOverLibrary();
}

void PlayerDialogState::RandomOverLibrary() {
    const MusicCollection& c = m_studio->Collection();
    const int count = static_cast<int>(c.Count());
    if (LibraryOrder(c).empty())
        return; // nothing that could ever be drawn
    std::vector<const MusicItem*>& history = m_studio->RandomHistory();
    if (const MusicItem* current = CurrentStudioItem())
        history.push_back(current);
    if (m_random.seed)
        m_random.seed(static_cast<unsigned>(std::time(nullptr)));

    m_attempts = 0;
    Target candidate;
    const MusicItem* candidateItem = nullptr;
    for (;;) {
        const int r = Draw(count);
        ++m_attempts;
        const MusicItem* item = c.Item(static_cast<size_t>(r));
        if (const Playlist* p = AsPlaylist(item)) {
            if (p->ChildCount() == 0)
                continue; // a void attempt: draw again
            const int t = Draw(static_cast<int>(p->ChildCount()));
            candidate = {r, t};
            candidateItem = p->Child(static_cast<size_t>(t));
        } else {
            candidate = {r, -1};
            candidateItem = item;
        }
        if (std::find(history.begin(), history.end(), candidateItem) == history.end())
            break;
        if (m_attempts > 20) {
            history.clear();
            break;
        }
    }
    m_lastAttempts = m_attempts;
    m_attempts = 0;
    StartItem(candidate.top, candidate.child, false);
    history.push_back(candidateItem);
}

void PlayerDialogState::RandomOverSelection(const std::vector<int>& sel) {
    if (m_random.seed)
        m_random.seed(static_cast<unsigned>(std::time(nullptr)));
    std::vector<int>& history = m_studio->SelectionHistory();
    const int n = static_cast<int>(sel.size());
    int r = 0;
    bool found = false;
    for (int attempt = 0; attempt < 21 && !found; ++attempt) {
        r = Draw(n);
        found = !Contains(history, r);
    }
    if (!found) {
        // Every draw hit the history: the first free index from either end.
        for (int i = 0, j = n - 1; i < n && !found; ++i, --j) {
            if (!Contains(history, i)) {
                r = i;
                found = true;
            } else if (j >= 0 && !Contains(history, j)) {
                r = j;
                found = true;
            }
        }
        if (!found)
            history.clear();
    }
    history.push_back(r);
    StartRow(sel[static_cast<size_t>(r)], true);
}

int PlayerDialogState::RandomTrackOf(const Playlist& playlist) {
    const int n = static_cast<int>(playlist.ChildCount());
    const std::vector<const MusicItem*>& history = m_studio->RandomHistory();
    int t = 0;
    for (int attempt = 0; attempt < 21; ++attempt) {
        t = Draw(n);
        if (std::find(history.begin(), history.end(), playlist.Child(static_cast<size_t>(t))) == history.end())
            break;
    }
    return t;
}

} // namespace lyb
