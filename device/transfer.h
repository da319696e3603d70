// The transfer of music items to the phone's card: the worker thread that
// copies each file to the card's root folder in 4096-byte blocks, giving MP3
// and AAC files a version-4 ID3v2 tag on the way, and the message numbers it
// talks to the transfer dialog and the Mobile Device page with.
//
// The worker never touches a window: it posts (or sends) messages to the
// dialog's target and to the page's target, asks questions through Prompt,
// and takes the cancel request from its own message queue, polled before
// every block.
#pragma once

#include "core/export/lockstream.h"
#include "library/music_item.h"
#include "platform/message_target.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace lyb {

class CLocalize;
class CUSBManager;
class Prompt;

// Messages to the transfer dialog.
inline constexpr unsigned kMsgTransferStep = kUserMessageBase + 500;     ///< 1524: wparam bytes of the block
inline constexpr unsigned kMsgTransferNewFile = kUserMessageBase + 501;  ///< 1525: wparam item index, lparam size
inline constexpr unsigned kMsgTransferFinished = kUserMessageBase + 502; ///< 1526: the dialog ends with 0
/// 1527: to the dialog, lparam = bytes the overall bar skips; to the worker's
/// own queue, the cancel request.
inline constexpr unsigned kMsgTransferSkip = kUserMessageBase + 503;
inline constexpr unsigned kMsgTransferCancel = kMsgTransferSkip;
inline constexpr unsigned kMsgTransferFileDone = kUserMessageBase + 504; ///< 1528
inline constexpr unsigned kMsgTransferAllDone = kUserMessageBase + 505;  ///< 1529
/// The dialog's texts: wparam 0 the source path, 1 the progress text; payload std::string.
inline constexpr unsigned kMsgTransferText = kUserMessageBase + 506;
/// The cancel button: wparam 1 enabled, 0 disabled.
inline constexpr unsigned kMsgTransferCancelButton = kUserMessageBase + 507;
/// The wait cursor: wparam 1 shown, 0 removed.
inline constexpr unsigned kMsgTransferWaitCursor = kUserMessageBase + 508;

// Messages to the Mobile Device page.
/// 1923: refresh the device tree when lparam is 0 (posted on a volume's removal).
inline constexpr unsigned kMsgRefreshDevices = kUserMessageBase + 1123;
/// After each transferred file: the space texts ("%s kb") and the card's list again.
inline constexpr unsigned kMsgCardChanged = kUserMessageBase + 1124;

/// Result codes of one file.
enum TransferCode : int {
    kTransferCopied = 0,
    kTransferWriteFailed = -1,
    kTransferCancelled = -2,
    kTransferSourceFailed = -3,
    kTransferOnCard = -10,
    kTransferCardGone = -101,
};

/// Bytes of one block of the copy.
inline constexpr std::size_t kTransferBlock = 4096;
/// The pause after each block, in milliseconds.
inline constexpr int kTransferPauseMs = 20;

/// What the copy of one file does besides reading and writing.
struct CopyHooks {
    /// Writes a block: the count written, -1 on failure, -101 when the card is gone.
    std::function<long(const void* data, std::size_t count)> write;
    /// Polled before every block: true ends the copy with -2.
    std::function<bool()> cancelled;
    /// After every block, with the position reached in the source.
    std::function<void(std::uint64_t position)> progress;
    /// A write failed (before the copy returns the write's result).
    std::function<void()> writeFailed;
    int pauseMs = kTransferPauseMs;
};

/// Copies `source` to the target: first `tag` (the serialised tag, may be
/// empty), then the source from `start` to its end in blocks of 4096 bytes,
/// the last 128 bytes read (and, when they are an ID3v1 tag, written) as a
/// block of their own. Returns 0 when copied, -2 when cancelled, the write's
/// result when a write failed, -1 when the source could not be read.
int CopyToTarget(std::FILE* source, const std::string& tag, std::uint64_t start, const CopyHooks& hooks);

/// The name a source takes on the card: its file name without extension,
/// trailing blanks removed, followed by its extension.
std::string TargetNameFor(const std::string& sourcePath);

/// True when `path` lies on the card whose root is `cardRoot` (with its
/// trailing '/'): the same volume, compared without regard to case.
bool LiesOnCard(const std::string& path, const std::string& cardRoot);

/// Builds the tag the card's file starts with and where the copy of the
/// source starts: a version-4 tag of the source is taken over (title and
/// artist replaced) and skipped; any other source gets a new version-4 tag
/// and is copied whole. The length frame is set from the item. The bytes are
/// the serialised tag (grown in 256-byte steps until its frames fit).
bool BuildTransferTag(const MusicItem& item, std::string& tagBytes, std::uint64_t& start);

/// What a transfer ended with.
struct TransferOutcome {
    int successes = 0;
    int failed = 0; ///< items minus successes
    std::vector<std::string> failedPaths;
    bool noSpace = false;
};

/// What the worker works with. Pointers are borrowed and must outlive it.
struct TransferServices {
    CUSBManager* manager = nullptr;
    Prompt* prompt = nullptr;
    const CLocalize* localize = nullptr;
    /// The Lockstream library's entries (both null: no Lockstream object).
    CreateLockstreamInterfaceFn createLockstream = nullptr;
    ReleaseLockstreamInterfaceFn releaseLockstream = nullptr;
    MessageTarget* dialog = nullptr; ///< the transfer dialog's messages
    MessageTarget* page = nullptr;   ///< the Mobile Device page (may be null)
    int pauseMs = kTransferPauseMs;
    /// Wait after posting the end, before the result is shown (ms).
    int endWaitMs = 100;
};

/// The worker thread's own message queue (the thread message queue).
class ThreadMessageQueue {
public:
    /// False when the queue does not take messages (the thread is not running).
    bool Post(unsigned id);
    /// Takes the oldest message, if any.
    bool Take(unsigned& id);
    void Open();
    void Close();

private:
    std::mutex m_mutex;
    std::deque<unsigned> m_messages;
    bool m_open = false;
};

class TransferWorker {
public:
    TransferWorker(TransferServices services, std::vector<MusicItem> items);
    ~TransferWorker(); ///< joins the thread
    TransferWorker(const TransferWorker&) = delete;
    TransferWorker& operator=(const TransferWorker&) = delete;

    /// Starts the thread; false when it cannot be started.
    bool Start();
    /// Posts to the thread's message queue (1527 cancels); false when the
    /// thread is not running.
    bool PostThreadMessage(unsigned id) { return m_queue.Post(id); }
    /// Waits for the thread.
    void Join();
    bool Finished() const { return m_finished.load(); }
    /// The outcome; complete once Finished() (or after Join).
    const TransferOutcome& Outcome() const { return m_outcome; }
    const std::vector<MusicItem>& Items() const { return m_items; }

    /// The worker's body (runs on the thread Start made).
    void Run();

private:
    int TransferOne(size_t index, int device);
    int CopyItem(const MusicItem& item);
    void Text(int which, const std::string& text);
    std::string T(int id, const char* english) const;
    void Message(const std::string& text);

    TransferServices m_s;
    std::vector<MusicItem> m_items;
    ThreadMessageQueue m_queue;
    std::thread m_thread;
    std::atomic<bool> m_finished{false};
    TransferOutcome m_outcome;
    LockstreamInterface* m_lockstream = nullptr;
};

} // namespace lyb
