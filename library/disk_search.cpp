#include "library/disk_search.h"

#include "platform/trace.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <system_error>
#include <unordered_set>

namespace lyb {

namespace {

int64_t NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

bool EndsWith(const std::string& name, const char* ending) {
    const size_t n = std::char_traits<char>::length(ending);
    return name.size() >= n && name.compare(name.size() - n, n, ending) == 0;
}

std::string WithSlash(std::string folder) {
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    return folder;
}

std::string WithoutSlash(std::string folder) {
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return folder;
}

bool Listed(VolumeType type) {
    return type == VolumeType::Fixed || type == VolumeType::Removable || type == VolumeType::CdRom ||
           type == VolumeType::Remote;
}

} // namespace

// --- Outbox ------------------------------------------------------------------------

bool SearchOutbox::Post(Message message) {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_target && m_target->Post(std::move(message));
}

void SearchOutbox::Close() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_target = nullptr;
}

// --- The walk -------------------------------------------------------------------------

SearchWalk::SearchWalk(Options options, std::shared_ptr<SearchOutbox> outbox)
    : m_options(std::move(options)), m_outbox(std::move(outbox)) {}

bool SearchWalk::Takes(const std::string& name, int typeCode) {
    if (EndsWith(name, ".M3U") || EndsWith(name, ".m3u"))
        return typeCode == kSearchAllTypes || typeCode == kSearchM3u;
    if (EndsWith(name, ".MP3") || EndsWith(name, ".mp3"))
        return typeCode == kSearchAllTypes || typeCode == kSearchMp3;
    if (EndsWith(name, ".AAC") || EndsWith(name, ".aac"))
        return typeCode == kSearchAllTypes || typeCode == kSearchAac;
    return false;
}

bool SearchWalk::Skipped(const std::string& folder) const {
    const std::string key = WithoutSlash(folder);
    return std::find(m_noEntry.begin(), m_noEntry.end(), key) != m_noEntry.end();
}

void SearchWalk::PostProgress(bool force) {
    const int64_t now = NowMs();
    if (!force && now - m_lastProgress < m_options.timing.progressMs)
        return;
    m_lastProgress = now;
    if (m_outbox)
        m_outbox->Post(Message{kSearchProgress, static_cast<std::uintptr_t>(m_found), m_processed, {}});
}

int SearchWalk::SearchFolder(const std::string& folder) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    if (ec)
        return -1;
    const SearchTiming& timing = m_options.timing;
    for (const fs::directory_iterator end; it != end; it.increment(ec)) {
        if (ec)
            break; // the rest of an unreadable folder is left
        if (m_stop.load())
            return -2;
        if (timing.yieldEvery > 0 && ++m_sinceYield >= timing.yieldEvery) {
            m_sinceYield = 0;
            if (timing.yieldMs > 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(timing.yieldMs));
        }
        ++m_processed;
        const std::string name = it->path().filename().string();
        std::error_code typeEc;
        // Links to folders are not followed: a link cycle cannot trap the walk.
        const bool isFolder = !it->is_symlink(typeEc) && it->is_directory(typeEc);
        if (isFolder) {
            if (m_options.subfolders) {
                const std::string sub = folder + name + "/";
                if (!Skipped(sub) && SearchFolder(sub) == -2)
                    return -2;
            }
        } else if (Takes(name, m_options.typeCode)) {
            ++m_found;
            m_foundList.push_back(folder + name);
        }
        PostProgress(false);
    }
    return 0;
}

int SearchWalk::Run() {
    m_lastProgress = NowMs();
    int result = 0;
    std::vector<Volume> volumes = m_options.volumes;
    std::sort(volumes.begin(), volumes.end(),
              [](const Volume& a, const Volume& b) { return a.mountPoint < b.mountPoint; });
    if (m_options.allDrives) {
        for (const Volume& volume : volumes) {
            if (volume.type != VolumeType::Fixed && volume.type != VolumeType::Remote)
                continue;
            // Each volume is walked on its own: the others mounted inside it
            // are either walked themselves or not searched at all.
            m_noEntry.clear();
            for (const Volume& other : volumes)
                if (other.mountPoint != volume.mountPoint)
                    m_noEntry.push_back(WithoutSlash(other.mountPoint));
            if (SearchFolder(WithSlash(volume.mountPoint)) == -2) {
                result = -2;
                break;
            }
        }
    } else {
        for (const Volume& other : volumes)
            if (other.type == VolumeType::Virtual)
                m_noEntry.push_back(WithoutSlash(other.mountPoint));
        if (!m_options.location.empty() && SearchFolder(WithSlash(m_options.location)) == -2)
            result = -2;
    }
    PostProgress(true);
    m_result.store(result);
    if (m_outbox) {
        if (result == -2)
            m_outbox->Post(Message{kSearchStopped, static_cast<std::uintptr_t>(m_found), m_processed, {}});
        else
            m_outbox->Post(Message{kSearchFinished, static_cast<std::uintptr_t>(m_found), m_processed, m_foundList});
    }
    return result;
}

// --- The dialog ----------------------------------------------------------------------

DiskSearch::DiskSearch(StudioPage& page, MessageTarget* target, std::vector<Volume> volumes)
    : m_page(page), m_volumes(std::move(volumes)), m_outbox(std::make_shared<SearchOutbox>(target)) {
    std::vector<Volume> listed;
    for (const Volume& v : m_volumes)
        if (Listed(v.type))
            listed.push_back(v);
    std::sort(listed.begin(), listed.end(),
              [](const Volume& a, const Volume& b) { return a.mountPoint < b.mountPoint; });
    m_drives.push_back(AllDrivesText());
    for (const Volume& v : listed) {
        m_drives.push_back(v.mountPoint);
        m_driveRoots.push_back(v.mountPoint);
    }
}

DiskSearch::~DiskSearch() {
    if (m_worker.joinable()) {
        if (m_walk)
            m_walk->RequestStop();
        WaitForWorker(15, 200);
    }
    m_outbox->Close();
}

std::string DiskSearch::Text(int id, const char* english) const {
    return m_page.Doc().Context().Text(id, english);
}

std::string DiskSearch::AllDrivesText() const {
    return Text(230, "All drives");
}

DiskSearch::Texts DiskSearch::DialogTexts() const {
    Texts t;
    t.caption = Text(339, "Search disks for music");
    t.criteria = Text(221, "Search criteria");
    t.fileTypes = Text(224, "Select file types");
    t.lookIn = Text(222, "Look for music in:");
    t.folder = Text(223, "Folder:");
    t.typesLabel = Text(225, "File types to\nsearch for");
    t.browse = Text(216, "Browse...");
    t.close = Text(272, "Close");
    t.subfolders = Text(228, "Search Subfolders");
    t.browseTitle = Text(258, "Folders to scan");
    return t;
}

void DiskSearch::Open(const std::string& musicFolder) {
    m_location = musicFolder;
    m_driveSelection = -1;
    const std::string root = VolumeRootOf(m_volumes, musicFolder);
    for (size_t i = 0; i < m_driveRoots.size(); ++i)
        if (!root.empty() && m_driveRoots[i] == root)
            m_driveSelection = static_cast<int>(i) + 1;
    m_typeSelection = 0;
    m_typeCode = kSearchAllTypes;
    m_subfolders = false;
}

void DiskSearch::SelectDrive(int index) {
    if (index < 0 || index >= static_cast<int>(m_drives.size()))
        return;
    m_driveSelection = index;
    m_location = index == 0 ? AllDrivesText() : m_driveRoots[static_cast<size_t>(index) - 1];
}

void DiskSearch::BrowseFolder(const std::string& chosen) {
    if (chosen.empty())
        return;
    m_location = chosen;
    const std::string root = VolumeRootOf(m_volumes, chosen);
    for (size_t i = 0; i < m_driveRoots.size(); ++i)
        if (!root.empty() && m_driveRoots[i] == root)
            m_driveSelection = static_cast<int>(i) + 1;
}

std::vector<std::string> DiskSearch::TypeEntries() const {
    const FormatEnabled& f = m_page.Doc().Context().formats;
    std::vector<std::string> entries = {Text(231, "All supported types")};
    if (f.mp3)
        entries.push_back(Text(232, "MP3 audio files"));
    if (f.aac)
        entries.push_back(Text(326, "AAC audio files"));
    if (f.lse)
        entries.push_back(Text(233, "LSE audio files"));
    entries.push_back(Text(234, "M3U playlist files"));
    return entries;
}

void DiskSearch::SelectTypes(int position) {
    const int count = static_cast<int>(TypeEntries().size());
    if (position < 0 || position >= count)
        return;
    m_typeSelection = position;
    // The position counts only the entries shown: each format left out
    // raises the code of the entries after it by one.
    const FormatEnabled& f = m_page.Doc().Context().formats;
    int code = position;
    if (code > 0 && !f.mp3)
        ++code;
    if (!f.aac && code > 1)
        ++code;
    if (!f.lse && code > 2)
        ++code;
    m_typeCode = code;
}

std::string DiskSearch::PatternText() const {
    const FormatEnabled& f = m_page.Doc().Context().formats;
    switch (m_typeCode) {
    case kSearchMp3:
        return "*.mp3";
    case kSearchAac:
        // The label this dialog has always shown for AAC; what is searched
        // for is the ".aac" ending (SearchWalk::Takes).
        return "*.acc";
    case kSearchLse:
        return "*.lse";
    case kSearchM3u:
        return "*.m3u";
    default: {
        std::string text;
        if (f.mp3)
            text += "*.mp3; ";
        if (f.aac)
            text += "*.aac; ";
        if (f.lse)
            text += "*.lse; ";
        return text + "*.m3u";
    }
    }
}

std::string DiskSearch::ButtonText() const {
    return m_searching ? Text(229, "Stop search") : Text(226, "Start search");
}

void DiskSearch::StartOrStop() {
    if (m_searching) {
        if (m_walk && !m_adding)
            m_walk->RequestStop();
        return;
    }
    if (m_worker.joinable())
        m_worker.join();
    m_found = 0;
    m_processed = 0;
    m_toAdd.clear();
    m_added = 0;
    SearchWalk::Options options;
    options.allDrives = m_location == AllDrivesText();
    options.location = options.allDrives ? std::string() : m_location;
    options.subfolders = m_subfolders;
    options.typeCode = m_typeCode;
    options.volumes = m_volumes;
    options.timing = m_timing;
    m_walk = std::make_shared<SearchWalk>(std::move(options), m_outbox);
    m_workerDone = std::make_shared<std::atomic<bool>>(false);
    m_searching = true;
    m_worker = std::thread([walk = m_walk, done = m_workerDone] {
        walk->Run();
        done->store(true);
    });
}

bool DiskSearch::OnMessage(const Message& message) {
    if (m_closed)
        return message.id >= kSearchFinished && message.id <= kSearchProgress;
    switch (message.id) {
    case kSearchProgress:
        m_found = static_cast<int>(message.wparam);
        m_processed = static_cast<int>(message.lparam);
        if (!m_adding)
            m_status = Text(238, "Found:") + " " + std::to_string(m_found) + "  " + Text(239, "Processed:") + " " +
                       std::to_string(m_processed);
        return true;
    case kSearchStopped:
        m_found = static_cast<int>(message.wparam);
        m_processed = static_cast<int>(message.lparam);
        if (m_worker.joinable())
            m_worker.join();
        m_status = Text(235, "Search stopped");
        m_searching = false;
        return true;
    case kSearchFinished:
        m_found = static_cast<int>(message.wparam);
        m_processed = static_cast<int>(message.lparam);
        if (m_worker.joinable())
            m_worker.join();
        if (const auto* found = std::any_cast<std::vector<std::string>>(&message.payload))
            BeginAdding(*found);
        else
            BeginAdding({});
        return true;
    default:
        return false;
    }
}

bool DiskSearch::AddSome(size_t count) {
    if (!m_adding)
        return false;
    const size_t slice = std::min(count, m_toAdd.size() - m_addIndex);
    m_added += m_page.AddFoundFiles(m_toAdd, m_addIndex, slice, [this](const std::string& path) {
        m_status = Text(114, "Add") + ": " + path;
    });
    m_addIndex += slice;
    if (m_addIndex < m_toAdd.size())
        return true;
    FinishAdding();
    return false;
}

void DiskSearch::BeginAdding(std::vector<std::string> found) {
    m_toAdd = std::move(found);
    m_addIndex = 0;
    m_added = 0;
    m_rowsBefore = m_page.RowCount();
    m_adding = true;
}

void DiskSearch::FinishAdding() {
    m_page.FinishAddingFound(m_rowsBefore);
    m_adding = false;
    m_searching = false;
    m_status = Text(238, "Found:") + " " + std::to_string(m_found) + "  " + Text(237, "file(s)") + " , " +
               Text(242, "Added:") + " " + std::to_string(m_added) + "  " + Text(243, "file(s) to Music Studio");
}

bool DiskSearch::WaitForWorker(int steps, int stepMs) {
    for (int i = 0; i <= steps; ++i) {
        if (!m_workerDone || m_workerDone->load()) {
            if (m_worker.joinable())
                m_worker.join();
            return true;
        }
        if (i < steps)
            std::this_thread::sleep_for(std::chrono::milliseconds(stepMs));
    }
    // A walk stuck in a file system that does not answer is left behind; it
    // owns what it uses and posts nowhere once the outbox is closed.
    Trace("Disk search: the worker did not stop in time and is left to end");
    m_outbox->Close();
    m_worker.detach();
    return false;
}

void DiskSearch::CloseSearch(const std::function<void(bool)>& busy) {
    if (m_searching && !m_adding) {
        if (m_walk)
            m_walk->RequestStop();
        if (busy)
            busy(true);
        const bool ended = WaitForWorker(15, 200);
        if (busy)
            busy(false);
        m_searching = false;
        // A walk that ended before it saw the request has its files added.
        if (ended && m_walk && m_walk->Result() == 0)
            BeginAdding(m_walk->FoundList());
    }
    while (m_adding && AddSome(1000)) {
    }
    m_closed = true;
    m_status.clear();
}

} // namespace lyb
