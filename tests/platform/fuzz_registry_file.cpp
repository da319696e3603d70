// Any bytes as a hive file: parsing never crashes, and what it keeps
// survives a write and re-read unchanged.
#include "platform/registry.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    lyb::HiveData d = lyb::ParseHive(lyb::Hive::CurrentUser, text);
    lyb::HiveData again = lyb::ParseHive(lyb::Hive::CurrentUser, lyb::FormatHive(lyb::Hive::CurrentUser, d));
    if (!(again == d))
        std::abort();
    return 0;
}
