#include "device/transfer.h"

#include "app/localize.h"
#include "device/usb_manager.h"
#include "library/id3v2_tag.h"
#include "platform/path.h"
#include "platform/prompt.h"
#include "platform/trace.h"

#include <chrono>
#include <cstring>
#include <filesystem>

namespace lyb {

namespace {

void Sleep(int ms) {
    if (ms > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// A write that did not take the whole block: its own failure code, or -1.
int WriteFailure(long written) {
    return written < 0 ? static_cast<int>(written) : kTransferWriteFailed;
}

} // namespace

// --- One file ----------------------------------------------------------------

int CopyToTarget(std::FILE* source, const std::string& tag, std::uint64_t start, const CopyHooks& hooks) {
    // 1. The length, and the last 128 bytes when they are an ID3v1 tag.
    if (!source || fseeko(source, 0, SEEK_END) != 0)
        return kTransferWriteFailed;
    const off_t end = ftello(source);
    if (end < 0)
        return kTransferWriteFailed;
    const auto length = static_cast<std::uint64_t>(end);
    char tail[128];
    bool hasV1 = false;
    if (length >= 128 && fseeko(source, end - 128, SEEK_SET) == 0 && std::fread(tail, 1, 128, source) == 128)
        hasV1 = std::memcmp(tail, "TAG", 3) == 0;

    // 2. The tag goes first.
    if (!tag.empty()) {
        const long written = hooks.write(tag.data(), tag.size());
        if (written < 0 || static_cast<std::size_t>(written) < tag.size()) {
            if (hooks.writeFailed)
                hooks.writeFailed();
            return WriteFailure(written);
        }
    }

    // 3. The source from the start offset.
    std::uint64_t position = std::min(start, length);
    if (fseeko(source, static_cast<off_t>(position), SEEK_SET) != 0)
        return kTransferWriteFailed;
    const std::uint64_t tailStart = length >= 128 ? length - 128 : 0;
    bool lastBlock = false; // the block up to the last 128 bytes was read
    bool inTail = false;    // the last 128 bytes are being read
    char buffer[kTransferBlock];
    for (;;) {
        // 4. The cancel request is looked for before every block.
        if (hooks.cancelled && hooks.cancelled())
            return kTransferCancelled;
        std::size_t want = kTransferBlock;
        if (!lastBlock && position <= tailStart && position + kTransferBlock >= tailStart) {
            want = static_cast<std::size_t>(tailStart - position);
            lastBlock = true;
        } else if (lastBlock) {
            inTail = true;
        }
        const std::size_t got = want ? std::fread(buffer, 1, want, source) : 0;
        if (got < want && std::ferror(source))
            return kTransferWriteFailed; // a read error never ends as a short "copied" file
        position += got;
        if (got == 0) {
            if (lastBlock && !inTail)
                continue; // nothing lay between the start and the last 128 bytes
            return kTransferCopied;
        }

        // 5. The tail of a file with an ID3v1 tag is the remembered tag.
        const bool remembered = inTail && hasV1 && got == 128;
        const char* out = remembered ? tail : buffer;
        const long written = hooks.write(out, got);
        // 6.
        if (written < 0 || static_cast<std::size_t>(written) < got) {
            if (hooks.writeFailed)
                hooks.writeFailed();
            return WriteFailure(written);
        }
        // 7.
        if (hooks.progress)
            hooks.progress(position);
        Sleep(hooks.pauseMs);
    }
}

std::string TargetNameFor(const std::string& sourcePath) {
    const PathParts parts = SplitPath(sourcePath);
    std::string name = parts.name;
    while (!name.empty() && name.back() == ' ')
        name.pop_back();
    if (name.empty())
        name = parts.name; // a name of blanks only keeps them
    return name + parts.ext;
}

bool LiesOnCard(const std::string& path, const std::string& cardRoot) {
    namespace fs = std::filesystem;
    if (cardRoot.empty() || path.empty())
        return false;
    std::error_code ec;
    // Links may lead onto the card from elsewhere: both sides as the file
    // system resolves them.
    std::string root = fs::weakly_canonical(cardRoot, ec).string();
    if (ec)
        root = cardRoot;
    std::string file = fs::weakly_canonical(path, ec).string();
    if (ec)
        file = path;
    while (root.size() > 1 && root.back() == '/')
        root.pop_back();
    if (root == "/")
        return !file.empty() && file.front() == '/';
    return file.size() > root.size() && file.compare(0, root.size(), root) == 0 && file[root.size()] == '/';
}

bool BuildTransferTag(const MusicItem& item, std::string& tagBytes, std::uint64_t& start) {
    ID3v2Tag tag;
    start = 0;
    if (tag.ReadTag(item.path, ID3v2Tag::ReadMode::Full) && tag.MajorVersion() == 4) {
        // The source's own version-4 tag is replaced by the new one.
        start = tag.TotalSize();
        tag.DropUnwrittenFlags();
        tag.SetTitle(item.title);
        tag.SetArtist(item.artist);
    } else {
        // An older tag stays in front of the audio, behind the new one.
        tag.ResetTag();
        tag.SetTitle(item.title);
        tag.SetArtist(item.artist);
    }
    // An unknown length writes no length: the card's players read the
    // length frame as a number of milliseconds.
    if (item.length != kNoLength)
        tag.SetLength(item.length);
    if (!tag.GrowToFit())
        return false;
    tagBytes = tag.Rendered();
    return true;
}

// --- The thread's message queue ------------------------------------------------

bool ThreadMessageQueue::Post(unsigned id) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_open)
        return false;
    m_messages.push_back(id);
    return true;
}

bool ThreadMessageQueue::Take(unsigned& id) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_messages.empty())
        return false;
    id = m_messages.front();
    m_messages.pop_front();
    return true;
}

void ThreadMessageQueue::Open() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_open = true;
}

void ThreadMessageQueue::Close() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_open = false;
    m_messages.clear();
}

// --- The worker ------------------------------------------------------------------

TransferWorker::TransferWorker(TransferServices services, std::vector<MusicItem> items)
    : m_s(std::move(services)), m_items(std::move(items)) {}

TransferWorker::~TransferWorker() {
    Join();
}

bool TransferWorker::Start() {
    if (m_thread.joinable() || !m_s.manager)
        return false;
    m_queue.Open(); // the queue exists before the thread runs
    try {
        m_thread = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
        m_queue.Close();
        return false;
    }
    return true;
}

void TransferWorker::Join() {
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id())
        m_thread.join();
}

std::string TransferWorker::T(int id, const char* english) const {
    return m_s.localize ? m_s.localize->Get(id, english) : std::string(english);
}

void TransferWorker::Text(int which, const std::string& text) {
    if (m_s.dialog)
        m_s.dialog->Post(kMsgTransferText, static_cast<std::uintptr_t>(which), 0, text);
}

void TransferWorker::Message(const std::string& text) {
    if (m_s.prompt)
        m_s.prompt->Ask(text, T(271, "Lyrabox 3.0"), PromptButtons::Ok, PromptIcon::Warning);
}

void TransferWorker::Run() {
    CUSBManager& usb = *m_s.manager;
    const int device = usb.SelectedDevice();
    if (m_s.createLockstream && m_s.releaseLockstream)
        m_s.createLockstream(&m_lockstream);

    size_t stoppedAt = m_items.size(); // items from here on were not transferred
    int last = kTransferCopied;
    for (size_t i = 0; i < m_items.size(); ++i) {
        // a. The card went away: nothing more can be written.
        if (last == kTransferCardGone || !usb.CardPresent(device)) {
            Message(T(268, "Can't transfer to usb device: error") + " " + std::to_string(kTransferCardGone));
            stoppedAt = i;
            break;
        }
        // b. Room for this item, in kilobytes.
        const std::uint64_t free = usb.GetDeviceSpaceKB(device, kSpaceFree);
        if ((m_items[i].size >> 10) >= free) {
            Message(T(335, "No enough space on mobile device"));
            m_outcome.noSpace = true;
            stoppedAt = i;
            break;
        }
        last = TransferOne(i, device);
        if (last == kTransferCancelled) {
            stoppedAt = i + 1; // the cancelled item is listed already
            break;
        }
    }

    // 3.
    if (m_lockstream && m_s.releaseLockstream)
        m_s.releaseLockstream(&m_lockstream);
    m_lockstream = nullptr;
    for (size_t i = stoppedAt; i < m_items.size(); ++i)
        m_outcome.failedPaths.push_back(m_items[i].path);
    // 4.
    m_outcome.failed = static_cast<int>(m_items.size()) - m_outcome.successes;
    m_queue.Close();
    if (m_s.dialog) {
        m_s.dialog->Post(kMsgTransferWaitCursor, 0);
        m_finished.store(true);
        m_s.dialog->Post(kMsgTransferFinished);
    } else {
        m_finished.store(true);
    }
    Sleep(m_s.endWaitMs);
}

int TransferWorker::TransferOne(size_t index, int device) {
    CUSBManager& usb = *m_s.manager;
    const MusicItem& item = m_items[index];
    const DeviceRecord card = usb.Device(device);
    // c.
    const std::string name = TargetNameFor(item.path);
    // d.
    Text(0, item.path);
    Text(1, T(260, "Preparing to transfer ..."));
    if (m_s.dialog)
        m_s.dialog->Post(kMsgTransferWaitCursor, 1);

    int result = kTransferCopied;
    int created = 0;
    // e. A file on the card itself is not copied onto itself.
    if (LiesOnCard(item.path, card.rootPath)) {
        result = kTransferOnCard;
    } else {
        // f.
        created = usb.CreateTargetFile(name);
    }
    if (result == kTransferOnCard || created != 1) {
        // j. Not copied: the overall bar moves past the item.
        m_outcome.failedPaths.push_back(item.path);
        if (result == kTransferOnCard || created == 0) {
            // The code of what went wrong: -10 for a file on the card, else the system's.
            const int error = result == kTransferOnCard ? kTransferOnCard : usb.LastError();
            Message(T(268, "Can't transfer to usb device: error") + " " + std::to_string(error));
        }
        if (m_s.dialog)
            m_s.dialog->Post(kMsgTransferSkip, 0, static_cast<std::intptr_t>(item.size));
        return result == kTransferOnCard ? kTransferOnCard : kTransferWriteFailed;
    }

    // g.
    if (m_s.dialog)
        m_s.dialog->Post(kMsgTransferNewFile, index, static_cast<std::intptr_t>(item.size));
    result = CopyItem(item);

    // h.
    if (m_s.dialog) {
        m_s.dialog->Post(kMsgTransferFileDone);
        if (index + 1 == m_items.size())
            m_s.dialog->Post(kMsgTransferAllDone);
        m_s.dialog->Post(kMsgTransferCancelButton, 0);
    }
    if (result == kTransferCopied && !usb.FlushTarget())
        result = kTransferWriteFailed;
    if (m_s.dialog)
        m_s.dialog->Post(kMsgTransferCancelButton, 1);

    // i. A copied file is put in place; anything else leaves nothing behind.
    const int handle = usb.TargetFileHandle();
    if (result == kTransferCopied && !usb.CommitTargetFile())
        result = kTransferWriteFailed;
    if (result == kTransferCancelled || result == kTransferSourceFailed)
        Text(1, T(267, "Transfer cancelled"));
    if (result != kTransferCopied)
        usb.DiscardTargetFile(handle);
    if (result == kTransferCopied)
        ++m_outcome.successes;
    else
        m_outcome.failedPaths.push_back(item.path);
    if (result == kTransferCancelled)
        return result;
    if (m_s.page)
        m_s.page->Post(kMsgCardChanged);
    return result;
}

int TransferWorker::CopyItem(const MusicItem& item) {
    CUSBManager& usb = *m_s.manager;
    const bool tagged = item.type == kItemMp3 || item.type == kItemAac;
    if (!tagged && item.type != kItemLse) {
        TraceFormat("Transfer: %s is not a music file the card takes", item.path.c_str());
        return kTransferWriteFailed;
    }
    std::string tag;
    std::uint64_t start = 0;
    if (tagged && !BuildTransferTag(item, tag, start))
        return kTransferWriteFailed;
    std::FILE* source = std::fopen(item.path.c_str(), "rb");
    if (!source)
        return kTransferSourceFailed;
    if (m_lockstream) {
        m_lockstream->SetTrack(static_cast<int>(item.length)); // slot 8: the length
        m_lockstream->SetBitrate(static_cast<int>(item.bitrate)); // slot 7: the bitrate
    }
    CopyHooks hooks;
    hooks.write = [&usb](const void* data, std::size_t count) { return usb.WriteTarget(data, count); };
    hooks.cancelled = [this] {
        unsigned id = 0;
        return m_queue.Take(id) && id == kMsgTransferCancel;
    };
    const std::string transferred = T(265, "Transferred");
    const std::string bytes = T(266, "bytes to device");
    hooks.progress = [&](std::uint64_t position) {
        if (!m_s.dialog)
            return;
        m_s.dialog->Post(kMsgTransferStep, kTransferBlock);
        Text(1, transferred + " " + std::to_string(position) + " " + bytes);
    };
    hooks.writeFailed = [this] { Text(1, T(264, "Error while transferring, canceling ...")); };
    hooks.pauseMs = m_s.pauseMs;
    const int result = CopyToTarget(source, tag, start, hooks);
    std::fclose(source);
    return result;
}

} // namespace lyb
