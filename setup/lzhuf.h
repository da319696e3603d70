// LZHUF: the compression of the packed installation files.
//
// LZSS over a 4096-byte ring buffer (filled with blanks, writing starts at
// position 4036), matches of 3 to 60 bytes, and an adaptive Huffman code
// shared by literals and match lengths (314 symbols, halved when the root's
// count reaches 0x8000). A match position is the distance back minus one,
// coded as its upper 6 bits with a fixed prefix code of 3 to 8 bits and its
// lower 6 bits plain. Bits are written most significant first; the last
// byte is padded with zeros.
//
// The stream carries no length: the caller gives the number of bytes it
// unpacks to (the packed file's header holds it).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace lyb {

inline constexpr std::size_t kLzhufRingSize = 4096;
inline constexpr std::size_t kLzhufMaxMatch = 60;
inline constexpr std::size_t kLzhufThreshold = 2;
/// Unpacked bytes are handed on in blocks of this size (the copy block size).
inline constexpr std::size_t kCopyBlockSize = 128000;

enum class LzhufStatus {
    Ok,
    Truncated,  ///< the stream ended before `size` bytes were unpacked
    Overrun,    ///< a match reaches past `size`: the stream does not belong to that size
    TooLarge,   ///< `size` is more than any stream of this length can unpack to
    SinkFailed, ///< the receiver refused a block (a write failed)
};

/// English text of a status for messages and traces.
const char* LzhufStatusText(LzhufStatus status);

/// Receives unpacked bytes; returns false to stop.
using ByteSink = std::function<bool(const std::uint8_t* data, std::size_t size)>;

/// The most bytes a stream of `streamBytes` bytes can unpack to (every
/// match costs at least 10 bits and yields at most 60 bytes).
std::uint64_t LzhufMaxUnpacked(std::size_t streamBytes);

/// Unpacks `stream` to exactly `size` bytes, handing them to `sink` in blocks
/// of at most `blockSize` bytes. Any status but Ok means the output is
/// incomplete and must be thrown away. Bytes after the last symbol are ignored.
LzhufStatus LzhufDecode(std::span<const std::uint8_t> stream, std::uint64_t size, const ByteSink& sink,
                        std::size_t blockSize = kCopyBlockSize);

/// The same into memory (tests, small files).
LzhufStatus LzhufDecode(std::span<const std::uint8_t> stream, std::uint64_t size,
                        std::vector<std::uint8_t>& out);

/// Packs `data` into an LZHUF stream (greedy matching over hash chains).
std::vector<std::uint8_t> LzhufEncode(std::span<const std::uint8_t> data);

} // namespace lyb
