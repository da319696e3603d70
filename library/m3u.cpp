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
}

void M3UPlaylist::LoadNested(const std::string& file, const LibraryContext& context, int depth) {
    // A playlist is a text file; anything beyond 64 MiB is not one.
    auto bytes = libfile::ReadAll(file, 64ull << 20);
    if (!bytes)
        return;
    LoadText(*bytes, file, context, depth);
}

void M3UPlaylist::LoadFromBytes(std::string_view bytes, const std::string& file,
                                const LibraryContext& context) {
    LoadText(bytes, file, context, 0);
}

void M3UPlaylist::LoadText(std::string_view raw, const std::string& file,
                           const LibraryContext& context, int depth) {
    m_visited.push_back(file);
    m_visitedKeys.push_back(Canonical(file));
    // Files are UTF-8; older ones were written in a single-byte code page.
    const std::string text = DecodeLegacyText(raw);
    const std::string folder = FolderOf(file);

    size_t pos = 0;
    auto nextLine = [&](std::string_view& line) {
        if (pos >= text.size())
            return false;
        size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        line = std::string_view(text).substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        pos = end + 1;
        return true;
    };

    std::string_view line;
    if (!nextLine(line) || line.find("#EXTM3U") == std::string_view::npos)
        return;

    std::string pendingTitle, pendingArtist;
    while (nextLine(line)) {
        if (line.empty()) {
            pendingTitle.clear();
            pendingArtist.clear();
            continue;
        }
        if (line.substr(0, 7) == "#EXTINF") {
            size_t comma = line.find(',');
            if (comma == std::string_view::npos)
                continue;
            std::string_view rest = line.substr(comma + 1);
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
        std::string entry(line);
        if (entry.front() != '/')
            entry = folder + entry;

        if (IsM3UPath(entry)) {
            // The same text, or the same file under another text, is read once.
            bool seen = std::find(m_visited.begin(), m_visited.end(), entry) != m_visited.end();
            if (!seen) {
                const std::string key = Canonical(entry);
                seen = std::find(m_visitedKeys.begin(), m_visitedKeys.end(), key) !=
                       m_visitedKeys.end();
            }
            if (!seen && depth < kMaxNesting)
                LoadNested(entry, context, depth + 1);
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
                size += track->size;
                if (track->length != kNoLength)
                    length += track->length;
                AppendChild(std::move(track));
            }
        }
        pendingTitle.clear();
        pendingArtist.clear();
    }
}

std::string M3UPlaylist::RenderM3U(bool deviceForm, const std::string& volumeRoot) const {
    std::string root = volumeRoot;
    while (root.size() > 1 && root.back() == '/')
        root.pop_back();
    std::string out = "#EXTM3U\r\n";
    for (const MusicItem* child : m_children) {
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
        }
        out += "#EXTINF:" + FormatLengthSeconds(*child) + "," + OneLine(child->artist) + " - " +
               OneLine(child->title) + "\r\n";
        out += written + "\r\n";
    }
    return out;
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
    if (parts.name != title) {
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
        }
        path = newPath;
    }
    return deviceForm ? WriteDeviceM3U(path, volumeRoot) : WriteM3U(path);
}

bool M3UPlaylist::Save() {
    return SaveWith(false, {});
}

bool M3UPlaylist::SaveForDevice(const std::string& volumeRoot) {
    return SaveWith(true, volumeRoot);
}

} // namespace lyb
