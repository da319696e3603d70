// CdAudio: the page's audio CD device over the virtual drive, with the
// clocked output (fast) and the GStreamer output (into a fakesink at real
// time, as on a machine without sound).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "platform/cdaudio/cd_audio.h"
#include "platform/cdrom/volume_watcher.h"
#include "platform/message_target.h"
#include "rip_test_support.h"

namespace lyb {
namespace {

using namespace std::chrono_literals;

struct CdAudioTest : ::testing::Test {
    void SetUp() override {
        dir = test::TempDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::string error;
        drive = VirtualDrive::Load(test::MakeDiscFrom(dir, {{40, true}, {150, false, 440}, {30, false, 880}}), {},
                                   error);
        ASSERT_TRUE(drive) << error;
        RegisterVirtualDrive(node, drive);
    }
    void TearDown() override {
        RegisterVirtualDrive(node, nullptr);
        std::filesystem::remove_all(dir);
    }
    /// Waits for the end-of-play notification; its value, or -1 on a timeout.
    int WaitEnd(std::chrono::milliseconds limit) {
        auto end = std::chrono::steady_clock::now() + limit;
        while (ended < 0 && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(2ms);
        return ended;
    }
    std::string node = "virtual:audio";
    std::filesystem::path dir;
    std::shared_ptr<VirtualDrive> drive;
    std::atomic<int> ended{-1};
};

TEST_F(CdAudioTest, QueriesLikeTheCdAudioDevice) {
    CdAudio audio({}, [](const std::string&) { return MakeClockedOutput(20.0); });
    EXPECT_EQ(audio.Mode(), CdAudioMode::NotReady); // nothing open
    EXPECT_FALSE(audio.Open("virtual:none"));
    ASSERT_TRUE(audio.Open(node));
    EXPECT_TRUE(audio.MediaPresent());
    EXPECT_EQ(audio.Mode(), CdAudioMode::Stopped);
    EXPECT_EQ(audio.TrackCount(), 3);
    EXPECT_FALSE(audio.TrackIsAudio(1));
    EXPECT_TRUE(audio.TrackIsAudio(2));
    EXPECT_FALSE(audio.TrackIsAudio(4));
    CdMsf start = audio.TrackStart(2), length = audio.TrackLength(2);
    EXPECT_EQ(start.seconds, 2); // 40 frames + the lead-in
    EXPECT_EQ(start.frames, 40);
    EXPECT_EQ(length.seconds, 2);
    EXPECT_EQ(length.frames, 0);
    EXPECT_FALSE(audio.Play(1)); // a data track is never played
    EXPECT_FALSE(audio.Play(9));
}

TEST_F(CdAudioTest, ClockedPlayPausesResumesAndNotifiesTheEnd) {
    CdAudio audio({}, [](const std::string&) { return MakeClockedOutput(20.0); });
    audio.SetNotify([this](bool completed) { ended = completed ? 1 : 0; });
    ASSERT_TRUE(audio.Open(node));
    ASSERT_TRUE(audio.Play(2));
    EXPECT_EQ(audio.Mode(), CdAudioMode::Playing);
    EXPECT_EQ(audio.CurrentTrack(), 2);
    std::this_thread::sleep_for(20ms);
    ASSERT_TRUE(audio.Pause());
    EXPECT_EQ(audio.Mode(), CdAudioMode::Paused);
    std::uint32_t at = audio.PositionLba();
    EXPECT_GT(at, 40u);
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(audio.PositionLba(), at); // a paused clock stands still
    ASSERT_TRUE(audio.Resume());
    EXPECT_EQ(WaitEnd(3s), 1); // 2 s of audio at 20 x
    EXPECT_EQ(audio.Mode(), CdAudioMode::Stopped);
    // Stop gives no notification; eject opens the door.
    ended = -1;
    ASSERT_TRUE(audio.Play(3));
    EXPECT_TRUE(audio.Stop());
    EXPECT_EQ(audio.Mode(), CdAudioMode::Stopped);
    ASSERT_TRUE(audio.Eject());
    EXPECT_EQ(audio.Mode(), CdAudioMode::Open);
    EXPECT_EQ(audio.TrackCount(), 0);
    EXPECT_EQ(ended, -1);
}

TEST_F(CdAudioTest, DiscPulledWhilePlayingEndsThePlayWithoutHanging) {
    VirtualDriveOptions o;
    o.removeAtFrame = 120;
    drive->SetOptions(o);
    CdAudio audio({}, [](const std::string&) { return MakeClockedOutput(20.0); });
    audio.SetNotify([this](bool completed) { ended = completed ? 1 : 0; });
    ASSERT_TRUE(audio.Open(node));
    ASSERT_TRUE(audio.Play(2));
    EXPECT_EQ(WaitEnd(3s), 0);
    EXPECT_EQ(audio.Mode(), CdAudioMode::NotReady);
}

TEST_F(CdAudioTest, GStreamerOutputPlaysInRealTime) {
    ::setenv("LYB30_AUDIO_SINK", "fakesink sync=true", 1);
    auto out = MakeGstOutput();
    ASSERT_NE(out, nullptr) << "GStreamer with appsrc (gstreamer1.0-plugins-base)";
    CdAudio audio({}, [](const std::string&) { return MakeGstOutput(); });
    audio.SetNotify([this](bool completed) { ended = completed ? 1 : 0; });
    ASSERT_TRUE(audio.Open(node));
    auto began = std::chrono::steady_clock::now();
    ASSERT_TRUE(audio.Play(3)); // 30 frames: 0.4 s
    EXPECT_EQ(audio.Mode(), CdAudioMode::Playing);
    EXPECT_EQ(WaitEnd(5s), 1);
    auto took = std::chrono::steady_clock::now() - began;
    EXPECT_GE(took, 350ms); // the sink's clock paces the play
    audio.Close();
    ::unsetenv("LYB30_AUDIO_SINK");
}

TEST_F(CdAudioTest, WatcherReportsRemovalAndArrivalByUnitMask) {
    std::vector<Message> got;
    QueueMessageTarget target([&](const Message& m) {
        got.push_back(m);
        return std::intptr_t(0);
    });
    VolumeWatcher watcher({"virtual:other", node}, &target, 10ms);
    EXPECT_TRUE(watcher.PollOnce().empty()); // the first round only learns
    drive->RemoveMedium();
    auto changes = watcher.PollOnce();
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_FALSE(changes[0].arrival);
    EXPECT_EQ(changes[0].unitMask, 2u);
    drive->InsertMedium();
    watcher.Start();
    for (int i = 0; i < 200 && got.size() < 2; ++i) target.PumpFor(10);
    watcher.Stop();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].id, kMsgDeviceChange);
    EXPECT_EQ(got[0].wparam, kDeviceRemoveComplete);
    EXPECT_EQ(got[1].wparam, kDeviceArrival);
    EXPECT_EQ(got[1].lparam, 2);
}

} // namespace
} // namespace lyb
