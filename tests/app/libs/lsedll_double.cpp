// Test doubles of the Lockstream library: LSE_COMPLETE exports both entry
// points, otherwise only CreateLockstreamInterface. The slot receives a
// marker address; calls are logged to LYB_TEST_COMPONENT_LOG.
#include <cstdio>
#include <cstdlib>

namespace {
int g_marker;
void Log(const char* what) {
    if (const char* path = std::getenv("LYB_TEST_COMPONENT_LOG")) {
        if (FILE* f = std::fopen(path, "a")) {
            std::fprintf(f, "%s\n", what);
            std::fclose(f);
        }
    }
}
} // namespace

extern "C" __attribute__((visibility("default"))) int CreateLockstreamInterface(void** slot) {
    Log("CreateLockstreamInterface");
    if (slot)
        *slot = &g_marker;
    return 0;
}

#ifdef LSE_COMPLETE
extern "C" __attribute__((visibility("default"))) int ReleaseLockstreamInterface(void** slot) {
    Log(slot && *slot == &g_marker ? "ReleaseLockstreamInterface" : "ReleaseLockstreamInterface(bad slot)");
    return 0;
}
#endif
