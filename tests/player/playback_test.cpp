// Real playback through GStreamer into a null sink that keeps real time:
// an MP3 file through MediaPlayer, an AAC file through LSEPlayer and our
// libaac.so. Position, pause, seek and the end of the stream.
#include "player/lse_player.h"
#include "player/media_player.h"
#include "player/player_engine.h"

#include "platform/media/media_graph.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <thread>

namespace lyb {
namespace {

std::string Data(const char* name) { return std::string(std::getenv("LYB_TEST_DATA")) + "/player/" + name; }

void Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

class Playback : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ::setenv("LYB30_AUDIO_SINK", "fakesink sync=true", 1); }

    // Plays 0.3 s, pauses, seeks to 1.2 s, plays to the end (2 s file).
    static void Exercise(CPlayer& p, const std::string& path, double exactLength) {
        ASSERT_EQ(p.Open(path, 0), 0);
        EXPECT_NEAR(p.GetDuration(), exactLength, 1e-6);
        ASSERT_EQ(p.Play(), 0);
        EXPECT_EQ(p.GetState(), 1);
        Sleep(350);
        const double played = p.GetPosition();
        EXPECT_GT(played, 0.15);
        EXPECT_LT(played, 1.0);

        ASSERT_EQ(p.Pause(), 0);
        Sleep(50);
        EXPECT_EQ(p.GetState(), 2);
        const double paused = p.GetPosition();
        Sleep(200);
        EXPECT_NEAR(p.GetPosition(), paused, 0.02) << "position moves while paused";

        ASSERT_EQ(p.SetPosition(1.2), 0);
        Sleep(50);
        EXPECT_NEAR(p.GetPosition(), 1.2, 0.1);
        ASSERT_EQ(p.Play(), 0);

        // The end of the stream stops the player.
        int state = 1;
        for (int i = 0; i < 300 && state != 3; ++i) {
            Sleep(10);
            state = p.GetState();
        }
        EXPECT_EQ(state, 3);
        EXPECT_EQ(p.Stop(), 0);
    }
};

TEST_F(Playback, Mp3ThroughMediaPlayer) {
    MediaPlayer p;
    ASSERT_EQ(p.Init(), 0);
    double exact = 0;
    CPlayerEngine e;
    ASSERT_TRUE(e.Mp3LengthSeconds(Data("tone.mp3"), exact));
    Exercise(p, Data("tone.mp3"), exact);
    // After Stop the graph is gone: Play needs a new Open.
    EXPECT_EQ(p.Play(), 258);
}

TEST_F(Playback, AacThroughTheOutsideLibrary) {
    LSEPlayer p(LYB_AAC_PLUGIN_DIR);
    ASSERT_EQ(p.Init(), 0);
    ASSERT_TRUE(p.HasObject());
    double ms = 0;
    CPlayerEngine e;
    ASSERT_TRUE(e.AacLengthMilliseconds(Data("tone.aac"), ms));
    Exercise(p, Data("tone.aac"), ms / 1000.0);
}

TEST_F(Playback, UndecodableFileFailsToOpen) {
    MediaPlayer mp;
    ASSERT_EQ(mp.Init(), 0);
    EXPECT_EQ(mp.Open(Data("not-audio.mp3"), 0), 257);
    EXPECT_EQ(mp.Play(), 258);
    LSEPlayer lp(LYB_AAC_PLUGIN_DIR);
    ASSERT_EQ(lp.Init(), 0);
    EXPECT_EQ(lp.Open(Data("not-audio.mp3"), 0), 257);
}

TEST_F(Playback, MissingLibraryLeavesNoObject) {
    LSEPlayer p("/nonexistent-folder");
    EXPECT_EQ(p.Init(), -1);
    EXPECT_FALSE(p.HasObject());
    EXPECT_EQ(p.Open(Data("tone.aac"), 0), 257);
    EXPECT_EQ(p.Play(), 258);
    EXPECT_EQ(p.GetState(), 0);
}

} // namespace
} // namespace lyb
