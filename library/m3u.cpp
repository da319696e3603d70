// Extended M3U playlists: reading (nested playlists flattened, each file
// read once), writing with full paths or paths relative to a volume root,
// and keeping the file name equal to the playlist's title.
#include "library/file_util.h"
#include "library/media_info.h"
#include "library/music_item.h"
#include "platform/path.h"
#include "platform/text.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace lyb {

namespace {

// Nested playlists deeper than this are not read (a chain of distinct
// files, e.g. through a link cycle in the folder tree, cannot recurse forever).
constexpr int kMaxNesting = 32;

std::string Canonical(const std::string& path) {
    std::error_code ec;
    auto c = std::filesystem::weakly_canonical(path, ec);
    return ec ? path : c.string();
}

std::string FolderOf(const std::string& path) {
    PathParts parts = SplitPath(path);
    return parts.drive + parts.dir;
}

std::string OneLine(std::string text) {
    for (char& c : text)
        if (c == '\r' || c == '\n')
            c = ' ';
    return text;
}

} // namespace

void M3UPlaylist::Load(const std::string& file, const LibraryContext& context) {
    LoadNested(file, context, 0);
    TakeSnapshot();
}

bool M3UPlaylist::LoadNested(const std::string& file, const LibraryContext& context, int depth) {
    // A playlist is a text file; anything beyond 64 MiB is not one.
    auto bytes = libfile::ReadAll(file, 64ull << 20);
    if (!bytes)
        return false;
    LoadText(*bytes, file, context, depth);
    return true;
}

void M3UPlaylist::LoadFromBytes(std::string_view bytes, const std::string& file,
                                const LibraryContext& context) {
    LoadText(bytes, file, context, 0);
    TakeSnapshot();
}

void M3UPlaylist::LoadText(std::string_view raw, const std::string& file,
                           const LibraryContext& context, int depth) {
    m_visited.push_back(file);
    const std::string absolute = AbsolutePath(file);
    m_visitedKeys.push_back(Canonical(absolute));
    const std::string folder = FolderOf(absolute);
    // Lines are decided one by one: a playlist may hold names in several
    // encodings (other programs, older versions), and a path is the bytes of
    // a file name, whatever they are.
    const std::vector<std::string_view> lines = SplitLines(raw);
    if (lines.empty() || lines[0].find("#EXTM3U") == std::string_view::npos)
        return;
    const bool own = depth == 0; // lines of nested files stay in their own file
    if (own)
        m_headerLine = std::string(lines[0]);

    std::string pendingTitle, pendingArtist, pendingInfo;
    std::vector<std::string> kept; // unused lines waiting for the next entry read
    auto attachKept = [&](MusicItem& item) {
        item.fromPlaylist.before.insert(item.fromPlaylist.before.end(), kept.begin(), kept.end());
        kept.clear();
    };
    for (size_t n = 1; n < lines.size(); ++n) {
        const std::string_view line = lines[n];
        if (line.empty()) {
            pendingTitle.clear();
            pendingArtist.clear();
            pendingInfo.clear();
            continue;
        }
        if (line.substr(0, 7) == "#EXTINF") {
            const std::string text = DecodeTextLine(line);
            size_t comma = text.find(',');
            if (comma == std::string::npos)
                continue;
            pendingInfo = std::string(line);
            std::string_view rest = std::string_view(text).substr(comma + 1);
            size_t dash = rest.rfind(" - ");
            if (dash == std::string_view::npos) {
                pendingTitle = std::string(rest);
                pendingArtist.clear();
            } else {
                pendingArtist = std::string(rest.substr(0, dash));
                pendingTitle = std::string(rest.substr(dash + 3));
            }
            continue;
        }
        // An entry. Relative entries name files beside the playlist.
        const std::string entry = libfile::PathFromLine(line, folder, 1252);
        bool keep = false;
        if (IsM3UPath(entry)) {
            // The same text, or the same file under another text, is read once.
            bool seen = std::find(m_visited.begin(), m_visited.end(), entry) != m_visited.end();
            if (!seen) {
                const std::string key = Canonical(entry);
                seen = std::find(m_visitedKeys.begin(), m_visitedKeys.end(), key) !=
                       m_visitedKeys.end();
            }
            if (!seen) {
                const size_t before = m_children.size();
                // A nested playlist read is flattened into this one; one that
                // cannot be read now stays listed as it was.
                keep = depth >= kMaxNesting || !LoadNested(entry, context, depth + 1);
                if (!keep && own && m_children.size() > before)
                    attachKept(*m_children[before]);
            }
        } else {
            MusicItem record;
            if (GetMediaInfo(entry, record, context) != -1 &&
                context.formats.Accepts(record.type)) {
                auto track = std::make_unique<Track>(record);
                track->DeriveTitle();
                // A title or artist stored in the playlist fills what the
                // music file does not say itself; a tag always wins.
                if (track->artist.empty() && !pendingArtist.empty()) {
                    track->artist = pendingArtist;
                    track->flags |= kArtistKnown;
                }
                if (track->titleFromName && !pendingTitle.empty()) {
                    track->title = pendingTitle;
                    track->titleFromName = false;
                }
                if (own) {
                    track->fromPlaylist.entry = std::string(line);
                    attachKept(*track);
                }
                size += track->size;
                if (track->length != kNoLength)
                    length += track->length;
                AppendChild(std::move(track));
            } else {
                keep = true;
            }
        }
        if (keep && own) {
            if (!pendingInfo.empty())
                kept.push_back(pendingInfo);
            kept.emplace_back(line);
        }
        pendingTitle.clear();
        pendingArtist.clear();
        pendingInfo.clear();
    }
    if (own) {
        if (!pendingInfo.empty())
            kept.push_back(pendingInfo);
        m_linesAtEnd.insert(m_linesAtEnd.end(), kept.begin(), kept.end());
    }
}

std::string M3UPlaylist::Render(bool deviceForm, const std::string& volumeRoot,
                                bool lengths) const {
    std::string root = volumeRoot;
    while (root.size() > 1 && root.back() == '/')
        root.pop_back();
    const std::string folder = FolderOf(AbsolutePath(path));
    auto addLines = [&](std::string& out, const std::vector<std::string>& lines) {
        if (deviceForm)
            return; // the card gets only what plays there
        for (const std::string& l : lines)
            out += l + "\r\n";
    };
    std::string out = (deviceForm ? std::string("#EXTM3U") : m_headerLine) + "\r\n";
    for (const MusicItem* child : m_children) {
        addLines(out, child->fromPlaylist.before);
        const std::string& p = child->path;
        if (p.find_first_of("\r\n") != std::string::npos)
            continue; // a line break cannot be written into a playlist line
        std::string written = p;
        if (deviceForm) {
            if (!root.empty() && root != "/" && p.size() > root.size() &&
                p.compare(0, root.size(), root) == 0 && p[root.size()] == '/') {
                written = p.substr(root.size());
            } else {
                PathParts parts = SplitPath(p);
                written = parts.dir + parts.name + parts.ext;
            }
        } else if (const std::string& as = child->fromPlaylist.entry; !as.empty()) {
            // The entry as its writer wrote it, while it names the same file;
            // a relative one stays relative to the playlist's folder.
            if (as.front() != '/' ? AbsolutePath(as, folder) == p : as == p)
                written = as;
            else if (as.front() != '/' && p.size() > folder.size() &&
                     p.compare(0, folder.size(), folder) == 0)
                written = p.substr(folder.size());
        }
        out += "#EXTINF:" + (lengths ? FormatLengthSeconds(*child) : std::string()) + "," +
               OneLine(child->artist) + " - " + OneLine(child->title) + "\r\n";
        out += written + "\r\n";
    }
    addLines(out, m_linesAtEnd);
    return out;
}

std::string M3UPlaylist::RenderM3U(bool deviceForm, const std::string& volumeRoot) const {
    return Render(deviceForm, volumeRoot, true);
}

void M3UPlaylist::TakeSnapshot() {
    // Lengths are left out: the program measures them later, which changes
    // nothing another program wrote.
    m_snapshot = Render(false, {}, false);
    m_snapshotPath = path;
    m_haveSnapshot = true;
}

bool M3UPlaylist::Changed() const {
    return !m_haveSnapshot || m_snapshotPath != path || m_snapshot != Render(false, {}, false);
}

bool M3UPlaylist::WriteM3U(const std::string& file) const {
    return libfile::ReplaceAtomically(file, RenderM3U(false, {}));
}

bool M3UPlaylist::WriteDeviceM3U(const std::string& file, const std::string& volumeRoot) const {
    return libfile::ReplaceAtomically(file, RenderM3U(true, volumeRoot));
}

bool M3UPlaylist::ApplyTitleToPath() {
    PathParts parts = SplitPath(path);
    parts.name = title;
    path = MakePath(parts);
    return true;
}

bool M3UPlaylist::SaveWith(bool deviceForm, const std::string& volumeRoot) {
    PathParts parts = SplitPath(path);
    // The title shows the file name as text (a name that is not UTF-8 too):
    // only a title that differs from that renames the file.
    if (DecodeTextLine(parts.name) != title) {
        // A title that is not a plain file name cannot name the file.
        if (title.empty() || title.find('/') != std::string::npos || title == "." || title == "..")
            return false;
        PathParts renamed = parts;
        renamed.name = title;
        const std::string newPath = MakePath(renamed);
        std::error_code ec;
        // Never replace another file by the rename.
        if (std::filesystem::exists(newPath, ec) || ec)
            return false;
        if (std::filesystem::exists(path, ec)) {
            if (std::rename(path.c_str(), newPath.c_str()) != 0)
                return false;
            if (m_snapshotPath == path)
                m_snapshotPath = newPath; // the same file under its new name
        }
        path = newPath;
    }
    if (deviceForm)
        return WriteDeviceM3U(path, volumeRoot);
    // A playlist that did not change is not rewritten: the file stays as its
    // writer left it, and one on a stick that is not plugged in is not
    // recreated empty.
    if (!Changed())
        return true;
    if (!WriteM3U(path))
        return false;
    TakeSnapshot();
    return true;
}

bool M3UPlaylist::Save() {
    return SaveWith(false, {});
}

bool M3UPlaylist::SaveForDevice(const std::string& volumeRoot) {
    return SaveWith(true, volumeRoot);
}

} // namespace lyb
