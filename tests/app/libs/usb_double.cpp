// Test doubles of the device library: USB_COMPLETE exports
// ORVIKCreateInstance (a root object that reports no device), otherwise
// nothing the program looks for.
#include "outside/usb/usb_device.h"

#include <cstdio>
#include <cstdlib>

namespace {

class EmptyRoot final : public IUSBRoot {
public:
    int Version() override { return 1; }
    int LastCount() override { return 0; }
    int Backend() override { return 2; }
    int Reserved3() override { return 0; }
    int SetDeviceFilter(std::uintptr_t, UsbDeviceFilterProc) override { return 0; }
    int Reserved5() override { return 0; }
    int EnumDevices(UsbDeviceEnumProc, std::uintptr_t) override { return 0; }
} g_root;

} // namespace

#ifdef USB_COMPLETE
extern "C" __attribute__((visibility("default"))) int ORVIKCreateInstance(void** slot) {
    if (const char* path = std::getenv("LYB_TEST_COMPONENT_LOG")) {
        if (FILE* f = std::fopen(path, "a")) {
            std::fprintf(f, "ORVIKCreateInstance\n");
            std::fclose(f);
        }
    }
    if (slot)
        *slot = static_cast<IUSBRoot*>(&g_root);
    return 0;
}
#else
extern "C" __attribute__((visibility("default"))) int SomethingElse() { return g_root.Version(); }
#endif
