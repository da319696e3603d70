// The exported entry points of libwnaspi32.so.
#include <mutex>

#include "outside/aspi/aspi_host.h"

namespace {

aspi::AspiHost& Host() {
    static std::unique_ptr<aspi::AspiHost> host = aspi::AspiHost::FromEnvironment();
    return *host;
}

} // namespace

extern "C" {

__attribute__((visibility("default"))) aspi::DWORD SendASPI32Command(void* srb) { return Host().SendCommand(srb); }
__attribute__((visibility("default"))) aspi::DWORD GetASPI32SupportInfo() { return Host().SupportInfo(); }
__attribute__((visibility("default"))) aspi::DWORD GetASPI32DLLVersion() { return aspi::AspiHost::Version(); }
__attribute__((visibility("default"))) int GetASPI32Buffer(aspi::ASPI32BUFF* b) { return aspi::AspiHost::GetBuffer(b); }
__attribute__((visibility("default"))) int FreeASPI32Buffer(aspi::ASPI32BUFF* b) { return aspi::AspiHost::FreeBuffer(b); }

}
