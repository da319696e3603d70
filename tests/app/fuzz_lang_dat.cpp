// Any bytes as a language file: loading must never crash or overflow.
#include "app/localize.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    lyb::CLocalize loc;
    loc.SetCodePage(size > 0 && (data[0] & 1) ? 1251 : 1252);
    loc.LoadFromBytes(std::string_view(reinterpret_cast<const char*>(data), size));
    for (int id = 0; id < lyb::CLocalize::kSlotCount; id += 37)
        (void)loc.Get(id, "x");
    return 0;
}
