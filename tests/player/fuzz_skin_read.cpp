// Any bytes through the skin reader.
#include "player/skin_file.h"

#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    const lyb::SkinFile s = lyb::ReadSkinBytes(std::string_view(reinterpret_cast<const char*>(data), size));
    return s.ok && s.picture.rgb.size() != 300u * 312u * 3u ? 1 : 0;
}
