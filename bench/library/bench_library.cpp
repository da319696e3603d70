// Timings of the music library on many files:
//  - ScanFolder over N tagged MP3 files (warm cache, no length queries);
//  - SaveStudio and LoadStudio of a "data.ms" with N entries.
// The files are copies of one real MP3 (made with ffmpeg/libmp3lame) with
// a version-2.4 tag of their own, in a temporary folder removed at the end.
#include "library/id3v2_tag.h"
#include "library/music_doc.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <unistd.h>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

static double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 10000;
    std::string pattern = (fs::temp_directory_path() / "lyb-bench-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        return 1;
    const fs::path root = pattern;
    const fs::path source = root / "source.mp3";
    const std::string cmd =
        "ffmpeg -nostdin -loglevel error -y -f lavfi -i sine=duration=2 -c:a libmp3lame "
        "-b:a 128k -id3v2_version 0 '" +
        source.string() + "'";
    if (std::system(cmd.c_str()) != 0) {
        std::fprintf(stderr, "ffmpeg failed\n");
        return 1;
    }
    std::string audio;
    {
        std::ifstream in(source, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        audio = ss.str();
    }
    fs::remove(source);

    const fs::path music = root / "music";
    auto made = Clock::now();
    for (int i = 0; i < count; ++i) {
        const fs::path folder = music / ("album" + std::to_string(i / 100));
        if (i % 100 == 0)
            fs::create_directories(folder);
        lyb::ID3v2Tag tag;
        tag.SetTitleAndArtist("Title number " + std::to_string(i),
                              "Artist " + std::to_string(i % 37));
        tag.SetLength(120 + i % 200);
        tag.RenderTag();
        std::ofstream out(folder / ("track" + std::to_string(i) + ".mp3"), std::ios::binary);
        out << tag.Rendered() << audio;
    }
    std::printf("made %d files of %zu bytes in %.2f s\n", count, audio.size() + 1034,
                Seconds(made));

    lyb::LibraryContext context; // no engine: length probes are excluded
    {
        lyb::MusicCollection warm;
        warm.ScanFolder(music.string(), context);
    }
    lyb::CMusicDoc doc(context);
    auto scan = Clock::now();
    doc.Collection().ScanFolder(music.string(), context);
    const double scanSeconds = Seconds(scan);
    std::printf("ScanFolder: %zu items in %.3f s (%.1f us per file)\n", doc.Collection().Count(),
                scanSeconds, scanSeconds * 1e6 / count);

    const std::string studio = (root / "data.ms").string();
    auto save = Clock::now();
    doc.SaveStudio(studio);
    std::printf("SaveStudio: %zu entries in %.3f s\n", doc.Collection().Count(), Seconds(save));

    lyb::CMusicDoc loaded(context);
    auto load = Clock::now();
    size_t n = loaded.LoadStudio(studio);
    std::printf("LoadStudio: %zu entries in %.3f s (each entry re-reads its file's tag)\n", n,
                Seconds(load));

    std::error_code ec;
    fs::remove_all(root, ec);
    return 0;
}
