// Any bytes as "data.ms": the reader, then the writer of what was read.
#include "library/music_doc.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    lyb::CMusicDoc doc;
    (void)doc.LoadStudioFromBytes(bytes);
    (void)doc.RenderStudio();
    return 0;
}
