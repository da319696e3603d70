#include "platform/system_version.h"

#include <cstdlib>
#include <cstring>
#include <mutex>

namespace lyb {
namespace {
std::mutex g_mutex;
std::optional<SystemVersion> g_override;
} // namespace

SystemVersion CurrentSystemVersion() {
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (g_override)
            return *g_override;
    }
    SystemVersion v;
    const char* line = std::getenv("LYB30_OS_LINE");
    if (line && std::strcmp(line, "consumer") == 0) {
        v.line = OsLine::Consumer;
        v.version = 0x040A; // the consumer line's last major release
    }
    return v;
}

void SetSystemVersionOverride(std::optional<SystemVersion> version) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_override = version;
}

} // namespace lyb
