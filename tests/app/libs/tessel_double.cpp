// Test doubles of the encoder library: TESSEL_COMPLETE exports both entry
// points, otherwise only CreateAACInterface (an incomplete library).
// Calls are appended to the file named by LYB_TEST_COMPONENT_LOG.
#include "core/include/tessel/aac_interface.h"

#include <cstdio>
#include <cstdlib>

namespace {

void Log(const char* what) {
    if (const char* path = std::getenv("LYB_TEST_COMPONENT_LOG")) {
        if (FILE* f = std::fopen(path, "a")) {
            std::fprintf(f, "%s\n", what);
            std::fclose(f);
        }
    }
}

class NullEncoder final : public AACInterface {
public:
    int ConvertPcm(float*, int, const unsigned char*, int, int) override { return 0; }
    int LseCommand(int, int, int) override { return 0; }
    int LseAttach(int, int) override { return 0; }
    void Close() override {}
    int Encode(const unsigned char*, int) override { return -1; }
    int Open(const void*, const char*, const void*, int, int, int, const unsigned char*, int, FILE*) override {
        return 0;
    }
    int Reserved(int, int, int, int, int, int, int, int, int, int, int) override { return 1; }
    int Init() override { return 1; }
    int Shutdown() override { return 0; }
};

} // namespace

extern "C" __attribute__((visibility("default"))) int CreateAACInterface(AACInterface** out) {
    Log("CreateAACInterface");
    if (!out)
        return -1;
    *out = new NullEncoder();
    return 0;
}

#ifdef TESSEL_COMPLETE
extern "C" __attribute__((visibility("default"))) int ReleaseAACInterface(AACInterface** obj) {
    Log("ReleaseAACInterface");
    if (!obj || !*obj)
        return -1;
    delete *obj;
    return 0;
}
#endif
