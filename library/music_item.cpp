#include "library/music_item.h"

#include "app/localize.h"
#include "library/media_info.h"
#include "platform/path.h"
#include "platform/text.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace lyb {

// --- MusicItem ------------------------------------------------------------

void MusicItem::Attach(const std::string&) {}
bool MusicItem::Save() {
    return false;
}
bool MusicItem::WriteM3U(const std::string&) const {
    return false;
}
void MusicItem::Detach() {}
MusicItem::~MusicItem() = default;

std::unique_ptr<MusicItem> MusicItem::Clone() const {
    return std::make_unique<MusicItem>(*this);
}

void MusicItem::DeriveTitle() {
    if ((flags & kTitleKnown) && !title.empty())
        return;
    // A file name need not be UTF-8; the title is text to show.
    title = DecodeTextLine(SplitPath(path).name);
    titleFromName = true;
    flags |= kTitleKnown;
}

void MusicItem::CopyRecordFrom(const MusicItem& other) {
    MusicItem::operator=(other);
}

std::unique_ptr<MusicItem> Track::Clone() const {
    return std::make_unique<Track>(*this);
}

// --- Playlist -------------------------------------------------------------

Playlist::Playlist(const Playlist& other) : MusicItem(other), m_linesAtEnd(other.m_linesAtEnd) {
    m_children.reserve(other.m_children.size());
    for (const MusicItem* child : other.m_children)
        m_children.push_back(new MusicItem(*child));
}

Playlist& Playlist::operator=(const Playlist& other) {
    if (this == &other)
        return *this;
    std::vector<MusicItem*> copies;
    copies.reserve(other.m_children.size());
    for (const MusicItem* child : other.m_children)
        copies.push_back(new MusicItem(*child));
    DeleteChildren();
    MusicItem::operator=(other);
    m_children = std::move(copies);
    m_borrowed = false;
    m_linesAtEnd = other.m_linesAtEnd;
    return *this;
}

Playlist::~Playlist() {
    DeleteChildren();
}

void Playlist::DeleteChildren() {
    if (!m_borrowed)
        for (MusicItem* child : m_children)
            delete child;
    m_children.clear();
}

std::unique_ptr<MusicItem> Playlist::Clone() const {
    return std::make_unique<Playlist>(*this);
}

bool Playlist::ApplyTitleToPath() {
    return false;
}
bool Playlist::WriteDeviceM3U(const std::string&, const std::string&) const {
    return false;
}
bool Playlist::SaveForDevice(const std::string&) {
    return false;
}

bool Playlist::InsertFile(const std::string& given, bool acceptPlaylists,
                          const LibraryContext& context) {
    const std::string file = AbsolutePath(given);
    if (IsM3UPath(file)) {
        if (!acceptPlaylists)
            return false;
        M3UPlaylist nested;
        nested.path = file;
        nested.DeriveTitle();
        nested.Load(file, context);
        for (const MusicItem* child : nested.Children()) {
            auto copy = std::make_unique<Track>(*child);
            copy->fromPlaylist = {}; // the lines belong to the other file
            AppendChild(std::move(copy));
        }
        return nested.ChildCount() > 0;
    }
    MusicItem record;
    if (GetMediaInfo(file, record, context) == -1 || !context.formats.Accepts(record.type))
        return false;
    auto track = std::make_unique<Track>(record);
    track->DeriveTitle();
    AppendChild(std::move(track));
    return true;
}

void Playlist::RecomputeTotals() {
    uint32_t totalSize = 0;
    uint32_t totalLength = 0;
    for (const MusicItem* child : m_children) {
        totalSize += child->size;
        if (child->length != kNoLength)
            totalLength += child->length;
    }
    size = totalSize;
    length = totalLength;
}

void Playlist::AppendChild(std::unique_ptr<MusicItem> child) {
    if (child)
        m_children.push_back(child.release());
}

void Playlist::InsertChild(size_t index, std::unique_ptr<MusicItem> child) {
    if (!child)
        return;
    index = std::min(index, m_children.size());
    m_children.insert(m_children.begin() + static_cast<std::ptrdiff_t>(index), child.release());
}

std::unique_ptr<MusicItem> Playlist::TakeChild(size_t index) {
    if (index >= m_children.size())
        return nullptr;
    MusicItem* child = m_children[index];
    m_children.erase(m_children.begin() + static_cast<std::ptrdiff_t>(index));
    if (m_borrowed)
        return nullptr;
    // Lines another program wrote before this entry stay where they were.
    std::vector<std::string>& kept = child->fromPlaylist.before;
    if (!kept.empty()) {
        std::vector<std::string>& target =
            index < m_children.size() ? m_children[index]->fromPlaylist.before : m_linesAtEnd;
        target.insert(target.begin(), kept.begin(), kept.end());
        kept.clear();
    }
    return std::unique_ptr<MusicItem>(child);
}

void Playlist::RemoveChild(size_t index) {
    TakeChild(index);
}

void Playlist::SwapChildren(size_t a, size_t b) {
    if (a < m_children.size() && b < m_children.size())
        std::swap(m_children[a], m_children[b]);
}

void Playlist::SetBorrowed(bool borrowed) {
    // Switching only an empty playlist keeps ownership unambiguous.
    if (m_children.empty())
        m_borrowed = borrowed;
}

bool Playlist::AppendBorrowed(MusicItem* item) {
    if (!m_borrowed || !item)
        return false;
    m_children.push_back(item);
    return true;
}

// --- M3UPlaylist (file operations live in m3u.cpp) ------------------------

M3UPlaylist::~M3UPlaylist() = default;

std::unique_ptr<MusicItem> M3UPlaylist::Clone() const {
    return std::make_unique<M3UPlaylist>(*this);
}

bool M3UPlaylist::InsertFile(const std::string& file, bool acceptPlaylists,
                             const LibraryContext& context) {
    return Playlist::InsertFile(file, acceptPlaylists, context);
}

// --- Display helpers --------------------------------------------------------

std::string FormatLength(uint32_t length) {
    if (length == kNoLength)
        return "??:??";
    unsigned hours = (length % 86400) / 3600;
    unsigned minutes = (length % 3600) / 60;
    unsigned seconds = length % 60;
    char text[32];
    if (hours == 0)
        std::snprintf(text, sizeof text, "%02u:%02u", minutes, seconds);
    else
        std::snprintf(text, sizeof text, "%02u:%02u:%02u", hours, minutes, seconds);
    return text;
}

std::string FormatLength(const MusicItem& item) {
    return FormatLength(item.length);
}

std::string FormatLengthSeconds(const MusicItem& item) {
    return std::to_string(static_cast<int32_t>(item.length));
}

std::string FormatSize(uint32_t bytes, const CLocalize* localize) {
    std::string unit = localize ? localize->Get(363, "Kb") : std::string("Kb");
    return std::to_string(static_cast<int32_t>(bytes / 1024)) + " " + unit;
}

std::string FormatSize(const MusicItem& item, const CLocalize* localize) {
    return FormatSize(item.size, localize);
}

std::string TypeName(const MusicItem& item, const CLocalize* localize) {
    int id = 107;
    const char* english = "Unknown type";
    switch (item.type) {
    case kItemMp3:
        id = 102;
        english = "MP3";
        break;
    case kItemAac:
        id = 103;
        english = "AAC";
        break;
    case kItemLse:
        id = 104;
        english = "LSE";
        break;
    case kItemM3u:
        id = 105;
        english = "M3U";
        break;
    case kItemPls:
        id = 106;
        english = "PLS";
        break;
    default:
        break;
    }
    return localize ? localize->Get(id, english) : std::string(english);
}

bool IsM3UPath(std::string_view path) {
    if (path.size() < 4)
        return false;
    std::string_view last = path.substr(path.size() - 4);
    return last == ".M3U" || last == ".m3u";
}

// --- MusicCollection --------------------------------------------------------

MusicCollection::~MusicCollection() = default;

void MusicCollection::Place(std::unique_ptr<MusicItem> item, bool atFront) {
    if (atFront)
        m_items.insert(m_items.begin(), std::move(item));
    else
        m_items.push_back(std::move(item));
}

bool MusicCollection::AddFile(const std::string& given, bool atFront,
                              const LibraryContext& context) {
    const std::string path = AbsolutePath(given);
    if (IsM3UPath(path)) {
        auto playlist = std::make_unique<M3UPlaylist>();
        playlist->path = path;
        playlist->DeriveTitle();
        playlist->Load(path, context);
        Place(std::move(playlist), atFront);
        return true;
    }
    MusicItem record;
    if (GetMediaInfo(path, record, context) == -1 || !context.formats.Accepts(record.type))
        return false;
    auto track = std::make_unique<Track>(record);
    track->DeriveTitle();
    Place(std::move(track), atFront);
    return true;
}

void MusicCollection::ScanFolder(const std::string& folder, const LibraryContext& context) {
    namespace fs = std::filesystem;
    if (folder.empty())
        return;
    std::string base = folder;
    if (base.back() != '/')
        base += '/';
    std::error_code ec;
    std::vector<std::pair<std::string, bool>> entries; // name, is a folder
    for (fs::directory_iterator it(base, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code typeEc;
        // Links to folders are not followed, so a link cycle cannot recurse forever.
        bool isFolder = it->is_directory(typeEc) && !it->is_symlink(typeEc);
        entries.emplace_back(it->path().filename().string(), isFolder);
    }
    std::sort(entries.begin(), entries.end());
    for (const auto& [name, isFolder] : entries) {
        if (isFolder)
            ScanFolder(base + name + "/", context);
        else
            AddFile(base + name, false, context);
    }
}

void MusicCollection::RecomputeTotals() {
    uint32_t totalSize = 0;
    uint32_t totalLength = 0;
    for (const auto& item : m_items) {
        totalSize += item->size;
        if (item->length != kNoLength)
            totalLength += item->length;
    }
    m_totals.size = totalSize;
    m_totals.length = totalLength;
}

void MusicCollection::Append(std::unique_ptr<MusicItem> item) {
    if (item)
        m_items.push_back(std::move(item));
}

void MusicCollection::Insert(size_t index, std::unique_ptr<MusicItem> item) {
    if (!item)
        return;
    index = std::min(index, m_items.size());
    m_items.insert(m_items.begin() + static_cast<std::ptrdiff_t>(index), std::move(item));
}

std::unique_ptr<MusicItem> MusicCollection::Take(size_t index) {
    if (index >= m_items.size())
        return nullptr;
    auto item = std::move(m_items[index]);
    m_items.erase(m_items.begin() + static_cast<std::ptrdiff_t>(index));
    return item;
}

void MusicCollection::Remove(size_t index) {
    Take(index);
}

void MusicCollection::Swap(size_t a, size_t b) {
    if (a < m_items.size() && b < m_items.size())
        std::swap(m_items[a], m_items[b]);
}

void MusicCollection::Clear() {
    m_items.clear();
    m_totals = MusicItem();
}

} // namespace lyb
