// The libraries the program loads by file name from its own folder.
//
//   liblsedll.so     Lockstream encoding (optional): CreateLockstreamInterface,
//                    ReleaseLockstreamInterface
//   libtessel.so     the AAC encoder (required): CreateAACInterface,
//                    ReleaseAACInterface
//   libusb-orvik.so  device access (optional): ORVIKCreateInstance
#pragma once

#include "core/export/lockstream.h"
#include "core/include/tessel/aac_interface.h"
#include "platform/shared_library.h"

#include <string>

namespace lyb {

inline constexpr const char* kLseLibraryFile = "liblsedll.so";
inline constexpr const char* kTesselLibraryFile = "libtessel.so";
inline constexpr const char* kUsbLibraryFile = "libusb-orvik.so";

/// The device library's export: fills the device-interface slot; 0 on success.
using ORVIKCreateInstanceFn = int (*)(void** instance);

struct Components {
    SharedLibrary lse;
    CreateLockstreamInterfaceFn createLockstream = nullptr;
    ReleaseLockstreamInterfaceFn releaseLockstream = nullptr;
    LockstreamInterface* lockstream = nullptr; ///< the Lockstream interface slot

    SharedLibrary tessel;
    CreateAACInterfaceFn createAAC = nullptr;
    ReleaseAACInterfaceFn releaseAAC = nullptr;
    AACInterface* encoder = nullptr; ///< the encoder interface slot

    SharedLibrary usb;
    void* device = nullptr; ///< the device-interface slot (IUSBRoot of the device library)
};

/// Loads the Lockstream library; false when it is missing or incomplete
/// (then nothing of it stays loaded).
bool LoadLockstream(Components& c, const std::string& folder);
/// Loads the encoder library and creates the encoder interface; false when
/// the library is missing or lacks an export (then it is unloaded).
bool LoadEncoder(Components& c, const std::string& folder);
/// Loads the device library and calls ORVIKCreateInstance; false otherwise.
bool LoadDeviceLibrary(Components& c, const std::string& folder);

/// Releases the Lockstream interface and frees the library.
void FreeLockstream(Components& c);
/// Releases the encoder interface (when the slot is set) and frees the library.
void FreeEncoder(Components& c);

} // namespace lyb
