// Any bytes as a command line (NUL-separated arguments): parsing, the CD
// request and the track number never crash.
#include "app/command_line.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace {
bool AnyCd(const std::string& root) { return root.size() % 2 == 0; }
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> args;
    std::string cur;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            args.push_back(cur);
            cur.clear();
        } else {
            cur.push_back(static_cast<char>(data[i]));
        }
    }
    args.push_back(cur);
    const lyb::CommandLineInfo info = lyb::ParseCommandLine(args);
    const lyb::CdRequest r = lyb::ParseCdRequest(info.fileName, {"/dev/sr0", "/dev/sr1"}, &AnyCd);
    if (r.drive < -1 || r.drive > 1)
        __builtin_trap();
    (void)lyb::TrackIndexFromName(info.fileName);
    return 0;
}
