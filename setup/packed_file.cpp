#include "setup/packed_file.h"

#include <algorithm>

namespace lyb {

std::optional<PackedHeader> ReadPackedHeader(std::span<const std::uint8_t> head) {
    if (head.size() < kPackedHeaderSize)
        return std::nullopt;
    const std::string_view tag(reinterpret_cast<const char*>(head.data()), 4);
    if (std::find(kPackedTags.begin(), kPackedTags.end(), tag) == kPackedTags.end())
        return std::nullopt;
    PackedHeader h;
    h.tag = std::string(tag);
    h.size = static_cast<std::uint32_t>(head[4]) | (static_cast<std::uint32_t>(head[5]) << 8) |
             (static_cast<std::uint32_t>(head[6]) << 16) | (static_cast<std::uint32_t>(head[7]) << 24);
    return h;
}

std::vector<std::uint8_t> MakePackedFile(std::span<const std::uint8_t> data, std::string_view tag) {
    std::vector<std::uint8_t> out(kPackedHeaderSize, 0);
    for (std::size_t i = 0; i < 4 && i < tag.size(); ++i)
        out[i] = static_cast<std::uint8_t>(tag[i]);
    const auto size = static_cast<std::uint32_t>(data.size());
    for (int i = 0; i < 4; ++i)
        out[static_cast<std::size_t>(4 + i)] = static_cast<std::uint8_t>(size >> (8 * i));
    const std::vector<std::uint8_t> stream = LzhufEncode(data);
    out.insert(out.end(), stream.begin(), stream.end());
    return out;
}

LzhufStatus UnpackFile(std::span<const std::uint8_t> file, const ByteSink& sink) {
    const std::optional<PackedHeader> header = ReadPackedHeader(file);
    if (!header) {
        for (std::size_t at = 0; at < file.size(); at += kCopyBlockSize) {
            const std::size_t n = std::min(kCopyBlockSize, file.size() - at);
            if (!sink(file.data() + at, n))
                return LzhufStatus::SinkFailed;
        }
        return LzhufStatus::Ok;
    }
    return LzhufDecode(file.subspan(kPackedHeaderSize), header->size, sink);
}

} // namespace lyb
