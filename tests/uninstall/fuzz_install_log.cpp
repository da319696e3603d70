// Any bytes as an installation log: reading never crashes, and every entry
// it gives is at most the length limit and free of the line end.
#include "uninstall/install_log.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (const lyb::LogEntry& e : lyb::ParseInstallLog(text)) {
        if (e.path.empty() || e.path.size() > lyb::kMaxLogEntry || e.path.find('\r') != std::string::npos)
            std::abort();
        (void)lyb::IsPlainFullPath(e.path);
        (void)lyb::IsInsideFolder(e.path, "/opt/Orvik/Lyrabox 3.0");
    }
    return 0;
}
