#include "platform/cdrom/virtual_drive.h"

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <thread>

#include "platform/trace.h"

namespace lyb {
namespace {

std::uint32_t Be32(const std::uint8_t* p) {
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}
void PutBe32(std::uint8_t* p, std::uint32_t v) {
    p[0] = std::uint8_t(v >> 24);
    p[1] = std::uint8_t(v >> 16);
    p[2] = std::uint8_t(v >> 8);
    p[3] = std::uint8_t(v);
}

bool ParseList(const std::string& text, int base, std::vector<unsigned long>& out) {
    std::stringstream ss(text);
    std::string item;
    while (std::getline(ss, item, ':')) {
        if (item.empty()) return false;
        char* end = nullptr;
        unsigned long v = std::strtoul(item.c_str(), &end, base);
        if (*end != '\0') return false;
        out.push_back(v);
    }
    return !out.empty();
}

class VirtualDevice final : public CdromDevice {
public:
    explicit VirtualDevice(std::shared_ptr<VirtualDrive> drive) : m_drive(std::move(drive)) {}
    int ReadToc(CdToc& toc) override { return m_drive->ReadToc(toc); }
    int GetBytesPerSector(std::uint32_t& bytes) override {
        bytes = 2048;
        return 0;
    }
    int ReadAudio(std::uint32_t lba, std::uint32_t frames, std::uint8_t* out) override {
        return m_drive->ReadAudio(lba, frames, out);
    }
    int PlayAudio(std::uint32_t s, std::uint32_t e) override { return m_drive->PlayAudio(s, e); }
    int SeekAudio(std::uint32_t lba) override { return m_drive->Seek(lba); }
    int StopAudio() override { return m_drive->Stop(); }
    int PauseAudio() override { return m_drive->Pause(); }
    int ResumeAudio() override { return m_drive->Resume(); }
    int Eject() override { return m_drive->Eject(); }
    int GetScsiAddress(CdScsiAddress& a) override {
        // A host number no real SCSI host has, so the virtual drive never
        // shares an address with a drive of the machine.
        a = CdScsiAddress{};
        a.host = -1;
        return 0;
    }
    std::string Description() override { return "LYRABOX VIRTUAL CD-ROM"; }
    int MediumPresent(bool& present) override {
        present = m_drive->MediumPresent();
        return 0;
    }

private:
    std::shared_ptr<VirtualDrive> m_drive;
};

} // namespace

bool ParseVirtualDriveOptions(const std::string& text, VirtualDriveOptions& options, std::string& error) {
    std::stringstream ss(text);
    std::string item;
    while (std::getline(ss, item, ';')) {
        if (item.empty()) continue;
        std::string key = item, value;
        if (auto eq = item.find('='); eq != std::string::npos) {
            key = item.substr(0, eq);
            value = item.substr(eq + 1);
        }
        std::vector<unsigned long> list;
        if (key == "unit-attention") options.unitAttentionFirst = true;
        else if (key == "no-seek") options.seekUnsupported = true;
        else if (key == "deny" && ParseList(value, 16, list)) {
            for (auto v : list) options.deniedOpcodes.insert(std::uint8_t(v));
        } else if (key == "no-medium") options.noMedium = true;
        else if (key == "reject" && ParseList(value, 16, list)) {
            for (auto v : list) options.rejectedOpcodes.insert(std::uint8_t(v));
        } else if (key == "eio" && ParseList(value, 10, list)) {
            for (auto v : list) options.errorFrames.insert(std::uint32_t(v));
        } else if (key == "eio-repeat" && ParseList(value, 10, list)) options.errorRepeat = int(list[0]);
        else if (key == "slow-us" && ParseList(value, 10, list)) options.slowMicrosPerFrame = unsigned(list[0]);
        else if (key == "unreadable-from" && ParseList(value, 10, list)) options.unreadableFrom = std::int64_t(list[0]);
        else if (key == "remove-at" && ParseList(value, 10, list)) options.removeAtFrame = std::int64_t(list[0]);
        else {
            error = "bad virtual drive switch: " + item;
            return false;
        }
    }
    return true;
}

std::shared_ptr<VirtualDrive> VirtualDrive::Load(const std::string& cuePath, VirtualDriveOptions options,
                                                 std::string& error) {
    std::shared_ptr<VirtualDrive> drive(new VirtualDrive());
    if (!LoadCueSheet(cuePath, drive->m_sheet, error)) return nullptr;
    for (const auto& f : drive->m_sheet.files) {
        int fd = ::open(f.path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            error = "cannot open BIN file " + f.path;
            return nullptr;
        }
        drive->m_fds.push_back(fd);
    }
    drive->SetOptions(std::move(options));
    return drive;
}

std::shared_ptr<VirtualDrive> VirtualDrive::FromEnvironment() {
    static std::mutex once;
    static bool loaded = false;
    static std::shared_ptr<VirtualDrive> drive;
    std::lock_guard<std::mutex> lock(once);
    if (loaded) return drive;
    loaded = true;
    const char* cue = std::getenv("LYB30_VIRTUAL_CD");
    if (!cue || !*cue) return nullptr;
    VirtualDriveOptions options;
    std::string error;
    const char* opts = std::getenv("LYB30_VIRTUAL_CD_OPTIONS");
    if (opts && !ParseVirtualDriveOptions(opts, options, error)) {
        TraceFormat("Virtual CD: %s", error.c_str());
        return nullptr;
    }
    drive = Load(cue, options, error);
    if (!drive) TraceFormat("Virtual CD: %s", error.c_str());
    return drive;
}

VirtualDrive::~VirtualDrive() {
    for (int fd : m_fds) ::close(fd);
}

void VirtualDrive::SetOptions(VirtualDriveOptions options) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_options = std::move(options);
    m_attentionPending = m_options.unitAttentionFirst;
    m_mediumPresent = !m_options.noMedium;
    m_errorCounts.clear();
}

void VirtualDrive::RemoveMedium() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_mediumPresent = false;
    m_state = PlayState::Stopped;
}

bool VirtualDrive::MediumPresent() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_mediumPresent;
}

void VirtualDrive::InsertMedium() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_mediumPresent = true;
    m_options.removeAtFrame = -1;
}

std::unique_ptr<CdromDevice> VirtualDrive::OpenDevice() {
    // The handle shares ownership so the drive outlives every open device.
    return std::make_unique<VirtualDevice>(shared_from_this());
}

bool VirtualDrive::FetchRaw(std::uint32_t lba, std::uint32_t frames, std::uint8_t* out) const {
    while (frames > 0) {
        std::size_t fi = 0;
        while (fi + 1 < m_sheet.files.size() && lba >= m_sheet.files[fi + 1].baseLba) ++fi;
        const CueFile& f = m_sheet.files[fi];
        std::uint32_t in = lba - f.baseLba;
        std::uint32_t n = std::min(frames, f.frames - in);
        std::size_t want = std::size_t(n) * kCdFrameBytes;
        off_t at = off_t(in) * off_t(kCdFrameBytes);
        std::size_t got = 0;
        while (got < want) {
            ssize_t r = ::pread(m_fds[fi], out + got, want - got, at + off_t(got));
            if (r <= 0) return false;
            got += std::size_t(r);
        }
        out += want;
        lba += n;
        frames -= n;
    }
    return true;
}

bool VirtualDrive::ImageBytes(std::uint32_t lba, std::uint32_t frames, std::vector<std::uint8_t>& out) const {
    if (lba > m_sheet.leadOutLba || frames > m_sheet.leadOutLba - lba) return false;
    out.resize(std::size_t(frames) * kCdFrameBytes);
    return FetchRaw(lba, frames, out.data());
}

int VirtualDrive::ReadFramesLocked(std::uint32_t lba, std::uint32_t frames, std::uint8_t* out,
                                   std::unique_lock<std::mutex>& lock) {
    if (!m_mediumPresent) return kErrorNotReady;
    if (lba > m_sheet.leadOutLba || frames > m_sheet.leadOutLba - lba) return kErrorIoDevice;
    if (m_options.slowMicrosPerFrame) {
        auto wait = std::chrono::microseconds(std::uint64_t(m_options.slowMicrosPerFrame) * frames);
        lock.unlock();
        std::this_thread::sleep_for(wait);
        lock.lock();
    }
    if (m_options.removeAtFrame >= 0 && std::int64_t(lba) + frames > m_options.removeAtFrame) {
        m_mediumPresent = false;
        m_state = PlayState::Stopped;
        return kErrorNotReady;
    }
    if (m_options.unreadableFrom >= 0 && std::int64_t(lba) + frames > m_options.unreadableFrom) return kErrorUnreadable;
    for (auto it = m_options.errorFrames.lower_bound(lba); it != m_options.errorFrames.end() && *it < lba + frames; ++it) {
        int& count = m_errorCounts[*it];
        if (m_options.errorRepeat < 0 || count < m_options.errorRepeat) {
            ++count;
            return kErrorIoDevice;
        }
    }
    return FetchRaw(lba, frames, out) ? 0 : kErrorIoDevice;
}

int VirtualDrive::ReadToc(CdToc& toc) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_mediumPresent) return kErrorNotReady;
    toc = CdToc{};
    toc.firstTrack = std::uint8_t(m_sheet.tracks.front().number);
    toc.lastTrack = std::uint8_t(m_sheet.tracks.back().number);
    for (const auto& t : m_sheet.tracks)
        toc.entries.push_back(CdTocEntry{std::uint8_t(t.number), std::uint8_t(t.audio ? 0 : 4), t.lba});
    toc.entries.push_back(CdTocEntry{kLeadOutTrack, 0, m_sheet.leadOutLba});
    return 0;
}

int VirtualDrive::ReadAudio(std::uint32_t lba, std::uint32_t frames, std::uint8_t* out) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return ReadFramesLocked(lba, frames, out, lock);
}

int VirtualDrive::PlayAudio(std::uint32_t startLba, std::uint32_t endLba) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_mediumPresent) return kErrorNotReady;
    if (startLba >= endLba || endLba > m_sheet.leadOutLba) return kErrorInvalidFunction;
    m_state = PlayState::Playing;
    m_playStart = startLba;
    m_playEnd = endLba;
    return 0;
}

int VirtualDrive::Seek(std::uint32_t lba) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_options.seekUnsupported) return kErrorInvalidFunction;
    if (!m_mediumPresent) return kErrorNotReady;
    if (lba >= m_sheet.leadOutLba) return kErrorInvalidFunction;
    m_playStart = lba;
    return 0;
}

int VirtualDrive::Stop() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_mediumPresent) return kErrorNotReady;
    m_state = PlayState::Stopped;
    return 0;
}

int VirtualDrive::Pause() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_mediumPresent) return kErrorNotReady;
    if (m_state == PlayState::Playing) m_state = PlayState::Paused;
    return 0;
}

int VirtualDrive::Resume() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_mediumPresent) return kErrorNotReady;
    if (m_state == PlayState::Paused) m_state = PlayState::Playing;
    return 0;
}

int VirtualDrive::Eject() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_mediumPresent = false;
    m_state = PlayState::Stopped;
    return 0;
}

VirtualDrive::PlayState VirtualDrive::State() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_state;
}
std::uint32_t VirtualDrive::PlayStart() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_playStart;
}
std::uint32_t VirtualDrive::PlayEnd() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_playEnd;
}
std::uint16_t VirtualDrive::ReadSpeed() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_readSpeed;
}

std::vector<std::vector<std::uint8_t>> VirtualDrive::CommandLog() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_log;
}

void VirtualDrive::ClearCommandLog() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_log.clear();
}

ScsiResult VirtualDrive::Execute(const std::uint8_t* cdb, std::size_t cdbLength, ScsiDirection direction,
                                 std::uint8_t* data, std::size_t dataLength) {
    ScsiResult r;
    if (!cdb || cdbLength < 6 || cdbLength > 16 || (dataLength && !data)) {
        SetCheckCondition(r, 5, 0x24, 0);
        return r;
    }
    std::unique_lock<std::mutex> lock(m_mutex);
    m_log.emplace_back(cdb, cdb + cdbLength);
    const std::uint8_t op = cdb[0];
    if (m_options.deniedOpcodes.count(op)) {
        r.transportOk = false; // refused before it reaches the drive
        r.notPermitted = true;
        return r;
    }
    if (m_attentionPending && op != 0x12) {
        m_attentionPending = false;
        SetCheckCondition(r, 6, 0x28, 0); // medium may have changed
        return r;
    }
    if (m_options.rejectedOpcodes.count(op)) {
        SetCheckCondition(r, 5, 0x20, 0); // invalid command operation code
        return r;
    }
    auto needMedium = [&]() {
        if (m_mediumPresent) return true;
        SetCheckCondition(r, 2, 0x3A, 0);
        return false;
    };
    auto invalidField = [&]() { SetCheckCondition(r, 5, 0x24, 0); };
    switch (op) {
    case 0x00: // TEST UNIT READY
        needMedium();
        return r;
    case 0x12: { // INQUIRY
        std::uint8_t inq[36] = {};
        inq[0] = 5;
        inq[1] = 0x80;
        inq[2] = 0;
        inq[3] = 0x32;
        inq[4] = 31;
        std::memcpy(inq + 8, "LYRABOX ", 8);
        std::memcpy(inq + 16, "VIRTUAL CD-ROM  ", 16);
        std::memcpy(inq + 32, "1.0 ", 4);
        std::size_t n = std::min<std::size_t>({dataLength, cdb[4], sizeof inq});
        if (direction == ScsiDirection::In && n) std::memcpy(data, inq, n);
        r.transferred = n;
        return r;
    }
    case 0x43: { // READ TOC, format 0
        if (!needMedium()) return r;
        if (direction != ScsiDirection::In) return invalidField(), r;
        bool msf = (cdb[1] & 0x02) != 0;
        std::vector<std::uint8_t> reply(4);
        reply[2] = std::uint8_t(m_sheet.tracks.front().number);
        reply[3] = std::uint8_t(m_sheet.tracks.back().number);
        auto add = [&](std::uint8_t track, std::uint8_t control, std::uint32_t lba) {
            std::uint8_t d[8] = {0, std::uint8_t(0x10 | control), track, 0, 0, 0, 0, 0};
            if (msf) {
                int m, s, f;
                LbaToMsf(lba, m, s, f);
                d[5] = std::uint8_t(m), d[6] = std::uint8_t(s), d[7] = std::uint8_t(f);
            } else {
                PutBe32(d + 4, lba);
            }
            reply.insert(reply.end(), d, d + 8);
        };
        for (const auto& t : m_sheet.tracks) add(std::uint8_t(t.number), t.audio ? 0 : 4, t.lba);
        add(kLeadOutTrack, 0, m_sheet.leadOutLba);
        std::size_t len = reply.size() - 2;
        reply[0] = std::uint8_t(len >> 8);
        reply[1] = std::uint8_t(len);
        std::size_t alloc = (std::size_t(cdb[7]) << 8) | cdb[8];
        std::size_t n = std::min({dataLength, alloc, reply.size()});
        std::memcpy(data, reply.data(), n);
        r.transferred = n;
        return r;
    }
    case 0x45:   // PLAY AUDIO(10)
    case 0x47:   // PLAY AUDIO MSF
    case 0xA5: { // PLAY AUDIO(12)
        if (!needMedium()) return r;
        if (op == 0xA5 && cdbLength < 12) return invalidField(), r;
        std::uint32_t start = Be32(cdb + 2);
        std::uint32_t len = op == 0xA5 ? Be32(cdb + 6) : (std::uint32_t(cdb[7]) << 8) | cdb[8];
        if (op == 0x47) {
            std::int64_t from = MsfToLba(cdb[3], cdb[4], cdb[5]), to = MsfToLba(cdb[6], cdb[7], cdb[8]);
            if (from < 0 || to < from) return invalidField(), r;
            start = std::uint32_t(from);
            len = std::uint32_t(to - from);
        }
        if (len == 0) return r;
        if (start >= m_sheet.leadOutLba || len > m_sheet.leadOutLba - start) return SetCheckCondition(r, 5, 0x21, 0), r;
        m_state = PlayState::Playing;
        m_playStart = start;
        m_playEnd = start + len;
        return r;
    }
    case 0x4E: // STOP PLAY/SCAN
        if (needMedium()) m_state = PlayState::Stopped;
        return r;
    case 0x4B: // PAUSE/RESUME
        if (!needMedium()) return r;
        if (m_state == PlayState::Stopped) return SetCheckCondition(r, 5, 0x2C, 0), r;
        m_state = (cdb[8] & 1) ? PlayState::Playing : PlayState::Paused;
        return r;
    case 0x1B: // START STOP UNIT: eject when LoEj is set and Start is clear
        if ((cdb[4] & 0x03) == 0x02) {
            m_mediumPresent = false;
            m_state = PlayState::Stopped;
        }
        return r;
    case 0xBB: // SET CD SPEED
    case 0xDA:
        m_readSpeed = std::uint16_t((cdb[2] << 8) | cdb[3]);
        return r;
    case 0xBE:
    case 0xD4:
    case 0xD5:
    case 0xD8: {
        if (!needMedium()) return r;
        if (direction != ScsiDirection::In) return invalidField(), r;
        std::uint32_t lba = Be32(cdb + 2);
        std::uint32_t count;
        if (op == 0xBE) {
            if (cdbLength < 12 || (cdb[9] & 0x10) == 0) return invalidField(), r; // no user data asked for
            std::uint8_t type = (cdb[1] >> 2) & 7;
            if (type != 0 && type != 1) return invalidField(), r;
            count = (std::uint32_t(cdb[6]) << 16) | (std::uint32_t(cdb[7]) << 8) | cdb[8];
        } else if (cdbLength >= 12) {
            count = Be32(cdb + 6);
        } else {
            count = (std::uint32_t(cdb[7]) << 8) | cdb[8];
        }
        if (count == 0) return r;
        if (count > dataLength / kCdFrameBytes) return invalidField(), r;
        int err = ReadFramesLocked(lba, count, data, lock);
        if (err == kErrorNotReady) SetCheckCondition(r, 2, 0x3A, 0);
        else if (err == kErrorIoDevice && (lba >= m_sheet.leadOutLba || count > m_sheet.leadOutLba - lba))
            SetCheckCondition(r, 5, 0x21, 0);
        else if (err) SetCheckCondition(r, 3, 0x11, 0); // medium error (also for the reasonless failure)
        else r.transferred = std::size_t(count) * kCdFrameBytes;
        return r;
    }
    default:
        SetCheckCondition(r, 5, 0x20, 0);
        return r;
    }
}

} // namespace lyb
