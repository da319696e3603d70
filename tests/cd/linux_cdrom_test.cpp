// The Linux backend's arguments, checked against a recording stand-in for
// the kernel (no drive on this machine): what each control sends, and how
// the kernel's answers are read.
#include <gtest/gtest.h>

#include <errno.h>
#include <linux/cdrom.h>
#include <scsi/sg.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>

#include "cd_test_support.h"
#include "platform/cdrom/cdrom_device.h"
#include "platform/cdrom/kernel_handle.h"
#include "platform/cdrom/scsi_target.h"

namespace lyb {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct FakeKernel final : KernelHandle {
    std::vector<unsigned long> requests;
    std::vector<Bytes> cdbs;
    /// Answers SG_IO: errno to fail with, or 0 and fills the data.
    std::function<int(sg_io_hdr_t&)> onSgIo = [](sg_io_hdr_t&) { return 0; };
    std::function<int(unsigned long, void*)> onIoctl = [](unsigned long, void*) { return ENOTTY; };
    int driveStatus = CDS_NO_DISC;

    int Ioctl(unsigned long request, void* arg) override {
        requests.push_back(request);
        if (request == SG_IO) {
            auto& io = *static_cast<sg_io_hdr_t*>(arg);
            cdbs.emplace_back(io.cmdp, io.cmdp + io.cmd_len);
            return onSgIo(io);
        }
        return onIoctl(request, arg);
    }
    int IoctlValue(unsigned long request, unsigned long value, int* result) override {
        requests.push_back(request);
        if (request == CDROM_DRIVE_STATUS && value == CDSL_CURRENT) {
            *result = driveStatus;
            return 0;
        }
        return request == CDROMSTOP ? 0 : ENOTTY;
    }
    bool Writable() const override { return false; }
};

struct LinuxCdromBackend : ::testing::Test {
    FakeKernel* kernel = nullptr;
    std::filesystem::path sysfs = test::TempDir("sysfs");
    std::unique_ptr<CdromDevice> Make(const std::string& node = "/dev/sr1") {
        auto k = std::make_unique<FakeKernel>();
        kernel = k.get();
        return MakeLinuxCdrom(std::move(k), node, sysfs.string());
    }
    void TearDown() override { std::filesystem::remove_all(sysfs); }
};

TEST_F(LinuxCdromBackend, SeekGoesOutAsScsiSeekNeverAsCdromSeek) {
    auto dev = Make();
    EXPECT_EQ(dev->SeekAudio(0x012345), 0);
    ASSERT_EQ(kernel->cdbs.size(), 1u);
    EXPECT_EQ(kernel->cdbs[0], (Bytes{0x2B, 0, 0x00, 0x01, 0x23, 0x45, 0, 0, 0, 0}));
    EXPECT_EQ(std::count(kernel->requests.begin(), kernel->requests.end(), (unsigned long)CDROMSEEK), 0);
    kernel->onSgIo = [](sg_io_hdr_t&) { return EPERM; };
    EXPECT_EQ(dev->SeekAudio(10), kErrorAccessDenied);
}

TEST_F(LinuxCdromBackend, PlayAddressesAreMsfWithTheLeadIn) {
    auto dev = Make();
    cdrom_msf got{};
    kernel->onIoctl = [&](unsigned long r, void* arg) {
        if (r != CDROMPLAYMSF) return ENOTTY;
        got = *static_cast<cdrom_msf*>(arg);
        return 0;
    };
    EXPECT_EQ(dev->PlayAudio(0, 4500 * 3 + 75 * 7 + 4), 0);
    EXPECT_EQ(got.cdmsf_min0, 0);
    EXPECT_EQ(got.cdmsf_sec0, 2);
    EXPECT_EQ(got.cdmsf_min1, 3);
    EXPECT_EQ(got.cdmsf_sec1, 9);
    EXPECT_EQ(got.cdmsf_frame1, 4);
}

TEST_F(LinuxCdromBackend, CommandsTheKernelRefusesAreNotPermitted) {
    EXPECT_EQ(MapCdromErrno(EPERM), kErrorAccessDenied);
    EXPECT_EQ(MapCdromErrno(EACCES), kErrorAccessDenied);
    EXPECT_EQ(MapCdromErrno(EIO), kErrorIoDevice);
    EXPECT_EQ(MapCdromErrno(ENOMEDIUM), kErrorNotReady);
    auto k = std::make_unique<FakeKernel>();
    FakeKernel& fk = *k;
    fk.onSgIo = [](sg_io_hdr_t& io) { return io.cmdp[0] == 0xD5 ? EPERM : 0; };
    auto sg = MakeSgTarget(std::move(k));
    std::uint8_t cdb[12] = {0xD5};
    std::uint8_t data[2352];
    ScsiResult r = sg->Execute(cdb, 12, ScsiDirection::In, data, sizeof data);
    EXPECT_FALSE(r.transportOk);
    EXPECT_TRUE(r.notPermitted);
    cdb[0] = 0xBE;
    r = sg->Execute(cdb, 12, ScsiDirection::In, data, sizeof data);
    EXPECT_TRUE(r.transportOk);
    EXPECT_FALSE(r.notPermitted);
    ASSERT_EQ(fk.cdbs.size(), 2u);
}

TEST_F(LinuxCdromBackend, DescriptionIsVendorAndModelNotTheNodeName) {
    auto dev = Make("/dev/sr1");
    // Without sysfs and without an INQUIRY answer only the node is left.
    kernel->onSgIo = [](sg_io_hdr_t&) { return EPERM; };
    EXPECT_EQ(dev->Description(), "/dev/sr1");
    // INQUIRY: vendor bytes 8-15, product 16-31.
    kernel->onSgIo = [](sg_io_hdr_t& io) {
        if (io.cmdp[0] != 0x12 || io.dxfer_len < 36) return EINVAL;
        auto* p = static_cast<std::uint8_t*>(io.dxferp);
        std::memcpy(p + 8, "HL-DT-ST", 8);
        std::memcpy(p + 16, "DVDRAM GH24NSD1 ", 16);
        io.resid = 0;
        return 0;
    };
    EXPECT_EQ(dev->Description(), "HL-DT-ST DVDRAM GH24NSD1");
    // sysfs answers first, without a command to the drive.
    std::filesystem::create_directories(sysfs / "block/sr1/device");
    std::ofstream(sysfs / "block/sr1/device/vendor") << "TSSTcorp\n";
    std::ofstream(sysfs / "block/sr1/device/model") << "CDDVDW SH-224DB \n";
    kernel->cdbs.clear();
    EXPECT_EQ(dev->Description(), "TSSTcorp CDDVDW SH-224DB");
    EXPECT_TRUE(kernel->cdbs.empty());
}

TEST_F(LinuxCdromBackend, MediumPresenceFromTheDriveStatus) {
    auto dev = Make();
    bool present = true;
    EXPECT_EQ(dev->MediumPresent(present), 0);
    EXPECT_FALSE(present);
    kernel->driveStatus = CDS_DISC_OK;
    EXPECT_EQ(dev->MediumPresent(present), 0);
    EXPECT_TRUE(present);
}

} // namespace
} // namespace lyb
