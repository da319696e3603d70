// Any bytes through the ADTS frame count.
#include "platform/media/exact_length.h"

#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    std::FILE* f = ::fmemopen(const_cast<std::uint8_t*>(data), size ? size : 1, "rb");
    if (!f)
        return 0;
    if (size == 0) {
        std::fclose(f);
        return 0;
    }
    const lyb::AdtsScan scan = lyb::ScanAdts(f);
    std::fclose(f);
    return scan.frames > size ? 1 : 0;
}
