#include <gtest/gtest.h>

#include <cstdlib>
#include <mutex>
#include <thread>

#include "cd/cd_state.h"

#include "cd/cd_manager.h"
#include "cd/device_ioctl.h"
#include "cd_test_support.h"

namespace lyb {
namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

struct Collected {
    std::mutex mutex;
    Bytes pcm;
    std::vector<long> lengths;
    long end = 1; ///< 0 normal, -1 failed, 1 not ended
    static bool Callback(const std::uint8_t* data, long length, void* user) {
        auto* self = static_cast<Collected*>(user);
        std::lock_guard<std::mutex> lock(self->mutex);
        if (!data) {
            self->end = length;
            return true;
        }
        self->lengths.push_back(length);
        self->pcm.insert(self->pcm.end(), data, data + length);
        return true;
    }
};

// The virtual drive of these tests is the one LYB30_VIRTUAL_CD names, loaded
// once per process, so each test sets the switches it needs.
class IoctlTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = new std::filesystem::path(test::TempDir("ioctl"));
        std::string cue = test::MakeDisc(*dir, {300, 1000, 75, 60}, true); // track 4 holds data
        ::setenv("LYB30_VIRTUAL_CD", cue.c_str(), 1);
    }
    static void TearDownTestSuite() {
        std::filesystem::remove_all(*dir);
        delete dir;
    }
    void SetUp() override {
        drive = VirtualDrive::FromEnvironment();
        ASSERT_TRUE(drive);
        drive->SetOptions({});
        manager = std::make_unique<CCDManager>(SystemVersion{OsLine::NT, 0x0501});
        ASSERT_GE(manager->DriveCount(), 1);
        ASSERT_EQ(manager->Drive(0)->root, kVirtualDriveNode);
        manager->DeviceIoctl().SetWaits(1ms, 0ms);
    }
    Bytes Image(int track) {
        const auto& t = drive->Sheet().tracks[std::size_t(track - 1)];
        Bytes b;
        EXPECT_TRUE(drive->ImageBytes(t.lba, t.frames, b));
        return b;
    }
    bool Rip(int track, Collected& c) {
        auto& io = manager->DeviceIoctl();
        if (!io.StartIoctlExtraction(&Collected::Callback, 0, track, WaveFormat{}, &c)) return false;
        return io.WaitFinished(10s);
    }

    static inline std::filesystem::path* dir = nullptr;
    std::shared_ptr<VirtualDrive> drive;
    std::unique_ptr<CCDManager> manager;
};

TEST_F(IoctlTest, ManagerListsTheVirtualDriveAndCopiesTheToc) {
    EXPECT_TRUE(manager->useDeviceIoctl);
    EXPECT_EQ(manager->CurrentTrack(), -1);
    ASSERT_TRUE(manager->ReadToc());
    ASSERT_EQ(manager->Toc().size(), 4u);
    EXPECT_FALSE(manager->Toc()[3].audio);
    EXPECT_EQ(manager->Toc()[1].startLba, 300u);
    EXPECT_EQ(manager->Toc()[1].startSecond, 6); // 300 frames + the 2 s lead-in
    EXPECT_EQ(manager->Toc()[1].lengthFrames, 1000u);
    EXPECT_EQ(manager->Toc()[1].lengthSecond, 13);
    EXPECT_EQ(manager->Toc()[1].lengthFrame, 25);
    EXPECT_EQ(manager->AlbumText(), "Unknown Album");
    EXPECT_EQ(manager->ArtistText(), "Unknown Artist");
    auto list = manager->DeviceIoctl().ListDrives();
    EXPECT_EQ(list[0].second, "LYRABOX VIRTUAL CD-ROM");
}

TEST_F(IoctlTest, PlayAndControls) {
    auto& io = manager->DeviceIoctl();
    EXPECT_EQ(io.PlayTrack(0, 2), 0);
    EXPECT_EQ(drive->PlayStart(), 300u);
    EXPECT_EQ(drive->PlayEnd(), 1300u);
    EXPECT_EQ(io.PlayFrom(0, 800, 2), 0);
    EXPECT_EQ(drive->PlayStart(), 800u);
    EXPECT_EQ(io.Pause(0), 0);
    EXPECT_EQ(drive->State(), VirtualDrive::PlayState::Paused);
    EXPECT_EQ(io.Resume(0), 0);
    EXPECT_EQ(io.Stop(0), 0);
    EXPECT_EQ(io.PlayTrack(0, 9), kErrorInvalidFunction);
    EXPECT_EQ(io.PlayTrack(5, 1), kErrorFileNotFound);
}

TEST_F(IoctlTest, ExtractionIsBitExactInBlocksOf128) {
    Collected c;
    ASSERT_TRUE(Rip(2, c));
    EXPECT_EQ(c.end, 0);
    EXPECT_EQ(c.pcm, Image(2));
    ASSERT_EQ(c.lengths.size(), 8u); // 7 x 128 + 104
    EXPECT_EQ(c.lengths[0], 128 * 2352);
    EXPECT_EQ(c.lengths.back(), 104 * 2352);
}

TEST_F(IoctlTest, IoErrorSwitchesTo16FrameRequestsAndRetries) {
    VirtualDriveOptions o;
    o.errorFrames = {310};
    o.errorRepeat = 2;
    drive->SetOptions(o);
    Collected c;
    ASSERT_TRUE(Rip(2, c));
    EXPECT_EQ(c.end, 0);
    EXPECT_EQ(c.pcm, Image(2));
    EXPECT_EQ(manager->DeviceIoctl().LastFramesPerRequest(), 16u);
    ASSERT_GE(c.lengths.size(), 3u);
    EXPECT_EQ(c.lengths[0], 10 * 2352); // frames before the bad one
    EXPECT_EQ(c.lengths[1], 16 * 2352);
}

TEST_F(IoctlTest, UnreadableRestIsDeliveredAsSilence) {
    VirtualDriveOptions o;
    o.unreadableFrom = 400;
    drive->SetOptions(o);
    Collected c;
    ASSERT_TRUE(Rip(2, c));
    EXPECT_EQ(c.end, 0);
    Bytes want = Image(2);
    std::fill(want.begin() + 100 * 2352, want.end(), 0);
    EXPECT_EQ(c.pcm, want);
}

TEST_F(IoctlTest, MediumRemovalFailsTheTrack) {
    VirtualDriveOptions o;
    o.removeAtFrame = 500;
    drive->SetOptions(o);
    Collected c;
    ASSERT_TRUE(Rip(2, c));
    EXPECT_EQ(c.end, -1);
    EXPECT_EQ(c.pcm.size(), 200u * 2352);
    drive->InsertMedium();
}

TEST_F(IoctlTest, StopEndsTheWorker) {
    VirtualDriveOptions o;
    o.slowMicrosPerFrame = 200;
    drive->SetOptions(o);
    Collected c;
    auto& io = manager->DeviceIoctl();
    ASSERT_TRUE(io.StartIoctlExtraction(&Collected::Callback, 0, 2, WaveFormat{}, &c));
    EXPECT_FALSE(io.StartIoctlExtraction(&Collected::Callback, 0, 2, WaveFormat{}, &c));
    std::this_thread::sleep_for(30ms);
    io.StopExtraction();
    EXPECT_FALSE(io.Running());
    EXPECT_EQ(c.end, -1);
    EXPECT_LT(c.pcm.size(), Image(2).size());
}

TEST_F(IoctlTest, ProgressMessages) {
    std::vector<Message> got;
    QueueMessageTarget owner([&](const Message& m) {
        got.push_back(m);
        return std::intptr_t(0);
    });
    manager->DeviceIoctl().SetOwner(&owner);
    Collected c;
    ASSERT_TRUE(Rip(1, c));
    owner.Pump();
    ASSERT_EQ(got.size(), 4u); // 128 + 128 + 44 frames, then the end of the track
    for (int i = 0; i < 3; ++i) EXPECT_EQ(got[std::size_t(i)].id, kMsgDaeProgress);
    EXPECT_EQ(got[2].wparam, 0u);
    EXPECT_EQ(got[3].id, kMsgDaeTrackDone);
    EXPECT_EQ(got[3].wparam, 1u);
    manager->DeviceIoctl().SetOwner(nullptr);
}

// The consumer side of the device-control engine as the ripping pipeline
// runs it: a WAV file per track, deleted when the track does not complete.
struct WavWriter {
    std::filesystem::path path;
    std::ofstream out;
    std::atomic<int> blocks{0};
    std::atomic<bool> ended{false};
    static bool Callback(const std::uint8_t* data, long length, void* user) {
        auto* self = static_cast<WavWriter*>(user);
        if (length > 0) {
            if (self->blocks++ == 0) {
                std::uint8_t head[44];
                WriteWaveHeader(head, 0);
                self->out.write(reinterpret_cast<const char*>(head), 44);
            }
            self->out.write(reinterpret_cast<const char*>(data), length);
            return true;
        }
        self->out.close();
        if (length < 0) std::filesystem::remove(self->path);
        self->ended = true;
        return true;
    }
};

TEST_F(IoctlTest, StopDuringTheSecondTrackKeepsTheFirstFileAndDeletesTheSecond) {
    std::vector<unsigned> ids;
    QueueMessageTarget owner([&](const Message& m) {
        ids.push_back(m.id);
        return std::intptr_t(0);
    });
    auto& io = manager->DeviceIoctl();
    io.SetOwner(&owner);
    auto out = test::TempDir("ioctl_cancel");
    WavWriter first, second;
    first.path = out / "01.wav";
    first.out.open(first.path, std::ios::binary);
    ASSERT_TRUE(io.StartIoctlExtraction(&WavWriter::Callback, 0, 1, WaveFormat{}, &first));
    ASSERT_TRUE(io.WaitFinished(10s));
    VirtualDriveOptions o;
    o.slowMicrosPerFrame = 300;
    drive->SetOptions(o);
    second.path = out / "02.wav";
    second.out.open(second.path, std::ios::binary);
    ASSERT_TRUE(io.StartIoctlExtraction(&WavWriter::Callback, 0, 2, WaveFormat{}, &second));
    while (second.blocks == 0) std::this_thread::sleep_for(1ms);
    io.StopExtraction();
    EXPECT_TRUE(second.ended);
    EXPECT_FALSE(std::filesystem::exists(second.path));
    auto wav = test::ReadFile(first.path);
    ASSERT_EQ(wav.size(), 44u + 300 * 2352);
    EXPECT_EQ(Bytes(wav.begin() + 44, wav.end()), Image(1));
    owner.Pump();
    EXPECT_EQ(std::count(ids.begin(), ids.end(), kMsgDaeTrackDone), 1);
    EXPECT_EQ(std::count(ids.begin(), ids.end(), kMsgDaeTrackFailed), 0);
    io.SetOwner(nullptr);
    std::filesystem::remove_all(out);
}

// The sr driver has no CDROMSEEK: playing from a point must not need a seek.
TEST_F(IoctlTest, PlayFromWorksOnADriveThatCannotSeek) {
    VirtualDriveOptions o;
    o.seekUnsupported = true;
    drive->SetOptions(o);
    EXPECT_EQ(manager->DeviceIoctl().PlayFrom(0, 800, 2), 0);
    EXPECT_EQ(drive->State(), VirtualDrive::PlayState::Playing);
    EXPECT_EQ(drive->PlayStart(), 800u);
    EXPECT_EQ(drive->PlayEnd(), 1300u);
}

TEST_F(IoctlTest, CdStateIsExtractingWhileTheWorkerRunsAndBetweenTracksOfAJob) {
    VirtualDriveOptions o;
    o.slowMicrosPerFrame = 100;
    drive->SetOptions(o);
    auto& io = manager->DeviceIoctl();
    Collected c;
    ASSERT_EQ(GetCdState(), kCdIdle);
    ASSERT_TRUE(io.StartIoctlExtraction(&Collected::Callback, 0, 1, WaveFormat{}, &c));
    EXPECT_EQ(GetCdState(), kCdExtracting);
    ASSERT_TRUE(io.WaitFinished(10s));
    EXPECT_EQ(GetCdState(), kCdIdle);

    // Inside a job the state stays 3 from one track's worker to the next.
    drive->SetOptions({});
    io.BeginJob();
    Collected a, b;
    ASSERT_TRUE(io.StartIoctlExtraction(&Collected::Callback, 0, 3, WaveFormat{}, &a));
    ASSERT_TRUE(io.WaitFinished(10s));
    EXPECT_EQ(GetCdState(), kCdExtracting);
    ASSERT_TRUE(io.StartIoctlExtraction(&Collected::Callback, 0, 3, WaveFormat{}, &b));
    ASSERT_TRUE(io.WaitFinished(10s));
    EXPECT_EQ(GetCdState(), kCdExtracting);
    io.EndJob();
    EXPECT_EQ(GetCdState(), kCdIdle);
}

// Records what the engine looks like at the moment it posts a message,
// as a handler running at once on another thread would see it.
class SnapshotTarget final : public MessageTarget {
public:
    explicit SnapshotTarget(CDeviceIoctl& io) : m_io(io) {}
    bool Post(Message m) override {
        std::lock_guard<std::mutex> lock(mutex);
        if (m.id != kMsgDaeProgress) seen.push_back({m.id, m_io.Running(), GetCdState()});
        else if (m.lparam == kDaeRetrying) ++retrying;
        return true;
    }
    std::intptr_t Send(Message, std::intptr_t) override { return 0; }
    using MessageTarget::Post;
    struct Seen {
        unsigned id;
        bool running;
        std::uint8_t state;
    };
    std::mutex mutex;
    std::vector<Seen> seen;
    std::atomic<int> retrying{0};

private:
    CDeviceIoctl& m_io;
};

TEST_F(IoctlTest, EndOfTrackIsPostedOnceTheEngineIsIdle) {
    auto& io = manager->DeviceIoctl();
    SnapshotTarget owner(io);
    io.SetOwner(&owner);
    Collected c;
    ASSERT_TRUE(Rip(3, c));
    io.SetOwner(nullptr);
    ASSERT_EQ(owner.seen.size(), 1u);
    EXPECT_EQ(owner.seen[0].id, kMsgDaeTrackDone);
    EXPECT_FALSE(owner.seen[0].running);
    EXPECT_EQ(owner.seen[0].state, kCdIdle);
}

TEST_F(IoctlTest, HandlerOfTrackDoneStartsTheNextTrack) {
    auto& io = manager->DeviceIoctl();
    std::vector<int> started;
    Collected first, second;
    QueueMessageTarget owner([&](const Message& m) {
        if (m.id == kMsgDaeTrackDone && m.wparam == 1)
            started.push_back(io.StartIoctlExtraction(&Collected::Callback, 0, 3, WaveFormat{}, &second) ? 1 : 0);
        return std::intptr_t(0);
    });
    io.SetOwner(&owner);
    ASSERT_TRUE(io.StartIoctlExtraction(&Collected::Callback, 0, 1, WaveFormat{}, &first));
    for (int i = 0; i < 200 && started.empty(); ++i) owner.PumpFor(50);
    ASSERT_TRUE(io.WaitFinished(10s));
    io.SetOwner(nullptr);
    EXPECT_EQ(started, std::vector<int>{1});
    EXPECT_EQ(second.end, 0);
    EXPECT_EQ(second.pcm, Image(3));
}

TEST_F(IoctlTest, EndlessRetryPostsProgressAndIsCancelled) {
    VirtualDriveOptions o;
    o.errorFrames = {310}; // fails every time
    drive->SetOptions(o);
    auto& io = manager->DeviceIoctl();
    SnapshotTarget owner(io);
    io.SetOwner(&owner);
    Collected c;
    ASSERT_TRUE(io.StartIoctlExtraction(&Collected::Callback, 0, 2, WaveFormat{}, &c));
    for (int i = 0; i < 2000 && owner.retrying < 3; ++i) std::this_thread::sleep_for(1ms);
    EXPECT_GE(owner.retrying.load(), 3);
    io.StopExtraction();
    io.SetOwner(nullptr);
    EXPECT_EQ(c.end, -1);
    EXPECT_FALSE(io.Running());
}

TEST_F(IoctlTest, DataTrackIsNeverReadAsAudio) {
    Collected c;
    EXPECT_FALSE(manager->DeviceIoctl().StartIoctlExtraction(&Collected::Callback, 0, 4, WaveFormat{}, &c));
    EXPECT_TRUE(c.pcm.empty());
    EXPECT_EQ(GetCdState(), kCdIdle);
}

TEST(CdState, IsSharedAcrossThreads) {
    SetCdState(kCdExtracting);
    std::uint8_t seen = 0;
    std::thread t([&] { seen = GetCdState(); });
    t.join();
    EXPECT_EQ(seen, kCdExtracting);
    SetCdState(kCdIdle);
}

} // namespace
} // namespace lyb
