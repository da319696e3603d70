#include "cd/device_ioctl.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "platform/trace.h"

namespace lyb {

void AutoResetEvent::Set() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_set = true;
    }
    m_cv.notify_one();
}

void AutoResetEvent::Reset() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_set = false;
}

bool AutoResetEvent::Wait(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_cv.wait_for(lock, timeout, [this] { return m_set; })) return false;
    m_set = false;
    return true;
}

CDeviceIoctl::CDeviceIoctl(std::vector<std::string> nodes) : m_nodes(std::move(nodes)) {}

CDeviceIoctl::~CDeviceIoctl() {
    if (m_running) StopExtraction();
    if (m_thread.joinable()) m_thread.join();
}

void CDeviceIoctl::SetWaits(std::chrono::milliseconds ioErrorWait, std::chrono::milliseconds stopPoll) {
    m_ioErrorWait = ioErrorWait;
    m_stopPoll = stopPoll;
}

std::unique_ptr<CdromDevice> CDeviceIoctl::Open(int drive, int* error) {
    if (drive < 0 || drive >= int(m_nodes.size())) {
        if (error) *error = kErrorFileNotFound;
        return nullptr;
    }
    return OpenCdromDevice(m_nodes[std::size_t(drive)], error);
}

#define LYB_WITH_DEVICE(drive, expr)                 \
    int error = 0;                                   \
    auto dev = Open(drive, &error);                  \
    if (!dev) return error ? error : kErrorNotReady; \
    return expr

int CDeviceIoctl::ReadToc(int drive, CdToc& toc) { LYB_WITH_DEVICE(drive, dev->ReadToc(toc)); }
int CDeviceIoctl::Stop(int drive) { LYB_WITH_DEVICE(drive, dev->StopAudio()); }
int CDeviceIoctl::Pause(int drive) { LYB_WITH_DEVICE(drive, dev->PauseAudio()); }
int CDeviceIoctl::Resume(int drive) { LYB_WITH_DEVICE(drive, dev->ResumeAudio()); }
int CDeviceIoctl::Eject(int drive) { LYB_WITH_DEVICE(drive, dev->Eject()); }

namespace {
bool TrackRange(const CdToc& toc, int track, std::uint32_t& start, std::uint32_t& end, bool* audio = nullptr) {
    for (std::size_t i = 0; i + 1 < toc.entries.size(); ++i) {
        if (toc.entries[i].track == track) {
            start = toc.entries[i].lba;
            end = toc.entries[i + 1].lba;
            if (audio) *audio = (toc.entries[i].control & 0x04) == 0;
            return end > start;
        }
    }
    return false;
}
} // namespace

void CDeviceIoctl::BeginJob() {
    m_jobOpen = true;
    SetCdState(kCdExtracting);
}

void CDeviceIoctl::EndJob() {
    m_jobOpen = false;
    if (!m_running) SetCdState(kCdIdle);
}

int CDeviceIoctl::PlayFrom(int drive, std::uint32_t fromLba, int track) {
    int error = 0;
    auto dev = Open(drive, &error);
    if (!dev) return error ? error : kErrorNotReady;
    CdToc toc;
    if (int e = dev->ReadToc(toc)) return e;
    std::uint32_t start = 0, end = 0;
    if (!TrackRange(toc, track, start, end) || fromLba < start || fromLba >= end) return kErrorInvalidFunction;
    // Seeking first only saves the drive a moment; playing positions by
    // itself, so a drive (or driver) that cannot seek still plays.
    if (int e = dev->SeekAudio(fromLba)) TraceFormat("Seek to %u not done (error %d); playing from there", fromLba, e);
    return dev->PlayAudio(fromLba, end);
}

int CDeviceIoctl::PlayTrack(int drive, int track) {
    CdToc toc;
    if (int e = ReadToc(drive, toc)) return e;
    std::uint32_t start = 0, end = 0;
    if (!TrackRange(toc, track, start, end)) return kErrorInvalidFunction;
    return PlayFrom(drive, start, track);
}

std::vector<std::pair<std::string, std::string>> CDeviceIoctl::ListDrives() {
    std::vector<std::pair<std::string, std::string>> out;
    for (std::size_t i = 0; i < m_nodes.size(); ++i) {
        auto dev = Open(int(i), nullptr);
        out.emplace_back(m_nodes[i], dev ? dev->Description() : std::string());
    }
    return out;
}

bool CDeviceIoctl::StartIoctlExtraction(IoctlDataCallback callback, int driveIndex, int trackNumber,
                                        const WaveFormat&, void* user) {
    if (!callback || m_running) return false;
    if (m_thread.joinable()) m_thread.join();
    int error = 0;
    auto dev = Open(driveIndex, &error);
    if (!dev) return false;
    CdToc toc;
    std::uint32_t start = 0, end = 0;
    bool audio = true;
    if (dev->ReadToc(toc) != 0 || !TrackRange(toc, trackNumber, start, end, &audio)) return false;
    if (!audio) {
        // Never handed to the audio read path: a data track is not music.
        TraceFormat("Track %d is a data track; not extracted", trackNumber);
        return false;
    }
    // The TOC addresses travel as minute/second/frame; convert as the drive reports them.
    int m, s, f;
    LbaToMsf(start, m, s, f);
    start = std::uint32_t(MsfToLba(m, s, f));
    LbaToMsf(end, m, s, f);
    end = std::uint32_t(MsfToLba(m, s, f));
    std::uint32_t bps = 2048;
    if (dev->GetBytesPerSector(bps) != 0 || bps == 0) bps = 2048;
    m_bytesPerSector = bps;
    m_track = trackNumber;
    m_stop.Reset();
    m_finished.Reset();
    m_running = true;
    SetCdState(kCdExtracting);
    m_thread = std::thread(&CDeviceIoctl::Worker, this, std::move(dev), callback, user, start, end, bps);
    return true;
}

void CDeviceIoctl::StopExtraction() {
    if (!m_running) {
        if (m_thread.joinable()) m_thread.join();
        return;
    }
    m_stop.Set();
    m_finished.Wait(std::chrono::hours(1));
    if (m_thread.joinable()) m_thread.join();
}

bool CDeviceIoctl::WaitFinished(std::chrono::milliseconds timeout) {
    if (!m_running) {
        if (m_thread.joinable()) m_thread.join();
        return true;
    }
    if (!m_finished.Wait(timeout)) return false;
    if (m_thread.joinable()) m_thread.join();
    return true;
}

void CDeviceIoctl::Worker(std::unique_ptr<CdromDevice> device, IoctlDataCallback callback, void* user,
                          std::uint32_t start, std::uint32_t end, std::uint32_t bytesPerSector) {
    std::uint32_t perRequest = 128;
    std::vector<std::uint8_t> buffer(std::size_t(128) * kCdFrameBytes);
    std::uint32_t current = start;
    bool failed = false, stopped = false;
    const std::uint64_t size = std::uint64_t(end - start) * kCdFrameBytes;
    std::uint64_t done = 0;
    auto began = std::chrono::steady_clock::now();
    while (current < end) {
        std::uint32_t n = std::min(end - current, perRequest);
        std::uint32_t r = 0;
        int error = 0;
        for (; r < n; ++r) {
            // The raw-read offset is frame x bytes per sector; the backends take the frame.
            std::uint64_t offset = std::uint64_t(current + r) * bytesPerSector;
            error = device->ReadAudio(std::uint32_t(offset / bytesPerSector), 1,
                                      buffer.data() + std::size_t(r) * kCdFrameBytes);
            if (error != 0) break;
        }
        m_lastRequest = perRequest;
        if (m_stop.Wait(m_stopPoll)) {
            stopped = true;
            break;
        }
        if (r > 0) {
            if (!callback(buffer.data(), long(r) * long(kCdFrameBytes), user)) {
                failed = true; // the consumer could not take the block (encoder or disk failure)
                break;
            }
            current += r;
            done += std::uint64_t(r) * kCdFrameBytes;
            PostProgress(size, done, began, false);
        } else if (error == kErrorIoDevice) {
            perRequest = 16;
            m_lastRequest = perRequest;
            TraceFormat("Raw read error 1117 at frame %u; retrying in 16-frame requests", current);
            // The retry has no limit: the page shows that it waits, and the
            // user's cancel ends the wait.
            PostProgress(size, done, began, true);
            if (m_stop.Wait(m_ioErrorWait)) {
                stopped = true;
                break;
            }
            continue;
        } else if (error == kErrorUnreadable) {
            // A read that fails without a reason: the rest of the track is silence.
            std::fill(buffer.begin(), buffer.end(), std::uint8_t(0));
            while (current < end) {
                std::uint32_t k = std::min(end - current, perRequest);
                if (!callback(buffer.data(), long(k) * long(kCdFrameBytes), user)) {
                    failed = true;
                    break;
                }
                current += k;
            }
            break;
        } else {
            // Invalid function (1) or any other error: the track is not complete.
            TraceFormat("Raw read failed at frame %u, error %d", current, error);
            failed = true;
            break;
        }
        if (m_stop.Wait(m_stopPoll)) {
            stopped = true;
            break;
        }
    }
    device.reset();
    buffer.clear();
    callback(nullptr, failed || stopped ? -1 : 0, user);
    // Idle first, then the message: a handler that starts the next track
    // must find the engine free.
    const int track = m_track;
    if (!m_jobOpen) SetCdState(kCdIdle);
    m_running = false;
    m_finished.Set();
    if (m_owner && !stopped) m_owner->Post(failed ? kMsgDaeTrackFailed : kMsgDaeTrackDone, std::uintptr_t(track));
}

void CDeviceIoctl::PostProgress(std::uint64_t size, std::uint64_t done, std::chrono::steady_clock::time_point began,
                                bool retrying) {
    if (!m_owner) return;
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - began).count();
    double rate = double(done) / double(std::max<long long>(ms, 1)); // bytes per ms
    auto remaining = rate > 0 ? std::uintptr_t(double(size - std::min(done, size)) / rate / 1000.0) : 0;
    auto speed = retrying ? kDaeRetrying : std::intptr_t(rate * 1000.0 / 153600.0);
    m_owner->Post(kMsgDaeProgress, remaining, speed);
}

} // namespace lyb
