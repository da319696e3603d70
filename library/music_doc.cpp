#include "library/music_doc.h"

#include "library/file_util.h"
#include "library/media_info.h"
#include "platform/instance.h"
#include "platform/text.h"

#include <filesystem>
#include <system_error>

namespace lyb {

std::unique_ptr<InstanceGuard> MakeStudioLock(const std::string& studioPath) {
    const std::filesystem::path file(studioPath);
    std::filesystem::path folder = file.parent_path();
    if (folder.empty())
        folder = ".";
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    return MakeLockFileGuard(folder.string(), file.filename().string() + ".lock");
}

CMusicDoc::~CMusicDoc() {
    CancelProbes();
}

void CMusicDoc::CancelProbes() {
    if (m_probeTarget)
        CancelDurationProbes(m_probeTarget);
}

std::string CMusicDoc::StudioPath(const std::string& programFolder) {
    std::string path = programFolder;
    if (!path.empty() && path.back() != '/')
        path += '/';
    return path + std::string(kStudioFileName);
}

std::string CMusicDoc::UserStudioPath(const std::string& dataHome) {
    std::string path = dataHome;
    if (!path.empty() && path.back() != '/')
        path += '/';
    return path + "lyrabox/" + std::string(kStudioFileName);
}

size_t CMusicDoc::LoadStudio(const std::string& path, unsigned legacyCodePage) {
    auto bytes = libfile::ReadAll(path);
    if (!bytes)
        return 0;
    return LoadStudioFromBytes(*bytes, legacyCodePage);
}

size_t CMusicDoc::LoadStudioFromBytes(std::string_view bytes, unsigned legacyCodePage) {
    // Each line is decided on its own: titles and artists are text (UTF-8,
    // or the code page of an older version), paths are the bytes of a file
    // name, whatever they are.
    const std::vector<std::string_view> lines = SplitLines(bytes);
    size_t added = 0;
    for (size_t i = 0; i + 2 < lines.size(); i += 3) {
        const std::string title = DecodeTextLine(lines[i], legacyCodePage);
        const std::string path = libfile::PathFromLine(lines[i + 1], {}, legacyCodePage);
        const std::string artist = DecodeTextLine(lines[i + 2], legacyCodePage);
        const size_t before = m_collection.Count();
        if (path.empty() || !m_collection.AddFile(path, false, m_context) ||
            m_collection.Count() == before)
            continue;
        ++added;
        MusicItem* item = m_collection.Item(m_collection.Count() - 1);
        // The stored texts fill what the file does not say itself: a tag's
        // title and artist always win, a title made from the file name does not.
        if (item->artist.empty() && !artist.empty()) {
            item->artist = artist;
            item->flags |= kArtistKnown;
        }
        if (item->titleFromName && !title.empty() && !item->IsPlaylist()) {
            item->title = title;
            item->titleFromName = false;
        }
    }
    return added;
}

std::string CMusicDoc::RenderStudio() const {
    auto oneLine = [](const std::string& s) {
        std::string out = s;
        for (char& c : out)
            if (c == '\r' || c == '\n')
                c = ' ';
        return out;
    };
    std::string out;
    out.reserve(m_collection.Count() * 96);
    for (const auto& item : m_collection.Items()) {
        if (item->path.find_first_of("\r\n") != std::string::npos)
            continue; // such a path cannot be written as one line
        out += oneLine(item->title);
        out += "\r\n";
        out += item->path;
        out += "\r\n";
        out += oneLine(item->artist);
        out += "\r\n";
    }
    return out;
}

bool CMusicDoc::SaveStudio(const std::string& path) const {
    return libfile::ReplaceAtomically(path, RenderStudio());
}

bool CMusicDoc::SaveAll(const std::string& studioPath) {
    for (const auto& item : m_collection.Items())
        item->Save();
    return SaveStudio(studioPath);
}

void CMusicDoc::MarkUnknownLengths() {
    for (const auto& item : m_collection.Items()) {
        if (item->IsPlaylist()) {
            auto* playlist = static_cast<Playlist*>(item.get());
            for (MusicItem* child : playlist->Children())
                if (child->length == 0)
                    child->length = kNoLength;
        } else if (item->length == 0) {
            item->length = kNoLength;
        }
    }
}

bool CMusicDoc::OnNewDocument(const StudioStartup& startup) {
    LengthQueryEngine* engine = m_context.engine;
    if (engine)
        engine->SetLengthQueriesEnabled(false);
    if (startup.busy)
        startup.busy(true);
    switch (startup.mode) {
    case static_cast<int>(StudioStartupMode::PreviousSession): {
        std::error_code ec;
        if (!startup.studioFile.empty() && std::filesystem::exists(startup.studioFile, ec))
            LoadStudio(startup.studioFile);
        else
            LoadStudio(StudioPath(startup.programFolder));
        break;
    }
    case static_cast<int>(StudioStartupMode::ScanMusicFolder):
        m_collection.ScanFolder(startup.defaultMusicFolder, m_context);
        break;
    default:
        break;
    }
    if (startup.busy)
        startup.busy(false);
    if (engine)
        engine->SetLengthQueriesEnabled(true);
    MarkUnknownLengths();
    m_collection.RecomputeTotals();
    if (startup.probeTarget)
        ProbeDurations(startup.probeTarget);
    return true;
}

bool CMusicDoc::OnOpenDocument(const StudioStartup& startup, const std::string& path) {
    OnNewDocument(startup);
    const size_t before = m_collection.Count();
    if (m_collection.AddFile(path, true, m_context) && m_collection.Count() > before) {
        m_pendingPlay = 0;
        m_collection.RecomputeTotals();
    }
    return true;
}

void CMusicDoc::ProbeDurations(MessageTarget* target) {
    if (!target)
        return;
    if (m_probeTarget && m_probeTarget != target)
        CancelProbes();
    m_probeTarget = target;
    // Paths are copied here; the probe worker never reads the collection.
    for (const auto& item : m_collection.Items()) {
        if (item->IsPlaylist()) {
            for (const MusicItem* child : static_cast<Playlist*>(item.get())->Children())
                ProbeDuration(child->path, target, m_context.engine);
        } else {
            ProbeDuration(item->path, target, m_context.engine);
        }
    }
}

size_t CMusicDoc::ApplyDuration(const std::string& path, uint32_t seconds) {
    size_t changed = 0;
    for (const auto& item : m_collection.Items()) {
        if (item->IsPlaylist()) {
            auto* playlist = static_cast<Playlist*>(item.get());
            bool touched = false;
            for (MusicItem* child : playlist->Children())
                if (child->path == path) {
                    child->length = seconds;
                    child->flags |= kInfoRead;
                    touched = true;
                    ++changed;
                }
            if (touched)
                playlist->RecomputeTotals();
        } else if (item->path == path) {
            item->length = seconds;
            item->flags |= kInfoRead;
            ++changed;
        }
    }
    if (changed)
        m_collection.RecomputeTotals();
    return changed;
}

} // namespace lyb
