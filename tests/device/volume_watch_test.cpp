// The device-change watch of mounted volumes: cards and sticks coming and
// going are posted as volume (not media) changes with their mount points.
#include "platform/cdrom/volume_watcher.h"
#include "platform/message_target.h"

#include <gtest/gtest.h>

#include <mutex>

namespace lyb {
namespace {

using namespace std::chrono_literals;

struct VolumeList {
    std::mutex mutex;
    std::vector<Volume> volumes;
    std::vector<Volume> operator()() {
        std::lock_guard<std::mutex> lock(mutex);
        return volumes;
    }
    void Set(std::vector<Volume> v) {
        std::lock_guard<std::mutex> lock(mutex);
        volumes = std::move(v);
    }
};

Volume Mount(const std::string& point, VolumeType type) {
    return Volume{point, "/dev/x", "vfat", type, 0, 0};
}

TEST(VolumeWatch, CardsComingAndGoingArePostedWithTheirMountPoints) {
    VolumeList list;
    list.Set({Mount("/", VolumeType::Fixed), Mount("/proc", VolumeType::Virtual)});
    std::vector<Message> got;
    QueueMessageTarget target([&](const Message& m) {
        got.push_back(m);
        return std::intptr_t(0);
    });
    VolumeWatcher watcher({}, &target, 10ms);
    watcher.WatchVolumes([&] { return list(); });
    EXPECT_TRUE(watcher.PollOnce().empty()); // the first round only learns
    list.Set({Mount("/", VolumeType::Fixed), Mount("/media/CARD", VolumeType::Removable),
              Mount("/media/cdrom", VolumeType::CdRom), Mount("/net", VolumeType::Remote)});
    auto changes = watcher.PollOnce();
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_TRUE(changes[0].arrival);
    EXPECT_FALSE(changes[0].isMedia);
    EXPECT_EQ(changes[0].mountPoint, "/media/CARD");
    EXPECT_TRUE(watcher.PollOnce().empty()); // nothing new
    target.Pump();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].id, kMsgDeviceChange);
    EXPECT_EQ(got[0].wparam, kDeviceArrival);
    EXPECT_EQ(got[0].lparam, 0);

    // Taken out while the thread watches.
    got.clear();
    watcher.Start();
    list.Set({Mount("/", VolumeType::Fixed)});
    for (int i = 0; i < 300 && got.empty(); ++i)
        target.PumpFor(10);
    watcher.Stop();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].wparam, kDeviceRemoveComplete);
    const auto* change = std::any_cast<VolumeChange>(&got[0].payload);
    ASSERT_NE(change, nullptr);
    EXPECT_EQ(change->mountPoint, "/media/CARD");
    EXPECT_FALSE(change->isMedia);
}

TEST(VolumeWatch, StopEndsTheWaitOnTheMountTableAtOnce) {
    VolumeList list;
    VolumeWatcher watcher({}, nullptr, std::chrono::milliseconds(60000));
    watcher.WatchVolumes([&] { return list(); });
    watcher.Start();
    const auto began = std::chrono::steady_clock::now();
    watcher.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - began, 2s);
}

} // namespace
} // namespace lyb
