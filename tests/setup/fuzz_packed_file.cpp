// Any bytes as a packed installation file: unpacking never crashes, never
// hands on more than the stored size, and refuses what it cannot finish.
#include "setup/packed_file.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::span<const std::uint8_t> file(data, size);
    std::uint64_t total = 0;
    const auto header = lyb::ReadPackedHeader(file);
    const lyb::LzhufStatus s = lyb::UnpackFile(file, [&](const std::uint8_t*, std::size_t n) {
        total += n;
        return true;
    });
    if (header && s == lyb::LzhufStatus::Ok && total != header->size)
        std::abort();
    if (header && total > header->size)
        std::abort();
    // The bare stream too, with the size the fuzzer's first bytes name.
    if (size > 2) {
        std::vector<std::uint8_t> out;
        (void)lyb::LzhufDecode(file.subspan(2), (std::uint64_t{data[0]} << 8 | data[1]) * 3, out);
    }
    return 0;
}
