// lyb30-rip: rips audio CD tracks to tagged AAC files from a terminal, over
// the CD Player page's own state and ripping pipeline (so it writes exactly
// what the program would write, and nothing else: no settings).
//
//   lyb30-rip --list [--drive N]
//   lyb30-rip [--drive N] [--output DIR] [--bitrate BPS] [--tracks 1,3-5]
//             [--artist TEXT] [--album TEXT] [--title N=TEXT]... [--overwrite]
//
// Defaults come from the program's settings ("Default Music Folder",
// "Bitrate"). Existing files are skipped unless --overwrite. Exit status:
// 0 every chosen track saved (or skipped as existing), 1 a track failed or
// the rip could not run, 2 bad usage.
#include "app/components.h"
#include "app/settings.h"
#include "cd/aspi_manager.h"
#include "cd/cd_doc.h"
#include "cd/cd_manager.h"
#include "cd/cd_state.h"
#include "cd/rip_questions.h"
#include "platform/linux/file_registry.h"
#include "platform/prompt.h"
#include "platform/registry.h"
#include "platform/shared_library.h"
#include "platform/system_version.h"
#include "platform/trace.h"

#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

using namespace lyb;

namespace {

constexpr const char* kUsage =
    "usage: lyb30-rip [options]\n"
    "  -l, --list            list the CD drives and the disc's tracks\n"
    "  -d, --drive N         drive number from --list (default 1)\n"
    "  -o, --output DIR      folder for the files (default: the music folder setting)\n"
    "  -b, --bitrate BPS     bit rate, e.g. 128000 (default: the Bitrate setting; 0 = 128000)\n"
    "  -t, --tracks LIST     tracks to rip, e.g. 1,3-5 (default: every audio track)\n"
    "  -a, --artist TEXT     artist of the disc\n"
    "  -A, --album TEXT      album of the disc\n"
    "      --title N=TEXT    title of track N (may repeat)\n"
    "      --overwrite       overwrite existing files (default: skip them)\n"
    "      --aspi            rip through the ASPI component (libwnaspi32.so)\n"
    "      --lse             write Lockstream files (needs liblsedll.so)\n"
    "  -q, --quiet           no progress\n"
    "  -h, --help\n";

std::atomic<bool> g_interrupted{false};

void OnSignal(int) { g_interrupted = true; }

struct Options {
    bool list = false, overwrite = false, aspi = false, lse = false, quiet = false;
    int drive = 1;
    std::string output, artist, album, tracks;
    bool haveBitrate = false, haveArtist = false, haveAlbum = false;
    int bitrate = 0;
    std::map<int, std::string> titles;
};

bool ParseInt(const char* s, int& out) {
    char* end = nullptr;
    long v = std::strtol(s, &end, 10);
    if (!*s || *end || v < 0 || v > 100000000) return false;
    out = int(v);
    return true;
}

int Usage(const std::string& why) {
    std::fprintf(stderr, "lyb30-rip: %s\n%s", why.c_str(), kUsage);
    return 2;
}

// "1,3-5" -> {1, 3, 4, 5}; false on anything else.
bool ParseTrackList(const std::string& text, std::set<int>& out) {
    std::size_t at = 0;
    while (at <= text.size()) {
        std::size_t comma = text.find(',', at);
        std::string part = text.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
        int a = 0, b = 0;
        std::size_t dash = part.find('-');
        if (dash == std::string::npos) {
            if (!ParseInt(part.c_str(), a)) return false;
            b = a;
        } else if (!ParseInt(part.substr(0, dash).c_str(), a) || !ParseInt(part.substr(dash + 1).c_str(), b) ||
                   b < a) {
            return false;
        }
        if (a < 1 || b > 99) return false;
        for (int t = a; t <= b; ++t) out.insert(t);
        if (comma == std::string::npos) break;
        at = comma + 1;
    }
    return !out.empty();
}

// The settings the program would use: the user's value, else the machine's.
void ReadDefaults(std::string& musicFolder, int& bitrate) {
    auto registry = OpenDefaultRegistry();
    if (!registry) return;
    for (Hive hive : {Hive::LocalMachine, Hive::CurrentUser}) {
        RegKey key;
        if (registry->OpenKey(hive, kSettingsKey, RegAccess::Read, key) != RegStatus::Ok) continue;
        std::string folder;
        if (key.QueryString("Default Music Folder", folder) == RegStatus::Ok && !folder.empty()) musicFolder = folder;
        std::uint32_t rate = 0;
        if (key.QueryDword("Bitrate", rate) == RegStatus::Ok) bitrate = int(rate);
    }
}

// The pipeline's questions answered from the options.
class OptionQuestions final : public RipQuestions {
public:
    explicit OptionQuestions(bool overwrite) : m_overwrite(overwrite) {}
    bool AskOverwrite(const std::string&, const std::string& path) override {
        if (!m_overwrite) {
            std::fprintf(stderr, "\nlyb30-rip: %s exists; skipped (--overwrite replaces it)\n", path.c_str());
            skipped.push_back(path);
        }
        return m_overwrite;
    }
    std::optional<std::string> AskSavePath(const SaveFileRequest& request) override {
        if (request.proposedPath.empty()) {
            std::fprintf(stderr, "lyb30-rip: the output folder does not exist\n");
            noFolder = true;
        }
        return std::nullopt;
    }
    bool AskContinue(const std::string&) override { return !noFolder; }
    void TellNoSpace(const std::string& text) override {
        std::fprintf(stderr, "\nlyb30-rip: %s\n", text.c_str());
        noSpace = true;
    }
    std::vector<std::string> skipped;
    bool noFolder = false, noSpace = false;

private:
    bool m_overwrite;
};

// The page's own questions ("Are you sure?" on an interrupt): yes.
class YesPrompt final : public Prompt {
public:
    PromptAnswer Ask(const std::string&, const std::string&, PromptButtons buttons, PromptIcon) override {
        return buttons == PromptButtons::YesNo ? PromptAnswer::Yes : PromptAnswer::Ok;
    }
};

void PrintTracks(const CCDDoc& doc) {
    if (doc.Tracks().empty()) {
        std::printf("  no audio disc\n");
        return;
    }
    for (int t = 1; t <= doc.TrackCount(); ++t) {
        const CDTrackInfo& info = doc.Tracks()[std::size_t(t - 1)];
        if (!info.audio) {
            std::printf("  %2d  (data track)\n", t);
            continue;
        }
        const CCDDoc::Row& row = doc.Rows()[std::size_t(t - 1 - doc.FirstTrackOffset())];
        std::printf("  %2d  %s  %s  %s\n", t, row.duration.c_str(), row.size.c_str(), row.title.c_str());
    }
}

} // namespace

int main(int argc, char** argv) {
    InitTraceFromEnvironment();
    Options o;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc) return false;
            out = argv[++i];
            return true;
        };
        std::string v;
        if (a == "-h" || a == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (a == "-l" || a == "--list") {
            o.list = true;
        } else if (a == "--overwrite") {
            o.overwrite = true;
        } else if (a == "--aspi") {
            o.aspi = true;
        } else if (a == "--lse") {
            o.lse = true;
        } else if (a == "-q" || a == "--quiet") {
            o.quiet = true;
        } else if (a == "-d" || a == "--drive") {
            if (!value(v) || !ParseInt(v.c_str(), o.drive) || o.drive < 1) return Usage("--drive needs a drive number");
        } else if (a == "-o" || a == "--output") {
            if (!value(o.output) || o.output.empty()) return Usage("--output needs a folder");
        } else if (a == "-b" || a == "--bitrate") {
            if (!value(v) || !ParseInt(v.c_str(), o.bitrate)) return Usage("--bitrate needs a number");
            o.haveBitrate = true;
        } else if (a == "-t" || a == "--tracks") {
            if (!value(o.tracks)) return Usage("--tracks needs a list");
        } else if (a == "-a" || a == "--artist") {
            if (!value(o.artist)) return Usage("--artist needs a text");
            o.haveArtist = true;
        } else if (a == "-A" || a == "--album") {
            if (!value(o.album)) return Usage("--album needs a text");
            o.haveAlbum = true;
        } else if (a == "--title") {
            int n = 0;
            std::size_t eq;
            if (!value(v) || (eq = v.find('=')) == std::string::npos || !ParseInt(v.substr(0, eq).c_str(), n) ||
                n < 1 || n > 99)
                return Usage("--title needs N=TEXT");
            o.titles[n] = v.substr(eq + 1);
        } else {
            return Usage("unknown option " + a);
        }
    }
    std::set<int> chosen;
    if (!o.tracks.empty() && !ParseTrackList(o.tracks, chosen)) return Usage("bad track list " + o.tracks);
    if (o.haveBitrate && o.bitrate != 0 && (o.bitrate < 8000 || o.bitrate > 320000))
        return Usage("--bitrate must be 8000 to 320000 (or 0)");

    if (o.aspi) SetSystemVersionOverride(SystemVersion{OsLine::Consumer, 0x040A});
    CCDManager manager;
    manager.DescribeDrives();
    CAspiManager aspi;
    if (o.aspi && !manager.StartupCheck(aspi)) {
        std::fprintf(stderr, "lyb30-rip: the ASPI component is not usable: %s\n", aspi.GetLastText().c_str());
        return 1;
    }
    if (manager.DriveCount() == 0) {
        std::fprintf(stderr, "lyb30-rip: no CD drive found\n");
        return 1;
    }
    if (o.drive > manager.DriveCount()) {
        std::fprintf(stderr, "lyb30-rip: there is no drive %d (see --list)\n", o.drive);
        return 1;
    }

    // Released on every way out, after the page state that uses it.
    struct LoadedComponents : Components {
        ~LoadedComponents() {
            FreeLockstream(*this);
            FreeEncoder(*this);
        }
    } components;
    const std::string folder = ProgramFolder();
    if (!o.list && !LoadEncoder(components, folder)) {
        std::fprintf(stderr, "lyb30-rip: the encoder library %s/%s cannot be loaded\n", folder.c_str(),
                     kTesselLibraryFile);
        return 1;
    }
    if (o.lse) {
        if (!LoadLockstream(components, folder)) {
            std::fprintf(stderr, "lyb30-rip: --lse needs the Lockstream library %s/%s\n", folder.c_str(),
                         kLseLibraryFile);
            return 1;
        }
        components.encoder->Init();
    }

    RipSettings settings;
    ReadDefaults(settings.musicFolder, settings.bitrate);
    if (!o.output.empty()) settings.musicFolder = o.output;
    if (o.haveBitrate) settings.bitrate = o.bitrate;
    settings.outputFormat = o.lse ? kRipFormatLse : kRipFormatAac;

    OptionQuestions questions(o.overwrite);
    YesPrompt prompt;
    CdPageServices s;
    s.manager = &manager;
    s.aspi = o.aspi ? &aspi : nullptr;
    s.encoder = components.encoder;
    s.prompt = &prompt;
    s.questions = &questions;
    s.ripSettings = [&settings] { return settings; };
    std::unique_ptr<CCDDoc> doc = std::make_unique<CCDDoc>(std::move(s));
    QueueMessageTarget owner([&doc](const Message& m) { return doc->OnMessage(m); });
    doc->SetOwner(&owner);
    doc->Start(false, o.drive - 1, -1);

    if (o.list) {
        const auto names = doc->DriveNames();
        for (std::size_t i = 0; i < names.size(); ++i) std::printf("%zu  %s\n", i + 1, names[i].c_str());
        std::printf("Drive %d:\n", o.drive);
        PrintTracks(*doc);
        return 0;
    }
    if (doc->Rows().empty()) {
        std::fprintf(stderr, "lyb30-rip: no audio disc in %s\n", manager.Drive(o.drive - 1)->root.c_str());
        return 1;
    }
    if (settings.musicFolder.empty()) return Usage("no output folder: give --output (no music folder is set)");

    std::vector<int> rows;
    for (int t = 1; t <= doc->TrackCount(); ++t) {
        bool audio = doc->Tracks()[std::size_t(t - 1)].audio;
        if (!chosen.empty() && !chosen.count(t)) continue;
        if (!audio) {
            if (!chosen.empty()) {
                std::fprintf(stderr, "lyb30-rip: track %d is a data track\n", t);
                return 1;
            }
            continue;
        }
        rows.push_back(t - 1 - doc->FirstTrackOffset());
    }
    for (int t : chosen)
        if (t > doc->TrackCount()) {
            std::fprintf(stderr, "lyb30-rip: the disc has no track %d\n", t);
            return 1;
        }
    for (const auto& [t, title] : o.titles) {
        if (t > doc->TrackCount() || !doc->Tracks()[std::size_t(t - 1)].audio) {
            std::fprintf(stderr, "lyb30-rip: --title: no audio track %d\n", t);
            return 1;
        }
        doc->ModifyTitle(t - 1 - doc->FirstTrackOffset(), title);
    }
    if (o.haveArtist) doc->SetArtist(o.artist);
    if (o.haveAlbum) doc->SetAlbum(o.album);
    doc->SetSelection(rows);

    const bool tty = ::isatty(STDERR_FILENO) && !o.quiet;
    std::string lastLine;
    doc->SetChanged([&] {
        if (!tty || !doc->Saving() || !doc->SavingTrack()) return;
        int percent = doc->ProgressRange() > 0 ? int(100.0 * doc->ProgressPosition() / doc->ProgressRange()) : 0;
        char line[256];
        std::snprintf(line, sizeof line, "\rtrack %2d  %3d%%  %s  %s ", doc->SavingTrack(), percent,
                      doc->EstimatedText().c_str(), doc->SpeedText().c_str());
        if (line != lastLine) std::fputs(line, stderr);
        lastLine = line;
    });

    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    doc->SaveTracks();
    bool cancelled = false;
    while (doc->Saving()) {
        owner.PumpFor(100);
        if (g_interrupted && !cancelled) {
            cancelled = true;
            doc->CancelSaving();
        }
    }
    owner.Pump();
    if (tty) std::fputs("\n", stderr);

    int saved = 0, failed = 0;
    for (const auto& r : doc->Pipeline().Finished()) {
        if (r.outcome == CRipPipeline::Outcome::Done) {
            ++saved;
            if (!o.quiet) std::printf("saved  %s\n", r.path.c_str());
        } else {
            ++failed;
            std::fprintf(stderr, "lyb30-rip: track %d not saved\n", r.track);
        }
    }
    doc.reset();
    if (cancelled) {
        std::fprintf(stderr, "lyb30-rip: cancelled\n");
        return 1;
    }
    if (questions.noFolder || questions.noSpace) return 1;
    const int skipped = int(questions.skipped.size());
    if (failed || saved + skipped < int(rows.size())) return 1;
    return 0;
}
