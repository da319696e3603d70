#include "cd/cd_doc.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <random>

#include "app/localize.h"
#include "cd/aspi_extraction.h"
#include "cd/aspi_manager.h"
#include "cd/cd_manager.h"
#include "cd/cd_state.h"
#include "cd/device_ioctl.h"
#include "cd/rip_questions.h"
#include "platform/cdaudio/cd_audio.h"
#include "platform/cdrom/volume_watcher.h"
#include "platform/prompt.h"
#include "platform/trace.h"

namespace lyb {

namespace {

std::string Format2(const char* format, int a, int b) {
    char text[32];
    std::snprintf(text, sizeof text, format, a, b);
    return text;
}

// Without questions (no saving is offered) every question is declined.
class DeclineQuestions final : public RipQuestions {
public:
    bool AskOverwrite(const std::string&, const std::string&) override { return false; }
    std::optional<std::string> AskSavePath(const SaveFileRequest&) override { return std::nullopt; }
    bool AskContinue(const std::string&) override { return false; }
    void TellNoSpace(const std::string&) override {}
};

RipQuestions& Questions(RipQuestions* given) {
    static DeclineQuestions decline;
    return given ? *given : decline;
}

} // namespace

CdPageTexts CdPageTexts::From(const CLocalize* l) {
    auto t = [l](int id, const char* english) { return l ? l->Get(id, english) : std::string(english); };
    CdPageTexts x;
    x.tracks = t(171, "Tracks");
    x.artist = t(172, "Artist:");
    x.name = t(173, "Name:");
    x.cdInformation = t(174, "CD information");
    x.drive = t(175, "Drive:");
    x.speed = t(187, "Speed:");
    x.estimated = t(186, "Estimated time :");
    x.stop = t(159, "Stop");
    x.play = t(160, "Play");
    x.pause = t(165, "Pause");
    x.resume = t(166, "Resume");
    x.eject = t(161, "Eject CD");
    x.cancel = t(162, "Cancel");
    x.save = t(163, "Save Tracks");
    x.columnTitle = t(156, "Title");
    x.columnDuration = t(157, "Duration");
    x.columnSize = t(158, "Size");
    x.tipPlay = t(365, "Play/Pause");
    x.tipStop = t(159, "Stop");
    x.tipEject = t(161, "Eject CD");
    x.tipSave = t(366, "Save CD Track(s) on hard drive");
    x.tipCancel = t(367, "Cancel saving");
    x.tipDrive = t(368, "Selected Drive");
    x.tipProgress = t(369, "Saving Progress Bar");
    x.menuPlay = t(160, "Play");
    x.menuStop = t(159, "Stop");
    x.menuSave = t(370, "Save");
    x.menuCancel = t(162, "Cancel");
    x.menuModifyTitle = t(371, "Modify Title");
    x.unknownAlbum = t(248, "Unknown Album");
    x.unknownArtist = t(247, "Unknown Artist");
    x.audioTrack = t(249, "AUDIO TRACK");
    x.mb = t(364, "Mb");
    x.areYouSure = t(150, "Are you sure?");
    x.savingInProgress = t(167, "Saving in progress!");
    return x;
}

// The ASPI engine's progress calls come on its thread: each becomes a
// message to the page's thread.
class CCDDoc::AspiProgress final : public CExtractionProgress {
public:
    explicit AspiProgress(CCDDoc& doc) : m_doc(doc) {}
    void StepBar() override { Post(Message{kMsgAspiProgressStep, 0, 0, {}}); }
    void SetEstimatedText(const std::string& text) override { Post(Message{kMsgAspiProgressTexts, 0, 0, text}); }
    void SetSpeedText(const std::string& text) override { Post(Message{kMsgAspiProgressTexts, 1, 0, text}); }
    void ResetDisplay() override { Post(Message{kMsgAspiProgressReset, 0, 0, {}}); }

private:
    void Post(Message m) {
        if (m_doc.m_owner) m_doc.m_owner->Post(std::move(m));
    }
    CCDDoc& m_doc;
};

CCDDoc::CCDDoc(CdPageServices services) : m_s(std::move(services)), m_texts(CdPageTexts::From(m_s.localize)) {
    m_audio = m_s.makeAudio ? m_s.makeAudio() : nullptr;
    if (!m_audio) m_audio = std::make_unique<CdAudio>();
    m_audio->SetNotify([this](bool completed) {
        if (m_owner) m_owner->Post(kMsgCdPlayEnd, completed ? 1 : 0);
    });
    m_pipeline = std::make_unique<CRipPipeline>(m_s.encoder, Questions(m_s.questions), m_s.localize);
    m_aspiProgress = std::make_unique<AspiProgress>(*this);
    m_playText = m_texts.play;
    m_artist = m_texts.unknownArtist;
    m_album = m_texts.unknownAlbum;
    ResetProgress();
    if (m_s.manager) m_s.manager->SetDefaultTexts(m_texts.unknownAlbum, m_texts.unknownArtist);
}

CCDDoc::~CCDDoc() {
    // A rip in progress ends here: nothing may call into a page that is gone.
    m_changed = {};
    m_s.setTimer = {};
    if (m_saving) StopSavingNow();
    if (m_s.manager) m_s.manager->DeviceIoctl().SetOwner(nullptr);
    m_aspiEngine.reset();
    m_audio->Close(); // joins the player thread before its notice goes
    m_audio->SetNotify({});
}

void CCDDoc::SetOwner(MessageTarget* owner) {
    m_owner = owner;
    if (m_s.manager) m_s.manager->DeviceIoctl().SetOwner(owner);
    if (AspiReady()) {
        m_aspiEngine.reset();
        m_aspiEngine = std::make_unique<CAspiExtraction>(*m_s.aspi, *m_pipeline, m_aspiProgress.get(), owner);
        m_aspiEngine->SetMediumCheck([this] { return m_audio->MediaPresent(); });
    }
}

void CCDDoc::ReleaseOwner() {
    if (m_saving) StopSavingNow();
    m_aspiEngine.reset();
    m_audio->Close();
    if (m_s.manager) m_s.manager->DeviceIoctl().SetOwner(nullptr);
    m_owner = nullptr;
}

std::string CCDDoc::Text(int id, const char* english) const {
    return m_s.localize ? m_s.localize->Get(id, english) : std::string(english);
}

void CCDDoc::Changed() {
    if (m_changed) m_changed();
}

void CCDDoc::SetTimer(unsigned id, int ms) {
    if (m_s.setTimer) m_s.setTimer(id, ms);
    else OnTimer(id);
}

bool CCDDoc::AspiReady() const { return m_s.aspi && m_s.aspi->IsInitialised(); }

int CCDDoc::AspiDevice() const {
    const CDDriveEntry* d = m_s.manager ? m_s.manager->Drive(m_drive) : nullptr;
    return d ? d->aspiDevice : kNoAspiDevice;
}

std::vector<std::string> CCDDoc::DriveNames() const {
    std::vector<std::string> names;
    if (!m_s.manager) return names;
    for (const auto& d : m_s.manager->Drives())
        names.push_back(d.description.empty() ? d.displayName : d.displayName + " (" + d.description + ")");
    return names;
}

CCDDoc::Enabled CCDDoc::ControlsEnabled() const {
    Enabled e;
    const bool disc = !m_tracks.empty();
    if (m_saving) {
        e.cancel = true; // everything else waits for the saving to end
        return e;
    }
    e.drives = m_s.manager && m_s.manager->DriveCount() > 1;
    e.play = disc;
    e.stop = m_playing || m_paused;
    e.eject = m_drive >= 0;
    e.save = disc && m_s.questions && m_s.encoder;
    e.list = disc;
    e.fields = true;
    return e;
}

void CCDDoc::Start(bool forCdTrack, int drive, int track) {
    int first = forCdTrack && m_s.manager && m_s.manager->Drive(drive) ? drive : 0;
    if (m_s.manager && m_s.manager->DriveCount() > 0) SelectDrive(first);
    else Changed();
    if (forCdTrack) PlayRequest(first, track);
}

void CCDDoc::PlayRequest(int drive, int track) {
    if (GetCdState() == kCdExtracting) return;
    if (drive != m_drive && !SelectDrive(drive)) return;
    if (track < 0) {
        AutoPlay();
        return;
    }
    int row = RowOfTrack(track + 1);
    if (row < 0 || row >= int(m_rows.size())) return;
    if (m_s.showPage) m_s.showPage();
    if (m_playing || m_paused) Stop();
    m_selection = {row};
    PlayPause();
}

bool CCDDoc::SelectDrive(int index) {
    if (!m_s.manager || !m_s.manager->Drive(index)) return false;
    if (m_playing || m_paused) Stop();
    m_audio->Close();
    m_drive = index;
    m_s.manager->SetCurrentDrive(index);
    m_tracks.clear();
    m_selection.clear();
    m_offset = 0;
    m_artist = m_texts.unknownArtist;
    m_album = m_texts.unknownAlbum;
    const std::string& node = m_s.manager->Drive(index)->root;
    if (m_audio->Open(node) && m_audio->MediaPresent()) {
        int count = m_audio->TrackCount();
        bool firstAudioSeen = false;
        for (int t = 1; t <= count; ++t) {
            CDTrackInfo info;
            info.audio = m_audio->TrackIsAudio(t);
            CdMsf start = m_audio->TrackStart(t), length = m_audio->TrackLength(t);
            info.startMinute = start.minutes, info.startSecond = start.seconds, info.startFrame = start.frames;
            info.lengthMinute = length.minutes, info.lengthSecond = length.seconds;
            info.lengthFrame = length.frames;
            info.startLba = m_audio->TrackStartLba(t);
            info.lengthFrames = m_audio->TrackFrames(t);
            info.size = std::uint64_t(info.lengthFrames) * 2352;
            char number[16];
            std::snprintf(number, sizeof number, " %.2d", t);
            info.title = m_texts.audioTrack + number;
            if (!info.audio && !firstAudioSeen) ++m_offset; // the list starts at the first audio track
            if (info.audio) firstAudioSeen = true;
            m_tracks.push_back(std::move(info));
        }
        if (!firstAudioSeen) m_offset = 0;
    }
    m_s.manager->ReadToc();
    if (AspiReady() && AspiDevice() != kNoAspiDevice) m_s.aspi->ReadToc(AspiDevice());
    FillTrackList();
    return true;
}

void CCDDoc::FillTrackList() {
    m_rows.clear();
    const AspiTocRow* aspiRow = nullptr;
    for (int i = m_offset; i < int(m_tracks.size()); ++i) {
        const CDTrackInfo& t = m_tracks[std::size_t(i)];
        Row r;
        r.title = t.title;
        r.duration = Format2("%.2d:%.2d", t.lengthMinute, t.lengthSecond);
        std::uint64_t bytes = 0;
        if (AspiReady() && AspiDevice() != kNoAspiDevice && (aspiRow = m_s.aspi->TocRow(i + 1)) != nullptr) {
            const AspiTocRow* next = m_s.aspi->TocRow(i + 2);
            if (next && next->lba > aspiRow->lba) bytes = std::uint64_t(next->lba - aspiRow->lba) * 2352 + 44;
        }
        if (bytes == 0) bytes = t.size;
        char size[32];
        std::snprintf(size, sizeof size, "%.2f ", double(bytes) / 1048576.0);
        r.size = size + m_texts.mb;
        m_rows.push_back(std::move(r));
    }
    Changed();
}

void CCDDoc::SetSelection(std::vector<int> rows) {
    rows.erase(std::remove_if(rows.begin(), rows.end(), [this](int r) { return r < 0 || r >= int(m_rows.size()); }),
               rows.end());
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    m_selection = std::move(rows);
    Changed();
}

void CCDDoc::SelectAll() {
    m_selection.clear();
    for (int r = 0; r < int(m_rows.size()); ++r) m_selection.push_back(r);
    Changed();
}

void CCDDoc::SelectFirstWhenNone() {
    if (m_selection.empty() && !m_rows.empty()) SetSelection({0});
}

void CCDDoc::ModifyTitle(int row, std::string title) {
    if (m_saving || row < 0 || row >= int(m_rows.size())) return;
    title = TruncateUtf8(std::move(title), 255);
    m_tracks[std::size_t(row + m_offset)].title = title;
    m_rows[std::size_t(row)].title = title;
    Changed();
}

void CCDDoc::SetArtist(std::string artist) {
    if (!m_saving) m_artist = TruncateUtf8(std::move(artist), 255);
}

void CCDDoc::SetAlbum(std::string album) {
    if (!m_saving) m_album = TruncateUtf8(std::move(album), 255);
}

void CCDDoc::SetPlayState(std::uint8_t state) {
    if (GetCdState() != kCdExtracting) SetCdState(state);
}

bool CCDDoc::PlayTrack(int track) {
    if (track < 1 || track > int(m_tracks.size()) || !m_tracks[std::size_t(track - 1)].audio) return false;
    if (!m_audio->Play(track)) return false;
    m_currentTrack = track;
    m_endedTrack = 0;
    m_s.manager->SetCurrentTrack(track - 1);
    m_trackEnded = false;
    if (m_s.trackStarted) m_s.trackStarted(m_tracks[std::size_t(track - 1)].Seconds());
    m_playText = m_texts.pause;
    m_playing = true;
    m_paused = false;
    SetPlayState(kCdPlaying);
    Changed();
    return true;
}

void CCDDoc::PlayPause() {
    if (m_saving) return;
    CdAudioMode mode = m_paused ? CdAudioMode::Paused : m_audio->Mode();
    if (m_s.stopStudioPlayer) m_s.stopStudioPlayer();
    if (mode == CdAudioMode::Playing) {
        if (m_audio->Pause()) {
            m_playText = m_texts.resume;
            m_paused = true;
            SetPlayState(kCdPaused);
        }
    } else if (mode == CdAudioMode::Paused) {
        if (m_audio->Resume()) {
            m_playText = m_texts.pause;
            m_paused = false;
            SetPlayState(kCdPlaying);
        }
    } else if (m_s.randomPlayMode && m_s.randomPlayMode()) {
        RandomPlayNext();
        return;
    } else if (!m_selection.empty()) {
        PlayTrack(m_offset + m_selection.front() + 1);
        return;
    }
    Changed();
}

void CCDDoc::RandomPlayNext() {
    if (m_saving || m_rows.empty()) return;
    // The time seeds the generator, as each random choice of the page does.
    std::mt19937 gen(unsigned(std::time(nullptr)) ^ unsigned(m_currentTrack * 7919));
    std::uniform_int_distribution<int> pick(0, int(m_rows.size()) - 1);
    auto draw = [&]() -> int {
        for (int i = 0; i < 100; ++i) {
            int row = pick(gen);
            CDTrackInfo& t = m_tracks[std::size_t(row + m_offset)];
            if (!t.played && t.audio) return row;
        }
        return -1;
    };
    int row = draw();
    if (row < 0) {
        for (auto& t : m_tracks) t.played = false;
        row = draw();
    }
    if (row < 0) return;
    m_tracks[std::size_t(row + m_offset)].played = true;
    if (m_playing || m_paused) m_audio->Stop();
    PlayTrack(m_offset + row + 1);
}

void CCDDoc::ShowStopped() {
    m_playText = m_texts.play;
    m_playing = false;
    m_paused = false;
    m_currentTrack = 0;
    m_endedTrack = 0;
    SetPlayState(kCdIdle);
    Changed();
}

void CCDDoc::Stop() {
    if (GetCdState() == kCdExtracting) return;
    m_audio->Stop();
    ShowStopped();
}

void CCDDoc::Next(bool wrap) {
    if (m_saving || m_rows.empty()) return;
    // After a track's end the walk goes on from that track.
    const int from = m_currentTrack ? m_currentTrack : m_endedTrack;
    int row = from ? RowOfTrack(from) : -1;
    std::vector<int> order;
    if (m_selection.size() > 1) order = m_selection;
    else
        for (int r = 0; r < int(m_rows.size()); ++r) order.push_back(r);
    auto it = std::upper_bound(order.begin(), order.end(), row);
    if (it == order.end()) {
        if (!wrap) {
            Stop();
            return;
        }
        it = order.begin();
    }
    m_audio->Stop();
    PlayTrack(m_offset + *it + 1);
}

void CCDDoc::Previous() {
    if (m_saving || m_rows.empty()) return;
    const int from = m_currentTrack ? m_currentTrack : m_endedTrack;
    int row = from ? RowOfTrack(from) : int(m_rows.size());
    std::vector<int> order;
    if (m_selection.size() > 1) order = m_selection;
    else
        for (int r = 0; r < int(m_rows.size()); ++r) order.push_back(r);
    auto it = std::lower_bound(order.begin(), order.end(), row);
    int target = it == order.begin() ? order.front() : *std::prev(it);
    m_audio->Stop();
    PlayTrack(m_offset + target + 1);
}

void CCDDoc::Seek(int seconds) {
    if (!m_currentTrack || m_saving) return;
    const CDTrackInfo& t = m_tracks[std::size_t(m_currentTrack - 1)];
    std::uint32_t frames = std::uint32_t(std::max(0, seconds)) * 75;
    if (frames >= t.lengthFrames) return;
    bool paused = m_paused;
    int track = m_currentTrack;
    if (!m_audio->Play(track, t.startLba + frames)) return;
    if (paused) m_audio->Pause();
}

bool CCDDoc::TakeTrackEnded() {
    bool ended = m_trackEnded;
    m_trackEnded = false;
    return ended;
}

std::string CCDDoc::TrackName() const {
    return m_currentTrack ? m_tracks[std::size_t(m_currentTrack - 1)].title : std::string();
}

bool CCDDoc::AskSure() {
    return !m_s.prompt ||
           m_s.prompt->Ask(m_texts.areYouSure, kRipCaption, PromptButtons::YesNo, PromptIcon::Question) ==
               PromptAnswer::Yes;
}

void CCDDoc::EjectButton() { SetTimer(kTimerEject, 0); }

void CCDDoc::Eject() {
    if (m_saving) {
        if (!AskSure()) return;
        StopSavingNow();
    }
    if (m_playing || m_paused) Stop();
    m_audio->Eject();
    SelectDrive(m_drive);
}

void CCDDoc::PlayerEject() {
    if (GetCdState() == kCdExtracting) {
        if (m_s.prompt) m_s.prompt->Ask(m_texts.savingInProgress, kRipCaption, PromptButtons::Ok, PromptIcon::Warning);
        return;
    }
    if (m_audio->MediaPresent()) Eject();
}

void CCDDoc::AutoPlay() {
    SelectAll();
    if (m_s.showPage) m_s.showPage();
    if (m_s.notifySmallPlayer) m_s.notifySmallPlayer(0);
    PlayPause();
}

void CCDDoc::OnDeviceChange(bool arrival, std::uint32_t unitMask, bool isMedia) {
    if (!isMedia || !m_s.manager) return;
    for (int i = 0; i < m_s.manager->DriveCount() && i < 32; ++i) {
        if (!(unitMask & (1u << i))) continue;
        if (i == m_drive) {
            if (m_saving) {
                // The rip ends at its next step and never keeps a partial
                // file; the drive is read again once the page is free.
                if (!arrival) SetCancelAll(true);
                m_rereadAfterSaving = true;
                continue;
            }
            if (!arrival && m_s.playerInCdMode && m_s.playerInCdMode() && m_s.notifySmallPlayer)
                m_s.notifySmallPlayer(kSmallPlayerCdStopped);
            SelectDrive(i);
            if (arrival && m_s.audioCdAssociated && m_s.audioCdAssociated()) AutoPlay();
        } else if (arrival && !m_saving) {
            SelectDrive(i);
            if (m_s.audioCdAssociated && m_s.audioCdAssociated()) AutoPlay();
        }
    }
}

void CCDDoc::OnTimer(unsigned id) {
    switch (id) {
    case kTimerStop: Stop(); break;
    case kTimerStopAndPlay:
        Stop();
        PlayPause();
        break;
    case kTimerEject: Eject(); break;
    case kTimerNextTrack: StartPendingTrack(); break;
    default: break;
    }
}

// ---- Saving -------------------------------------------------------------

void CCDDoc::ResetProgress() {
    m_progressPos = 0;
    m_progressRange = 100;
    m_estimatedText = m_texts.estimated + " 00:00";
    m_speedText = m_texts.speed + " x00";
}

void CCDDoc::SaveTracks() {
    if (m_saving || GetCdState() == kCdExtracting || m_selection.empty() || !m_s.questions) return;
    if (m_playing || m_paused) Stop();
    RipSettings settings = m_s.ripSettings ? m_s.ripSettings() : RipSettings{};
    settings.album = m_album;
    settings.artist = m_artist;
    m_pipeline->Begin(settings, m_tracks);
    SetCancelAll(false);
    m_saving = true;
    m_saveFailed = false;
    m_ripRow = -1;
    m_savingTrack = 0;
    ResetProgress();
    if (m_s.enablePageSwitch) m_s.enablePageSwitch(false);
    const int device = AspiDevice();
    m_savingWithAspi = AspiReady() && device != kNoAspiDevice && m_aspiEngine;
    if (m_savingWithAspi) {
        AspiRipJob job;
        job.device = device;
        for (int row : m_selection) {
            if (m_tracks[std::size_t(row + m_offset)].audio) job.tracks.push_back(row + m_offset + 1);
        }
        job.lastTrackFrames = m_tracks.empty() ? 0 : m_tracks.back().lengthFrames;
        m_progressRange = 50;
        if (!m_s.aspi->ReadToc(device) || job.tracks.empty() || !m_aspiEngine->StartAspiExtraction(job)) {
            Trace("ASPI extraction not started");
            m_saveFailed = true;
            EndSaving();
            return;
        }
        m_savingTrack = job.tracks.front();
        Changed();
        return;
    }
    m_s.manager->DeviceIoctl().BeginJob();
    Changed();
    NextIoctlRow();
}

void CCDDoc::NextIoctlRow() {
    for (;;) {
        auto it = std::upper_bound(m_selection.begin(), m_selection.end(), m_ripRow);
        if (it == m_selection.end()) {
            EndSaving();
            return;
        }
        m_ripRow = *it;
        const int track = m_ripRow + m_offset + 1;
        if (!m_tracks[std::size_t(track - 1)].audio) continue;
        if (!m_audio->MediaPresent() || CancelAllRequested()) {
            // The disc is gone: nothing more can be read; no question is asked.
            m_saveFailed = true;
            EndSaving();
            return;
        }
        std::string path;
        int answer = m_pipeline->PrepareTrackFile(track, path);
        if (answer == 1) continue;
        if (answer == 2) {
            Trace("DAE cancelled");
            EndSaving();
            return;
        }
        m_pipeline->BeginIoctlTrack();
        m_pendingTrack = track;
        m_savingTrack = track;
        m_progressRange = int(std::min<std::uint64_t>(m_tracks[std::size_t(track - 1)].size, 0x7FFFFFFF));
        m_progressPos = 0;
        Changed();
        SetTimer(kTimerNextTrack, 100);
        return;
    }
}

void CCDDoc::StartPendingTrack() {
    if (!m_saving || m_savingWithAspi || !m_pendingTrack) return;
    const int track = m_pendingTrack;
    m_pendingTrack = 0;
    if (!m_s.manager->DeviceIoctl().StartIoctlExtraction(&CRipPipeline::IoctlCallback, m_drive, track, WaveFormat{},
                                                         m_pipeline.get())) {
        TraceFormat("Extraction of track %d not started", track);
        m_pipeline->CloseTrack(false);
        m_saveFailed = true;
        NextIoctlRow();
    }
}

void CCDDoc::StopSavingNow() {
    if (!m_saving) return;
    m_saveFailed = true;
    // No further question is asked: the ASPI worker asks its questions on
    // the page's thread, which now waits for it.
    SetCancelAll(true);
    if (m_savingWithAspi) {
        if (m_aspiEngine) {
            m_aspiEngine->Cancel();
            m_aspiEngine->Wait();
        }
    } else {
        // Waits for the worker; its end removes what the track wrote.
        m_s.manager->DeviceIoctl().StopExtraction();
        if (m_pendingTrack) m_pipeline->CloseTrack(false);
        m_pendingTrack = 0;
    }
    EndSaving();
}

void CCDDoc::CancelSaving() {
    if (!m_saving || GetCdState() != kCdExtracting) return;
    if (!AskSure()) return;
    if (m_savingWithAspi) {
        m_saveFailed = true;
        if (m_aspiEngine) m_aspiEngine->Cancel(); // 1526 follows
        return;
    }
    m_audio->Stop();
    StopSavingNow();
}

void CCDDoc::EndSaving() {
    if (!m_saving) return;
    if (!m_savingWithAspi) m_s.manager->DeviceIoctl().EndJob();
    m_saving = false;
    m_savingTrack = 0;
    m_pendingTrack = 0;
    SetCdState(kCdIdle);
    ResetProgress();
    if (m_s.enablePageSwitch) m_s.enablePageSwitch(true);
    SetCancelAll(false);
    if (m_rereadAfterSaving) {
        m_rereadAfterSaving = false;
        SelectDrive(m_drive);
    }
    Changed();
}

std::intptr_t CCDDoc::OnMessage(const Message& m) {
    switch (m.id) {
    case kMsgDaeProgress:
        if (!m_saving) break;
        if (m.lparam == kDaeRetrying) {
            m_estimatedText = m_texts.estimated + " --:--";
            m_speedText = m_texts.speed + " retrying";
        } else {
            int remaining = int(m.wparam);
            m_estimatedText = m_texts.estimated + Format2(" %.2d:%.2d", remaining / 60 % 100, remaining % 60);
            char speed[16];
            std::snprintf(speed, sizeof speed, " x%.2d", int(m.lparam));
            m_speedText = m_texts.speed + speed;
        }
        m_progressPos = int(std::min<std::uint64_t>(m_pipeline->BytesDelivered(), std::uint64_t(m_progressRange)));
        Changed();
        break;
    case kMsgDaeTrackDone:
    case kMsgDaeTrackFailed:
        if (m.id == kMsgDaeTrackFailed) m_saveFailed = true;
        if (!m_saving) break;
        if (m_savingWithAspi) {
            // The ASPI engine goes on by itself: show the next track.
            m_progressPos = 0;
            auto it = std::upper_bound(m_selection.begin(), m_selection.end(), RowOfTrack(int(m.wparam)));
            m_savingTrack = it == m_selection.end() ? m_savingTrack : *it + m_offset + 1;
            Changed();
        } else {
            NextIoctlRow();
        }
        break;
    case kMsgDaeAllDone: EndSaving(); break;
    case kMsgAspiProgressStep:
        m_progressPos = std::min(m_progressPos + 1, m_progressRange);
        Changed();
        break;
    case kMsgAspiProgressTexts:
        if (const auto* text = std::any_cast<std::string>(&m.payload)) {
            (m.wparam == 0 ? m_estimatedText : m_speedText) = *text;
            Changed();
        }
        break;
    case kMsgAspiProgressReset:
        ResetProgress();
        if (m_saving) m_progressRange = 50;
        Changed();
        break;
    case kMsgCdPlayEnd:
        if (m_playing) {
            m_trackEnded = m.wparam == 1;
            const int ended = m_currentTrack;
            ShowStopped();
            m_endedTrack = m_trackEnded ? ended : 0;
            if (m.wparam == 0) TraceFormat("CD play of track %d ended: the disc cannot be read", ended);
        }
        break;
    case kMsgDeviceChange:
        if (const auto* c = std::any_cast<VolumeChange>(&m.payload)) OnDeviceChange(c->arrival, c->unitMask, c->isMedia);
        break;
    default: break;
    }
    return 0;
}

} // namespace lyb
