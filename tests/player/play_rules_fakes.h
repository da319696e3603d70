// Fakes for the play rules: a Studio list over a real collection of small
// files, a player that fails for files named "bad...", and a CD page.
#pragma once

#include "library/music_item.h"
#include "player/play_list.h"
#include "player/player.h"


#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace lyb::test {

/// Plays every file except those whose name starts with "bad"; a track
/// "ends" when the test sets `state` to 3.
class ScriptedPlayer final : public CPlayer {
public:
    int GetState() override { return state; }
    void ReleaseBacking() override {}
    int SetPosition(double s) override {
        position = s;
        return 0;
    }
    double GetDuration() override { return durations.count(path) ? durations[path] : 100.0; }
    double GetPosition() override { return position; }
    int Init() override { return 0; }
    int Open(const std::string& p, int) override {
        path = p;
        opens.push_back(p.substr(p.rfind('/') + 1));
        return p.substr(p.rfind('/') + 1).rfind("bad", 0) == 0 ? 257 : 0;
    }
    int Pause() override {
        if (state == 1)
            state = 2;
        return 0;
    }
    int Stop() override {
        state = 3;
        return 0;
    }
    int Play() override {
        state = 1;
        position = 0;
        return 0;
    }

    int state = 3;
    double position = 0;
    std::string path;
    std::vector<std::string> opens; ///< file names in the order opened
    std::map<std::string, double> durations;
};

/// A Studio list: top-level items and (for expanded playlists) their tracks
/// as rows, a selection, the play position and the histories.
class FakeStudio final : public StudioPlayList {
public:
    /// A folder of its own for the track files, removed with the list.
    struct Folder {
        std::string path;
        Folder() {
            std::string pattern = (std::filesystem::temp_directory_path() / "lyb-rules-XXXXXX").string();
            path = ::mkdtemp(pattern.data()) ? pattern : std::string();
        }
        ~Folder() {
            std::error_code ec;
            std::filesystem::remove_all(path, ec);
        }
        std::string operator/(const std::string& name) const { return path + "/" + name; }
    } dir;
    MusicCollection collection;
    std::set<int> selected;
    FormatEnabled formats;
    int playItem = -1, playPlaylist = -2;
    std::vector<const MusicItem*> history;
    std::vector<int> selectionHistory;

    /// A track file named `name` (type from its ending).
    std::unique_ptr<MusicItem> TrackItem(const std::string& name) {
        auto t = std::make_unique<Track>();
        t->path = dir / name;
        std::ofstream(t->path) << "x";
        t->title = name;
        t->type = name.size() > 4 && name.substr(name.size() - 4) == ".aac" ? kItemAac : kItemMp3;
        return t;
    }
    void AddTrack(const std::string& name) { collection.Append(TrackItem(name)); }
    void AddPlaylist(const std::vector<std::string>& names, bool expanded = false) {
        auto p = std::make_unique<M3UPlaylist>();
        p->path = dir / ("list" + std::to_string(collection.Count()) + ".m3u");
        for (const auto& n : names)
            p->AppendChild(TrackItem(n));
        p->expanded = expanded ? 1 : 0;
        collection.Append(std::move(p));
    }
    std::vector<StudioRow> Rows() const {
        std::vector<StudioRow> rows;
        for (size_t i = 0; i < collection.Count(); ++i) {
            rows.push_back({static_cast<int>(i), -1});
            const MusicItem* item = collection.Item(i);
            if (item->IsPlaylist() && item->expanded) {
                const auto* p = static_cast<const Playlist*>(item);
                for (size_t c = 0; c < p->ChildCount(); ++c)
                    rows.push_back({static_cast<int>(c), static_cast<int>(i)});
            }
        }
        return rows;
    }

    const MusicCollection& Collection() const override { return collection; }
    int RowCount() const override { return static_cast<int>(Rows().size()); }
    StudioRow Row(int row) const override { return Rows().at(static_cast<size_t>(row)); }
    std::vector<int> SelectedRows() const override { return {selected.begin(), selected.end()}; }
    void SelectOnly(int row) override { selected = {row}; }
    int PlayItem() const override { return playItem; }
    int PlayPlaylist() const override { return playPlaylist; }
    void SetPlayPosition(int item, int playlist) override {
        playItem = item;
        playPlaylist = playlist;
    }
    std::vector<const MusicItem*>& RandomHistory() override { return history; }
    std::vector<int>& SelectionHistory() override { return selectionHistory; }
    FormatEnabled Formats() const override { return formats; }
};

/// The CD page: records the operations the dialog calls.
class FakeCd final : public CdPlayList {
public:
    std::vector<std::string> calls;
    bool active = false, paused = false, ended = false;
    int selectedRows = 0;

    void PlayPause() override {
        calls.push_back("playpause");
        if (active)
            paused = !paused;
        else
            active = true;
    }
    void Stop() override {
        calls.push_back("stop");
        active = paused = false;
    }
    void RandomPlayNext() override {
        calls.push_back("random");
        active = true;
    }
    void Next(bool wrap) override {
        calls.push_back(wrap ? "next wrap" : "next");
        active = true;
    }
    void Previous() override { calls.push_back("previous"); }
    void Seek(int s) override { calls.push_back("seek " + std::to_string(s)); }
    void Eject() override { calls.push_back("eject"); }
    int SelectedRowCount() const override { return selectedRows; }
    void SelectFirstWhenNone() override {
        if (selectedRows == 0)
            selectedRows = 1;
    }
    bool Active() const override { return active; }
    bool Paused() const override { return paused; }
    bool TakeTrackEnded() override {
        const bool e = ended;
        ended = false;
        return e;
    }
    std::string TrackName() const override { return "AUDIO TRACK 01"; }
};

} // namespace lyb::test
