// The play rules driven headless: a real engine over scripted players, a
// fake Studio list and a fake CD page.
#include "player/player_dialog_state.h"
#include "player/player_engine.h"

#include "play_rules_fakes.h"

#include <gtest/gtest.h>

#include <random>

namespace lyb {
namespace {

using test::FakeCd;
using test::FakeStudio;
using test::ScriptedPlayer;
using Names = std::vector<std::string>;

struct Rules : ::testing::Test {
    FakeStudio studio;
    FakeCd cd;
    CPlayerEngine engine;
    ScriptedPlayer* media = nullptr;
    ScriptedPlayer* lse = nullptr;
    PlayerDialogState dialog{engine};
    int notified = 0;
    int cdState = 0;
    std::mt19937 rng{12345};

    void SetUp() override {
        auto l = std::make_unique<ScriptedPlayer>();
        auto m = std::make_unique<ScriptedPlayer>();
        lse = l.get();
        media = m.get();
        engine.Init(std::move(l), std::move(m));
        dialog.SetStudio(&studio);
        dialog.SetCd(&cd);
        dialog.SetCdState([this] { return cdState; });
        dialog.SetSmallPlayerNotify([this](int) { ++notified; });
        dialog.SetWait([](int) {});
        dialog.SetRandom({[](unsigned) {}, [this] { return static_cast<int>(rng() & 0x7FFFFFFF); }});
    }
    // The playing track reaches its end; the next clock tick notices.
    void End() {
        media->state = 3;
        dialog.OnClock();
    }
    const Names& Opened() const { return media->opens; }
    std::string Playing() {
        const MusicItem* item = dialog.CurrentStudioItem();
        return item && engine.GetState() == 1 ? item->title : std::string("(stopped)");
    }
};

TEST_F(Rules, PlayTakesTheFirstSelectedRowPassingEmptyPlaylists) {
    studio.AddTrack("a.mp3");
    studio.AddPlaylist({});
    studio.AddTrack("b.mp3");
    dialog.Play(); // nothing selected: nothing starts
    EXPECT_TRUE(Opened().empty());
    studio.selected = {1, 2};
    dialog.Play();
    EXPECT_EQ(Opened(), Names{"b.mp3"});
    EXPECT_TRUE(dialog.Playing());
    EXPECT_EQ(dialog.Duration(), 100);
    EXPECT_EQ(studio.playItem, 2);
    EXPECT_EQ(studio.playPlaylist, -1);
}

TEST_F(Rules, SinglePlayOverTwoSelectedRowsPlaysTheSecondThenStops) {
    for (auto n : {"a.mp3", "b.mp3", "c.mp3"})
        studio.AddTrack(n);
    studio.selected = {0, 2};
    dialog.Play();
    End();
    EXPECT_EQ(Playing(), "c.mp3");
    End();
    EXPECT_EQ(Playing(), "(stopped)");
    EXPECT_FALSE(dialog.Playing());
    EXPECT_EQ(Opened(), (Names{"a.mp3", "c.mp3"}));
    EXPECT_EQ(dialog.TimeText(), "00:00:00");
}

TEST_F(Rules, SinglePlayOfOneRowStops) {
    studio.AddTrack("a.mp3");
    studio.AddTrack("b.mp3");
    studio.selected = {0};
    dialog.Play();
    End();
    EXPECT_EQ(Playing(), "(stopped)");
}

TEST_F(Rules, ContinuousPlayWrapsFromTheLastItemAndEntersPlaylists) {
    studio.AddTrack("a.mp3");
    studio.AddPlaylist({"p1.mp3", "p2.mp3"});
    studio.AddPlaylist({});
    studio.AddTrack("z.mp3");
    dialog.SetMode(kModeContinuous);
    studio.selected = {3};
    dialog.Play();
    End();
    EXPECT_EQ(Playing(), "a.mp3");
    End();
    EXPECT_EQ(Playing(), "p1.mp3");
    End();
    EXPECT_EQ(Playing(), "p2.mp3");
    End(); // the empty playlist is passed over
    EXPECT_EQ(Playing(), "z.mp3");
}

TEST_F(Rules, ContinuousPlaySkipsFailuresAndStopsWhenAllFail) {
    studio.AddTrack("a.mp3");
    studio.AddTrack("bad1.mp3");
    studio.AddTrack("bad2.mp3");
    studio.AddTrack("d.mp3");
    dialog.SetMode(kModeContinuous);
    studio.selected = {0};
    dialog.Play();
    End();
    EXPECT_EQ(Playing(), "d.mp3");
    EXPECT_EQ(Opened(), (Names{"a.mp3", "bad1.mp3", "bad2.mp3", "d.mp3"}));

    FakeStudio broken;
    broken.AddTrack("bad1.mp3");
    broken.AddTrack("bad2.mp3");
    broken.AddTrack("ok.mp3");
    broken.selected = {2};
    dialog.SetStudio(&broken);
    media->opens.clear();
    dialog.Play();
    // ok.mp3 disappears from under the player: it fails too now.
    std::rename(broken.collection.Item(2)->path.c_str(), (broken.dir / "gone").c_str());
    End();
    EXPECT_EQ(Playing(), "(stopped)");
    // One round: both failures, then back to ok.mp3 (unreadable now), stop.
    EXPECT_EQ(Opened(), (Names{"ok.mp3", "bad1.mp3", "bad2.mp3"}));
}

TEST_F(Rules, SingleModeFailureStops) {
    studio.AddTrack("a.mp3");
    studio.AddTrack("bad.mp3");
    studio.AddTrack("c.mp3");
    studio.selected = {0, 1};
    dialog.Play();
    End(); // bad.mp3 is skipped as a selected row that stops at once; nothing after it
    EXPECT_EQ(Playing(), "(stopped)");
}

TEST_F(Rules, SelectedPlaylistPlaysThroughAndNextWrapsToItsStart) {
    studio.AddTrack("a.mp3");
    studio.AddPlaylist({"p1.mp3", "p2.mp3"});
    studio.selected = {1};
    dialog.Play();
    EXPECT_EQ(Playing(), "p1.mp3");
    End(); // single mode inside a selected playlist: its next track
    EXPECT_EQ(Playing(), "p2.mp3");
    dialog.Next(); // after its last track the playlist starts again
    EXPECT_EQ(Playing(), "p1.mp3");
    dialog.Next();
    End(); // single mode after the last track: stop
    EXPECT_EQ(Playing(), "(stopped)");
}

TEST_F(Rules, NextWithoutSelectionFollowsLibraryOrder) {
    studio.AddTrack("a.mp3");
    studio.AddPlaylist({"p1.mp3"});
    studio.AddTrack("c.mp3");
    studio.selected = {2};
    dialog.Play();
    dialog.Next();
    EXPECT_EQ(Playing(), "a.mp3");
    dialog.Next();
    EXPECT_EQ(Playing(), "p1.mp3");
    dialog.Next();
    EXPECT_EQ(Playing(), "c.mp3");
}

TEST_F(Rules, NextAndPreviousOnlyWhilePlaying) {
    studio.AddTrack("a.mp3");
    studio.AddTrack("b.mp3");
    dialog.Next();
    dialog.Previous();
    EXPECT_TRUE(Opened().empty());
}

TEST_F(Rules, NextInASelectionWrapsOnlyWhenAsked) {
    for (auto n : {"a.mp3", "b.mp3", "c.mp3", "d.mp3"})
        studio.AddTrack(n);
    studio.selected = {1, 3};
    dialog.Play();
    dialog.Next();
    EXPECT_EQ(Playing(), "d.mp3");
    dialog.Next(); // the button wraps
    EXPECT_EQ(Playing(), "b.mp3");
}

TEST_F(Rules, PreviousInLibraryOrder) {
    studio.AddTrack("a.mp3");
    studio.AddPlaylist({"p1.mp3", "p2.mp3"});
    studio.AddPlaylist({});
    studio.AddTrack("z.mp3");
    studio.selected = {3};
    dialog.Play();
    dialog.Previous(); // the empty playlist is passed; a playlist from below: its last track
    EXPECT_EQ(Playing(), "p2.mp3");
    dialog.Previous();
    EXPECT_EQ(Playing(), "p1.mp3");
    dialog.Previous(); // before its first track: the item above
    EXPECT_EQ(Playing(), "a.mp3");
    dialog.Previous(); // from the first item to the last
    EXPECT_EQ(Playing(), "z.mp3");
}

TEST_F(Rules, PreviousInASelectionWrapsFromFirstToLast) {
    for (auto n : {"a.mp3", "b.mp3", "c.mp3"})
        studio.AddTrack(n);
    studio.selected = {0, 2};
    dialog.Play();
    dialog.Previous();
    EXPECT_EQ(Playing(), "c.mp3");
    dialog.Previous();
    EXPECT_EQ(Playing(), "a.mp3");
}

TEST_F(Rules, RandomPlayOfAOneItemLibraryRepeatsAfterTwentyOneAttempts) {
    studio.AddTrack("only.mp3");
    dialog.SetMode(kModeRandom);
    dialog.Play();
    EXPECT_EQ(Playing(), "only.mp3");
    EXPECT_EQ(dialog.LastRandomAttempts(), 1);
    End();
    EXPECT_EQ(Playing(), "only.mp3");
    // The current item went into the history: every draw hits it until the
    // history is emptied on the 21st attempt.
    EXPECT_EQ(dialog.LastRandomAttempts(), 21);
    EXPECT_EQ(studio.history.size(), 1u);
    End();
    EXPECT_EQ(dialog.LastRandomAttempts(), 21);
    EXPECT_EQ(Opened().size(), 3u);
}

TEST_F(Rules, RandomPlayOverThreeSelectedRowsPlaysEachOnceBeforeRepeating) {
    for (auto n : {"a.mp3", "b.mp3", "c.mp3", "d.mp3", "e.mp3"})
        studio.AddTrack(n);
    studio.selected = {0, 2, 4};
    dialog.SetMode(kModeRandom);
    for (int round = 0; round < 4; ++round) {
        media->opens.clear();
        dialog.Play();
        End();
        End();
        std::set<std::string> played(Opened().begin(), Opened().end());
        EXPECT_EQ(played, (std::set<std::string>{"a.mp3", "c.mp3", "e.mp3"})) << "round " << round;
        dialog.Stop();
    }
}

TEST_F(Rules, RandomChoiceOverSelectionWalksFromBothEndsWhenDrawsKeepHitting) {
    for (auto n : {"a.mp3", "b.mp3", "c.mp3", "d.mp3"})
        studio.AddTrack(n);
    studio.selected = {0, 1, 2, 3};
    dialog.SetMode(kModeRandom);
    dialog.SetRandom({[](unsigned) {}, [] { return 0; }}); // always the first row
    studio.selectionHistory = {0};
    dialog.Play(); // draws all hit 0: index 3 (from the top end) is free first after 0
    EXPECT_EQ(Playing(), "d.mp3");
    studio.selectionHistory = {0, 1, 2, 3};
    dialog.Play(); // a new choice; everything played: the history starts again
    EXPECT_EQ(studio.selectionHistory, std::vector<int>{0});
    EXPECT_EQ(Playing(), "a.mp3");
}

TEST_F(Rules, RandomPlayOfASelectedPlaylistStaysInside) {
    studio.AddTrack("a.mp3");
    studio.AddPlaylist({"p1.mp3", "p2.mp3", "p3.mp3"});
    studio.selected = {1};
    dialog.SetMode(kModeRandom);
    dialog.Play();
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(studio.playPlaylist, 1);
        End();
    }
}

TEST_F(Rules, RandomPlayOverTheLibraryAvoidsRecentItems) {
    for (int i = 0; i < 10; ++i)
        studio.AddTrack("t" + std::to_string(i) + ".mp3");
    dialog.SetMode(kModeRandom);
    dialog.Play();
    for (int i = 0; i < 9; ++i)
        End();
    const std::set<std::string> played(Opened().begin(), Opened().end());
    EXPECT_GE(played.size(), 9u); // at most one repeat among ten starts (history emptied at most once)
}

TEST_F(Rules, DisabledTypeDoesNotPlay) {
    studio.AddTrack("a.aac");
    studio.formats.aac = false;
    studio.selected = {0};
    dialog.Play();
    EXPECT_TRUE(lse->opens.empty());
    EXPECT_FALSE(dialog.Playing());
}

TEST_F(Rules, ClockCountsCapsAndRunsTheEndOfTrackRule) {
    studio.AddTrack("a.mp3");
    studio.AddTrack("b.mp3");
    media->durations[studio.collection.Item(0)->path] = 2.7;
    studio.selected = {0, 1};
    dialog.Play();
    EXPECT_EQ(dialog.Duration(), 2);
    dialog.OnClock();
    dialog.OnClock();
    dialog.OnClock();
    EXPECT_EQ(dialog.Elapsed(), 2); // never beyond the duration
    EXPECT_EQ(dialog.TimeText(), "00:00:02");
    dialog.BeginSeek();
    media->state = 3;
    dialog.OnClock(); // seeking: the clock leaves everything alone
    EXPECT_EQ(Opened().size(), 1u);
    dialog.EndSeek(1);
    dialog.OnClock();
    EXPECT_EQ(Playing(), "b.mp3");
    EXPECT_EQ(dialog.Elapsed(), 0);
}

TEST_F(Rules, PauseHoldsTheClockAndPlayResumesWithoutReset) {
    studio.AddTrack("a.mp3");
    studio.selected = {0};
    dialog.Play();
    dialog.OnClock();
    dialog.OnClock();
    dialog.Pause();
    dialog.OnClock();
    EXPECT_EQ(dialog.Elapsed(), 2);
    EXPECT_EQ(engine.GetState(), 2);
    dialog.Play();
    EXPECT_EQ(engine.GetState(), 1);
    EXPECT_EQ(dialog.Elapsed(), 2);
    EXPECT_EQ(Opened().size(), 1u);
    dialog.SmallPlayerPause();
    EXPECT_EQ(engine.GetState(), 2);
    dialog.SmallPlayerPause();
    EXPECT_EQ(engine.GetState(), 1);
}

TEST_F(Rules, SeekAfterDragTakesTheEnginesPosition) {
    studio.AddTrack("a.mp3");
    studio.selected = {0};
    int waited = 0;
    dialog.SetWait([&](int ms) { waited += ms; });
    dialog.Play();
    dialog.BeginSeek();
    dialog.EndSeek(42);
    EXPECT_DOUBLE_EQ(media->position, 42.0);
    EXPECT_EQ(waited, 50);
    EXPECT_EQ(dialog.Elapsed(), 42);
}

TEST_F(Rules, StopClearsAndTellsTheSmallPlayer) {
    studio.AddTrack("a.mp3");
    studio.selected = {0};
    dialog.Play();
    dialog.OnClock();
    notified = 0;
    dialog.Stop();
    EXPECT_EQ(engine.GetState(), 3);
    EXPECT_EQ(dialog.Elapsed(), 0);
    EXPECT_EQ(dialog.Duration(), 0);
    EXPECT_GE(notified, 1);
}

TEST_F(Rules, ButtonsDoNothingWhileACdIsSaved) {
    studio.AddTrack("a.mp3");
    studio.selected = {0};
    cdState = 3;
    dialog.Play();
    EXPECT_TRUE(Opened().empty());
    cdState = 0;
    dialog.Play();
    cdState = 3;
    dialog.Stop();
    EXPECT_EQ(engine.GetState(), 1);
    // Removing the playing item must stop it even then.
    dialog.StopStudio();
    EXPECT_EQ(engine.GetState(), 3);
}

TEST_F(Rules, SequenceModeThreeTimesReturnsToSingle) {
    EXPECT_EQ(dialog.Mode(), kModeSingle);
    dialog.CycleMode();
    EXPECT_EQ(dialog.Mode(), kModeContinuous);
    dialog.CycleMode();
    EXPECT_EQ(dialog.Mode(), kModeRandom);
    dialog.CycleMode();
    EXPECT_EQ(dialog.Mode(), kModeSingle);
}

TEST_F(Rules, SmallPlayerPlaySelectsTheFirstRow) {
    studio.AddTrack("a.mp3");
    studio.AddTrack("b.mp3");
    dialog.SmallPlayerPlay();
    EXPECT_EQ(studio.selected, std::set<int>{0});
    EXPECT_EQ(Playing(), "a.mp3");
}

TEST_F(Rules, DoubleClickStopsTheCdAndPlaysTheRow) {
    studio.AddTrack("a.mp3");
    studio.AddPlaylist({"p1.mp3", "p2.mp3"}, true);
    cd.active = true;
    dialog.SetSource(kSourceCd);
    EXPECT_TRUE(dialog.PlayRow(3)); // the playlist's second track row
    EXPECT_EQ(cd.calls, Names{"stop"});
    EXPECT_EQ(dialog.Source(), kSourceStudio);
    EXPECT_EQ(Playing(), "p2.mp3");
    EXPECT_EQ(studio.playPlaylist, 1);
    EXPECT_EQ(studio.playItem, 1);
}

TEST_F(Rules, CdSourceEndOfTrackInTheThreeModes) {
    dialog.SetSource(kSourceCd);
    dialog.Play();
    EXPECT_EQ(cd.calls, Names{"playpause"});
    EXPECT_TRUE(dialog.Playing());
    cd.ended = true;
    dialog.OnClock(); // single, one row: stop
    EXPECT_FALSE(dialog.Playing());
    dialog.Play();
    cd.selectedRows = 2;
    cd.ended = true;
    dialog.OnClock(); // single, two rows: next without wrapping
    dialog.SetMode(kModeContinuous);
    cd.ended = true;
    dialog.OnClock();
    dialog.SetMode(kModeRandom);
    cd.ended = true;
    dialog.OnClock();
    EXPECT_EQ(cd.calls, (Names{"playpause", "stop", "playpause", "next", "next wrap", "random"}));
    dialog.BeginSeek();
    dialog.EndSeek(30);
    EXPECT_EQ(cd.calls.back(), "seek 30");
    EXPECT_EQ(dialog.Elapsed(), 30);
}

TEST_F(Rules, CdTrackStartMakesTheCdTheSourceAndCounts) {
    studio.AddTrack("a.mp3");
    studio.selected = {0};
    dialog.Play();
    cd.active = true;
    dialog.OnCdTrackStarted(185);
    EXPECT_EQ(dialog.Source(), kSourceCd);
    EXPECT_TRUE(dialog.CdActive());
    EXPECT_EQ(dialog.Duration(), 185);
    dialog.OnClock();
    EXPECT_EQ(dialog.Elapsed(), 1);
    dialog.OnCdStopped();
    EXPECT_FALSE(dialog.Playing());
    EXPECT_EQ(dialog.Elapsed(), 0);
}

TEST(PlayerClock, Format) {
    EXPECT_EQ(PlayerDialogState::FormatClock(0), "00:00:00");
    EXPECT_EQ(PlayerDialogState::FormatClock(59), "00:00:59");
    EXPECT_EQ(PlayerDialogState::FormatClock(3661), "01:01:01");
    EXPECT_EQ(PlayerDialogState::FormatClock(-5), "00:00:00");
}

} // namespace
} // namespace lyb
