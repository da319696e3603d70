#include "cd/rip_pipeline.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/localize.h"
#include "cd/cd_state.h"
#include "cd/rip_questions.h"
#include "core/include/tessel/aac_interface.h"
#include "library/id3v2_tag.h"
#include "platform/atomic_file.h"
#include "platform/path.h"
#include "platform/prompt.h"
#include "platform/trace.h"
#include "platform/volumes.h"

namespace lyb {

namespace {

void Put32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = std::uint8_t(v >> (8 * i));
}

void PutText(std::uint8_t* p, std::string_view text) {
    std::string t = TruncateUtf8(std::string(text), 255); // the slot keeps its terminator
    std::memcpy(p, t.data(), t.size());
}

bool IsFolder(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

std::string FolderOf(const std::string& path) {
    PathParts p = SplitPath(path);
    if (p.dir.empty()) return ".";
    return p.dir.size() > 1 ? p.dir.substr(0, p.dir.size() - 1) : p.dir;
}

// Sizes in the no-space message: what is needed rounded up, what is free
// rounded down, so the two never read the same.
std::string SpaceText(std::uint64_t bytes, bool roundUp) {
    char text[32];
    if (bytes < 1048576)
        std::snprintf(text, sizeof text, "%llu KB",
                      static_cast<unsigned long long>((bytes + (roundUp ? 1023 : 0)) / 1024));
    else
        std::snprintf(text, sizeof text, "%.2f MB",
                      double((bytes * 100 + (roundUp ? 1048575 : 0)) / 1048576) / 100.0);
    return text;
}

} // namespace

std::string SanitizeTrackTitle(std::string_view title) {
    std::string out(title);
    for (char& c : out)
        if (std::strchr("\\/:*?<>|\"", c) && c != '\0') c = '_';
    return out;
}

int EffectiveBitrate(int setting) { return setting == 0 ? 128000 : setting; }

TrackInfoBlock BuildTrackInfoBlock(std::string_view title, std::string_view artist, std::string_view album,
                                   int outputFormat, int seconds, int bitrate, const WaveFormat& format) {
    TrackInfoBlock b{};
    PutText(b.data() + 528, title);
    PutText(b.data() + 784, artist);
    PutText(b.data() + 1040, album);
    Put32(b.data() + 1600, outputFormat == kRipFormatLse ? 256u : 0u);
    Put32(b.data() + 1608, std::uint32_t(seconds));
    Put32(b.data() + 1612, std::uint32_t(bitrate));
    Put32(b.data() + 1616, format.channels);
    Put32(b.data() + 1620, format.bitsPerSample);
    Put32(b.data() + 1624, format.samplesPerSecond);
    return b;
}

std::string BuildTagPrefix(std::string_view title, std::string_view artist) {
    ID3v2Tag tag;
    tag.SetTitleAndArtist(title, artist);
    return tag.Rendered();
}

std::uint64_t ExpectedOutputBytes(int seconds, int bitrate) {
    // A little over the nominal rate: ADTS headers and the rate control's
    // swing; the tag and the encoder's flush frames on top.
    std::uint64_t audio = std::uint64_t(seconds + 1) * std::uint64_t(EffectiveBitrate(bitrate)) / 8;
    return audio + audio / 10 + 256 * 1024;
}

CRipPipeline::CRipPipeline(AACInterface* encoder, RipQuestions& questions, const CLocalize* localize)
    : m_encoder(encoder), m_questions(questions), m_localize(localize) {
    m_freeSpace = [](const std::string& folder, std::uint64_t& freeBytes) {
        std::uint64_t total = 0;
        return CurrentVolumeSource().Space(folder, total, freeBytes);
    };
}

CRipPipeline::~CRipPipeline() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_open && m_encoder) m_encoder->Close();
    if (m_stream) std::fclose(m_stream);
}

void CRipPipeline::SetFreeSpaceQuery(std::function<bool(const std::string&, std::uint64_t&)> query) {
    m_freeSpace = std::move(query);
}

void CRipPipeline::Begin(RipSettings settings, std::vector<CDTrackInfo> tracks) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_settings = std::move(settings);
    m_tracks = std::move(tracks);
    m_finished.clear();
    m_track = 0;
    m_path.clear();
}

std::string CRipPipeline::Text(int id, std::string_view english) const {
    return m_localize ? m_localize->Get(id, english) : std::string(english);
}

std::vector<CRipPipeline::TrackRecord> CRipPipeline::Finished() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_finished;
}

std::string CRipPipeline::CurrentPath() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_path;
}

bool CRipPipeline::EnoughSpace(const std::string& path, int seconds) {
    std::uint64_t freeBytes = 0;
    const std::string folder = FolderOf(path);
    if (!m_freeSpace || !m_freeSpace(folder, freeBytes)) return true; // unknown: the writes will tell
    const std::uint64_t need = ExpectedOutputBytes(seconds, m_settings.bitrate);
    if (freeBytes >= need) return true;
    TraceFormat("Not enough free space in %s: %llu bytes needed, %llu free", folder.c_str(),
                static_cast<unsigned long long>(need), static_cast<unsigned long long>(freeBytes));
    m_questions.TellNoSpace("Not enough free space in " + folder + " to save " + SplitPath(path).name +
                            SplitPath(path).ext + " (about " + SpaceText(need, true) + " needed, " +
                            SpaceText(freeBytes, false) + " free).\nSaving is cancelled.");
    return false;
}

int CRipPipeline::PrepareTrackFile(int trackNumber, std::string& path) {
    path.clear();
    if (trackNumber < 1 || std::size_t(trackNumber) > m_tracks.size()) return 1;
    if (CancelAllRequested()) return 2;
    const CDTrackInfo& t = m_tracks[std::size_t(trackNumber - 1)];
    const bool lse = m_settings.outputFormat == kRipFormatLse;
    // Both engines name an LSE file ".lse": its content is a Lockstream file.
    const std::string ext = lse ? ".lse" : ".aac";
    std::string folder = m_settings.musicFolder;
    if (folder.size() > 1 && folder.back() != '/') folder += '/';
    std::string candidate = folder + SanitizeTrackTitle(t.title) + ext;

    SaveFileRequest dialog;
    dialog.filter = lse ? "LSE Files (*.lse)|*.lse|All files (*.*)|*.*||" : "AAC Files (*.aac)|*.aac|All files (*.*)|*.*||";
    dialog.defaultExtension = lse ? "*.lse" : "*.aac";
    bool askDialog = false;
    if (!IsFolder(m_settings.musicFolder)) {
        askDialog = true; // no proposed name
    } else if (Exists(candidate)) {
        std::string question = Text(328, "File") + " " + candidate + " " + Text(329, "already exists") + "!\n" +
                               Text(330, "Do you want to overwrite it?");
        if (CancelAllRequested()) return 2;
        if (!m_questions.AskOverwrite(question, candidate)) {
            askDialog = true;
            dialog.proposedPath = candidate;
        }
    }
    if (CancelAllRequested()) return 2;
    if (askDialog) {
        auto chosen = m_questions.AskSavePath(dialog);
        if (CancelAllRequested()) return 2;
        if (!chosen || chosen->empty()) {
            if (m_questions.AskContinue(
                    Text(331, "Do you want to continue with next track or cancel saving?")) &&
                !CancelAllRequested())
                return 1;
            return 2;
        }
        candidate = ApplyDefaultExtension(*chosen, dialog.defaultExtension);
    }
    if (!EnoughSpace(candidate, t.Seconds())) return 2;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_track = trackNumber;
        m_path = candidate;
        m_first = true;
        m_open = false;
        m_failed = false;
    }
    path = candidate;
    return 0;
}

bool CRipPipeline::StartTrack() {
    // Lock held by the caller.
    const CDTrackInfo& t = m_tracks[std::size_t(m_track - 1)];
    const bool lse = m_settings.outputFormat == kRipFormatLse;
    const int bitrate = EffectiveBitrate(m_settings.bitrate);
    const WaveFormat wf;
    TrackInfoBlock info = BuildTrackInfoBlock(t.title, m_settings.artist, m_settings.album, m_settings.outputFormat,
                                              t.Seconds(), bitrate, wf);
    std::string prefix = BuildTagPrefix(t.title, m_settings.artist);
    WavePcmFormat pcm{wf.formatTag, wf.channels, wf.samplesPerSecond, wf.bytesPerSecond, wf.blockAlign,
                      wf.bitsPerSample};
    m_out = std::make_unique<FileReplacement>();
    int stream = -1;
    if (!m_encoder || !m_out->Begin(m_path, m_path + ".part") || (stream = ::dup(m_out->Fd())) < 0 ||
        !(m_stream = ::fdopen(stream, "wb"))) {
        TraceFormat("Cannot create %s.part, error %d", m_path.c_str(), errno);
        if (stream >= 0) ::close(stream);
        return false;
    }
    // AAC: the encoder writes to our stream, whose errors we see; LSE: the
    // Lockstream library writes the file by name.
    int opened = m_encoder->Open(&pcm, m_out->TempPath().c_str(), info.data(), lse ? 1 : 0, t.Seconds(), bitrate,
                                 reinterpret_cast<const unsigned char*>(prefix.data()), int(prefix.size()),
                                 lse ? nullptr : m_stream);
    if (!opened) {
        Trace("Encoder Open failed");
        return false;
    }
    m_open = true;
    return true;
}

bool CRipPipeline::Encode(const std::uint8_t* pcm, std::size_t length) {
    if (length == 0) return true;
    if (m_tap) m_tap(m_track, pcm, length);
    if (m_encoder->Encode(pcm, int(length)) < 0) {
        Trace("Encoder Encode failed");
        return false;
    }
    if (std::ferror(m_stream)) {
        TraceFormat("Writing %s failed", m_out->TempPath().c_str());
        return false;
    }
    return true;
}

bool CRipPipeline::FeedEncoder(const std::uint8_t* block, std::size_t length, bool firstBlock) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_failed || m_track == 0) return false;
    if (firstBlock) {
        if (length < kWaveHeaderBytes || !StartTrack()) {
            m_failed = true;
            return false;
        }
        block += kWaveHeaderBytes; // the engine's wave header is not audio
        length -= kWaveHeaderBytes;
    }
    if (!m_open || !Encode(block, length)) {
        m_failed = true;
        return false;
    }
    return true;
}

bool CRipPipeline::Finish(bool complete, bool* removed) {
    // Lock held by the caller.
    if (m_open) m_encoder->Close();
    m_open = false;
    bool kept = false;
    // Our stream holds what the encoder wrote: it is flushed and closed first,
    // and a write error (a full disk) fails the track.
    bool written = m_stream && !std::ferror(m_stream);
    if (m_stream) written = std::fclose(m_stream) == 0 && written;
    m_stream = nullptr;
    if (complete && !m_failed && written && m_out) {
        kept = m_out->Commit();
        if (!kept) TraceFormat("Saving %s failed, error %d", m_path.c_str(), errno);
    }
    std::string temp = m_out ? m_out->TempPath() : std::string();
    if (m_out) m_out->Abort();
    if (removed) *removed = kept || temp.empty() || ::access(temp.c_str(), F_OK) != 0;
    m_out.reset();
    if (m_track) m_finished.push_back(TrackRecord{m_track, m_path, kept ? Outcome::Done : Outcome::NotSaved});
    m_track = 0;
    m_path.clear();
    return kept;
}

bool CRipPipeline::CloseTrack(bool complete) {
    std::lock_guard<std::mutex> lock(m_mutex);
    bool removed = true;
    Finish(complete, &removed);
    return removed;
}

void CRipPipeline::BeginIoctlTrack() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_delivered = 0;
    m_first = true;
    m_failed = false;
    m_open = false;
}

bool CRipPipeline::IoctlCallback(const std::uint8_t* data, long length, void* user) {
    auto* self = static_cast<CRipPipeline*>(user);
    std::lock_guard<std::mutex> lock(self->m_mutex);
    if (length > 0 && data) {
        if (self->m_failed || self->m_track == 0) return false;
        if (self->m_first) {
            self->m_first = false;
            if (!self->StartTrack()) {
                self->m_failed = true;
                return false;
            }
        }
        if (!self->Encode(data, std::size_t(length))) {
            self->m_failed = true;
            return false;
        }
        self->m_delivered += std::uint64_t(length);
        return true;
    }
    const bool complete = length == 0 && !self->m_failed;
    bool removed = true;
    if (!self->Finish(complete, &removed)) {
        int error = removed ? 0 : errno;
        TraceFormat("Ripped file deleted, result %d, error %d", removed ? 1 : 0, error);
    }
    return true;
}

} // namespace lyb
