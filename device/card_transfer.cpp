#include "device/card_transfer.h"

#include "device/transfer_session.h"
#include "library/media_info.h"

#include <atomic>
#include <csignal>

namespace lyb {

namespace {

std::atomic<bool> g_interrupted{false};

extern "C" void OnInterrupt(int) {
    g_interrupted.store(true);
}

std::string BaseName(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

std::vector<MusicItem> TransferRecords(const std::vector<std::string>& paths, const LibraryContext& context,
                                       std::vector<std::string>& refused) {
    std::vector<MusicItem> records;
    for (const std::string& path : paths) {
        if (IsM3UPath(path)) {
            M3UPlaylist playlist;
            playlist.Load(path, context);
            if (playlist.ChildCount() == 0)
                refused.push_back(path);
            for (const MusicItem* child : playlist.Children()) {
                records.emplace_back();
                records.back().CopyRecordFrom(*child);
            }
            continue;
        }
        MusicItem item;
        if (GetMediaInfo(path, item, context) != 0 || !context.formats.Accepts(item.type)) {
            refused.push_back(path);
            continue;
        }
        item.DeriveTitle();
        records.push_back(std::move(item));
    }
    return records;
}

int RunTerminalTransfer(TransferServices services, std::vector<MusicItem> items, std::FILE* out, bool terminal,
                        std::FILE* result) {
    TransferSession* session = nullptr;
    int shownItem = -1;
    int lastPercent = -1;
    auto draw = [&] {
        const int item = session->CurrentItem();
        if (item < 0)
            return;
        const ProgressBar& total = session->TotalBar();
        const int percent = total.upper ? static_cast<int>(total.position * 100 / total.upper) : 0;
        const std::string name = BaseName(session->SourceText());
        if (terminal) {
            if (percent == lastPercent && item == shownItem)
                return;
            std::fprintf(out, "\r\033[K%3d %%  %d of %zu  %s", percent, item + 1, session->ItemCount(), name.c_str());
            std::fflush(out);
        } else if (item != shownItem) {
            std::fprintf(out, "%d of %zu  %s\n", item + 1, session->ItemCount(), name.c_str());
        }
        shownItem = item;
        lastPercent = percent;
    };
    QueueMessageTarget dialog([&](const Message& m) -> std::intptr_t {
        session->OnMessage(m);
        draw();
        return 0;
    });
    services.dialog = &dialog;
    services.page = nullptr;
    TransferSession run(services, std::move(items));
    session = &run;
    const int start = run.Start();
    if (start != 0)
        return 2;

    g_interrupted.store(false);
    auto previous = std::signal(SIGINT, OnInterrupt);
    bool cancelSent = false;
    while (!run.WorkerFinished() || dialog.Pump() > 0) {
        dialog.PumpFor(50);
        if (g_interrupted.load() && !cancelSent)
            cancelSent = run.Cancel() || run.WorkerFinished();
    }
    run.Join();
    dialog.Pump();
    std::signal(SIGINT, previous);
    if (terminal && shownItem >= 0)
        std::fputs("\r\033[K", out);
    std::fflush(out);

    const TransferResultTexts texts = run.ResultTexts();
    if (!texts.failedPaths.empty()) {
        std::fprintf(result, "%s:\n", texts.heading.c_str());
        for (const std::string& path : texts.failedPaths)
            std::fprintf(result, "  %s\n", path.c_str());
    }
    std::fprintf(result, "%s\n", texts.summary.c_str());
    std::fflush(result);
    return run.Outcome().failed == 0 ? 0 : 1;
}

} // namespace lyb
