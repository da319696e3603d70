#include "library/media_info.h"

#include "app/localize.h"
#include "library/file_util.h"
#include "platform/file_access.h"
#include "library/id3v2_tag.h"
#include "platform/message_target.h"
#include "platform/prompt.h"
#include "platform/trace.h"

#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <thread>

#include <pthread.h> // idle scheduling class for the probe worker
#include <sched.h>

namespace lyb {

bool FormatEnabled::Accepts(uint32_t itemType) const {
    return (itemType == kItemLse && lse) || (itemType == kItemMp3 && mp3) ||
           (itemType == kItemAac && aac);
}

std::string LibraryContext::Text(int id, std::string_view english) const {
    return localize ? localize->Get(id, english) : std::string(english);
}

MpegHeaderInfo ParseMpegHeader(const uint8_t b[4]) {
    MpegHeaderInfo info;
    const uint32_t word =
        (uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) | b[3];
    if ((word & 0xFFE00000u) != 0xFFE00000u)
        return info;
    info.valid = true;
    info.channels = ((b[3] >> 6) & 3) == 3 ? 1 : 2;
    const unsigned version = (word >> 19) & 3; // 0: 2.5, 1: reserved, 2: MPEG-2, 3: MPEG-1
    const unsigned layer = (word >> 17) & 3;   // 1: III, 2: II, 3: I
    const unsigned rateIndex = (word >> 12) & 15;
    const unsigned srIndex = (word >> 10) & 3;
    if (version == 1 || layer == 0 || srIndex == 3 || rateIndex == 15)
        return info;
    static const uint16_t kRates[5][15] = {
        {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448}, // MPEG-1 layer I
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},    // MPEG-1 layer II
        {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},     // MPEG-1 layer III
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256}, // MPEG-2/2.5 layer I
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}, // MPEG-2/2.5 layers II, III
    };
    static const uint32_t kSampleRates[3][3] = {
        {44100, 48000, 32000}, {22050, 24000, 16000}, {11025, 12000, 8000}};
    const unsigned layerNo = 4 - layer; // 1, 2, 3
    unsigned table = version == 3 ? layerNo - 1 : (layerNo == 1 ? 3 : 4);
    info.bitrate = kRates[table][rateIndex] * 1000u;
    info.sampleRate = kSampleRates[version == 3 ? 0 : version == 2 ? 1 : 2][srIndex];
    return info;
}

AdtsHeaderInfo ParseAdtsHeader(const uint8_t b[4]) {
    AdtsHeaderInfo info;
    if (b[0] != 0xFF || (b[1] & 0xF6) != 0xF0) // syncword, layer 0
        return info;
    // Sampling frequency index (ISO/IEC 13818-7, Table 35).
    static const uint32_t kRates[12] = {96000, 88200, 64000, 48000, 44100, 32000,
                                        24000, 22050, 16000, 12000, 11025, 8000};
    const unsigned index = (b[2] >> 2) & 0x0F;
    if (index >= 12)
        return info;
    info.valid = true;
    info.sampleRate = kRates[index];
    info.channels = ((b[2] & 1u) << 2) | (b[3] >> 6);
    return info;
}

namespace {

std::string EndingAfterLastDot(const std::string& path) {
    size_t dot = path.rfind('.');
    return dot == std::string::npos ? std::string() : libfile::AsciiLower(path.substr(dot + 1));
}

bool ReadAt(std::FILE* f, uint64_t offset, uint8_t out[4]) {
    return std::fseek(f, static_cast<long>(offset), SEEK_SET) == 0 && std::fread(out, 1, 4, f) == 4;
}

uint32_t SecondsOf(double value) {
    if (!(value >= 0) || value >= 4294967295.0)
        return kNoLength;
    return static_cast<uint32_t>(value);
}

void TakeTag(const ID3v2Tag& tag, MusicItem& record) {
    record.title = tag.GetTitle();
    record.artist = tag.GetArtist();
    record.url = tag.GetURL();
    record.length = tag.GetLength();
}

} // namespace

int GetMediaInfo(const std::string& path, MusicItem& record, const LibraryContext& context) {
    record.path = path;
    auto fileSize = libfile::FileSize(path);
    if (!fileSize)
        return -1;
    std::FILE* probe = OpenRegularFile(path, "rb");
    if (!probe)
        return -1;
    std::fclose(probe);

    const std::string ending = EndingAfterLastDot(path);
    LengthQueryEngine* engine = context.engine;
    const bool query = engine && engine->LengthQueriesEnabled();

    if (ending == "mp3") {
        ID3v2Tag tag;
        const bool hasTag = tag.ReadTag(path, ID3v2Tag::ReadMode::Info);
        if (hasTag) {
            TakeTag(tag, record);
            record.flags |= kTitleKnown | kArtistKnown | kInfoRead;
        }
        std::FILE* f = OpenRegularFile(path, "rb");
        if (!f)
            return -1;
        uint8_t head[4];
        if (ReadAt(f, 0, head)) {
            MpegHeaderInfo info = ParseMpegHeader(head);
            if (info.valid) {
                record.flags |= kMpegHeader;
                record.channels = info.channels;
            } else if (hasTag && ReadAt(f, tag.TotalSize(), head)) {
                // Most files start with a tag; the stream parameters come
                // from the first frame behind it.
                info = ParseMpegHeader(head);
                if (info.valid)
                    record.channels = info.channels;
            }
            record.bitrate = info.bitrate;
            record.sampleRate = info.sampleRate;
        }
        ID3v1Record v1;
        char tail[128];
        const bool hasV1 = *fileSize >= 128 && std::fseek(f, -128, SEEK_END) == 0 &&
                           std::fread(tail, 1, 128, f) == 128 &&
                           v1.Parse(std::string_view(tail, 128));
        std::fclose(f);
        if (query) {
            double seconds = 0;
            if (engine->Mp3LengthSeconds(path, seconds))
                record.length = SecondsOf(seconds);
        }
        if (hasV1) {
            if (!(record.flags & kTitleKnown) && !v1.title.empty()) {
                record.title = v1.title;
                record.flags |= kTitleKnown;
            }
            if (!(record.flags & kArtistKnown) && !v1.artist.empty()) {
                record.artist = v1.artist;
                record.flags |= kArtistKnown;
            }
        }
        record.size = static_cast<uint32_t>(*fileSize);
        record.type = kItemMp3;
        return 0;
    }
    if (ending == "aac") {
        record.length = 0;
        ID3v2Tag tag;
        const bool hasTag = tag.ReadTag(path, ID3v2Tag::ReadMode::Info);
        if (hasTag)
            TakeTag(tag, record);
        // Stream parameters from the first ADTS header (at the start or behind the tag).
        if (std::FILE* f = OpenRegularFile(path, "rb")) {
            uint8_t head[4];
            const uint64_t at = hasTag ? tag.TotalSize() : 0;
            if (ReadAt(f, at, head)) {
                AdtsHeaderInfo info = ParseAdtsHeader(head);
                record.channels = info.channels;
                record.sampleRate = info.sampleRate;
            }
            std::fclose(f);
        }
        if (query) {
            double ms = 0;
            if (engine->AacLengthMilliseconds(path, ms)) {
                record.length = SecondsOf(ms * 0.001);
                TraceFormat("AAC Duration %d", static_cast<int>(record.length));
            }
        }
        record.size = static_cast<uint32_t>(*fileSize);
        record.type = kItemAac;
        record.flags |= kTitleKnown | kArtistKnown | kInfoRead;
        return 0;
    }
    return -1;
}

int SetMediaInfo(const std::string& path, const MusicItem& record, const LibraryContext& context) {
    // Only asked, never opened: a FIFO must not block here. Whatever is not
    // a regular file is refused below, with the read-only message.
    if (!IsReadable(path))
        return -1;
    if (path.size() < 3)
        return -1;
    const std::string last3 = libfile::AsciiLower(path.substr(path.size() - 3));
    if (last3 != "aac" && last3 != "lse" && last3 != "mp3")
        return -1;
    return WriteMediaInfo(path, record, context);
}

int WriteMediaInfo(const std::string& path, const MusicItem& record,
                   const LibraryContext& context) {
    std::FILE* f = OpenRegularFile(path, "r+b");
    if (!f) {
        if (context.prompt)
            context.prompt->Ask(
                context.Text(254, "Can't modify media info. Check to see if the file attribute is "
                                  "set to read-only."),
                context.Text(255, "Lyrabox"), PromptButtons::Ok, PromptIcon::Warning);
        return -1;
    }
    std::fclose(f);

    ID3v2Tag tag;
    bool force = true;
    if (tag.ReadTag(path)) {
        // A tag whose every frame was understood is edited in its own
        // version and replaces itself: its other frames (album, comments,
        // pictures) stay where every reader finds them. (A 2.2 tag flagged
        // as compressed is not understood.) Only a tag that could not be
        // read whole gets a new tag in front, keeping the old one behind it.
        const bool editInPlace = tag.MajorVersion() == 4 ||
                                 (tag.Complete() && !(tag.MajorVersion() == 2 && tag.HasExtendedHeader()));
        if (editInPlace) {
            tag.SetTitle(record.title);
            tag.SetArtist(record.artist);
            tag.SetLength(record.length);
            tag.SetURL(record.url);
            force = false;
        } else {
            tag.SetTitleAndArtist(record.title, record.artist);
            tag.SetLength(record.length);
            tag.SetURL(record.url);
        }
    } else {
        if (context.prompt &&
            context.prompt->Ask(
                context.Text(256, "This file doesn't contain media info. Create it?"),
                context.Text(257, "Lyrabox"), PromptButtons::OkCancel,
                PromptIcon::Question) != PromptAnswer::Ok)
            return -1;
        tag.SetTitleAndArtist(record.title, record.artist);
        tag.SetLength(record.length);
        tag.SetURL(record.url);
    }
    return tag.WriteTag(path, force) ? 0 : -2;
}

// --- Length probes -------------------------------------------------------

namespace {

std::mutex& ProcessProbeLock() {
    static std::mutex lock; // created on first use
    return lock;
}

class ProbeQueue {
  public:
    struct Job {
        std::string path;
        MessageTarget* target;
        LengthQueryEngine* engine;
    };

    // Never destroyed: documents that cancel their probes from static
    // destructors must still find it; the worker ends with the process.
    static ProbeQueue& Instance() {
        static ProbeQueue* queue = new ProbeQueue;
        return *queue;
    }

    void Push(Job job) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_jobs.push_back(std::move(job));
        if (!m_worker.joinable())
            m_worker = std::thread([this] { Run(); });
        m_wake.notify_one();
    }

    void Cancel(MessageTarget* target) {
        std::unique_lock<std::mutex> lock(m_mutex);
        std::erase_if(m_jobs, [&](const Job& job) { return job.target == target; });
        m_idle.wait(lock, [&] { return m_running != target || !m_busy; });
    }

    void WaitAll() {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_idle.wait(lock, [&] { return m_jobs.empty() && !m_busy; });
    }

  private:
    void Run() {
        sched_param param{};
        param.sched_priority = 0;
        pthread_setschedparam(pthread_self(), SCHED_IDLE, &param);
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [&] { return !m_jobs.empty(); });
            Job job = std::move(m_jobs.front());
            m_jobs.pop_front();
            m_busy = true;
            m_running = job.target;
            lock.unlock();
            Probe(job);
            lock.lock();
            m_busy = false;
            m_running = nullptr;
            m_idle.notify_all();
        }
    }

    static void Probe(const Job& job) {
        size_t dot = job.path.rfind('.');
        if (dot == std::string::npos || !job.engine)
            return;
        const std::string ending = libfile::AsciiLower(job.path.substr(dot));
        uint32_t seconds = kNoLength;
        {
            std::lock_guard<std::mutex> engineLock(ProcessProbeLock());
            double value = 0;
            if (ending == ".mp3") {
                if (!job.engine->Mp3LengthSeconds(job.path, value))
                    return;
                seconds = SecondsOf(value);
            } else if (ending == ".aac") {
                if (!job.engine->AacLengthMilliseconds(job.path, value))
                    return;
                seconds = SecondsOf(value * 0.001);
            } else {
                return;
            }
        }
        if (seconds == kNoLength || !job.target)
            return;
        job.target->Post(kDurationReady, 0, static_cast<std::intptr_t>(seconds), job.path);
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::deque<Job> m_jobs;
    std::thread m_worker;
    MessageTarget* m_running = nullptr;
    bool m_busy = false;
};

} // namespace

void ProbeDuration(const std::string& path, MessageTarget* target, LengthQueryEngine* engine) {
    ProbeQueue::Instance().Push({path, target, engine});
}

void CancelDurationProbes(MessageTarget* target) {
    ProbeQueue::Instance().Cancel(target);
}

void WaitForDurationProbes() {
    ProbeQueue::Instance().WaitAll();
}

} // namespace lyb
