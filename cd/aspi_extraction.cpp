#include "cd/aspi_extraction.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "cd/cd_state.h"
#include "platform/cdrom/cdrom_device.h"
#include "platform/trace.h"

namespace lyb {
namespace {

constexpr std::uint32_t kFramesPerRead = 27;
constexpr std::uint32_t kReadDataLength = 65488;
constexpr unsigned kFlagProbing = 0x01;
constexpr unsigned kFlagCountInByte8 = 0x40;

std::int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

std::string AspiEstimatedText(std::uint32_t totalFrames, std::uint32_t doneFrames, std::int64_t elapsedMs,
                              const std::string& label) {
    if (doneFrames == 0 || elapsedMs < 1) return label + " 00:00";
    double f = double(doneFrames) * 1000.0 / double(elapsedMs);
    double estimated = (double(totalFrames) - 44.0) / f - 0.2;
    std::int64_t seconds = elapsedMs / 1000;
    if (estimated < double(seconds)) estimated = double(seconds);
    std::int64_t remaining = std::int64_t(estimated) - seconds;
    char text[32];
    std::snprintf(text, sizeof text, " %.2d:%.2d", int(remaining / 60), int(remaining % 60));
    return label + text;
}

std::string AspiSpeedText(std::uint32_t doneFrames, std::int64_t elapsedMs, const std::string& label) {
    if (elapsedMs < 1) return label + " x00";
    char text[32];
    std::snprintf(text, sizeof text, " x%.2d", int(std::int64_t(doneFrames) * 1000 / elapsedMs / 75));
    return label + text;
}

CAspiExtraction::CAspiExtraction(CAspiManager& aspi, CExtractionSink& sink, CExtractionProgress* progress,
                                 MessageTarget* owner)
    : m_aspi(aspi), m_sink(sink), m_progress(progress), m_owner(owner) {
    // Unloading ASPI ends a running extraction first. The worker is asked to
    // stop and joined; it is never killed in the middle of a request.
    m_aspi.SetExtractionStopper([this] {
        Cancel();
        Wait();
    });
}

CAspiExtraction::~CAspiExtraction() {
    m_aspi.SetExtractionStopper({});
    Cancel();
    Wait();
}

bool CAspiExtraction::StartAspiExtraction(AspiRipJob job) {
    if (!m_aspi.IsInitialised() || m_running) return false;
    if (m_mediumCheck && !m_mediumCheck()) return false;
    if (m_thread.joinable()) m_thread.join();
    m_job = std::move(job);
    m_results.clear();
    m_denied.clear();
    m_stopRequest = false;
    m_running = true;
    // Extracting from the moment the start succeeds, so no reader sees idle
    // between the start and the worker's first step.
    SetCdState(kCdExtracting);
    // The worker runs at normal priority with the library's default stack:
    // raising a thread's priority needs privileges on Linux.
    m_thread = std::thread(&CAspiExtraction::Worker, this);
    TraceFormat("DAE thread created handle 0x%lx", static_cast<unsigned long>(m_thread.native_handle()));
    return true;
}

void CAspiExtraction::Cancel() {
    if (m_running) m_stopRequest = true;
}

void CAspiExtraction::Wait() {
    if (m_thread.joinable()) m_thread.join();
}

bool CAspiExtraction::ApplyProbe(int entry) {
    std::uint8_t* c = m_cmd;
    switch (entry) {
    case 0: c[0] = 0xD8, c[1] = 0, c[8] = 0, c[10] = 0; break;
    case 1: c[0] = 0xD4; break;
    case 2: c[0] = 0xBE, c[1] = 0, m_flags |= kFlagCountInByte8, c[9] = 0x10; break;
    case 3: c[1] = 0; break;
    case 4: c[9] = 0x10; break;
    case 5: c[10] = 2; break;
    case 6: c[9] = 0xF8; break;
    case 7: c[1] = 4; break;
    case 8: c[10] = 0; break;
    case 9: c[1] = 0; break;
    case 10: c[9] = 0x10; break;
    case 11: m_cmdLength = 10, c[0] = 0xD5, c[9] = 0; break;
    case 12: m_cmdLength = 12, c[0] = 0xD4, c[8] = 0, c[9] = 1, c[10] = 1; break;
    case 13: c[0] = 0xD8; break;
    case 14: c[10] = 0; break;
    case 15: c[0] = 0xD4; break;
    case 16: m_cmdLength = 10, c[8] = 1, c[9] = 0; break;
    default: return false; // 17: give up
    }
    return true;
}

CAspiExtraction::TrackResult CAspiExtraction::RipTrack(int track) {
    std::memset(m_cmd, 0, sizeof m_cmd);
    m_cmd[0] = 0xD5;
    m_cmd[1] = 0xFF;
    m_cmdLength = 12;
    m_flags = kFlagProbing;
    m_probeIndex = 0;
    int stepsLeft = 50;
    const int device = m_job.device;

    if (!m_aspi.TestUnitReady(device)) {
        m_stopRequest = true;
        if (m_progress) m_progress->ResetDisplay();
        return TrackResult::NotReady;
    }
    // The range is settled before the file exists, so a bad track leaves no file.
    const AspiTocRow* row = m_aspi.TocRow(track);
    const AspiTocRow* next = m_aspi.TocRow(track + 1);
    if (!row || !next) return TrackResult::Failed;
    if (row->control & 0x04) {
        // A data track holds no audio: reading it as audio would make noise.
        TraceFormat("Track %d is a data track; not ripped", track);
        return TrackResult::Skipped;
    }
    std::uint32_t startLba = row->lba;
    std::uint32_t endLba = track == m_aspi.LastTrack() ? startLba + m_job.lastTrackFrames : next->lba;
    if (endLba <= startLba) return TrackResult::Failed;
    TraceFormat("Riping track%d", track);
    std::string path;
    int answer = m_sink.PrepareTrackFile(track, path);
    if (answer == 1) return TrackResult::Skipped;
    if (answer == 2) {
        Trace("DAE cancelled");
        return TrackResult::Cancelled;
    }
    m_aspi.SetReadSpeed(18);

    std::uint8_t* buffer = m_aspi.ExtractionBuffer();
    const std::uint32_t total = endLba - startLba;
    WriteWaveHeader(buffer, total * std::uint32_t(kCdFrameBytes));
    for (std::uint32_t i = kWaveHeaderBytes; i + 4 <= kWaveHeaderBytes + kReadDataLength; i += 4) {
        buffer[i] = 0xA0, buffer[i + 1] = 0xA1, buffer[i + 2] = 0xB0, buffer[i + 3] = 0xB1;
    }
    std::uint32_t remaining = total;
    // A track shorter than 50 frames still moves the bar (no division by zero).
    const std::uint32_t perStep = std::max<std::uint32_t>(1, total / 50);
    const std::int64_t began = NowMs();
    std::uint32_t lba = startLba;
    bool first = true;
    TrackResult result = TrackResult::Done;

    while (remaining > 0) {
        std::uint32_t count = std::min(kFramesPerRead, remaining);
        std::uint8_t* data = first ? buffer + kWaveHeaderBytes : buffer;
        m_cmd[2] = std::uint8_t(lba >> 24), m_cmd[3] = std::uint8_t(lba >> 16);
        m_cmd[4] = std::uint8_t(lba >> 8), m_cmd[5] = std::uint8_t(lba);
        if (m_flags & kFlagCountInByte8) m_cmd[8] = std::uint8_t(count);
        else m_cmd[9] = std::uint8_t(count);
        // A read the host refused for this user once is not sent again in
        // this job: its probe entries are passed over.
        bool denied = (m_flags & kFlagProbing) && m_denied.count(m_cmd[0]);
        bool ok = !denied && m_aspi.ExecScsi(device, aspi::SRB_DIR_IN, kReadDataLength, data, m_cmdLength, m_cmd);
        if (!ok && !denied && m_aspi.LastNotPermitted()) m_denied.insert(m_cmd[0]);
        if (ok && (m_flags & kFlagProbing) && m_cmd[10] != 0) {
            std::size_t at = m_probeIndex <= 5 ? 2372 : 2356;
            if (data[at] == 0xA0) ok = false;
        }
        if (ok) {
            m_flags &= ~kFlagProbing; // the working command stays for the rest of the track
            std::size_t bytes = std::size_t(count) * kCdFrameBytes;
            bool taken = first ? m_sink.FeedEncoder(buffer, kWaveHeaderBytes + bytes, true)
                               : m_sink.FeedEncoder(buffer, bytes, false);
            first = false;
            if (!taken) {
                result = TrackResult::Failed;
                break;
            }
            lba += count;
            remaining -= count;
            if (int(remaining / perStep) != stepsLeft && stepsLeft > 0) {
                --stepsLeft;
                if (m_progress) {
                    std::int64_t elapsed = NowMs() - began;
                    m_progress->StepBar();
                    m_progress->SetEstimatedText(AspiEstimatedText(total, total - remaining, elapsed));
                    m_progress->SetSpeedText(AspiSpeedText(total - remaining, elapsed));
                }
            }
        } else if (m_flags & kFlagProbing) {
            if (!ApplyProbe(m_probeIndex)) {
                result = TrackResult::Failed;
                break;
            }
            ++m_probeIndex;
        } else {
            // The command that worked failed later on: the track is incomplete.
            result = TrackResult::Failed;
            break;
        }
        if (m_stopRequest) {
            result = TrackResult::Cancelled;
            break;
        }
    }

    bool removed = m_sink.CloseTrack(result == TrackResult::Done);
    if (m_progress) m_progress->ResetDisplay();
    if (result == TrackResult::Failed) {
        if (!removed) TraceFormat("Unable to delete a failed file - error %d", errno);
    } else if (result == TrackResult::Cancelled) {
        Trace("Riping canceled");
        if (removed) Trace("Uncompleted file is deleted");
        else TraceFormat("Unable to delete an uncompleted file - error %d", errno);
    }
    return result;
}

void CAspiExtraction::Worker() {
    SetCdState(kCdExtracting);
    bool cancelledByQuestion = false;
    for (int track : m_job.tracks) {
        TrackResult r = RipTrack(track);
        m_results.emplace_back(track, r);
        if (r == TrackResult::Done && m_owner) m_owner->Post(kMsgDaeTrackDone, std::uintptr_t(track));
        if (r == TrackResult::Failed && m_owner) m_owner->Post(kMsgDaeTrackFailed, std::uintptr_t(track));
        if (r == TrackResult::Cancelled && !m_stopRequest) cancelledByQuestion = true;
        // A failed track does not end the job: the next selected track is
        // ripped. Only a cancel or a drive that is not ready ends it.
        if (r == TrackResult::Cancelled || r == TrackResult::NotReady) break;
    }
    if (!cancelledByQuestion) Trace("DAE complete");
    // Idle before the page hears of the end, so whatever its handler starts
    // next is not refused as "still running".
    SetCdState(kCdIdle);
    m_running = false;
    if (m_owner) m_owner->Post(kMsgDaeAllDone);
}

} // namespace lyb
