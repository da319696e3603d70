#include "platform/volumes.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

using namespace lyb;

namespace {

const char* kMountInfo =
    "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
    "23 22 0:5 / /proc rw,nosuid - proc proc rw\n"
    "24 22 0:21 / /dev rw - devtmpfs udev rw,size=100k\n"
    "30 22 8:17 / /media/user/PHONE\\040CARD rw shared:7 - vfat /dev/sdb1 rw,fmask=0022\n"
    "31 22 11:0 / /media/user/DISC ro - iso9660 /dev/sr0 ro\n"
    "32 22 0:40 / /mnt/nas rw - nfs4 server:/export rw,vers=4.2\n"
    "33 22 0:41 / /mnt/share rw - cifs //host/share rw\n"
    "34 22 0:42 / /tmp rw - tmpfs tmpfs rw\n"
    "garbage line\n"
    "35 22 8:2 / /home rw master:1 unbindable - ext4 /dev/sda2 rw\n"
    "36 22 8:33 / /media/x rw\n"; // no separator: skipped

std::vector<Volume> Sample() {
    return ParseMountInfo(
        kMountInfo, [](const std::string& n) { return n == "sdb1"; },
        [](const std::string& n) { return n == "sr0"; });
}

TEST(Volumes, ParsesMountInfoWithTypes) {
    auto v = Sample();
    ASSERT_EQ(v.size(), 9u);
    EXPECT_EQ(v[0].mountPoint, "/");
    EXPECT_EQ(v[0].type, VolumeType::Fixed);
    EXPECT_EQ(v[1].type, VolumeType::Virtual);
    EXPECT_EQ(v[3].mountPoint, "/media/user/PHONE CARD");
    EXPECT_EQ(v[3].device, "/dev/sdb1");
    EXPECT_EQ(v[3].fsType, "vfat");
    EXPECT_EQ(v[3].type, VolumeType::Removable);
    EXPECT_EQ(v[4].type, VolumeType::CdRom);
    EXPECT_EQ(v[5].type, VolumeType::Remote);
    EXPECT_EQ(v[6].type, VolumeType::Remote);
    EXPECT_EQ(v[7].type, VolumeType::Fixed); // tmpfs may hold music
    EXPECT_EQ(v[8].mountPoint, "/home");    // several optional fields
}

TEST(Volumes, RootOfIsTheLongestWholeComponentPrefix) {
    auto v = Sample();
    EXPECT_EQ(VolumeRootOf(v, "/media/user/PHONE CARD/Music/a.mp3"), "/media/user/PHONE CARD");
    EXPECT_EQ(VolumeRootOf(v, "/media/user/PHONE CARDS/x"), "/");
    EXPECT_EQ(VolumeRootOf(v, "/home"), "/home");
    EXPECT_EQ(VolumeRootOf(v, "/homework"), "/");
    EXPECT_EQ(VolumeRootOf(v, "relative/path"), "");
    EXPECT_EQ(VolumeTypeOf(v, "/proc/self"), VolumeType::Virtual);
    EXPECT_EQ(VolumeTypeOf(v, ""), VolumeType::Unknown);
}

TEST(Volumes, SimulatedSourceAnswersCdNodesAndSpace) {
    auto sim = std::make_shared<SimVolumeSource>(
        std::vector<Volume>{{"/", "/dev/sda1", "ext4", VolumeType::Fixed, 1000, 400},
                            {"/media/card", "/dev/sdb1", "vfat", VolumeType::Removable, 64, 32}},
        std::vector<std::string>{"/dev/sr0"});
    SetVolumeSource(sim);
    EXPECT_EQ(VolumeRootOf("/dev/sr0/Track05.cda"), "/dev/sr0");
    EXPECT_EQ(VolumeTypeOf("/dev/sr0"), VolumeType::CdRom);
    EXPECT_NE(VolumeTypeOf("/dev/sr1"), VolumeType::CdRom);
    EXPECT_EQ(VolumeTypeOf("/media/card/a"), VolumeType::Removable);
    std::uint64_t total = 0, free = 0;
    EXPECT_TRUE(CurrentVolumeSource().Space("/media/card/x", total, free));
    EXPECT_EQ(free, 32u);
    SetVolumeSource(nullptr);
}

// In a chroot whose root is no mount point (package builders run tests so)
// no listed mount held "/": every path had no volume and no type.
TEST(Volumes, AChrootRootThatIsNoMountPointIsStillAVolume) {
    const char* data = std::getenv("LYB_TEST_DATA");
    ASSERT_NE(data, nullptr);
    std::ifstream in(std::string(data) + "/platform/mountinfo/chroot-root-not-a-mount-point.txt");
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto v = ParseMountInfo(text, nullptr, nullptr);
    ASSERT_EQ(v.size(), 6u);
    EXPECT_EQ(v[0].deviceNumber, "254:0");
    EXPECT_EQ(VolumeRootOf(v, "/tmp/x"), "");
    AddHiddenRoot(v, "254:0");
    ASSERT_EQ(v.size(), 7u);
    EXPECT_EQ(VolumeRootOf(v, "/tmp/x"), "/");
    EXPECT_EQ(VolumeTypeOf(v, "/tmp/x"), VolumeType::Fixed);
    EXPECT_EQ(v[0].fsType, "ext4");
    EXPECT_EQ(v[0].device, "/dev/vda");
    EXPECT_EQ(VolumeRootOf(v, "/build/a.mp3"), "/build");
    EXPECT_EQ(VolumeTypeOf(v, "/proc/self"), VolumeType::Virtual);
    AddHiddenRoot(v, "254:0"); // once only
    EXPECT_EQ(v.size(), 7u);
    // A root of a file system no listed mount shares: a fixed disk.
    auto other = ParseMountInfo(text, nullptr, nullptr);
    AddHiddenRoot(other, "8:1");
    EXPECT_EQ(VolumeTypeOf(other, "/home/u"), VolumeType::Fixed);
    EXPECT_EQ(other[0].fsType, "");
    // A real root stays as it is.
    auto normal = Sample();
    AddHiddenRoot(normal, "8:1");
    EXPECT_EQ(normal.size(), 9u);
}

TEST(Volumes, LinuxSourceListsTheRootWithSpace) {
    SetVolumeSource(nullptr);
    auto v = ListVolumes(true);
    auto root = std::find_if(v.begin(), v.end(), [](const Volume& x) { return x.mountPoint == "/"; });
    ASSERT_NE(root, v.end());
    EXPECT_GT(root->totalBytes, 0u);
    EXPECT_EQ(VolumeRootOf("/"), "/");
}

} // namespace
