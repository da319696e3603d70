// Packed installation files: a 12-byte header and an LZHUF stream.
//
//   bytes 0-3   one of the tags OFCC, GRCC, PAKC, NOSC, SKTC, SKXC (ASCII)
//   bytes 4-7   the unpacked size, little-endian
//   bytes 8-11  not used (written as zeros)
//   bytes 12-   the LZHUF stream
//
// A file that does not start with one of the tags is a plain file and is
// copied unchanged.
#pragma once

#include "setup/lzhuf.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace lyb {

inline constexpr std::size_t kPackedHeaderSize = 12;
inline constexpr std::array<std::string_view, 6> kPackedTags = {"OFCC", "GRCC", "PAKC", "NOSC", "SKTC", "SKXC"};
/// The tag the distribution tool writes.
inline constexpr std::string_view kDefaultPackedTag = "PAKC";

struct PackedHeader {
    std::string tag;
    std::uint32_t size = 0; ///< the unpacked size
};

/// The header when `head` (at least the file's first 12 bytes, or all of a
/// shorter file) starts with a tag; nullopt for a plain file. A tag with
/// fewer than 12 bytes behind it is a plain file too: it cannot be packed.
std::optional<PackedHeader> ReadPackedHeader(std::span<const std::uint8_t> head);

/// A whole packed file made from `data` with `tag`.
std::vector<std::uint8_t> MakePackedFile(std::span<const std::uint8_t> data,
                                         std::string_view tag = kDefaultPackedTag);

/// Unpacks a whole packed file (header included) into `sink`; for a plain
/// file (no tag) returns Ok after handing the bytes on unchanged.
LzhufStatus UnpackFile(std::span<const std::uint8_t> file, const ByteSink& sink);

} // namespace lyb
