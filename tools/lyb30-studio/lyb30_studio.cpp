// lyb30-studio: the Music Studio from the command line, for scripts. It runs
// the Music Studio page's own commands on the same "data.ms" and M3U files,
// with the same rules, and refuses to change anything while lyb30 runs and
// holds the Studio.
//
// Rows are numbered as `list` shows them: N is the Studio's N-th entry, N.M
// the M-th track of playlist N.
#include "app/associations.h"
#include "app/components.h"
#include "device/card_transfer.h"
#include "device/mobile_device_page.h"
#include "device/usb_manager.h"
#include "library/disk_search.h"
#include "library/media_info.h"
#include "library/studio_page.h"
#include "platform/instance.h"
#include "platform/message_target.h"
#include "platform/prompt.h"
#include "platform/shared_library.h"
#include "platform/volumes.h"
#include "player/player_engine.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

using namespace lyb;

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitHeld = 3;

const char* const kUsage =
    "usage: lyb30-studio [--studio FILE] [--no-lengths] COMMAND [ARGUMENTS]\n"
    "\n"
    "The Music Studio of lyb30 (its \"data.ms\" and playlist files). Rows are numbered as\n"
    "`list` shows them: N is the N-th entry, N.M the M-th track of playlist N.\n"
    "\n"
    "  list [--expand] [--tsv]           the Studio with the page's columns and totals\n"
    "  add [--into ROW] PATH...          add files and folders (folders are scanned; an\n"
    "                                    M3U file becomes a playlist); --into: a playlist\n"
    "  remove ROW...                     remove entries (files stay on disk)\n"
    "  remove-all                        empty the Studio\n"
    "  move-up ROW... | move-down ROW... move entries one place within their level\n"
    "  copy ROW... [--to ROW] [--times N]  copy, then paste N times onto ROW (none: at the end)\n"
    "  cut ROW... [--to ROW] [--times N]   cut, then paste N times\n"
    "  drop ROW... --on ROW|end (--move|--copy) [--top]\n"
    "                                    drag and drop; onto a playlist the rows go into it\n"
    "                                    unless --top puts them beside it\n"
    "  edit ROW [--title T] [--artist A] a track's tag texts, or a playlist's title (its file\n"
    "                                    takes the title as its name)\n"
    "  create-playlist FILE ROW...       write the rows as a playlist and add it\n"
    "  playlist FILE PATH...             write a playlist of these files and add it\n"
    "  show FILE...                      a file's title, artist, length, size and type\n"
    "  tag FILE [--title T] [--artist A] [--no-create]\n"
    "                                    set a file's title and artist (an ID3v2.4 tag is\n"
    "                                    created when it has none, unless --no-create)\n"
    "  search (FOLDER | --all-drives) [--subfolders] [--type all|mp3|aac|lse|m3u] [--quiet]\n"
    "                                    search for music and add what is not in the Studio\n"
    "\n"
    "The phone (found through libusb-orvik.so beside the program; LYB30_SIM_USB names a\n"
    "file of simulated phones). N is a phone's number as `devices` shows it (default 1).\n"
    "  devices                           the phones found, their cards and their space\n"
    "  card [--device N]                 the music in the root folder of the phone's card\n"
    "  transfer [--device N] [--overwrite] [--force] [--quiet] ROW...\n"
    "                                    copy rows to the card (a playlist gives its tracks)\n"
    "  transfer-files [--device N] [--overwrite] [--force] [--quiet] PATH...\n"
    "                                    copy music files, and the tracks of M3U playlists\n"
    "      --overwrite replaces files of the same name on the card (else they are kept and\n"
    "      the track is listed as not transferred); --force goes on when the card's free\n"
    "      space looks too small for everything (each file is still checked); Ctrl+C cancels.\n"
    "\n"
    "--studio FILE   the Studio file (default: $LYB30_STUDIO, else $XDG_DATA_HOME/lyrabox/data.ms)\n"
    "--no-lengths    do not measure track lengths (faster; unknown lengths show as ?\?:?\?)\n"
    "Exit status: 0 done, 1 failed (a transfer: something was not transferred), 2 usage,\n"
    "3 lyb30 holds the Studio.\n";

int Fail(const std::string& message, int code = kExitFailed) {
    std::fprintf(stderr, "lyb30-studio: %s\n", message.c_str());
    return code;
}

/// Questions from the library: answered from the command line's options.
class CliPrompt final : public Prompt {
  public:
    void Push(PromptAnswer answer) { m_answers.push_back(answer); }
    bool createTags = true;
    PromptAnswer Ask(const std::string& text, const std::string&, PromptButtons buttons, PromptIcon) override {
        if (!m_answers.empty()) {
            const PromptAnswer a = m_answers.front();
            m_answers.pop_front();
            return a;
        }
        switch (buttons) {
        case PromptButtons::Ok:
            std::fprintf(stderr, "lyb30-studio: %s\n", text.c_str());
            return PromptAnswer::Ok;
        case PromptButtons::OkCancel:
            return createTags ? PromptAnswer::Ok : PromptAnswer::Cancel;
        case PromptButtons::YesNo:
        case PromptButtons::YesNoCancel:
            return PromptAnswer::Yes;
        case PromptButtons::RetryCancel:
            return PromptAnswer::Cancel;
        }
        return PromptAnswer::Cancel;
    }

  private:
    std::deque<PromptAnswer> m_answers;
};

/// Questions of a transfer: answered from its options, messages shown.
class TransferPrompt final : public Prompt {
  public:
    bool overwrite = false;
    bool force = false;
    PromptAnswer Ask(const std::string& text, const std::string&, PromptButtons buttons, PromptIcon) override {
        if (buttons == PromptButtons::Ok) {
            std::fprintf(stderr, "\nlyb30-studio: %s\n", text.c_str());
            return PromptAnswer::Ok;
        }
        if (text.find("already exists") != std::string::npos) {
            if (!overwrite)
                std::fprintf(stderr, "\nlyb30-studio: %s: kept (--overwrite replaces it)\n",
                             text.substr(0, text.find('\n')).c_str());
            return overwrite ? PromptAnswer::Yes : PromptAnswer::No;
        }
        if (text.rfind("No space available", 0) == 0) {
            if (!force)
                std::fprintf(stderr, "lyb30-studio: the card's free space is too small for everything "
                                     "(--force tries anyway)\n");
            return force ? PromptAnswer::Yes : PromptAnswer::No;
        }
        return PromptAnswer::No;
    }
};

/// The device library and the USB device manager, as the program has them.
struct Phones {
    Components components;
    std::unique_ptr<CUSBManager> manager;

    explicit Phones(Prompt* prompt) {
        const std::string folder = ProgramFolder();
        LoadLockstream(components, folder);
        LoadDeviceLibrary(components, folder);
        manager = std::make_unique<CUSBManager>(folder);
        manager->SetPrompt(prompt, nullptr);
        manager->SetRootSlot(&components.device);
        manager->EnumerateDevices();
    }
    ~Phones() {
        manager.reset();
        FreeLockstream(components);
    }
    /// The phone of `--device` (1-based, default 1) as a table index; -1 with a message.
    int Choose(const std::optional<std::string>& text) const {
        const int count = manager->DeviceCount();
        if (count == 0) {
            std::fprintf(stderr, "lyb30-studio: no phone found\n");
            return -1;
        }
        const int n = text ? std::atoi(text->c_str()) : 1;
        if (n < 1 || n > count) {
            std::fprintf(stderr, "lyb30-studio: no phone %s (1 to %d)\n", text ? text->c_str() : "1", count);
            return -1;
        }
        return n - 1;
    }
};

/// Splits arguments into options (with values where they take one) and operands.
struct Args {
    std::vector<std::string> operands;
    std::map<std::string, std::string> values;
    std::vector<std::string> flags;
    bool Has(const std::string& flag) const { return std::find(flags.begin(), flags.end(), flag) != flags.end(); }
    std::optional<std::string> Value(const std::string& name) const {
        auto it = values.find(name);
        return it == values.end() ? std::nullopt : std::optional<std::string>(it->second);
    }
};

bool ParseArgs(const std::vector<std::string>& raw, const std::vector<std::string>& withValue,
               const std::vector<std::string>& flagNames, Args& out, std::string& error) {
    bool operandsOnly = false;
    for (size_t i = 0; i < raw.size(); ++i) {
        const std::string& a = raw[i];
        if (operandsOnly || a.size() < 2 || a[0] != '-' || a == "-") {
            out.operands.push_back(a);
        } else if (a == "--") {
            operandsOnly = true;
        } else if (std::find(withValue.begin(), withValue.end(), a) != withValue.end()) {
            if (i + 1 >= raw.size()) {
                error = a + " needs a value";
                return false;
            }
            out.values[a] = raw[++i];
        } else if (std::find(flagNames.begin(), flagNames.end(), a) != flagNames.end()) {
            out.flags.push_back(a);
        } else {
            error = "unknown option " + a;
            return false;
        }
    }
    return true;
}

/// A row as written on the command line: N or N.M (1-based).
struct RowSpec {
    int item = -1;
    int track = -1; ///< -1: the entry itself
};

bool ParseRow(const std::string& text, RowSpec& parsed) {
    char* end = nullptr;
    const long n = std::strtol(text.c_str(), &end, 10);
    if (end == text.c_str() || n < 1)
        return false;
    parsed.item = static_cast<int>(n - 1);
    if (*end == '\0')
        return true;
    if (*end != '.')
        return false;
    const char* trackText = end + 1;
    const long m = std::strtol(trackText, &end, 10);
    if (end == trackText || *end != '\0' || m < 1)
        return false;
    parsed.track = static_cast<int>(m - 1);
    return true;
}

class StudioCli {
  public:
    StudioCli(std::string studioPath, bool lengths) : m_studioPath(std::move(studioPath)) {
        m_context.prompt = &m_prompt;
        if (lengths)
            m_context.engine = &m_engine;
        m_doc = std::make_unique<CMusicDoc>(m_context);
    }

    int Run(const std::string& command, const std::vector<std::string>& args);

  private:
    bool Writes(const std::string& command) const {
        return command != "list" && command != "show" && command != "devices" && command != "card" &&
               command != "transfer" && command != "transfer-files";
    }
    void Load();
    /// Rows of the row numbers given (playlists named by N.M are opened first). False
    /// with `error` set when one names nothing.
    bool Resolve(const std::vector<std::string>& numbers, std::vector<int>& rows, std::string& error);
    bool ResolveOne(const std::string& text, int& row, std::string& error);
    void Select(const std::vector<int>& rows, int focus);
    std::string RowNumber(int row) const;

    int List(const Args& a);
    int Add(const Args& a);
    int Rows(const std::string& command, const Args& a);
    int Paste(bool cut, const Args& a);
    int Drop(const Args& a);
    int Edit(const Args& a);
    int CreatePlaylist(const Args& a);
    int PlaylistOfFiles(const Args& a);
    int Show(const Args& a);
    int Tag(const Args& a);
    int Search(const Args& a);
    int Devices();
    int Card(const Args& a);
    int Transfer(const Args& a, bool files);

    std::string m_studioPath;
    CliPrompt m_prompt;
    CPlayerEngine m_engine; // its length queries only; nothing is played
    LibraryContext m_context;
    std::unique_ptr<CMusicDoc> m_doc;
    std::unique_ptr<StudioPage> m_page;
    std::unique_ptr<InstanceGuard> m_lock;
};

void StudioCli::Load() {
    std::error_code ec;
    if (std::filesystem::exists(m_studioPath, ec)) {
        m_doc->LoadStudio(m_studioPath);
    } else {
        // The program folder's "data.ms" is the starting point of a user
        // who has none yet, as for the program.
        m_doc->LoadStudio(CMusicDoc::StudioPath(ProgramFolder()));
    }
    m_doc->MarkUnknownLengths();
    m_doc->Collection().RecomputeTotals();
    m_page = std::make_unique<StudioPage>(*m_doc, m_studioPath);
}

bool StudioCli::ResolveOne(const std::string& text, int& row, std::string& error) {
    RowSpec parsed;
    if (!ParseRow(text, parsed)) {
        error = "not a row: " + text + " (N or N.M)";
        return false;
    }
    MusicCollection& collection = m_doc->Collection();
    if (static_cast<size_t>(parsed.item) >= collection.Count()) {
        error = "no entry " + text;
        return false;
    }
    MusicItem* item = collection.Item(static_cast<size_t>(parsed.item));
    if (parsed.track >= 0) {
        if (!item->IsPlaylist() || static_cast<size_t>(parsed.track) >= static_cast<Playlist*>(item)->ChildCount()) {
            error = "no track " + text;
            return false;
        }
        if (!item->expanded) {
            item->expanded = 1;
            m_page->RebuildRows();
        }
    }
    for (int r = 0; r < m_page->RowCount(); ++r) {
        const StudioRow& sr = m_page->Row(r);
        if ((parsed.track < 0 && !sr.IsChild() && sr.item == parsed.item) ||
            (parsed.track >= 0 && sr.parent == parsed.item && sr.item == parsed.track)) {
            row = r;
            return true;
        }
    }
    error = "no row " + text;
    return false;
}

bool StudioCli::Resolve(const std::vector<std::string>& numbers, std::vector<int>& rows, std::string& error) {
    // Open every playlist named first: opening one shifts the rows below it.
    for (const std::string& text : numbers) {
        int row = -1;
        if (!ResolveOne(text, row, error))
            return false;
    }
    rows.clear();
    for (const std::string& text : numbers) {
        int row = -1;
        ResolveOne(text, row, error);
        rows.push_back(row);
    }
    return true;
}

void StudioCli::Select(const std::vector<int>& rows, int focus) {
    m_page->SetSelectedRows(rows);
    m_page->SetFocusRow(focus);
}

std::string StudioCli::RowNumber(int row) const {
    const StudioRow& r = m_page->Row(row);
    if (!r.IsChild())
        return std::to_string(r.item + 1);
    return std::to_string(r.parent + 1) + "." + std::to_string(r.item + 1);
}

int StudioCli::List(const Args& a) {
    if (a.Has("--expand")) {
        for (const auto& item : m_doc->Collection().Items())
            item->expanded = 1;
        m_page->RebuildRows();
    }
    std::vector<std::vector<std::string>> table;
    std::vector<std::string> heading = {"#"};
    for (int c = 0; c < kStudioColumnCount; ++c)
        heading.push_back(m_page->ColumnHeading(c));
    table.push_back(heading);
    for (int row = 0; row < m_page->RowCount(); ++row) {
        std::vector<std::string> line = {RowNumber(row)};
        for (int c = 0; c < kStudioColumnCount; ++c)
            line.push_back((c == kColumnTitle && m_page->Row(row).IsChild() && !a.Has("--tsv") ? "  " : "") +
                           m_page->CellText(row, c));
        table.push_back(line);
    }
    if (a.Has("--tsv")) {
        for (const auto& line : table) {
            for (size_t c = 0; c < line.size(); ++c)
                std::printf("%s%s", c ? "\t" : "", line[c].c_str());
            std::printf("\n");
        }
    } else {
        // Widths in characters (UTF-8 continuation bytes do not count).
        auto chars = [](const std::string& s) {
            return static_cast<size_t>(std::count_if(s.begin(), s.end(), [](char ch) {
                return (static_cast<unsigned char>(ch) & 0xC0) != 0x80;
            }));
        };
        std::vector<size_t> width(table[0].size(), 0);
        for (const auto& line : table)
            for (size_t c = 0; c < line.size(); ++c)
                width[c] = std::max(width[c], chars(line[c]));
        for (const auto& line : table) {
            std::string out;
            for (size_t c = 0; c < line.size(); ++c) {
                const bool right = c == 2 || c == 3; // length and size
                const std::string pad(width[c] - chars(line[c]), ' ');
                out += right ? pad + line[c] : line[c];
                if (c + 1 < line.size())
                    out += right ? "  " : pad + "  ";
            }
            std::printf("%s\n", out.c_str());
        }
    }
    if (a.Has("--tsv"))
        std::printf("total\t%s\t%s\n", m_page->TotalLengthText().c_str(), m_page->TotalSizeText().c_str());
    else
        std::printf("Total: %s  %s\n", m_page->TotalLengthText().c_str(), m_page->TotalSizeText().c_str());
    return kExitOk;
}

int StudioCli::Add(const Args& a) {
    if (a.operands.empty())
        return Fail("add: no files given", kExitUsage);
    std::vector<std::string> paths;
    for (const std::string& p : a.operands)
        paths.push_back(std::filesystem::absolute(p).lexically_normal().string());
    size_t added = 0;
    if (auto into = a.Value("--into")) {
        int row = -1;
        std::string error;
        if (!ResolveOne(*into, row, error))
            return Fail(error, kExitUsage);
        Playlist* playlist = m_page->PlaylistOfRow(row);
        if (!playlist)
            return Fail("add: " + *into + " is not a playlist or one of its tracks", kExitUsage);
        for (const std::string& p : paths)
            if (std::filesystem::is_directory(p))
                return Fail("add: a folder cannot go into a playlist: " + p, kExitUsage);
        // What is counted is what went into the playlist.
        const size_t before = playlist->ChildCount();
        Select({row}, row);
        m_page->AddTracks(paths);
        if (Playlist* after = m_page->PlaylistOfRow(row); after == playlist)
            added = playlist->ChildCount() - std::min(before, playlist->ChildCount());
    } else {
        const size_t before = m_doc->Collection().Count();
        m_page->DropFiles(paths);
        added = m_doc->Collection().Count() - before;
    }
    std::printf("%zu entr%s added\n", added, added == 1 ? "y" : "ies");
    return kExitOk;
}

int StudioCli::Rows(const std::string& command, const Args& a) {
    std::vector<int> rows;
    std::string error;
    if (command != "remove-all") {
        if (a.operands.empty())
            return Fail(command + ": no rows given", kExitUsage);
        if (!Resolve(a.operands, rows, error))
            return Fail(error, kExitUsage);
        Select(rows, rows.front());
    }
    if (command == "remove")
        m_page->RemoveSelected();
    else if (command == "remove-all")
        m_page->RemoveAll();
    else if (command == "move-up")
        m_page->MoveUp();
    else
        m_page->MoveDown();
    return kExitOk;
}

int StudioCli::Paste(bool cut, const Args& a) {
    if (a.operands.empty())
        return Fail(std::string(cut ? "cut" : "copy") + ": no rows given", kExitUsage);
    int times = 1;
    if (auto t = a.Value("--times")) {
        times = std::atoi(t->c_str());
        if (times < 1)
            return Fail("--times needs a number from 1", kExitUsage);
    }
    std::vector<int> rows;
    std::string error;
    if (!Resolve(a.operands, rows, error))
        return Fail(error, kExitUsage);
    const MusicItem* target = nullptr;
    if (auto to = a.Value("--to")) {
        int row = -1;
        if (!ResolveOne(*to, row, error) || !Resolve(a.operands, rows, error))
            return Fail(error, kExitUsage);
        target = m_page->ItemOfRow(row);
    }
    Select(rows, rows.front());
    if (cut)
        m_page->Cut();
    else
        m_page->Copy();
    const int focus = target ? m_page->RowOfItem(target) : -1;
    if (target && focus < 0)
        return Fail("the row to paste onto was cut itself");
    for (int i = 0; i < times; ++i) {
        m_page->SetFocusRow(target ? m_page->RowOfItem(target) : -1);
        m_page->Paste();
    }
    return kExitOk;
}

int StudioCli::Drop(const Args& a) {
    const auto on = a.Value("--on");
    if (a.operands.empty() || !on || a.Has("--move") == a.Has("--copy"))
        return Fail("drop: ROW... --on ROW|end and one of --move, --copy", kExitUsage);
    std::vector<int> rows;
    std::string error;
    int target = -1;
    if (*on != "end" && !ResolveOne(*on, target, error))
        return Fail(error, kExitUsage);
    if (!Resolve(a.operands, rows, error))
        return Fail(error, kExitUsage);
    if (*on != "end")
        ResolveOne(*on, target, error);
    m_prompt.Push(a.Has("--top") ? PromptAnswer::No : PromptAnswer::Yes);
    if (!m_page->DropOnList(rows, target, a.Has("--move") ? DropChoice::Move : DropChoice::Copy))
        return Fail("drop: nothing changed (a playlist cannot be moved into itself)");
    return kExitOk;
}

int StudioCli::Edit(const Args& a) {
    if (a.operands.size() != 1 || (!a.Value("--title") && !a.Value("--artist")))
        return Fail("edit: ROW and --title and/or --artist", kExitUsage);
    int row = -1;
    std::string error;
    if (!ResolveOne(a.operands[0], row, error))
        return Fail(error, kExitUsage);
    Select({row}, row);
    const EditDialogSpec now = m_page->EditItemDialog();
    const std::string title = a.Value("--title").value_or(m_page->ItemOfRow(row)->title);
    const std::string artist = a.Value("--artist").value_or(m_page->ItemOfRow(row)->artist);
    if (now.mode == EditMode::Playlist && a.Value("--artist"))
        return Fail("edit: a playlist has no artist", kExitUsage);
    if (!m_page->EditItem(title, artist))
        return Fail("edit: not saved; the old texts stay");
    return kExitOk;
}

int StudioCli::CreatePlaylist(const Args& a) {
    if (a.operands.size() < 2)
        return Fail("create-playlist: FILE ROW...", kExitUsage);
    const std::string file = std::filesystem::absolute(a.operands[0]).lexically_normal().string();
    std::vector<int> rows;
    std::string error;
    if (!Resolve({a.operands.begin() + 1, a.operands.end()}, rows, error))
        return Fail(error, kExitUsage);
    Select(rows, rows.front());
    if (!m_page->CreatePlaylist(file))
        return Fail("create-playlist: " + file + " could not be written");
    return kExitOk;
}

int StudioCli::PlaylistOfFiles(const Args& a) {
    if (a.operands.size() < 2)
        return Fail("playlist: FILE PATH...", kExitUsage);
    std::string file = std::filesystem::absolute(a.operands[0]).lexically_normal().string();
    if (!IsM3UPath(file))
        file += ".M3U";
    M3UPlaylist list;
    list.path = file;
    for (size_t i = 1; i < a.operands.size(); ++i) {
        const std::string path = std::filesystem::absolute(a.operands[i]).lexically_normal().string();
        if (!list.InsertFile(path, true, m_context))
            std::fprintf(stderr, "lyb30-studio: skipped %s (not a music file of an enabled format)\n", path.c_str());
    }
    if (!list.WriteM3U(file))
        return Fail("playlist: " + file + " could not be written");
    m_page->DropFiles({file});
    std::printf("%s: %zu track(s)\n", file.c_str(), list.ChildCount());
    return kExitOk;
}

int StudioCli::Show(const Args& a) {
    if (a.operands.empty())
        return Fail("show: no files given", kExitUsage);
    int result = kExitOk;
    for (const std::string& path : a.operands) {
        MusicItem record;
        if (GetMediaInfo(path, record, m_context) != 0) {
            result = Fail(path + ": not a music file that can be read");
            continue;
        }
        record.DeriveTitle();
        std::printf("%s\n  Title:  %s\n  Artist: %s\n  Length: %s\n  Size:   %s\n  Type:   %s\n", path.c_str(),
                    record.title.c_str(), record.artist.c_str(), FormatLength(record).c_str(),
                    FormatSize(record).c_str(), TypeName(record).c_str());
        if (!record.url.empty())
            std::printf("  URL:    %s\n", record.url.c_str());
    }
    return result;
}

int StudioCli::Tag(const Args& a) {
    if (a.operands.size() != 1 || (!a.Value("--title") && !a.Value("--artist")))
        return Fail("tag: FILE and --title and/or --artist", kExitUsage);
    const std::string& path = a.operands[0];
    MusicItem record;
    if (GetMediaInfo(path, record, m_context) != 0 && !std::filesystem::is_regular_file(path))
        return Fail(path + ": not a music file that can be read");
    record.path = path;
    record.DeriveTitle();
    if (auto t = a.Value("--title"))
        record.title = CutToChars(*t, kMaxTitleChars);
    if (auto t = a.Value("--artist"))
        record.artist = CutToChars(*t, kMaxTitleChars);
    m_prompt.createTags = !a.Has("--no-create");
    const int result = SetMediaInfo(path, record, m_context);
    if (result == -1)
        return Fail(path + ": not written (not a writable MP3, AAC or LSE file, or no tag to change)");
    if (result != 0)
        return Fail(path + ": writing failed; the file is unchanged");
    return kExitOk;
}

int StudioCli::Search(const Args& a) {
    const bool all = a.Has("--all-drives");
    if (all == !a.operands.empty() || a.operands.size() > 1)
        return Fail("search: one FOLDER, or --all-drives", kExitUsage);
    const std::string type = a.Value("--type").value_or("all");
    const std::map<std::string, int> codes = {{"all", kSearchAllTypes}, {"mp3", kSearchMp3}, {"aac", kSearchAac},
                                              {"lse", kSearchLse}, {"m3u", kSearchM3u}};
    if (!codes.count(type))
        return Fail("search: --type all, mp3, aac, lse or m3u", kExitUsage);
    DiskSearch* search = nullptr;
    QueueMessageTarget target([&](const Message& m) -> std::intptr_t {
        if (search)
            search->OnMessage(m);
        return 0;
    });
    DiskSearch dialog(*m_page, &target, ListVolumes(false));
    search = &dialog;
    dialog.Open(all ? std::string() : std::filesystem::absolute(a.operands[0]).lexically_normal().string());
    if (all)
        dialog.SelectDrive(0);
    dialog.SetSubfolders(a.Has("--subfolders"));
    // The type list shows the enabled formats only; find the entry of the code.
    for (int position = 0; position < static_cast<int>(dialog.TypeEntries().size()); ++position) {
        dialog.SelectTypes(position);
        if (dialog.TypeCode() == codes.at(type))
            break;
    }
    if (dialog.TypeCode() != codes.at(type))
        dialog.SelectTypes(0);
    const bool quiet = a.Has("--quiet") || !::isatty(STDERR_FILENO);
    dialog.StartOrStop();
    std::string shown;
    while (dialog.Searching()) {
        target.PumpFor(100);
        while (dialog.AddSome(200)) {
        }
        if (!quiet && dialog.Status() != shown) {
            shown = dialog.Status();
            std::fprintf(stderr, "\r%-78.78s", shown.c_str());
        }
    }
    if (!quiet)
        std::fprintf(stderr, "\r%78s\r", "");
    std::printf("%s\n", dialog.Status().c_str());
    return kExitOk;
}

int StudioCli::Run(const std::string& command, const std::vector<std::string>& raw) {
    static const std::map<std::string, std::pair<std::vector<std::string>, std::vector<std::string>>> options = {
        {"list", {{}, {"--expand", "--tsv"}}},
        {"add", {{"--into"}, {}}},
        {"remove", {{}, {}}},
        {"remove-all", {{}, {}}},
        {"move-up", {{}, {}}},
        {"move-down", {{}, {}}},
        {"copy", {{"--to", "--times"}, {}}},
        {"cut", {{"--to", "--times"}, {}}},
        {"drop", {{"--on"}, {"--move", "--copy", "--top"}}},
        {"edit", {{"--title", "--artist"}, {}}},
        {"create-playlist", {{}, {}}},
        {"playlist", {{}, {}}},
        {"show", {{}, {}}},
        {"tag", {{"--title", "--artist"}, {"--no-create"}}},
        {"search", {{"--type"}, {"--all-drives", "--subfolders", "--quiet"}}},
        {"devices", {{}, {}}},
        {"card", {{"--device"}, {}}},
        {"transfer", {{"--device"}, {"--overwrite", "--force", "--quiet"}}},
        {"transfer-files", {{"--device"}, {"--overwrite", "--force", "--quiet"}}},
    };
    auto it = options.find(command);
    if (it == options.end())
        return Fail("unknown command " + command + " (see --help)", kExitUsage);
    Args a;
    std::string error;
    if (!ParseArgs(raw, it->second.first, it->second.second, a, error))
        return Fail(command + ": " + error, kExitUsage);

    if (command == "show")
        return Show(a);
    if (command == "tag")
        return Tag(a);
    if (command == "devices")
        return Devices();
    if (command == "card")
        return Card(a);
    if (command == "transfer-files")
        return Transfer(a, true);
    if (Writes(command)) {
        m_lock = MakeStudioLock(m_studioPath);
        switch (m_lock->Acquire()) {
        case GuardResult::Acquired:
            break;
        case GuardResult::AlreadyRunning:
            return Fail("lyb30 is running and holds the Music Studio (" + m_studioPath +
                            "); nothing was changed. Close lyb30 first.",
                        kExitHeld);
        case GuardResult::Failed:
            return Fail("cannot lock " + m_studioPath + ".lock");
        }
    }
    Load();
    if (command == "list")
        return List(a);
    if (command == "add")
        return Add(a);
    if (command == "copy" || command == "cut")
        return Paste(command == "cut", a);
    if (command == "drop")
        return Drop(a);
    if (command == "edit")
        return Edit(a);
    if (command == "create-playlist")
        return CreatePlaylist(a);
    if (command == "playlist")
        return PlaylistOfFiles(a);
    if (command == "search")
        return Search(a);
    if (command == "transfer")
        return Transfer(a, false);
    return Rows(command, a);
}

int StudioCli::Devices() {
    Phones phones(&m_prompt);
    const std::vector<DeviceRecord> devices = phones.manager->Devices();
    if (devices.empty()) {
        std::printf("No Devices Found\n");
        return kExitOk;
    }
    for (size_t i = 0; i < devices.size(); ++i) {
        const int index = static_cast<int>(i);
        std::printf("%zu  %s  (%s)  %s  used %llu Kb, free %llu Kb\n", i + 1, devices[i].product.c_str(),
                    devices[i].manufacturer.c_str(), devices[i].rootPath.c_str(),
                    static_cast<unsigned long long>(phones.manager->GetDeviceSpaceKB(index, kSpaceUsed)),
                    static_cast<unsigned long long>(phones.manager->GetDeviceSpaceKB(index, kSpaceFree)));
    }
    return kExitOk;
}

int StudioCli::Card(const Args& a) {
    Phones phones(&m_prompt);
    const int device = phones.Choose(a.Value("--device"));
    if (device < 0)
        return kExitFailed;
    // The page's own listing, lengths measured as its probes do.
    std::unique_ptr<MobileDevicePage> page;
    QueueMessageTarget target([&page](const Message& m) { return page && page->OnMessage(m) ? 1 : 0; });
    DevicePageServices services;
    services.manager = phones.manager.get();
    services.context = m_context;
    services.probeTarget = &target;
    services.probeEngine = m_context.engine;
    page = std::make_unique<MobileDevicePage>(services);
    MobileDevicePage& measured = *page;
    measured.RefreshDevices(device);
    if (m_context.engine)
        WaitForDurationProbes();
    target.Pump();
    CancelDurationProbes(&target);
    std::vector<std::vector<std::string>> table = {
        {measured.ColumnHeading(0), measured.ColumnHeading(1), measured.ColumnHeading(2)}};
    for (int row = 0; row < measured.RowCount(); ++row)
        table.push_back({measured.CellText(row, 0), measured.CellText(row, 1), measured.CellText(row, 2)});
    size_t width = 0;
    for (const auto& line : table)
        width = std::max(width, line[0].size());
    for (const auto& line : table)
        std::printf("%-*s  %8s  %10s\n", static_cast<int>(width), line[0].c_str(), line[1].c_str(), line[2].c_str());
    std::printf("Used: %s  Free: %s\n", measured.UsedText().c_str(), measured.FreeText().c_str());
    return kExitOk;
}

int StudioCli::Transfer(const Args& a, bool files) {
    if (a.operands.empty())
        return Fail(std::string(files ? "transfer-files: no files" : "transfer: no rows") + " given", kExitUsage);
    std::vector<MusicItem> records;
    std::vector<std::string> refused;
    if (files) {
        std::vector<std::string> paths;
        for (const std::string& p : a.operands)
            paths.push_back(std::filesystem::absolute(p).lexically_normal().string());
        records = TransferRecords(paths, m_context, refused);
        for (const std::string& path : refused)
            std::fprintf(stderr, "lyb30-studio: not a music file it can transfer: %s\n", path.c_str());
        if (records.empty())
            return kExitFailed;
    } else {
        std::vector<int> rows;
        std::string error;
        if (!Resolve(a.operands, rows, error))
            return Fail(error, kExitUsage);
        Select(rows, rows.front());
        records = m_page->GatherSelectedRecords();
    }
    TransferPrompt prompt;
    prompt.overwrite = a.Has("--overwrite");
    prompt.force = a.Has("--force");
    Phones phones(&prompt);
    const int device = phones.Choose(a.Value("--device"));
    if (device < 0)
        return kExitFailed;
    phones.manager->SetSelectedDevice(device);
    TransferServices services;
    services.manager = phones.manager.get();
    services.prompt = &prompt;
    services.createLockstream = phones.components.createLockstream;
    services.releaseLockstream = phones.components.releaseLockstream;
    const bool terminal = !a.Has("--quiet") && ::isatty(STDERR_FILENO);
    const int rc = RunTerminalTransfer(services, std::move(records), stderr, terminal, stdout);
    return rc == 0 && refused.empty() ? kExitOk : kExitFailed;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string studio;
    if (const char* env = std::getenv("LYB30_STUDIO"); env && *env)
        studio = env;
    bool lengths = true;
    size_t i = 0;
    for (; i < args.size() && args[i].size() > 1 && args[i][0] == '-'; ++i) {
        if (args[i] == "--help" || args[i] == "-h") {
            std::fputs(kUsage, stdout);
            return kExitOk;
        }
        if (args[i] == "--studio" && i + 1 < args.size()) {
            studio = args[++i];
        } else if (args[i] == "--no-lengths") {
            lengths = false;
        } else {
            std::fputs(kUsage, stderr);
            return kExitUsage;
        }
    }
    if (i >= args.size()) {
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }
    if (studio.empty())
        studio = CMusicDoc::UserStudioPath(XdgFolders::FromEnvironment().dataHome);
    studio = std::filesystem::absolute(studio).lexically_normal().string();
    // The format switches are the program's: LSE off, AAC and MP3 on.
    StudioCli cli(studio, lengths);
    const std::string command = args[i];
    return cli.Run(command, std::vector<std::string>(args.begin() + static_cast<long>(i) + 1, args.end()));
}
