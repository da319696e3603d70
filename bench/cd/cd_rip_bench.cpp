// A whole rip through the CD Player page's state, the ripping pipeline and
// the real encoder: a 10-minute virtual disc at 128000 bit/s through either
// engine. Prints wall time, the process's CPU time, the CPU time spent in
// the encoder's calls (Open, Encode, Close) and the share spent outside it.
// Not a test; run by hand:
//   cd_rip_bench [minutes] [ioctl|aspi|both]
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "cd/aspi_manager.h"
#include "cd/cd_doc.h"
#include "cd/cd_manager.h"
#include "cd/device_ioctl.h"
#include "cd/rip_questions.h"
#include "core/include/tessel/aac_interface.h"
#include "outside/aspi/aspi_host.h"
#include "platform/cdaudio/cd_audio.h"
#include "platform/cdrom/virtual_drive.h"
#include "platform/shared_library.h"

namespace {

aspi::AspiHost* g_host = nullptr;
aspi::DWORD Send(void* srb) { return g_host->SendCommand(srb); }
aspi::DWORD Support() { return g_host->SupportInfo(); }

double ProcessCpu() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double ThreadCpu() {
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// The encoder with a stopwatch: CPU time of the calling thread inside each call.
class TimedEncoder final : public AACInterface {
public:
    explicit TimedEncoder(AACInterface* inner) : m_inner(inner) {}
    double seconds = 0;
    int ConvertPcm(float* d, int n, const unsigned char* s, int b, int w) override {
        return m_inner->ConvertPcm(d, n, s, b, w);
    }
    int LseCommand(int a, int b, int c) override { return m_inner->LseCommand(a, b, c); }
    int LseAttach(int a, int b) override { return m_inner->LseAttach(a, b); }
    void Close() override {
        double t = ThreadCpu();
        m_inner->Close();
        seconds += ThreadCpu() - t;
    }
    int Encode(const unsigned char* pcm, int n) override {
        double t = ThreadCpu();
        int r = m_inner->Encode(pcm, n);
        seconds += ThreadCpu() - t;
        return r;
    }
    int Open(const void* f, const char* p, const void* i, int l, int v, int b, const unsigned char* x, int xl,
             FILE* file) override {
        double t = ThreadCpu();
        int r = m_inner->Open(f, p, i, l, v, b, x, xl, file);
        seconds += ThreadCpu() - t;
        return r;
    }
    int Reserved(int a, int b, int c, int d, int e, int f, int g, int h, int i, int j, int k) override {
        return m_inner->Reserved(a, b, c, d, e, f, g, h, i, j, k);
    }
    int Init() override { return m_inner->Init(); }
    int Shutdown() override { return m_inner->Shutdown(); }

private:
    AACInterface* m_inner;
};

class NoQuestions final : public lyb::RipQuestions {
public:
    bool AskOverwrite(const std::string&, const std::string&) override { return true; }
    std::optional<std::string> AskSavePath(const lyb::SaveFileRequest&) override { return std::nullopt; }
    bool AskContinue(const std::string&) override { return false; }
    void TellNoSpace(const std::string&) override {}
};

// Five tracks of chords that move and a little noise: music enough for the
// encoder's model to work as it does on records.
std::string MakeDisc(const std::filesystem::path& dir, double minutes) {
    const int tracks = 5;
    const auto framesPerTrack = std::uint32_t(minutes * 60 * 75 / tracks);
    std::ofstream bin(dir / "disc.bin", std::ios::binary);
    std::ofstream cue(dir / "disc.cue");
    cue << "FILE \"disc.bin\" BINARY\n";
    std::uint32_t noise = 1;
    std::vector<std::int16_t> frame(588 * 2);
    for (int t = 0; t < tracks; ++t) {
        std::uint32_t at = std::uint32_t(t) * framesPerTrack;
        char line[80];
        std::snprintf(line, sizeof line, " TRACK %02d AUDIO\n  INDEX 01 %02u:%02u:%02u\n", t + 1, at / 4500,
                      at / 75 % 60, at % 75);
        cue << line;
        // Each partial turns by a fixed angle per sample (a phasor), so the
        // disc is made quickly; the chord changes every two seconds.
        double re[2][4], im[2][4], cr[2][4], ci[2][4];
        const double ratios[4] = {1.0, 1.25, 1.5, 2.0};
        std::uint32_t sample = 0;
        for (std::uint32_t f = 0; f < framesPerTrack; ++f) {
            for (int i = 0; i < 588; ++i, ++sample) {
                if (sample % (2 * 44100) == 0) {
                    double root = 110.0 * std::pow(2.0, double((int(sample / 88200) + t) % 12) / 12.0);
                    for (int ch = 0; ch < 2; ++ch)
                        for (int k = 0; k < 4; ++k) {
                            double w = 2 * M_PI * root * ratios[k] * (ch ? 1.003 : 1.0) / 44100.0;
                            re[ch][k] = 1, im[ch][k] = 0, cr[ch][k] = std::cos(w), ci[ch][k] = std::sin(w);
                        }
                }
                for (int ch = 0; ch < 2; ++ch) {
                    double v = 0;
                    for (int k = 0; k < 4; ++k) {
                        double r = re[ch][k] * cr[ch][k] - im[ch][k] * ci[ch][k];
                        im[ch][k] = re[ch][k] * ci[ch][k] + im[ch][k] * cr[ch][k];
                        re[ch][k] = r;
                        v += im[ch][k];
                    }
                    noise = noise * 1664525u + 1013904223u;
                    v = v * 5000 + double(std::int32_t(noise) >> 20);
                    frame[std::size_t(i * 2 + ch)] = std::int16_t(std::lround(std::max(-32768.0, std::min(32767.0, v))));
                }
            }
            bin.write(reinterpret_cast<const char*>(frame.data()), std::streamsize(frame.size() * 2));
        }
    }
    return (dir / "disc.cue").string();
}

void Rip(const char* name, bool aspiEngine, const std::string& node, std::shared_ptr<lyb::VirtualDrive> drive,
         AACInterface* tessel, const std::filesystem::path& out, double audioSeconds) {
    lyb::CCDManager manager(lyb::SystemVersion{aspiEngine ? lyb::OsLine::Consumer : lyb::OsLine::NT, 0x0400},
                            std::vector<std::string>{node});
    lyb::CAspiManager aspiManager;
    std::unique_ptr<aspi::AspiHost> host;
    if (aspiEngine) {
        host = std::make_unique<aspi::AspiHost>(std::vector<std::string>{"BENCH"},
                                                std::vector<aspi::AspiDevice>{aspi::AspiDevice{0, 0, 0, drive}});
        g_host = host.get();
        aspiManager.SetDriveLetterSearch([](const lyb::AspiDeviceEntry&) { return 'A'; });
        lyb::AspiEntryPoints e{Send, Support, nullptr, aspi::AspiHost::GetBuffer, aspi::AspiHost::FreeBuffer};
        aspiManager.LoadAspiEntryPoints(nullptr, e, lyb::SystemVersion{lyb::OsLine::Consumer, 0x0400});
        manager.StartupCheckLoaded(aspiManager, aspiManager.IsInitialised());
    }
    TimedEncoder timed(tessel);
    NoQuestions questions;
    lyb::CdPageServices s;
    s.manager = &manager;
    s.aspi = aspiEngine ? &aspiManager : nullptr;
    s.encoder = &timed;
    s.questions = &questions;
    s.ripSettings = [&out] {
        lyb::RipSettings r;
        r.musicFolder = out.string();
        r.bitrate = 128000;
        return r;
    };
    s.makeAudio = [] {
        return std::make_unique<lyb::CdAudio>(lyb::CdAudio::DeviceOpener{},
                                              [](const std::string&) { return lyb::MakeClockedOutput(); });
    };
    lyb::CCDDoc doc(s);
    lyb::QueueMessageTarget owner([&doc](const lyb::Message& m) { return doc.OnMessage(m); });
    doc.SetOwner(&owner);
    doc.Start(false, 0, -1);
    doc.SelectAll();
    const double cpu0 = ProcessCpu();
    const auto t0 = std::chrono::steady_clock::now();
    doc.SaveTracks();
    while (doc.Saving()) owner.PumpFor(50);
    owner.Pump();
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const double cpu = ProcessCpu() - cpu0;
    std::printf("%-16s %6.0f s of audio  wall %6.2f s (%5.1f x real time)  CPU %6.2f s  in tessel %6.2f s  "
                "outside tessel %5.2f %%%s\n",
                name, audioSeconds, wall, audioSeconds / wall, cpu, timed.seconds,
                100.0 * (cpu - timed.seconds) / cpu, doc.SavingFailed() ? "  (a track FAILED)" : "");
    if (aspiEngine) aspiManager.UnloadAspi();
}

} // namespace

int main(int argc, char** argv) {
    const double minutes = argc > 1 ? std::atof(argv[1]) : 10.0;
    const std::string which = argc > 2 ? argv[2] : "both";
    auto dir = std::filesystem::temp_directory_path() / ("lyb_rip_bench_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir / "out");
    std::string error;
    auto drive = lyb::VirtualDrive::Load(MakeDisc(dir, minutes), {}, error);
    if (!drive) return std::fprintf(stderr, "%s\n", error.c_str()), 1;
    const std::string node = "virtual:bench";
    lyb::RegisterVirtualDrive(node, drive);
    lyb::SharedLibrary lib;
    if (!lib.Open(lyb::ProgramFolder() + "/libtessel.so")) return std::fprintf(stderr, "no libtessel.so\n"), 1;
    auto create = reinterpret_cast<CreateAACInterfaceFn>(lib.Symbol("CreateAACInterface"));
    auto release = reinterpret_cast<ReleaseAACInterfaceFn>(lib.Symbol("ReleaseAACInterface"));
    AACInterface* tessel = nullptr;
    if (!create || !release || create(&tessel) != 0) return std::fprintf(stderr, "no encoder\n"), 1;
    const double audio = double(drive->Sheet().leadOutLba) / 75.0;
    if (which == "both" || which == "ioctl") Rip("device controls", false, node, drive, tessel, dir / "out", audio);
    if (which == "both" || which == "aspi") Rip("ASPI", true, node, drive, tessel, dir / "out", audio);
    release(&tessel);
    lyb::RegisterVirtualDrive(node, nullptr);
    std::filesystem::remove_all(dir);
    return 0;
}
