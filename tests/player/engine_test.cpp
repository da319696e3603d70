// CPlayerEngine over fake players: the choice of player, the state rules,
// the start-up failure and the release order with its trace lines.
#include "player/player_engine.h"

#include "../library/test_util.h"
#include "fake_player.h"
#include "platform/trace.h"

#include <gtest/gtest.h>

namespace lyb {
namespace {

using test::FakePlayer;

struct EngineFixture : ::testing::Test {
    test::TempDir dir;
    std::vector<std::string> log;
    CPlayerEngine engine;
    FakePlayer* lse = nullptr;
    FakePlayer* media = nullptr;

    std::string File(const std::string& name) {
        const std::string p = dir / name;
        test::WriteFile(p, "x");
        return p;
    }
    void SetUp() override {
        auto l = std::make_unique<FakePlayer>("lse", &log);
        auto m = std::make_unique<FakePlayer>("media", &log);
        lse = l.get();
        media = m.get();
        engine.Init(std::move(l), std::move(m));
    }
};

TEST_F(EngineFixture, EndingChoosesThePlayerIgnoringCase) {
    EXPECT_EQ(engine.Open(File("a.AAC"), 4), 0);
    EXPECT_EQ(engine.Current(), lse);
    EXPECT_EQ(engine.LastIndex(), 4);
    EXPECT_EQ(engine.Open(File("b.lse"), 0), 0);
    EXPECT_EQ(engine.Current(), lse);
    EXPECT_EQ(engine.Open(File("c.mp3"), 0), 0);
    EXPECT_EQ(engine.Current(), media);
    // Only the last three characters count: "xaac" ends in "aac".
    EXPECT_EQ(engine.Open(File("dxaac"), 0), 0);
    EXPECT_EQ(engine.Current(), lse);
    EXPECT_EQ(engine.Open(File("e.wav"), 0), 0);
    EXPECT_EQ(engine.Current(), media);
    EXPECT_EQ(lse->opened.size(), 3u);
}

TEST_F(EngineFixture, UnreadableFileGivesMinusOneAndOpensNothing) {
    EXPECT_EQ(engine.Open(dir / "missing.mp3", 0), -1);
    EXPECT_TRUE(media->opened.empty());
    EXPECT_EQ(engine.Current(), nullptr);
    EXPECT_EQ(engine.Play(), 258);
    EXPECT_EQ(engine.Pause(), 258);
    EXPECT_EQ(engine.Stop(), 258);
}

TEST_F(EngineFixture, TransportSetsStateAndPlayingFlag) {
    media->openResult = 0;
    ASSERT_EQ(engine.Open(File("a.mp3"), 0), 0);
    EXPECT_EQ(engine.Play(), 0);
    EXPECT_TRUE(engine.Playing());
    EXPECT_EQ(engine.LastState(), 1);
    EXPECT_EQ(engine.Pause(), 0);
    EXPECT_FALSE(engine.Playing());
    EXPECT_EQ(engine.GetState(), 2);
    EXPECT_EQ(engine.Play(), 0);
    EXPECT_EQ(engine.Stop(), 0);
    EXPECT_EQ(engine.GetState(), 3);
    EXPECT_FALSE(engine.Playing());

    // A failed Play changes nothing.
    media->playResult = 257;
    EXPECT_EQ(engine.Play(), 257);
    EXPECT_EQ(engine.LastState(), 3);
}

TEST_F(EngineFixture, NoAnswerKeepsTheLastKnownState) {
    ASSERT_EQ(engine.Open(File("a.mp3"), 0), 0);
    engine.Play();
    media->state = 0;
    EXPECT_EQ(engine.GetState(), 1);
    media->state = 3; // the end of the file
    EXPECT_EQ(engine.GetState(), 3);
}

TEST_F(EngineFixture, PositionAndDurationGoToTheCurrentPlayer) {
    ASSERT_EQ(engine.Open(File("a.aac"), 0), 0);
    lse->duration = 187.6;
    EXPECT_EQ(engine.SetPosition(12.5), 0);
    EXPECT_DOUBLE_EQ(engine.GetPosition(), 12.5);
    EXPECT_DOUBLE_EQ(engine.GetDuration(), 187.6);
    EXPECT_EQ(media->position, 0);
}

TEST(Engine, MediaPlayerFailingAtStartUpMakesStateMinusOne) {
    CPlayerEngine engine;
    auto media = std::make_unique<FakePlayer>("media");
    media->initResult = 257;
    engine.Init(std::make_unique<FakePlayer>("lse"), std::move(media));
    EXPECT_EQ(engine.GetState(), -1);
}

TEST(Engine, ReleaseOrderAndTraceLines) {
    std::vector<std::string> lines;
    SetTraceSink([&](std::string_view t) { lines.emplace_back(t); });
    std::vector<std::string> log;
    {
        CPlayerEngine engine;
        engine.Init(std::make_unique<FakePlayer>("lse", &log), std::make_unique<FakePlayer>("media", &log));
        engine.Release();
        EXPECT_EQ(engine.Current(), nullptr);
    }
    SetTraceSink({});
    const std::vector<std::string> traces = {"Releasing MediaPlayer", "Releasing LSEPlayer", "stoping LSEPlayer",
                                             "saving LSEPlayer", "deleting LSEPlayer"};
    std::vector<std::string> seen;
    for (const auto& l : lines)
        if (std::find(traces.begin(), traces.end(), l) != traces.end())
            seen.push_back(l);
    EXPECT_EQ(seen, traces);
    const std::vector<std::string> calls = {"media stop", "media release", "media destroy",
                                            "lse stop",   "lse release",   "lse destroy"};
    EXPECT_EQ(log, calls);
}

TEST(Engine, IsLsePath) {
    EXPECT_TRUE(CPlayerEngine::IsLsePath("/m/x.AAC"));
    EXPECT_TRUE(CPlayerEngine::IsLsePath("/m/x.Lse"));
    EXPECT_FALSE(CPlayerEngine::IsLsePath("/m/x.mp3"));
    EXPECT_FALSE(CPlayerEngine::IsLsePath("ac"));
    EXPECT_FALSE(CPlayerEngine::IsLsePath(""));
}

} // namespace
} // namespace lyb
