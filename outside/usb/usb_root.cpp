// The root object of the device library and its one export.
#include "outside/usb/usb_backends.h"
#include "outside/usb/usb_device.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>

namespace {

using lyb::usb::UsbDeviceInfo;

void CopyField(char* field, size_t width, const std::string& text) {
    std::memset(field, 0, width);
    std::memcpy(field, text.data(), std::min(text.size(), width - 1));
}

class Device final : public IUSBDevice {
public:
    explicit Device(const UsbDeviceInfo& info) : m_info(info) {
        CopyField(mountPoint, sizeof mountPoint, info.mountPoint);
        CopyField(product, sizeof product, info.product);
        CopyField(manufacturer, sizeof manufacturer, info.manufacturer);
    }
    int VendorId() override { return static_cast<int>(m_info.vendorId); }
    int ProductId() override { return static_cast<int>(m_info.productId); }
    const char* BusName() override { return m_info.busName.c_str(); }
    int Reserved3() override { return 0; }
    int IsStorage() override { return m_info.storage && !m_info.mountPoint.empty() ? 1 : 0; }

private:
    const UsbDeviceInfo& m_info;
};

class Root final : public IUSBRoot {
public:
    int Version() override { return 1; }
    int LastCount() override {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_lastCount;
    }
    int Backend() override { return SimFile() ? 1 : 0; }
    int Reserved3() override { return 0; }
    int SetDeviceFilter(std::uintptr_t, UsbDeviceFilterProc filter) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_filter = filter;
        return 0;
    }
    int Reserved5() override { return 0; }
    int EnumDevices(UsbDeviceEnumProc proc, std::uintptr_t context) override {
        if (!proc)
            return -1;
        UsbDeviceFilterProc filter;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            filter = m_filter;
        }
        const std::vector<UsbDeviceInfo> found = List();
        int count = 0;
        for (const UsbDeviceInfo& info : found) {
            if (filter && !filter(info.vendorId, info.productId))
                continue;
            Device device(info);
            proc(&device, context);
            ++count;
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        m_lastCount = count;
        return count;
    }

private:
    static const char* SimFile() {
        const char* file = std::getenv(kSimUsbEnvironment);
        return file && *file ? file : nullptr;
    }
    static std::vector<UsbDeviceInfo> List() {
        if (const char* file = SimFile())
            return lyb::usb::ListSimDevices(file);
        std::ifstream in("/proc/self/mountinfo");
        const std::string mounts((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        return lyb::usb::ListSysfsDevices("/sys", mounts);
    }

    std::mutex m_mutex;
    UsbDeviceFilterProc m_filter = nullptr;
    int m_lastCount = 0;
};

} // namespace

/// Stores the library's root object in `*root`; 0 done, -1 without a slot.
extern "C" __attribute__((visibility("default"))) int ORVIKCreateInstance(void** root) {
    static Root instance; // lives as long as the library
    if (!root)
        return -1;
    *root = static_cast<IUSBRoot*>(&instance);
    return 0;
}
