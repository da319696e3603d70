// Helpers of the device tests: a device library in the test itself (a root
// object reporting listed devices), a card folder with a chosen free space,
// and files made by ffmpeg and tessel-enc.
#pragma once

#include "device/usb_manager.h"
#include "outside/usb/usb_device.h"
#include "tests/library/test_util.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace lyb::test {

class FakeDevice final : public IUSBDevice {
public:
    FakeDevice(const std::string& maker, const std::string& model, const std::string& mount, int storage = 1)
        : m_storage(storage) {
        std::memset(mountPoint, 0, sizeof mountPoint);
        std::memset(product, 0, sizeof product);
        std::memset(manufacturer, 0, sizeof manufacturer);
        std::strncpy(mountPoint, mount.c_str(), sizeof mountPoint - 1);
        std::strncpy(product, model.c_str(), sizeof product - 1);
        std::strncpy(manufacturer, maker.c_str(), sizeof manufacturer - 1);
    }
    int VendorId() override { return 0x1234; }
    int ProductId() override { return 0x5678; }
    const char* BusName() override { return "fake"; }
    int Reserved3() override { return 0; }
    int IsStorage() override { return m_storage; }

private:
    int m_storage;
};

/// Reports its devices in order; records the calls.
class FakeRoot final : public IUSBRoot {
public:
    std::vector<std::unique_ptr<FakeDevice>> devices;
    std::vector<std::string> calls;

    void Add(const std::string& maker, const std::string& model, const std::string& mount, int storage = 1) {
        devices.push_back(std::make_unique<FakeDevice>(maker, model, mount, storage));
    }
    int Version() override { return 1; }
    int LastCount() override { return 0; }
    int Backend() override { return 2; }
    int Reserved3() override { return 0; }
    int SetDeviceFilter(std::uintptr_t zero, UsbDeviceFilterProc filter) override {
        calls.push_back("filter:" + std::to_string(zero) + ":" + (filter && filter(1, 2) == 1 ? "1" : "?"));
        m_filter = filter;
        return 0;
    }
    int Reserved5() override { return 0; }
    int EnumDevices(UsbDeviceEnumProc proc, std::uintptr_t context) override {
        calls.push_back("enum:" + std::to_string(context));
        for (auto& d : devices)
            if (!m_filter || m_filter(0x1234, 0x5678))
                proc(d.get(), context);
        return static_cast<int>(devices.size());
    }

private:
    UsbDeviceFilterProc m_filter = nullptr;
};

/// A manager over a FakeRoot whose card space answers from `totalKB`/`freeKB`.
struct FakeUsb {
    FakeRoot root;
    void* slot = static_cast<IUSBRoot*>(&root);
    std::uint64_t totalBytes = 64ull << 20;
    std::uint64_t freeBytes = 32ull << 20;
    bool spaceFails = false;
    CUSBManager manager{"/nonexistent-program-folder"};

    FakeUsb() {
        manager.SetRootSlot(&slot);
        manager.SetSpaceQuery([this](const std::string&, std::uint64_t& total, std::uint64_t& free) {
            total = totalBytes;
            free = freeBytes;
            return !spaceFails;
        });
    }
};

/// One ID3-tagged or untagged MP3 of `seconds` made by ffmpeg.
inline bool MakeTaggedMp3(const std::string& path, const std::string& tagOptions, double seconds = 1.0) {
    return MakeMp3(path, tagOptions + " -metadata title=SourceTitle -metadata artist=SourceArtist", seconds);
}

inline std::string Md5Of(const std::string& bytes) {
    TempDir d;
    WriteFile(d / "x", bytes);
    std::string out = Capture("md5sum " + Quote(d / "x"));
    return out.substr(0, out.find(' '));
}

} // namespace lyb::test
