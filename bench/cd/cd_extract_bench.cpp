// Extraction throughput from the virtual drive, both engines: x real time and
// CPU seconds per minute of audio. Not a test; run by hand:
//   cd_extract_bench [minutes]
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "cd/aspi_extraction.h"
#include "cd/cd_manager.h"
#include "cd/device_ioctl.h"
#include "outside/aspi/aspi_host.h"
#include "platform/cdrom/virtual_drive.h"

namespace {

aspi::AspiHost* g_host = nullptr;
aspi::DWORD Send(void* srb) { return g_host->SendCommand(srb); }
aspi::DWORD Support() { return g_host->SupportInfo(); }

double CpuSeconds() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

class NullSink final : public lyb::CExtractionSink {
public:
    int PrepareTrackFile(int, std::string& path) override {
        path = "/dev/null";
        return 0;
    }
    bool FeedEncoder(const std::uint8_t*, std::size_t length, bool) override {
        bytes += length;
        return true;
    }
    bool CloseTrack(bool) override { return true; }
    std::size_t bytes = 0;
};

bool IoctlCallback(const std::uint8_t*, long length, void* user) {
    if (length > 0) *static_cast<std::size_t*>(user) += std::size_t(length);
    return true;
}

void Report(const char* name, double audioSeconds, double wall, double cpu) {
    std::printf("%-34s %7.1f x real time   %6.3f CPU s per minute of audio\n", name, audioSeconds / wall,
                cpu / (audioSeconds / 60.0));
}

} // namespace

int main(int argc, char** argv) {
    double minutes = argc > 1 ? std::atof(argv[1]) : 5.0;
    auto frames = std::uint32_t(minutes * 60 * 75);
    auto dir = std::filesystem::temp_directory_path() / ("lyb_cd_bench_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    {
        std::ofstream bin(dir / "b.bin", std::ios::binary);
        std::vector<char> frame(2352);
        for (std::uint32_t f = 0; f < frames; ++f) {
            for (std::size_t i = 0; i < frame.size(); ++i) frame[i] = char(f + i);
            bin.write(frame.data(), std::streamsize(frame.size()));
        }
        std::ofstream(dir / "b.cue") << "FILE \"b.bin\" BINARY\n TRACK 01 AUDIO\n  INDEX 01 00:00:00\n";
    }
    double audio = frames / 75.0;
    std::string error;
    auto drive = lyb::VirtualDrive::Load((dir / "b.cue").string(), {}, error);
    if (!drive) return std::fprintf(stderr, "%s\n", error.c_str()), 1;

    {
        aspi::AspiHost host({"BENCH"}, {aspi::AspiDevice{0, 0, 0, drive}});
        g_host = &host;
        lyb::CAspiManager aspiManager;
        aspiManager.SetDriveLetterSearch([](const lyb::AspiDeviceEntry&) { return 'A'; });
        lyb::AspiEntryPoints e{Send, Support, nullptr, aspi::AspiHost::GetBuffer, aspi::AspiHost::FreeBuffer};
        aspiManager.LoadAspiEntryPoints(nullptr, e, lyb::SystemVersion{lyb::OsLine::Consumer, 0x0400});
        aspiManager.ScanHostAdapters();
        aspiManager.ReadToc(0);
        NullSink sink;
        lyb::CAspiExtraction engine(aspiManager, sink, nullptr, nullptr);
        double c0 = CpuSeconds();
        auto t0 = std::chrono::steady_clock::now();
        engine.StartAspiExtraction(lyb::AspiRipJob{0, {1}, frames});
        engine.Wait();
        double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        Report("ASPI engine (27 frames/command)", audio, wall, CpuSeconds() - c0);
        aspiManager.UnloadAspi();
    }
    ::setenv("LYB30_VIRTUAL_CD", (dir / "b.cue").c_str(), 1);
    for (int poll : {100, 0}) {
        lyb::CCDManager manager(lyb::SystemVersion{lyb::OsLine::NT, 0x0501});
        auto& io = manager.DeviceIoctl();
        io.SetWaits(std::chrono::milliseconds(2000), std::chrono::milliseconds(poll));
        std::size_t bytes = 0;
        double c0 = CpuSeconds();
        auto t0 = std::chrono::steady_clock::now();
        io.StartIoctlExtraction(IoctlCallback, 0, 1, lyb::WaveFormat{}, &bytes);
        io.WaitFinished(std::chrono::hours(1));
        double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        Report(poll ? "device controls (100 ms stop polls)" : "device controls (no stop-poll wait)", audio, wall,
               CpuSeconds() - c0);
    }
    std::filesystem::remove_all(dir);
    return 0;
}
