// Test doubles of the device library: USB_COMPLETE exports
// ORVIKCreateInstance, otherwise nothing the program looks for.
#include <cstdio>
#include <cstdlib>

namespace {
int g_root;
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
        *slot = &g_root;
    return 0;
}
#else
extern "C" __attribute__((visibility("default"))) int SomethingElse() { return g_root; }
#endif
