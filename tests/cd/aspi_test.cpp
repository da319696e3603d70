#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

#include "cd/aspi_extraction.h"
#include "cd/cd_manager.h"
#include "cd/cd_state.h"
#include "cd_test_support.h"
#include "platform/trace.h"

namespace lyb {
namespace {

using Bytes = std::vector<std::uint8_t>;

class AspiTest : public ::testing::Test {
protected:
    void SetUpDisc(const std::vector<std::uint32_t>& frames, VirtualDriveOptions options = {}, bool dataLast = false) {
        dir = test::TempDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::string error;
        drive = VirtualDrive::Load(test::MakeDisc(dir, frames, dataLast), options, error);
        ASSERT_TRUE(drive) << error;
        host = std::make_unique<test::InProcessAspi>(std::vector<std::shared_ptr<ScsiTarget>>{drive});
        ASSERT_TRUE(host->Load(aspi)) << aspi.GetLastText();
        ASSERT_TRUE(aspi.ScanHostAdapters());
        ASSERT_EQ(aspi.DeviceCount(), 1);
        drive->ClearCommandLog();
    }
    void TearDown() override {
        aspi.UnloadAspi();
        if (!dir.empty()) std::filesystem::remove_all(dir);
    }
    std::vector<Bytes> Reads() const {
        std::vector<Bytes> out;
        for (auto& c : drive->CommandLog())
            if (c[0] == 0xD5 || c[0] == 0xD8 || c[0] == 0xD4 || c[0] == 0xBE) out.push_back(c);
        return out;
    }
    Bytes Image(int track) {
        const auto& t = drive->Sheet().tracks[std::size_t(track - 1)];
        Bytes b;
        EXPECT_TRUE(drive->ImageBytes(t.lba, t.frames, b));
        return b;
    }

    std::filesystem::path dir;
    std::shared_ptr<VirtualDrive> drive;
    std::unique_ptr<test::InProcessAspi> host;
    CAspiManager aspi;
};

TEST_F(AspiTest, ScanFillsTheDeviceTableFromInquiry) {
    SetUpDisc({75});
    const AspiDeviceEntry* d = aspi.Device(0);
    EXPECT_EQ(std::string(d->vendor, 8), "LYRABOX ");
    EXPECT_EQ(std::string(d->product, 16), "VIRTUAL CD-ROM  ");
    EXPECT_EQ(d->deviceType, 5);
    EXPECT_EQ(d->responseFormat & 0x0F, 2);
    EXPECT_EQ(d->driveLetter, 'A');
    EXPECT_EQ(aspi.GetLastText(), "Host Adapters Scan Procedure completed.");
}

TEST_F(AspiTest, TenTrackTocGivesElevenRowsAndLengthsFromTheLeadOut) {
    SetUpDisc({4500, 750, 760, 800, 900, 1000, 1100, 1200, 1300, 4575});
    ASSERT_TRUE(aspi.ReadToc(0));
    EXPECT_EQ(aspi.LastTrack(), 10);
    ASSERT_NE(aspi.TocRow(11), nullptr);
    EXPECT_EQ(aspi.TocRow(12), nullptr);
    EXPECT_EQ(aspi.TocRow(11)->lba, drive->Sheet().leadOutLba);
    EXPECT_EQ(aspi.TocRow(10)->minutes, 1u);
    EXPECT_EQ(aspi.TocRow(10)->seconds, 1u);
    EXPECT_EQ(aspi.TrackSeconds(10), 61);
    EXPECT_EQ(aspi.TrackSeconds(1), 60);
    EXPECT_EQ(aspi.TrackSeconds(11), -1);
    EXPECT_EQ(aspi.GetLastText(), "Impropper arguments!");
}

TEST_F(AspiTest, DiscWithMoreTracksThanOneReplyHoldsIsReadWhole) {
    SetUpDisc(std::vector<std::uint32_t>(40, 80));
    ASSERT_TRUE(aspi.ReadToc(0));
    EXPECT_EQ(aspi.LastTrack(), 40);
    EXPECT_EQ(aspi.TocRow(41)->lba, 40u * 80);
    EXPECT_EQ(aspi.TocRow(40)->lba, 39u * 80);
    auto log = drive->CommandLog();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0], (Bytes{0x43, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0}));
}

TEST_F(AspiTest, PlayCommandsAndCdState) {
    SetUpDisc({300, 600});
    ASSERT_TRUE(aspi.ReadToc(0));
    aspi.SetCurrentTrack(2);
    ASSERT_TRUE(aspi.PlayTrack(0));
    EXPECT_EQ(GetCdState(), kCdPlaying);
    EXPECT_EQ(drive->PlayStart(), 300u);
    EXPECT_EQ(drive->PlayEnd(), 900u);
    ASSERT_TRUE(aspi.PauseResume(0, false));
    EXPECT_EQ(GetCdState(), kCdPaused);
    EXPECT_EQ(drive->CommandLog().back(), (Bytes{0x4B, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    ASSERT_TRUE(aspi.PauseResume(0, true));
    EXPECT_EQ(drive->CommandLog().back(), (Bytes{0x4B, 0, 0, 0, 0, 0, 0, 0, 1, 0}));
    ASSERT_TRUE(aspi.PlayTrackFrom(0, 1, 50));
    EXPECT_EQ(drive->CommandLog().back(), (Bytes{0x45, 0, 0, 0, 0, 150, 0, 0, 150, 0}));
    EXPECT_EQ(drive->PlayStart(), 150u);
    EXPECT_EQ(drive->PlayEnd(), 300u);
    ASSERT_TRUE(aspi.Stop(0));
    EXPECT_EQ(GetCdState(), kCdIdle);
    EXPECT_FALSE(aspi.PlayTrackFrom(0, 3, 0));
    EXPECT_EQ(aspi.GetLastText(), "Impropper arguments !");
}

TEST(AspiPlay, TrackLongerThanSixteenBitsPlaysWhole) {
    auto dir = test::TempDir("longplay");
    { std::ofstream(dir / "long.cue") << "FILE long.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n"
                                         "TRACK 02 AUDIO\nINDEX 01 15:33:25\n"; }
    { std::ofstream(dir / "long.bin"); }
    std::filesystem::resize_file(dir / "long.bin", std::uintmax_t(70075) * 2352); // sparse
    std::string error;
    auto drive = VirtualDrive::Load((dir / "long.cue").string(), {}, error);
    ASSERT_TRUE(drive) << error;
    test::InProcessAspi host({drive});
    CAspiManager aspi;
    ASSERT_TRUE(host.Load(aspi));
    ASSERT_TRUE(aspi.ScanHostAdapters());
    ASSERT_TRUE(aspi.ReadToc(0));
    aspi.SetCurrentTrack(1);
    ASSERT_TRUE(aspi.PlayTrack(0));
    EXPECT_EQ(drive->CommandLog().back(), (Bytes{0xA5, 0, 0, 0, 0, 0, 0, 0x01, 0x11, 0x70, 0, 0}));
    EXPECT_EQ(drive->PlayEnd(), 70000u);
    aspi.UnloadAspi();
    std::filesystem::remove_all(dir);
}

TEST_F(AspiTest, SetReadSpeedBytesAndTheFallback) {
    SetUpDisc({75});
    ASSERT_TRUE(aspi.SetReadSpeed(18));
    EXPECT_EQ(drive->CommandLog().back(), (Bytes{0xBB, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0}));
    VirtualDriveOptions o;
    o.rejectedOpcodes = {0xBB};
    drive->SetOptions(o);
    drive->ClearCommandLog();
    std::vector<std::string> traces;
    SetTraceSink([&](std::string_view t) { traces.emplace_back(t); });
    ASSERT_TRUE(aspi.SetReadSpeed(0));
    auto log = drive->CommandLog();
    ASSERT_EQ(log.size(), 3u); // 0xBB, its retry, then 0xDA
    EXPECT_EQ(log[2], (Bytes{0xDA, 0, 0, 176, 0, 0, 0, 0, 0, 0, 0, 0}));
    o.rejectedOpcodes = {0xBB, 0xDA};
    drive->SetOptions(o);
    EXPECT_FALSE(aspi.SetReadSpeed(3));
    SetTraceSink({});
    EXPECT_EQ(traces.front(), "SET READ SPEED 0xDA is supported by device");
    EXPECT_EQ(traces.back(), "Probarly firmware-specific command shold be used to set read speed.");
}

TEST_F(AspiTest, UnitAttentionIsNotRetriedOtherFailuresAreRetriedOnce) {
    SetUpDisc({75});
    VirtualDriveOptions o;
    o.unitAttentionFirst = true;
    drive->SetOptions(o);
    drive->ClearCommandLog();
    EXPECT_FALSE(aspi.TestUnitReady(0));
    EXPECT_EQ(drive->CommandLog().size(), 1u);
    EXPECT_EQ(aspi.LastSenseKey(), 6);
    EXPECT_TRUE(aspi.TestUnitReady(0));
    o = {};
    o.noMedium = true;
    drive->SetOptions(o);
    drive->ClearCommandLog();
    EXPECT_FALSE(aspi.TestUnitReady(0));
    EXPECT_EQ(drive->CommandLog().size(), 2u);
    EXPECT_EQ(aspi.LastTargetStatus(), 2);
    EXPECT_EQ(aspi.LastError(), 2);
}

TEST_F(AspiTest, UninitialisedManagerRefuses) {
    CAspiManager idle;
    EXPECT_FALSE(idle.ScanHostAdapters());
    EXPECT_EQ(idle.GetLastText(), "ASPI Manager is not loaded !");
    EXPECT_FALSE(idle.TestUnitReady(0));
    EXPECT_EQ(idle.GetLastText(), "Unable to perform an operation!");
    EXPECT_FALSE(idle.LoadAspiEntryPoints(nullptr, {}, SystemVersion{OsLine::NT, 0x0501}));
    EXPECT_FALSE(idle.LoadAspiEntryPoints(nullptr, {}, SystemVersion{OsLine::Consumer, 0x0400}));
    EXPECT_EQ(idle.GetLastText(), "ASPI Support Info entry point error !");
}

TEST(AspiStartup, MoreCdDrivesThanAspiDevicesSwitchesAspiOff) {
    auto dir = test::TempDir("startup");
    std::string error;
    auto a = VirtualDrive::Load(test::MakeDisc(dir, {75}), {}, error);
    auto b = VirtualDrive::Load(test::MakeDisc(dir, {75}), {}, error);
    ASSERT_TRUE(a && b) << error;
    test::InProcessAspi host({a, b});
    CAspiManager aspi;
    bool ready = host.Load(aspi);
    std::vector<std::string> traces;
    SetTraceSink([&](std::string_view t) { traces.emplace_back(t); });
    CCDManager three(SystemVersion{OsLine::Consumer, 0x0400}, {"/dev/sr0", "/dev/sr1", "/dev/sr2"});
    EXPECT_FALSE(three.StartupCheckLoaded(aspi, ready));
    EXPECT_FALSE(aspi.IsInitialised());
    EXPECT_EQ(aspi.DeviceCount(), 0);
    EXPECT_NE(std::find(traces.begin(), traces.end(), "Total CD Drives 3, ASPI found 2"), traces.end());

    CAspiManager aspi2;
    ready = host.Load(aspi2);
    CCDManager two(SystemVersion{OsLine::Consumer, 0x0400}, {"/dev/sr0", "/dev/sr1"});
    EXPECT_TRUE(two.StartupCheckLoaded(aspi2, ready));
    EXPECT_EQ(two.Drive(1)->aspiDevice, 1);
    EXPECT_FALSE(two.useDeviceIoctl);
    SetTraceSink({});
    std::filesystem::remove_all(dir);
}

TEST_F(AspiTest, DriveRejectingVendorReadsIsProbedToReadCd) {
    VirtualDriveOptions o;
    o.rejectedOpcodes = {0xD5, 0xD8, 0xD4};
    SetUpDisc({100}, o);
    ASSERT_TRUE(aspi.ReadToc(0));
    test::WavFileSink sink(dir);
    CAspiExtraction engine(aspi, sink, nullptr, nullptr);
    ASSERT_TRUE(engine.StartAspiExtraction(AspiRipJob{0, {1}, 100}));
    engine.Wait();
    ASSERT_EQ(engine.Results().at(0).second, CAspiExtraction::TrackResult::Done);
    auto reads = Reads();
    // D5, retried; D8, retried; D4, retried; then READ CD.
    ASSERT_GE(reads.size(), 7u);
    std::uint8_t ops[] = {0xD5, 0xD5, 0xD8, 0xD8, 0xD4, 0xD4};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(reads[std::size_t(i)][0], ops[i]) << i;
    EXPECT_EQ(reads[0], (Bytes{0xD5, 0xFF, 0, 0, 0, 0, 0, 0, 0, 27, 0, 0}));
    EXPECT_EQ(reads[6], (Bytes{0xBE, 0, 0, 0, 0, 0, 0, 0, 27, 0x10, 0, 0}));
    for (std::size_t i = 6; i < reads.size(); ++i) EXPECT_EQ(reads[i][0], 0xBE);
    auto file = test::ReadFile(dir / "track1.wav");
    ASSERT_EQ(file.size(), 44u + 100 * 2352);
    EXPECT_EQ(Bytes(file.begin() + 44, file.end()), Image(1));
}

TEST_F(AspiTest, HundredFrameTrackIsReadAs27_27_27_19AndIsBitExact) {
    SetUpDisc({100, 80});
    ASSERT_TRUE(aspi.ReadToc(0));
    test::WavFileSink sink(dir);
    std::vector<std::string> traces;
    SetTraceSink([&](std::string_view t) { traces.emplace_back(t); });
    std::vector<unsigned> ids;
    QueueMessageTarget owner([&](const Message& m) {
        ids.push_back(m.id);
        return std::intptr_t(0);
    });
    CAspiExtraction engine(aspi, sink, nullptr, &owner);
    ASSERT_TRUE(engine.StartAspiExtraction(AspiRipJob{0, {1, 2}, 80}));
    engine.Wait();
    SetTraceSink({});
    auto reads = Reads();
    ASSERT_EQ(reads.size(), 4u + 3u);
    std::uint8_t counts[] = {27, 27, 27, 19};
    std::uint32_t lba = 0;
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(reads[std::size_t(i)][9], counts[i]);
        EXPECT_EQ((std::uint32_t(reads[std::size_t(i)][4]) << 8) | reads[std::size_t(i)][5], lba);
        lba += 27;
    }
    EXPECT_EQ(sink.firstBlocks, (std::vector<std::size_t>{44 + 27 * 2352, 44 + 27 * 2352}));
    auto wav1 = test::ReadFile(dir / "track1.wav"), wav2 = test::ReadFile(dir / "track2.wav");
    ASSERT_EQ(wav1.size(), 44u + 100 * 2352);
    EXPECT_EQ(Bytes(wav1.begin() + 44, wav1.end()), Image(1));
    EXPECT_EQ(Bytes(wav2.begin() + 44, wav2.end()), Image(2));
    EXPECT_EQ(std::string(wav1.begin(), wav1.begin() + 4), "RIFF");
    EXPECT_EQ(wav1[40] | (wav1[41] << 8) | (wav1[42] << 16), 100 * 2352);
    EXPECT_EQ(GetCdState(), kCdIdle);
    owner.Pump();
    EXPECT_EQ(ids, (std::vector<unsigned>{kMsgDaeTrackDone, kMsgDaeTrackDone, kMsgDaeAllDone}));
    EXPECT_NE(std::find(traces.begin(), traces.end(), "DAE complete"), traces.end());
    EXPECT_NE(std::find(traces.begin(), traces.end(), "Riping track2"), traces.end());
}

TEST_F(AspiTest, CancelDuringSecondTrackKeepsTheFirstAndDeletesTheSecond) {
    VirtualDriveOptions o;
    o.slowMicrosPerFrame = 20;
    SetUpDisc({120, 3000}, o);
    ASSERT_TRUE(aspi.ReadToc(0));
    test::WavFileSink sink(dir);
    CAspiExtraction engine(aspi, sink, nullptr, nullptr);
    std::atomic<int> blocks{0};
    sink.onBlock = [&] {
        if (++blocks == 8) engine.Cancel(); // 5 blocks for track 1, the 3rd of track 2
    };
    ASSERT_TRUE(engine.StartAspiExtraction(AspiRipJob{0, {1, 2}, 3000}));
    EXPECT_EQ(GetCdState(), kCdExtracting);
    engine.Wait();
    ASSERT_EQ(engine.Results().size(), 2u);
    EXPECT_EQ(engine.Results()[1].second, CAspiExtraction::TrackResult::Cancelled);
    EXPECT_TRUE(std::filesystem::exists(dir / "track1.wav"));
    EXPECT_FALSE(std::filesystem::exists(dir / "track2.wav"));
    EXPECT_EQ(test::ReadFile(dir / "track1.wav").size(), 44u + 120 * 2352);
    EXPECT_EQ(sink.closed, 2);
    EXPECT_EQ(GetCdState(), kCdIdle);
}

TEST_F(AspiTest, UnloadStopsARunningExtraction) {
    VirtualDriveOptions o;
    o.slowMicrosPerFrame = 200;
    SetUpDisc({3000}, o);
    ASSERT_TRUE(aspi.ReadToc(0));
    test::WavFileSink sink(dir);
    CAspiExtraction engine(aspi, sink, nullptr, nullptr);
    ASSERT_TRUE(engine.StartAspiExtraction(AspiRipJob{0, {1}, 3000}));
    while (sink.blockCount == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    aspi.UnloadAspi();
    EXPECT_FALSE(engine.Running());
    EXPECT_EQ(engine.Results().at(0).second, CAspiExtraction::TrackResult::Cancelled);
    EXPECT_FALSE(std::filesystem::exists(dir / "track1.wav"));
    EXPECT_EQ(aspi.ExtractionBuffer(), nullptr);
}

TEST_F(AspiTest, AllProbesFailingFailsTheTrackAndDeletesItsFile) {
    VirtualDriveOptions o;
    o.rejectedOpcodes = {0xD5, 0xD8, 0xD4, 0xBE};
    SetUpDisc({60}, o);
    ASSERT_TRUE(aspi.ReadToc(0));
    test::WavFileSink sink(dir);
    CAspiExtraction engine(aspi, sink, nullptr, nullptr);
    ASSERT_TRUE(engine.StartAspiExtraction(AspiRipJob{0, {1}, 60}));
    engine.Wait();
    EXPECT_EQ(engine.Results().at(0).second, CAspiExtraction::TrackResult::Failed);
    EXPECT_EQ(Reads().size(), 2u * 18u); // the first command and 17 table entries, each tried twice
    EXPECT_FALSE(std::filesystem::exists(dir / "track1.wav"));
}

TEST_F(AspiTest, DriveNotReadyEndsTheExtractionBeforeAnyFile) {
    VirtualDriveOptions o;
    o.noMedium = true;
    SetUpDisc({60}, o);
    test::WavFileSink sink(dir);
    CAspiExtraction engine(aspi, sink, nullptr, nullptr);
    ASSERT_TRUE(engine.StartAspiExtraction(AspiRipJob{0, {1}, 60}));
    engine.Wait();
    EXPECT_EQ(engine.Results().at(0).second, CAspiExtraction::TrackResult::NotReady);
    EXPECT_EQ(sink.prepared, 0);
}

TEST_F(AspiTest, FailedTrackDoesNotEndTheJob) {
    VirtualDriveOptions o;
    o.errorFrames = {60}; // track 1 fails after its read command is settled
    SetUpDisc({100, 80}, o);
    ASSERT_TRUE(aspi.ReadToc(0));
    test::WavFileSink sink(dir);
    std::vector<unsigned> ids;
    QueueMessageTarget owner([&](const Message& m) {
        ids.push_back(m.id);
        return std::intptr_t(0);
    });
    CAspiExtraction engine(aspi, sink, nullptr, &owner);
    ASSERT_TRUE(engine.StartAspiExtraction(AspiRipJob{0, {1, 2}, 80}));
    engine.Wait();
    ASSERT_EQ(engine.Results().size(), 2u);
    EXPECT_EQ(engine.Results()[0].second, CAspiExtraction::TrackResult::Failed);
    EXPECT_EQ(engine.Results()[1].second, CAspiExtraction::TrackResult::Done);
    EXPECT_FALSE(std::filesystem::exists(dir / "track1.wav"));
    auto wav2 = test::ReadFile(dir / "track2.wav");
    ASSERT_EQ(wav2.size(), 44u + 80 * 2352);
    EXPECT_EQ(Bytes(wav2.begin() + 44, wav2.end()), Image(2));
    owner.Pump();
    EXPECT_EQ(ids, (std::vector<unsigned>{kMsgDaeTrackFailed, kMsgDaeTrackDone, kMsgDaeAllDone}));
}

// What a handler of 1526 running at once would see.
class AllDoneSnapshot final : public MessageTarget {
public:
    bool Post(Message m) override {
        if (m.id == kMsgDaeAllDone) {
            running = engine && engine->Running();
            state = GetCdState();
            seen = true;
        }
        return true;
    }
    std::intptr_t Send(Message, std::intptr_t) override { return 0; }
    using MessageTarget::Post;
    CAspiExtraction* engine = nullptr;
    std::atomic<bool> seen{false}, running{true};
    std::atomic<std::uint8_t> state{kCdExtracting};
};

TEST_F(AspiTest, AllDoneIsPostedOnceTheEngineIsIdle) {
    SetUpDisc({60});
    ASSERT_TRUE(aspi.ReadToc(0));
    test::WavFileSink sink(dir);
    AllDoneSnapshot owner;
    CAspiExtraction engine(aspi, sink, nullptr, &owner);
    owner.engine = &engine;
    ASSERT_TRUE(engine.StartAspiExtraction(AspiRipJob{0, {1}, 60}));
    engine.Wait();
    ASSERT_TRUE(owner.seen);
    EXPECT_FALSE(owner.running);
    EXPECT_EQ(owner.state, kCdIdle);
}

TEST_F(AspiTest, DataTrackIsSkippedNotReadAsAudio) {
    SetUpDisc({60, 40}, {}, true);
    ASSERT_TRUE(aspi.ReadToc(0));
    test::WavFileSink sink(dir);
    CAspiExtraction engine(aspi, sink, nullptr, nullptr);
    ASSERT_TRUE(engine.StartAspiExtraction(AspiRipJob{0, {1, 2}, 40}));
    engine.Wait();
    ASSERT_EQ(engine.Results().size(), 2u);
    EXPECT_EQ(engine.Results()[0].second, CAspiExtraction::TrackResult::Done);
    EXPECT_EQ(engine.Results()[1].second, CAspiExtraction::TrackResult::Skipped);
    EXPECT_EQ(sink.prepared, 1);
    for (const auto& r : Reads()) EXPECT_LT((std::uint32_t(r[4]) << 8) | r[5], 60u);
}

TEST_F(AspiTest, ReadsTheHostRefusesAreSkippedWithoutRetries) {
    VirtualDriveOptions o;
    o.deniedOpcodes = {0xD5, 0xD8, 0xD4};
    SetUpDisc({30, 30}, o);
    ASSERT_TRUE(aspi.ReadToc(0));
    test::WavFileSink sink(dir);
    CAspiExtraction engine(aspi, sink, nullptr, nullptr);
    ASSERT_TRUE(engine.StartAspiExtraction(AspiRipJob{0, {1, 2}, 30}));
    engine.Wait();
    EXPECT_EQ(engine.Results()[0].second, CAspiExtraction::TrackResult::Done);
    EXPECT_EQ(engine.Results()[1].second, CAspiExtraction::TrackResult::Done);
    auto reads = Reads();
    // Track 1: D5, D8, D4 once each (a refused command is not sent twice),
    // then READ CD; track 2 goes straight to READ CD.
    ASSERT_EQ(reads.size(), 3u + 2u + 2u);
    EXPECT_EQ(reads[0][0], 0xD5);
    EXPECT_EQ(reads[1][0], 0xD8);
    EXPECT_EQ(reads[2][0], 0xD4);
    for (std::size_t i = 3; i < reads.size(); ++i) EXPECT_EQ(reads[i][0], 0xBE) << i;
    auto wav2 = test::ReadFile(dir / "track2.wav");
    EXPECT_EQ(Bytes(wav2.begin() + 44, wav2.end()), Image(2));
}

TEST_F(AspiTest, SpeedCommandsTheHostRefusesAreNotRetried) {
    VirtualDriveOptions o;
    o.deniedOpcodes = {0xBB, 0xDA};
    SetUpDisc({75}, o);
    EXPECT_FALSE(aspi.SetReadSpeed(18));
    EXPECT_TRUE(aspi.LastNotPermitted());
    EXPECT_EQ(drive->CommandLog().size(), 2u); // 0xBB once, 0xDA once
    drive->ClearCommandLog();
    EXPECT_EQ(drive->ReadSpeed(), 0xFFFF);
}

TEST(AspiPlay, RefusedPlayAudio12FallsBackToMsf) {
    auto dir = test::TempDir("longplay_msf");
    { std::ofstream(dir / "long.cue") << "FILE long.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n"
                                         "TRACK 02 AUDIO\nINDEX 01 15:33:25\n"; }
    { std::ofstream(dir / "long.bin"); }
    std::filesystem::resize_file(dir / "long.bin", std::uintmax_t(70075) * 2352); // sparse
    VirtualDriveOptions o;
    o.deniedOpcodes = {0xA5};
    std::string error;
    auto drive = VirtualDrive::Load((dir / "long.cue").string(), o, error);
    ASSERT_TRUE(drive) << error;
    test::InProcessAspi host({drive});
    CAspiManager aspi;
    ASSERT_TRUE(host.Load(aspi));
    ASSERT_TRUE(aspi.ScanHostAdapters());
    ASSERT_TRUE(aspi.ReadToc(0));
    aspi.SetCurrentTrack(1);
    drive->ClearCommandLog();
    ASSERT_TRUE(aspi.PlayTrack(0));
    auto log = drive->CommandLog();
    ASSERT_EQ(log.size(), 2u); // refused once (not retried), then MSF
    EXPECT_EQ(log[0][0], 0xA5);
    EXPECT_EQ(log[1], (Bytes{0x47, 0, 0, 0, 2, 0, 15, 35, 25, 0}));
    EXPECT_EQ(drive->PlayStart(), 0u);
    EXPECT_EQ(drive->PlayEnd(), 70000u);
    aspi.UnloadAspi();
    std::filesystem::remove_all(dir);
}

TEST(AspiDriveMatching, UsesTheHostAdapterTooAndMarksUnmatchedDrives) {
    // Two drives on two SATA hosts, both target 0 LUN 0, and a third drive
    // the ASPI layer does not see.
    std::vector<std::string> nodes = {"/dev/sr0", "/dev/sr1", "/dev/sr2"};
    auto addresses = CdromDriveAddresses(nodes, [](const std::string& node, CdScsiAddress& a) {
        a = CdScsiAddress{};
        a.host = node == "/dev/sr0" ? 5 : node == "/dev/sr1" ? 2 : 7;
        return true;
    });
    ASSERT_EQ(addresses.size(), 3u);
    EXPECT_EQ(addresses[0].adapter, 1); // host 5: the second host in ascending order
    EXPECT_EQ(addresses[1].adapter, 0);
    AspiDeviceEntry onHost2, onHost5;
    onHost5.adapter = 1;
    EXPECT_EQ(DriveLetterByAddress(onHost2, addresses, nodes), 'B');
    EXPECT_EQ(DriveLetterByAddress(onHost5, addresses, nodes), 'A');
    AspiDeviceEntry elsewhere;
    elsewhere.adapter = 3;
    EXPECT_EQ(DriveLetterByAddress(elsewhere, addresses, nodes), 0);

    auto dir = test::TempDir("matching");
    std::string error;
    auto a = VirtualDrive::Load(test::MakeDisc(dir, {75}), {}, error);
    ASSERT_TRUE(a) << error;
    test::InProcessAspi host({a});
    CAspiManager aspi;
    ASSERT_TRUE(host.Load(aspi));
    aspi.SetDriveLetterSearch([](const AspiDeviceEntry&) { return 'B'; });
    ASSERT_TRUE(aspi.ScanHostAdapters());
    CCDManager manager(SystemVersion{OsLine::Consumer, 0x0400}, nodes);
    manager.MatchAspiDevices(aspi);
    EXPECT_EQ(manager.Drive(0)->aspiDevice, kNoAspiDevice);
    EXPECT_EQ(manager.Drive(1)->aspiDevice, 0);
    EXPECT_EQ(manager.Drive(2)->aspiDevice, kNoAspiDevice);
    aspi.UnloadAspi();
    std::filesystem::remove_all(dir);
}

TEST(AspiProgress, Texts) {
    EXPECT_EQ(AspiEstimatedText(7500, 0, 100), "Estimated time : 00:00");
    EXPECT_EQ(AspiEstimatedText(7500 + 44, 750, 1000), "Estimated time : 00:08");
    EXPECT_EQ(AspiSpeedText(750, 1000), "Speed: x10");
    EXPECT_EQ(AspiSpeedText(750, 0), "Speed: x00");
}

TEST(AspiComponent, LoadsByFileNameAndServesTheVirtualDrive) {
    auto dir = test::TempDir("component");
    std::string cue = test::MakeDisc(dir, {90, 60});
    ::setenv("LYB30_VIRTUAL_CD", cue.c_str(), 1);
    SetSystemVersionOverride(SystemVersion{OsLine::NT, 0x0501});
    CAspiManager nt;
    EXPECT_FALSE(nt.LoadAspi(nullptr)); // never on the NT line
    SetSystemVersionOverride(SystemVersion{OsLine::Consumer, 0x0400});
    CAspiManager aspi;
    ASSERT_TRUE(aspi.LoadAspi(nullptr)) << aspi.GetLastText();
    EXPECT_EQ(aspi.GetLastText(), "ASPI Manager initialized successfuly");
    ASSERT_TRUE(aspi.ScanHostAdapters());
    ASSERT_EQ(aspi.DeviceCount(), 1);
    EXPECT_EQ(aspi.Device(0)->driveLetter, 'A'); // the virtual drive heads the drive list
    ASSERT_TRUE(aspi.ReadToc(0));
    EXPECT_EQ(aspi.LastTrack(), 2);
    test::WavFileSink sink(dir);
    CAspiExtraction engine(aspi, sink, nullptr, nullptr);
    ASSERT_TRUE(engine.StartAspiExtraction(AspiRipJob{0, {2}, 60}));
    engine.Wait();
    auto wav = test::ReadFile(dir / "track2.wav");
    auto bin = test::ReadFile(dir / "disc.bin");
    ASSERT_EQ(wav.size(), 44u + 60 * 2352);
    EXPECT_TRUE(std::equal(wav.begin() + 44, wav.end(), bin.begin() + 90 * 2352));
    aspi.UnloadAspi();
    SetSystemVersionOverride(std::nullopt);
    ::unsetenv("LYB30_VIRTUAL_CD");
    std::filesystem::remove_all(dir);
}

} // namespace
} // namespace lyb
