// The copy of one file to the card as the transfer worker does it: blocks of
// 4096 bytes through a staged file (created exclusively, renamed into place
// at the end), each block followed by the 20 ms pause, against the same
// loop without the pause. Both copy files of random bytes with an ID3v1
// tail, in a folder on the disk standing in for the card; the result is the
// rate in MB/s (10^6 bytes a second) from the first block to the file in place.
#include "device/transfer.h"
#include "platform/staged_file.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include <unistd.h>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

bool MakeSource(const fs::path& path, std::size_t bytes) {
    std::mt19937 random(1234);
    std::string data(bytes, '\0');
    for (char& c : data)
        c = static_cast<char>(random());
    data.replace(bytes - 128, 3, "TAG");
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    const bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
    return std::fclose(f) == 0 && ok;
}

// Seconds for one copy; -1 when it failed.
double CopyOnce(const fs::path& source, const fs::path& target, int pauseMs) {
    std::FILE* in = std::fopen(source.c_str(), "rb");
    if (!in)
        return -1;
    lyb::StagedFile out;
    if (!out.Create(target.string())) {
        std::fclose(in);
        return -1;
    }
    lyb::CopyHooks hooks;
    hooks.write = [&out](const void* data, std::size_t n) { return out.Write(data, n); };
    hooks.cancelled = [] { return false; };
    hooks.progress = [](std::uint64_t) {};
    hooks.pauseMs = pauseMs;
    const std::string tag(1024, '\0');
    const auto start = Clock::now();
    const int result = lyb::CopyToTarget(in, tag, 0, hooks);
    const bool placed = result == 0 && out.Commit();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::fclose(in);
    if (!placed)
        return -1;
    return seconds;
}

} // namespace

int main(int argc, char** argv) {
    const double fastMB = argc > 1 ? std::atof(argv[1]) : 64;
    const double slowMB = argc > 2 ? std::atof(argv[2]) : 1;
    fs::path base = argc > 3 ? fs::path(argv[3]) : fs::temp_directory_path();
    std::string pattern = (base / "lyb-transfer-bench-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        return 1;
    const fs::path root = pattern;
    const auto fastBytes = static_cast<std::size_t>(fastMB * 1e6);
    const auto slowBytes = static_cast<std::size_t>(slowMB * 1e6);
    if (!MakeSource(root / "fast.mp3", fastBytes) || !MakeSource(root / "slow.mp3", slowBytes)) {
        std::fprintf(stderr, "cannot write the sources in %s\n", root.c_str());
        return 1;
    }
    std::printf("copy loop, 4096-byte blocks, staged file in %s\n", root.c_str());
    for (int run = 0; run < 3; ++run) {
        const double fast = CopyOnce(root / "fast.mp3", root / "card-fast.mp3", 0);
        const double slow = CopyOnce(root / "slow.mp3", root / "card-slow.mp3", lyb::kTransferPauseMs);
        if (fast < 0 || slow < 0) {
            std::fprintf(stderr, "copy failed\n");
            return 1;
        }
        std::printf("run %d: without pause %7.1f MB/s (%.1f MB in %.3f s)   with 20 ms pause %6.3f MB/s (%.1f MB in %.2f s)\n",
                    run + 1, fastBytes / fast / 1e6, fastBytes / 1e6, fast, slowBytes / slow / 1e6, slowBytes / 1e6, slow);
        fs::remove(root / "card-fast.mp3");
        fs::remove(root / "card-slow.mp3");
    }
    std::printf("the pause bounds the rate at 4096 B / 20 ms = %.3f MB/s\n", 4096 / 0.020 / 1e6);
    fs::remove_all(root);
    return 0;
}
