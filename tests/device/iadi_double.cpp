// A stand-in for the "iadi" library exporting part of its entry points.
#include <cstdint>

#define EXPORT extern "C" __attribute__((visibility("default")))

EXPORT int IADI_EnumDevices() { return 0; }
EXPORT int IADI_OpenDevice() { return 0; }
EXPORT int IADI_CloseDevice(std::uint32_t) { return 0; }
