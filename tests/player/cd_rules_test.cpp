// The play rules with the CD as the source: the real CD Player page state
// over a virtual disc whose audio is consumed 50 times faster than real
// time, driven by the player dialog.
#include "cd/cd_doc.h"
#include "cd/cd_manager.h"
#include "cd/cd_state.h"
#include "platform/cdaudio/cd_audio.h"
#include "platform/cdrom/virtual_drive.h"
#include "player/cd_page_play_list.h"
#include "player/player_dialog_state.h"
#include "player/player_engine.h"

#include "../cd/cd_test_support.h"
#include "play_rules_fakes.h"

#include <gtest/gtest.h>

#include <chrono>

namespace lyb {
namespace {

using namespace std::chrono_literals;

class CdRules : public ::testing::Test {
protected:
    void SetUp() override {
        dir = test::TempDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::string error;
        // Three audio tracks of two seconds.
        drive = VirtualDrive::Load(test::MakeDisc(dir, {150, 150, 150}), {}, error);
        ASSERT_TRUE(drive) << error;
        RegisterVirtualDrive(node, drive);
        manager = std::make_unique<CCDManager>(SystemVersion{OsLine::NT, 0x0400}, std::vector<std::string>{node});
        auto media = std::make_unique<test::ScriptedPlayer>();
        studioPlayer = media.get();
        engine.Init(std::make_unique<test::ScriptedPlayer>(), std::move(media));

        CdPageServices s;
        s.manager = manager.get();
        s.makeAudio = [] {
            return std::make_unique<CdAudio>(CdAudio::DeviceOpener{},
                                             [](const std::string&) { return MakeClockedOutput(50.0); });
        };
        doc = std::make_unique<CCDDoc>(s);
        doc->SetOwner(&owner);
        doc->Start(false, 0, -1);
        ASSERT_EQ(doc->TrackCount(), 3);
        // Wired as the program wires them.
        cd = std::make_unique<CdPagePlayList>(*doc, dialog, [this](int wparam) { smallPlayerNotes.push_back(wparam); });
        dialog.SetStudio(&studio);
        dialog.SetWait([](int) {});
    }
    void TearDown() override {
        cd.reset();
        doc.reset();
        RegisterVirtualDrive(node, nullptr);
        SetCdState(kCdIdle);
        std::filesystem::remove_all(dir);
    }
    // Lets the playing track run out (its end arrives as the device's message).
    void RunOut() {
        const auto end = std::chrono::steady_clock::now() + 5s;
        while (doc->Playing() && std::chrono::steady_clock::now() < end)
            owner.PumpFor(5);
        owner.Pump();
        ASSERT_FALSE(doc->Playing());
        dialog.OnClock();
    }

    std::string node = "virtual:player-rules";
    std::filesystem::path dir;
    std::shared_ptr<VirtualDrive> drive;
    std::unique_ptr<CCDManager> manager;
    std::unique_ptr<CCDDoc> doc;
    QueueMessageTarget owner{[this](const Message& m) { return doc ? doc->OnMessage(m) : 0; }};
    CPlayerEngine engine;
    test::ScriptedPlayer* studioPlayer = nullptr;
    test::FakeStudio studio;
    PlayerDialogState dialog{engine};
    std::unique_ptr<CdPagePlayList> cd;
    std::vector<int> smallPlayerNotes;
};

TEST_F(CdRules, SinglePlayOverTwoSelectedTracksPlaysTheSecondThenStops) {
    doc->SetSelection({0, 2});
    dialog.SetSource(kSourceCd);
    dialog.Play();
    EXPECT_EQ(doc->CurrentTrack(), 1);
    EXPECT_EQ(dialog.Source(), kSourceCd);
    EXPECT_EQ(dialog.Duration(), 2);
    EXPECT_TRUE(dialog.Playing());
    RunOut();
    EXPECT_EQ(doc->CurrentTrack(), 3);
    EXPECT_TRUE(dialog.Playing());
    RunOut();
    EXPECT_FALSE(doc->Playing());
    EXPECT_FALSE(dialog.Playing());
    EXPECT_EQ(dialog.TimeText(), "00:00:00");
}

TEST_F(CdRules, ContinuousPlayGoesOnFromTheEndedTrackAndWraps) {
    doc->SetSelection({1});
    dialog.SetMode(kModeContinuous);
    dialog.SetSource(kSourceCd);
    dialog.Play();
    EXPECT_EQ(doc->CurrentTrack(), 2);
    RunOut();
    EXPECT_EQ(doc->CurrentTrack(), 3);
    RunOut();
    EXPECT_EQ(doc->CurrentTrack(), 1);
    EXPECT_TRUE(dialog.Playing());
    dialog.Next(); // the dialog's Next wraps too
    EXPECT_EQ(doc->CurrentTrack(), 2);
    dialog.Stop();
    EXPECT_FALSE(doc->Playing());
}

TEST_F(CdRules, RandomPlayTakesEveryTrackOnceBeforeRepeating) {
    dialog.SetMode(kModeRandom);
    dialog.SetSource(kSourceCd);
    dialog.Play(); // the page plays a random track itself in random mode
    std::set<int> played = {doc->CurrentTrack()};
    RunOut();
    played.insert(doc->CurrentTrack());
    RunOut();
    played.insert(doc->CurrentTrack());
    EXPECT_EQ(played, (std::set<int>{1, 2, 3}));
}

TEST_F(CdRules, PlayingTheCdStopsTheStudioAndTheCdPageIsFollowed) {
    studio.AddTrack("a.mp3");
    studio.selected = {0};
    dialog.Play();
    ASSERT_EQ(engine.GetState(), 1);
    doc->SetSelection({1});
    doc->PlayPause(); // Play on the CD Player page
    EXPECT_EQ(engine.GetState(), 3);
    EXPECT_EQ(dialog.Source(), kSourceCd);
    dialog.OnClock();
    EXPECT_EQ(dialog.Elapsed(), 1);
    doc->PlayPause(); // paused on the page: the clock holds
    dialog.OnClock();
    EXPECT_FALSE(dialog.Playing());
    EXPECT_EQ(dialog.Elapsed(), 1);
    doc->PlayPause();
    dialog.OnClock();
    EXPECT_EQ(dialog.Elapsed(), 2);
    doc->Stop(); // stopped on the page
    dialog.OnClock();
    EXPECT_FALSE(dialog.Playing());
    EXPECT_EQ(dialog.Elapsed(), 0);
}

TEST_F(CdRules, APulledDiscShowsStoppedAndTheAdapterUnhooksWhenItGoes) {
    doc->SetSelection({0});
    dialog.SetSource(kSourceCd);
    dialog.Play();
    ASSERT_TRUE(dialog.Playing());
    ASSERT_TRUE(doc->Services().playerInCdMode());
    doc->Services().notifySmallPlayer(kSmallPlayerCdStopped);
    EXPECT_FALSE(dialog.Playing());
    EXPECT_EQ(dialog.Duration(), 0);
    EXPECT_EQ(smallPlayerNotes.back(), kSmallPlayerCdStopped);

    cd.reset();
    EXPECT_EQ(dialog.Cd(), nullptr);
    EXPECT_FALSE(doc->Services().trackStarted);
    EXPECT_FALSE(doc->Services().notifySmallPlayer);
    EXPECT_FALSE(doc->Services().randomPlayMode);
    doc->Stop(); // the page goes on alone
    EXPECT_FALSE(doc->Playing());
}

TEST_F(CdRules, SeekAfterADragMovesTheCd) {
    doc->SetSelection({0});
    dialog.SetSource(kSourceCd);
    dialog.Play();
    dialog.BeginSeek();
    dialog.EndSeek(1);
    EXPECT_EQ(dialog.Elapsed(), 1);
    EXPECT_TRUE(doc->Playing());
}

} // namespace
} // namespace lyb
