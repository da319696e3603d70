// Any bytes as "setup.ctl": parsing never crashes, and every entry it
// accepts stays below its folder.
#include "setup/language_inf.h"
#include "setup/setup_ctl.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    lyb::SetupCtl ctl;
    std::string error;
    if (!lyb::ParseSetupCtl(std::string_view(reinterpret_cast<const char*>(data), size), ctl, error))
        return 0;
    for (const auto& e : ctl.entries) {
        if (e.path.empty() && e.kind != lyb::SetupCtlEntry::Kind::SubFolder)
            std::abort();
        if (!e.path.empty() && lyb::ResolveBelow("/dest", e.path).empty())
            std::abort(); // an accepted entry must resolve below the folder
        (void)lyb::EntryFileName(e.path);
    }
    return 0;
}
