#include "app/components.h"

#include "platform/trace.h"

namespace lyb {

namespace {

template <typename F> F Bind(const SharedLibrary& lib, const char* name) {
    return reinterpret_cast<F>(lib.Symbol(name));
}

} // namespace

bool LoadLockstream(Components& c, const std::string& folder) {
    if (!c.lse.Open(folder + "/" + kLseLibraryFile)) {
        Trace("LSE DLL initialization fault");
        return false;
    }
    c.createLockstream = Bind<CreateLockstreamInterfaceFn>(c.lse, "CreateLockstreamInterface");
    c.releaseLockstream = Bind<ReleaseLockstreamInterfaceFn>(c.lse, "ReleaseLockstreamInterface");
    if (!c.createLockstream || !c.releaseLockstream) {
        c.createLockstream = nullptr;
        c.releaseLockstream = nullptr;
        c.lse.Close();
        return false;
    }
    c.createLockstream(&c.lockstream);
    return true;
}

bool LoadEncoder(Components& c, const std::string& folder) {
    if (!c.tessel.Open(folder + "/" + kTesselLibraryFile)) {
        Trace("AAC DLL initialization fault");
        TraceFormat("%s", c.tessel.Error().c_str());
        return false;
    }
    c.createAAC = Bind<CreateAACInterfaceFn>(c.tessel, "CreateAACInterface");
    c.releaseAAC = Bind<ReleaseAACInterfaceFn>(c.tessel, "ReleaseAACInterface");
    if (!c.createAAC || !c.releaseAAC) {
        c.createAAC = nullptr;
        c.releaseAAC = nullptr;
        c.tessel.Close();
        return false;
    }
    c.createAAC(&c.encoder);
    return true;
}

bool LoadDeviceLibrary(Components& c, const std::string& folder) {
    if (!c.usb.Open(folder + "/" + kUsbLibraryFile))
        return false;
    auto create = Bind<ORVIKCreateInstanceFn>(c.usb, "ORVIKCreateInstance");
    if (!create) {
        c.usb.Close();
        return false;
    }
    create(&c.device);
    Trace("usb.dll initialized successfully");
    return true;
}

void FreeLockstream(Components& c) {
    if (!c.lse.IsOpen())
        return;
    if (c.lockstream && c.releaseLockstream)
        c.releaseLockstream(&c.lockstream);
    c.lockstream = nullptr;
    c.lse.Close();
}

void FreeEncoder(Components& c) {
    if (c.encoder && c.releaseAAC)
        c.releaseAAC(&c.encoder);
    c.encoder = nullptr; // the library does not clear the caller's pointer
    if (c.tessel.IsOpen())
        c.tessel.Close();
}

} // namespace lyb
