// Any bytes as mountinfo text: parsing never crashes.
#include "platform/volumes.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    auto v = lyb::ParseMountInfo(text, [](const std::string&) { return true; },
                                 [](const std::string& n) { return n.size() > 3; });
    if (!v.empty())
        (void)lyb::VolumeRootOf(v, v.front().mountPoint + "/x");
    lyb::AddHiddenRoot(v, v.empty() ? std::string_view() : std::string_view(v.back().deviceNumber));
    (void)lyb::VolumeTypeOf(v, "/tmp/x");
    return 0;
}
