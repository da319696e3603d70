// Any bytes as "language.inf": parsing never crashes; the default index is
// a language or -1; file names resolve below their folder or not at all.
#include "setup/language_inf.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const lyb::LanguageList list = lyb::ParseLanguageInf(std::string_view(reinterpret_cast<const char*>(data), size));
    const int d = list.DefaultIndex();
    if (d < -1 || d >= static_cast<int>(list.languages.size()) || (d == -1 && !list.languages.empty()))
        std::abort();
    for (const auto& l : list.languages) {
        const std::string p = lyb::ResolveBelow("/src/Language", l.interfaceFile);
        if (!p.empty() && (p.rfind("/src/Language/", 0) != 0 || p.find("/../") != std::string::npos))
            std::abort();
        (void)list.FindByName(l.name);
    }
    return 0;
}
