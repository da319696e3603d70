// Fuzz target: the CUE sheet parser and layout with any text.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/cdrom/cue_sheet.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    lyb::CueSheet sheet;
    std::string error;
    if (lyb::ParseCueSheet(text, "folder", sheet, error)) {
        std::uint32_t frames = 1000;
        for (auto& f : sheet.files) f.frames = frames += 997;
        lyb::LayOutCueSheet(sheet, error);
    }
    return 0;
}
