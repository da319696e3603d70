// Any bytes through the skin reader: as a whole file, or laid over the
// start of a complete skin so the header and size checks and the pixel
// copy run too (a fuzzer's inputs are shorter than a skin).
#include "player/skin_file.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    if (data[0] & 1) {
        static const std::string skin = lyb::WriteSkinBytes(lyb::SkinPicture{}, "fuzz", "fuzz");
        std::string full = skin;
        std::memcpy(full.data(), bytes.data(), std::min(bytes.size(), full.size()));
        if (data[0] & 2)
            full.resize(full.size() - (data[0] >> 2)); // a little short
        bytes = std::move(full);
    }
    const lyb::SkinFile s = lyb::ReadSkinBytes(bytes);
    return s.ok && s.picture.rgb.size() != 300u * 312u * 3u ? 1 : 0;
}
