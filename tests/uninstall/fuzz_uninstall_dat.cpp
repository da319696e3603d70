// Any bytes as "uninstall.dat": loading never crashes, and a text that is
// then used as a message format never reads past its arguments.
#include "uninstall/setup_texts.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    lyb::SetupTexts texts;
    texts.SetCodePage(size > 0 && (data[0] & 1) ? 1251 : 1252);
    texts.LoadBytes(std::string_view(reinterpret_cast<const char*>(data), size));
    for (int id : {188, 197, 211, 13, 28, 29})
        (void)texts.Format(id, {"a", "b"});
    return 0;
}
