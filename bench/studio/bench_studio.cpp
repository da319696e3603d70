// Timings of the Music Studio page and its disk search.
//
//   bench_studio [--files N] [--music M] [--yields on|off|both|none] [--add K] [--items N] [--runs R]
//
//  - The disk search's walk (SearchWalk, the worker of the search dialog)
//    over a tree of N files (default 50,000, 100 to a folder) of which M
//    (default 3,000) are music files and playlists, all folders searched:
//    files per second with the search's yields (20 ms after every 11
//    entries) off and on. The cache is warmed by one walk first.
//  - The page's row rebuild (StudioPage::RebuildRows) for a Studio of
//    --items top-level items (default 10,000: 100 expanded playlists of 10
//    tracks, the rest tracks), a whole structural command around it (move
//    down 1,000 selected rows, without the save), the totals, and, when the
//    GUI is built, the list widget's model reset and layout offscreen.
//  - The search's adding step on the user-interface thread: K (default
//    2,000) real MP3 files with tags added through AddFoundFiles in the
//    dialog's slices of 40, with the player engine measuring each length
//    as in the running program: the longest and the median slice.
// Figures are medians of R runs (default 9).
#include "library/disk_search.h"
#include "library/studio_page.h"
#include "player/player_engine.h"

#ifdef LYB_BENCH_GUI
#include "ui/music_form.h"

#include <QApplication>
#include <QTreeView>
#endif

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <unistd.h>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double Ms(Clock::time_point since) {
    return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

double TimeMs(int runs, const std::function<void()>& f) {
    std::vector<double> t;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        f();
        t.push_back(Ms(start));
    }
    return Median(t);
}

/// N files in folders of 100 (two levels), M of them with music endings.
void MakeTree(const fs::path& root, int files, int music) {
    const char* musicEnds[] = {".mp3", ".mp3", ".mp3", ".aac", ".aac", ".m3u"};
    const char* otherEnds[] = {".txt", ".jpg", ".wav", ".doc", ".Mp3"};
    const int step = music > 0 ? std::max(1, files / music) : files + 1;
    int made = 0, musicMade = 0;
    for (int i = 0; i < files; ++i) {
        const fs::path folder = root / ("d" + std::to_string(i / 2500)) / ("s" + std::to_string(i / 100));
        if (i % 100 == 0)
            fs::create_directories(folder);
        const bool isMusic = musicMade < music && i % step == 0;
        const char* ending = isMusic ? musicEnds[musicMade % 6] : otherEnds[i % 5];
        std::ofstream(folder / ("file" + std::to_string(i) + ending));
        musicMade += isMusic;
        ++made;
    }
    std::printf("tree: %d files (%d music files and playlists) in %d folders\n", made, musicMade,
                (files + 99) / 100 + (files + 2499) / 2500);
}

void BenchWalk(const fs::path& root, int files, const std::string& yields, int runs) {
    auto walk = [&](lyb::SearchTiming timing, int& found) {
        lyb::SearchWalk::Options options;
        options.location = root.string();
        options.subfolders = true;
        options.timing = timing;
        lyb::SearchWalk w(options, nullptr);
        w.Run();
        found = w.Found();
        return w.Processed();
    };
    int found = 0;
    walk({0, 0, 300}, found); // warm the cache
    if (yields == "off" || yields == "both") {
        int processed = 0;
        const double ms = TimeMs(runs, [&] { processed = walk({0, 0, 300}, found); });
        std::printf("search walk, yields off: %d entries, %d found, %.1f ms median of %d = %.0f files/s\n",
                    processed, found, ms, runs, files / (ms / 1000.0));
    }
    if (yields == "on" || yields == "both") {
        int processed = 0;
        const double ms = TimeMs(1, [&] { processed = walk({11, 20, 300}, found); });
        std::printf("search walk, yields on (20 ms / 11 entries): %d entries, %d found, %.1f s = %.0f files/s\n",
                    processed, found, ms / 1000.0, files / (ms / 1000.0));
    }
}

void BenchAdding(const fs::path& root, int count) {
    const fs::path source = root / "source.mp3";
    const std::string cmd = "ffmpeg -nostdin -loglevel error -y -f lavfi -i sine=duration=4 -c:a libmp3lame "
                            "-b:a 128k -id3v2_version 4 -metadata title=Song -metadata artist=Band '" +
                            source.string() + "'";
    if (std::system(cmd.c_str()) != 0) {
        std::printf("adding step: ffmpeg is needed, skipped\n");
        return;
    }
    std::vector<std::string> paths;
    for (int i = 0; i < count; ++i) {
        const fs::path folder = root / "found" / ("a" + std::to_string(i / 100));
        if (i % 100 == 0)
            fs::create_directories(folder);
        paths.push_back((folder / ("song" + std::to_string(i) + ".mp3")).string());
        fs::copy_file(source, paths.back());
    }
    lyb::CPlayerEngine engine; // its exact-length queries, as the program's media reads use them
    lyb::LibraryContext context;
    context.engine = &engine;
    lyb::CMusicDoc doc(context);
    lyb::StudioPage page(doc, "");
    std::vector<double> slices;
    const auto all = Clock::now();
    for (size_t first = 0; first < paths.size(); first += 40) {
        const auto start = Clock::now();
        page.AddFoundFiles(paths, first, 40, {});
        slices.push_back(Ms(start));
    }
    const double total = Ms(all);
    page.FinishAddingFound(0);
    std::printf("adding step: %d files in %.2f s (%.0f files/s); slice of 40: median %.1f ms, longest %.1f ms\n",
                count, total / 1000.0, count / (total / 1000.0), Median(slices),
                *std::max_element(slices.begin(), slices.end()));
}

void FillStudio(lyb::CMusicDoc& doc, int items) {
    lyb::MusicCollection& c = doc.Collection();
    const int playlists = std::min(100, items / 100);
    for (int i = 0; i < items; ++i) {
        const bool isList = i % (items / std::max(playlists, 1)) == 0 && i / (items / std::max(playlists, 1)) < playlists;
        if (isList) {
            auto list = std::make_unique<lyb::M3UPlaylist>();
            list->path = "/music/lists/list" + std::to_string(i) + ".m3u";
            list->DeriveTitle();
            list->expanded = 1;
            for (int j = 0; j < 10; ++j) {
                auto t = std::make_unique<lyb::Track>();
                t->path = "/music/album/track" + std::to_string(j) + ".mp3";
                t->type = lyb::kItemMp3;
                t->size = 4000000;
                t->length = 215;
                t->DeriveTitle();
                list->AppendChild(std::move(t));
            }
            list->RecomputeTotals();
            c.Append(std::move(list));
        } else {
            auto t = std::make_unique<lyb::Track>();
            t->path = "/music/album" + std::to_string(i / 12) + "/track" + std::to_string(i) + ".mp3";
            t->type = lyb::kItemMp3;
            t->size = 3500000 + static_cast<uint32_t>(i);
            t->length = 180 + static_cast<uint32_t>(i % 120);
            t->artist = "Artist " + std::to_string(i % 50);
            t->DeriveTitle();
            c.Append(std::move(t));
        }
    }
}

void BenchRows(int items, int runs, int argc, char** argv) {
    lyb::LibraryContext context;
    lyb::CMusicDoc doc(context);
    FillStudio(doc, items);
    lyb::StudioPage page(doc, ""); // no "data.ms": the save step writes nothing
    page.RebuildRows();
    std::printf("studio: %d top-level items, %d rows\n", items, page.RowCount());
    const double rebuild = TimeMs(runs * 5, [&] { page.RebuildRows(); });
    std::printf("row rebuild (page object): %.2f ms median\n", rebuild);
    const double totals = TimeMs(runs * 5, [&] { page.ShowTotals(); });
    std::printf("totals and selected size: %.2f ms median\n", totals);
    std::vector<int> rows;
    for (int r = 1; r < page.RowCount() && rows.size() < 1000; r += 9)
        rows.push_back(r);
    const double move = TimeMs(runs, [&] {
        page.SetSelectedRows(rows);
        page.MoveDown();
    });
    std::printf("move down 1,000 selected rows (rebuild, selection and play position kept, no save): %.2f ms median\n",
                move);
#ifdef LYB_BENCH_GUI
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    lyb::CStudioListModel model(page);
    QTreeView view;
    view.setUniformRowHeights(true);
    view.setRootIsDecorated(false);
    view.setModel(&model);
    view.resize(900, 600);
    view.show();
    QApplication::processEvents();
    const double gui = TimeMs(runs, [&] {
        model.ResetRows();
        view.doItemsLayout();
        view.viewport()->repaint();
    });
    std::printf("list widget: model reset, layout and paint offscreen: %.2f ms median\n", gui);
#else
    (void)argc;
    (void)argv;
#endif
}

} // namespace

int main(int argc, char** argv) {
    int files = 50000, music = 3000, items = 10000, runs = 9, add = 2000;
    std::string yields = "both";
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto next = [&]() -> const char* { return i + 1 < argc ? argv[++i] : ""; };
        if (a == "--files")
            files = std::atoi(next());
        else if (a == "--music")
            music = std::atoi(next());
        else if (a == "--yields")
            yields = next();
        else if (a == "--add")
            add = std::atoi(next());
        else if (a == "--items")
            items = std::atoi(next());
        else if (a == "--runs")
            runs = std::max(1, std::atoi(next()));
        else {
            std::fprintf(stderr, "usage: bench_studio [--files N] [--music M] [--yields on|off|both|none] "
                                 "[--add K] [--items N] [--runs R]\n");
            return 2;
        }
    }
    std::string pattern = (fs::temp_directory_path() / "lyb-bench-studio-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        return 1;
    const fs::path root = pattern;
    if (yields != "none") {
        const auto made = Clock::now();
        MakeTree(root / "tree", files, music);
        std::printf("made in %.1f s\n", Ms(made) / 1000.0);
        BenchWalk(root / "tree", files, yields, runs);
    }
    if (add > 0)
        BenchAdding(root, add);
    fs::remove_all(root);
    BenchRows(items, runs, argc, argv);
    return 0;
}
