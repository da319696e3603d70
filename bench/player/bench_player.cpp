// Timings of the player:
//  - from Play to the first audio buffer at the sink, for an MP3 file
//    (MediaPlayer's graph) and an AAC file (the same graph inside libaac.so),
//    and the whole Open + Play of the engine's two players;
//  - the exact-length probes over N files (files per second), beside the
//    decoder's own estimate at preroll (speed and error) for a sample.
// The sink is a null sink keeping real time ("fakesink sync=true") unless
// LYB30_AUDIO_SINK names another. Source files are made with ffmpeg (4-minute
// stereo songs at 128 kbit/s); the N probe files are hard links to them, so
// the figures are for a warm cache.
#include "platform/media/exact_length.h"
#include "platform/media/media_graph.h"
#include "player/lse_player.h"
#include "player/media_player.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double Ms(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double, std::milli>(b - a).count(); }

struct Stats {
    std::vector<double> v;
    void Add(double x) { v.push_back(x); }
    void Print(const char* what) {
        std::sort(v.begin(), v.end());
        if (v.empty())
            return;
        std::printf("%-44s min %7.2f  median %7.2f  max %7.2f ms  (n=%zu)\n", what, v.front(), v[v.size() / 2],
                    v.back(), v.size());
    }
};

bool Make(const std::string& args, const fs::path& out) {
    const std::string cmd = "ffmpeg -nostdin -loglevel error -y " + args + " '" + out.string() + "'";
    return std::system(cmd.c_str()) == 0;
}

// Play -> first buffer at the sink, through a graph as the players build it.
double FirstBuffer(const std::string& path) {
    auto graph = lyb::CreateMediaGraph();
    std::atomic<bool> seen{false};
    Clock::time_point at{};
    graph->OnFirstBuffer([&] {
        at = Clock::now();
        seen = true;
    });
    const auto start = Clock::now();
    if (!graph->RenderFile(path) || graph->Run() < 0)
        return -1;
    while (!seen)
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    const double ms = Ms(start, at);
    graph->Stop();
    return ms;
}

template <typename P> double OpenAndPlay(P& player, const std::string& path) {
    const auto start = Clock::now();
    if (player.Open(path, 0) != 0 || player.Play() != 0)
        return -1;
    const double ms = Ms(start, Clock::now());
    player.Stop();
    return ms;
}

} // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 1000;
    const int runs = 20;
    ::setenv("LYB30_AUDIO_SINK", "fakesink sync=true", 0);
    std::string pattern = (fs::temp_directory_path() / "lyb-player-bench-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        return 1;
    const fs::path root = pattern;
    std::vector<fs::path> mp3, aac;
    for (int i = 0; i < 5; ++i) {
        const std::string tone = "-f lavfi -i sine=frequency=" + std::to_string(220 + 110 * i) +
                                 ":duration=240 -ac 2 ";
        mp3.push_back(root / ("s" + std::to_string(i) + ".mp3"));
        aac.push_back(root / ("s" + std::to_string(i) + ".aac"));
        // Two CBR files with their header, three VBR files without one.
        const std::string lame = i < 2 ? "-c:a libmp3lame -b:a 128k" : "-c:a libmp3lame -q:a 4 -write_xing 0";
        if (!Make(tone + lame, mp3.back()) || !Make(tone + "-c:a aac -b:a 128k -f adts", aac.back())) {
            std::fprintf(stderr, "ffmpeg failed\n");
            return 1;
        }
    }
    std::printf("sink: %s\n", lyb::AudioSinkDescription().c_str());

    // --- Start of playback ---------------------------------------------------
    Stats gMp3, gAac, pMp3, pAac;
    lyb::MediaPlayer media;
    lyb::LSEPlayer lse(LYB_AAC_PLUGIN_DIR);
    if (media.Init() != 0 || lse.Init() != 0) {
        std::fprintf(stderr, "players do not start\n");
        return 1;
    }
    FirstBuffer(mp3[0].string()); // the plug-in registry is loaded once
    for (int r = 0; r < runs; ++r) {
        gMp3.Add(FirstBuffer(mp3[size_t(r) % mp3.size()].string()));
        gAac.Add(FirstBuffer(aac[size_t(r) % aac.size()].string()));
        pMp3.Add(OpenAndPlay(media, mp3[size_t(r) % mp3.size()].string()));
        pAac.Add(OpenAndPlay(lse, aac[size_t(r) % aac.size()].string()));
    }
    gMp3.Print("MP3: Play to first buffer at the sink");
    gAac.Print("AAC: Play to first buffer at the sink");
    pMp3.Print("MP3: MediaPlayer Open+Play (incl. exact scan)");
    pAac.Print("AAC: LSEPlayer Open+Play (libaac.so)");
    lse.ReleaseBacking();

    // --- Exact lengths of N files ------------------------------------------
    std::vector<fs::path> files;
    for (int i = 0; i < count; ++i) {
        const bool isMp3 = i % 2 == 0;
        const fs::path& src = isMp3 ? mp3[size_t(i / 2) % mp3.size()] : aac[size_t(i / 2) % aac.size()];
        files.push_back(root / ("f" + std::to_string(i) + (isMp3 ? ".mp3" : ".aac")));
        fs::create_hard_link(src, files.back());
    }
    for (const auto& f : files) // warm the cache once
        std::system(("cat '" + f.string() + "' > /dev/null").c_str());
    int nMp3 = 0, nAac = 0, failed = 0;
    double tMp3 = 0, tAac = 0;
    for (const auto& f : files) {
        const bool isMp3 = f.extension() == ".mp3";
        const auto start = Clock::now();
        double v = 0;
        const bool ok = isMp3 ? lyb::Mp3ExactSeconds(f.string(), v) : lyb::AdtsExactMilliseconds(f.string(), v);
        const double ms = Ms(start, Clock::now());
        failed += ok ? 0 : 1;
        (isMp3 ? tMp3 : tAac) += ms;
        (isMp3 ? nMp3 : nAac) += 1;
    }
    std::printf("exact length, %d MP3 files (libmpg123 scan): %8.1f files/s (%.2f ms each)\n", nMp3,
                nMp3 / (tMp3 / 1000), tMp3 / nMp3);
    std::printf("exact length, %d AAC files (ADTS count):     %8.1f files/s (%.2f ms each)\n", nAac,
                nAac / (tAac / 1000), tAac / nAac);
    std::printf("exact length, all %d files:                  %8.1f files/s, %d failed\n", count,
                count / ((tMp3 + tAac) / 1000), failed);

    // --- The decoder's estimate at preroll, for comparison --------------------
    for (const auto* set : {&mp3, &aac}) {
        double total = 0, worst = 0;
        int known = 0;
        for (const auto& f : *set) {
            auto graph = lyb::CreateMediaGraph();
            const auto start = Clock::now();
            double estimate = -1;
            if (graph->RenderFile(f.string()) && graph->Duration(estimate))
                ++known;
            total += Ms(start, Clock::now());
            double exact = 0;
            if (set == &mp3)
                lyb::Mp3ExactSeconds(f.string(), exact);
            else if (lyb::AdtsExactMilliseconds(f.string(), exact))
                exact /= 1000;
            if (estimate >= 0 && exact > 0)
                worst = std::max(worst, std::fabs(estimate - exact) / exact * 100);
        }
        std::printf("%s estimate at preroll: %6.1f files/s, known for %d of %zu, worst error %.2f %%\n",
                    set == &mp3 ? "MP3" : "AAC", set->size() / (total / 1000), known, set->size(), worst);
    }
    fs::remove_all(root);
    return 0;
}
