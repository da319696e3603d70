#include "cd/aspi_manager.h"

#include <sys/eventfd.h>
#include <poll.h>
#include <unistd.h>

#include <cstring>
#include <mutex>
#include <thread>

#include "cd/cd_state.h"
#include "platform/cdrom/cdrom_device.h"
#include "platform/shared_library.h"
#include "platform/trace.h"

namespace lyb {

const std::array<std::uint16_t, 19> kAspiSpeedTable = {176,  353,  529,  706,  882,  1058, 1234, 1411, 1587, 1764,
                                                        1940, 2117, 2470, 2822, 3175, 3528, 3881, 4234, 65535};

namespace {

// One request block in flight in the whole process.
std::mutex& RequestMutex() {
    static std::mutex m;
    return m;
}

std::uint32_t Be32(const std::uint8_t* p) {
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}
void PutBe32(std::uint8_t* p, std::uint32_t v) {
    p[0] = std::uint8_t(v >> 24), p[1] = std::uint8_t(v >> 16), p[2] = std::uint8_t(v >> 8), p[3] = std::uint8_t(v);
}

// The play command for [from, from + len): PLAY AUDIO(10) while the length
// fits its 16 bits, else PLAY AUDIO(12) (over 14 minutes), or PLAY AUDIO MSF
// when `msf` (no length limit; the fallback when (12) is refused).
std::uint8_t BuildPlay(std::uint8_t* cdb, std::uint32_t from, std::uint32_t len, bool msf = false) {
    std::memset(cdb, 0, 12);
    if (msf) {
        int m, s, f;
        cdb[0] = 0x47;
        LbaToMsf(from, m, s, f);
        cdb[3] = std::uint8_t(m), cdb[4] = std::uint8_t(s), cdb[5] = std::uint8_t(f);
        LbaToMsf(from + len, m, s, f);
        cdb[6] = std::uint8_t(m), cdb[7] = std::uint8_t(s), cdb[8] = std::uint8_t(f);
        return 10;
    }
    if (len <= 0xFFFF) {
        cdb[0] = 0x45;
        PutBe32(cdb + 2, from);
        cdb[7] = std::uint8_t(len >> 8);
        cdb[8] = std::uint8_t(len);
        return 10;
    }
    cdb[0] = 0xA5;
    PutBe32(cdb + 2, from);
    PutBe32(cdb + 6, len);
    return 12;
}

} // namespace

char DriveLetterByAddress(const AspiDeviceEntry& d, const std::vector<CdDriveAddress>& drives,
                          const std::vector<std::string>& driveList) {
    for (const auto& a : drives) {
        if (a.adapter != d.adapter || a.address.target != d.target || a.address.lun != d.lun) continue;
        for (std::size_t i = 0; i < driveList.size() && i < 32; ++i)
            if (driveList[i] == a.node) return char('A' + i);
    }
    return 0;
}

namespace {

// Default drive-letter search on Linux: host adapter, target and LUN of each
// drive of the drive list (two drives on two hosts share target and LUN).
char SearchDriveByAddress(const AspiDeviceEntry& d) {
    return DriveLetterByAddress(d, CdromDriveAddresses(), ListCdromDrives());
}

} // namespace

CAspiManager::CAspiManager() : m_letterSearch(SearchDriveByAddress) {}

CAspiManager::~CAspiManager() {
    if (m_initialised || m_buffer) UnloadAspi();
}

void CAspiManager::SetText(std::string text) { m_lastText = std::move(text); }

bool CAspiManager::Refuse(const char* text) {
    SetText(text);
    return false;
}

bool CAspiManager::LoadAspi(MessageTarget* ownerWindow) {
    return LoadAspiLibrary(ownerWindow, ProgramFolder() + "/" + aspi::kAspiLibraryName);
}

bool CAspiManager::LoadAspiLibrary(MessageTarget* ownerWindow, const std::string& path) {
    m_owner = ownerWindow;
    SystemVersion version = CurrentSystemVersion();
    if (version.line == OsLine::NT) return false;
    unsigned major = version.version >> 8, minor = version.version & 0xFF;
    bool known = major == 3 || major == 4 || (major == 5 && minor <= 1);
    m_library = std::make_unique<SharedLibrary>();
    if (!known || !m_library->Open(path)) {
        m_library.reset();
        return Refuse("Unable to load wnaspi32.dll");
    }
    SetText("wnaspi32.dll loaded");
    AspiEntryPoints e;
    e.send = reinterpret_cast<aspi::SendASPI32CommandFn>(m_library->Symbol("SendASPI32Command"));
    e.supportInfo = reinterpret_cast<aspi::GetASPI32SupportInfoFn>(m_library->Symbol("GetASPI32SupportInfo"));
    e.dllVersion = reinterpret_cast<aspi::GetASPI32DLLVersionFn>(m_library->Symbol("GetASPI32DLLVersion"));
    e.getBuffer = reinterpret_cast<aspi::GetASPI32BufferFn>(m_library->Symbol("GetASPI32Buffer"));
    e.freeBuffer = reinterpret_cast<aspi::FreeASPI32BufferFn>(m_library->Symbol("FreeASPI32Buffer"));
    m_entry = e;
    return Bind(ownerWindow, version);
}

bool CAspiManager::LoadAspiEntryPoints(MessageTarget* ownerWindow, const AspiEntryPoints& entry,
                                       SystemVersion version) {
    m_owner = ownerWindow;
    if (version.line == OsLine::NT) return false;
    m_entry = entry;
    SetText("wnaspi32.dll loaded");
    return Bind(ownerWindow, version);
}

bool CAspiManager::Bind(MessageTarget*, SystemVersion) {
    if (!m_entry.dllVersion) {
        SetText("GetASPI32DLLVersion() is not supported!");
        Trace(m_lastText);
    } else {
        m_dllVersion = m_entry.dllVersion();
    }
    if (!m_entry.supportInfo) return Refuse("ASPI Support Info entry point error !");
    m_supportInfo = m_entry.supportInfo();
    unsigned status = (m_supportInfo >> 8) & 0xFF;
    m_adapterCount = int(m_supportInfo & 0xFF);
    if (status != aspi::SS_COMP) {
        TraceFormat("ASPI support info status 0x%x", status);
        return Refuse("Unable to perform an operation!");
    }
    if (!m_entry.send) return Refuse("ASPI/SCSI entry point error");
    m_bufferDesc = aspi::ASPI32BUFF{};
    m_bufferDesc.AB_BufLen = kBufferRequest;
    if (m_entry.getBuffer && m_entry.getBuffer(&m_bufferDesc) && m_bufferDesc.AB_BufPointer) {
        m_buffer = m_bufferDesc.AB_BufPointer;
        m_bufferSize = kBufferUsable;
    } else {
        // Without the manager's buffer the extraction uses one of our own.
        m_bufferDesc = aspi::ASPI32BUFF{};
        m_ownBuffer.assign(kBufferUsable, 0);
        m_buffer = m_ownBuffer.data();
        m_bufferSize = kBufferUsable;
    }
    SetText("ASPI Manager initialized successfuly");
    m_initialised = true;
    return true;
}

bool CAspiManager::ScanHostAdapters() {
    if (!m_initialised) return Refuse("ASPI Manager is not loaded !");
    m_devices.clear();
    m_adapters.clear();
    for (int ha = 0; ha < m_adapterCount; ++ha) {
        aspi::SRB_HAInquiry inq{};
        inq.SRB_Cmd = aspi::SC_HA_INQUIRY;
        inq.SRB_HaId = std::uint8_t(ha);
        {
            std::lock_guard<std::mutex> lock(RequestMutex());
            m_entry.send(&inq);
        }
        if (inq.SRB_Status != aspi::SS_COMP) continue;
        int targets = inq.HA_Unique[3] == 16 ? 16 : 8;
        if (ha == 0) m_managerId.assign(reinterpret_cast<char*>(inq.HA_ManagerId), 16);
        m_adapters.emplace_back(inq.HA_SCSI_ID, std::string(reinterpret_cast<char*>(inq.HA_Identifier), 16));
        for (int t = 0; t < targets; ++t) {
            // LUNs are probed up to the first that does not answer; only the
            // resulting device table matters and 255 LUNs per target is slow.
            for (int lun = 0; lun < 8; ++lun) {
                aspi::SRB_GDEVBlock dev{};
                dev.SRB_Cmd = aspi::SC_GET_DEV_TYPE;
                dev.SRB_HaId = std::uint8_t(ha);
                dev.SRB_Target = std::uint8_t(t);
                dev.SRB_Lun = std::uint8_t(lun);
                {
                    std::lock_guard<std::mutex> lock(RequestMutex());
                    m_entry.send(&dev);
                }
                if (dev.SRB_Status != aspi::SS_COMP) break;
                std::uint8_t type = dev.SRB_DeviceType;
                if ((type != 4 && type != 5 && type != 7) || m_devices.size() >= kMaxDevices) continue;
                AspiDeviceEntry e;
                e.adapter = std::uint8_t(ha);
                e.target = std::uint8_t(t);
                e.lun = std::uint8_t(lun);
                e.deviceType = type;
                e.driveLetter = m_letterSearch ? m_letterSearch(e) : 0;
                m_devices.push_back(e);
            }
        }
    }
    for (int i = 0; i < DeviceCount(); ++i) {
        std::uint8_t cdb[6] = {0x12, 0, 0, 0, 255, 0};
        std::memset(m_reply, 0, sizeof m_reply);
        if (!ExecScsi(i, aspi::SRB_DIR_IN, 255, m_reply, 6, cdb)) continue;
        AspiDeviceEntry& e = m_devices[std::size_t(i)];
        std::memcpy(e.vendor, m_reply + 8, 8);
        std::memcpy(e.product, m_reply + 16, 20);
        e.version = m_reply[2];
        e.responseFormat = m_reply[3];
    }
    SetText("Host Adapters Scan Procedure completed.");
    return true;
}

const AspiDeviceEntry* CAspiManager::Device(int index) const {
    return index >= 0 && index < DeviceCount() ? &m_devices[std::size_t(index)] : nullptr;
}

bool CAspiManager::SendOnce(aspi::SRB_ExecSCSICmd& srb) {
    int fd = ::eventfd(0, EFD_CLOEXEC);
    if (fd >= 0) {
        srb.SRB_Flags |= aspi::SRB_EVENT_NOTIFY;
        srb.SRB_PostProc = reinterpret_cast<void*>(std::intptr_t(fd));
    }
    aspi::DWORD sent = m_entry.send(&srb);
    if (sent == aspi::SS_PENDING) {
        if (fd >= 0) {
            pollfd p{fd, POLLIN, 0};
            while (::poll(&p, 1, -1) < 0 && errno == EINTR) {
            }
        } else {
            while (reinterpret_cast<volatile std::uint8_t&>(srb.SRB_Status) == aspi::SS_PENDING)
                std::this_thread::yield();
        }
    }
    if (fd >= 0) ::close(fd);
    return srb.SRB_Status == aspi::SS_COMP;
}

bool CAspiManager::ExecScsi(int device, std::uint8_t directionFlags, std::uint32_t dataLength,
                            std::uint8_t* dataBuffer, std::uint8_t cdbLength, const std::uint8_t* cdb) {
    if (!m_initialised) return Refuse("Unable to perform an operation!");
    if (device < 0 || device >= DeviceCount() || cdbLength == 0 || cdbLength > 16 || !cdb)
        return Refuse("Impropper argument(s) !");
    m_lastDevice = device;
    const AspiDeviceEntry& d = m_devices[std::size_t(device)];
    std::lock_guard<std::mutex> lock(RequestMutex());
    for (int attempt = 0; attempt < 2; ++attempt) {
        aspi::SRB_ExecSCSICmd srb{};
        srb.SRB_Cmd = aspi::SC_EXEC_SCSI_CMD;
        srb.SRB_HaId = d.adapter;
        srb.SRB_Target = d.target;
        srb.SRB_Lun = d.lun;
        srb.SRB_Flags = directionFlags;
        srb.SRB_BufLen = dataLength;
        srb.SRB_BufPointer = dataBuffer;
        srb.SRB_SenseLen = aspi::SENSE_LEN;
        srb.SRB_CDBLen = cdbLength;
        std::memcpy(srb.CDBByte, cdb, cdbLength);
        m_lastNotPermitted = false;
        if (SendOnce(srb)) return true;
        if (srb.SRB_HaStat == aspi::HASTAT_NOT_PERMITTED) {
            // Refused by the host for this user: the same answer every time.
            m_lastNotPermitted = true;
            TraceFormat("SCSI command 0x%02X is not permitted for this user", cdb[0]);
            break;
        }
        m_lastTargetStatus = srb.SRB_TargStat;
        m_lastSenseKey = srb.SenseArea[2] & 0x0F;
        if (srb.SRB_TargStat == 2 || srb.SRB_TargStat == 8) m_lastError = srb.SRB_TargStat;
        else if (srb.SRB_TargStat == 0x18) m_lastError = 0x12;
        if (srb.SRB_TargStat == 2 && m_lastSenseKey == 6) break; // unit attention: the next command will do
    }
    SetText("Unable to perform an operation!");
    return false;
}

bool CAspiManager::ReadToc(int device) {
    if (!m_initialised) return Refuse("Unable to perform an operation!");
    std::memset(m_cdb, 0, sizeof m_cdb);
    m_cdb[0] = 0x43;
    m_cdb[8] = 0xFF;
    std::memset(m_reply, 0, sizeof m_reply);
    if (!ExecScsi(device, aspi::SRB_DIR_IN, 255, m_reply, 10, m_cdb)) {
        m_lastTrack = 0;
        return false;
    }
    // 255 bytes hold 31 descriptors (30 tracks and the lead-out); a disc
    // with more tracks is read again with room for all 99 and the lead-out.
    int last = m_reply[3];
    const std::uint8_t* reply = m_reply;
    std::vector<std::uint8_t> large;
    if (last > 30 && last <= 99) {
        large.assign(4 + 8 * 100, 0);
        m_cdb[7] = std::uint8_t(large.size() >> 8);
        m_cdb[8] = std::uint8_t(large.size());
        if (!ExecScsi(device, aspi::SRB_DIR_IN, std::uint32_t(large.size()), large.data(), 10, m_cdb)) {
            m_lastTrack = 0;
            return false;
        }
        reply = large.data();
        last = reply[3];
    }
    if (last < 1 || last > 99 || (large.empty() && last > 30)) {
        m_lastTrack = 0;
        return Refuse("Impropper argument(s)!");
    }
    m_toc = {};
    for (int i = 0; i <= last; ++i) {
        const std::uint8_t* desc = reply + 4 + 8 * i;
        m_toc[std::size_t(i + 1)].lba = Be32(desc + 4);
        m_toc[std::size_t(i + 1)].control = desc[1];
    }
    m_lastTrack = last;
    m_totalSeconds = 0;
    for (int t = 1; t <= last; ++t) {
        auto& row = m_toc[std::size_t(t)];
        std::uint32_t next = m_toc[std::size_t(t + 1)].lba;
        std::uint32_t length = next > row.lba ? next - row.lba : 0;
        row.minutes = length / 4500;
        row.seconds = (length / 75) % 60;
        m_totalSeconds += int(row.minutes * 60 + row.seconds);
    }
    return true;
}

const AspiTocRow* CAspiManager::TocRow(int track) const {
    if (track < 1 || track > m_lastTrack + 1) return nullptr;
    return &m_toc[std::size_t(track)];
}

bool CAspiManager::TestUnitReady(int device) {
    if (!m_initialised) return Refuse("Unable to perform an operation!");
    std::uint8_t cdb[6] = {};
    return ExecScsi(device, 0, 0, nullptr, 6, cdb);
}

bool CAspiManager::PlayTrack(int device) {
    if (!m_initialised) return Refuse("Unable to perform an operation!");
    int t = m_currentTrack;
    if (t < 1 || t > m_lastTrack) return Refuse("Impropper argument !");
    std::uint32_t start = m_toc[std::size_t(t)].lba, len = m_toc[std::size_t(t + 1)].lba - start;
    if (!SendPlay(device, start, len)) return false;
    SetCdState(kCdPlaying);
    return true;
}

bool CAspiManager::SendPlay(int device, std::uint32_t from, std::uint32_t len) {
    std::uint8_t cdb[12];
    std::uint8_t cdbLength = BuildPlay(cdb, from, len);
    if (ExecScsi(device, 0, 0, nullptr, cdbLength, cdb)) return true;
    if (cdb[0] != 0xA5) return false;
    // PLAY AUDIO(12) refused (not permitted to this user, or unknown to the
    // drive): PLAY AUDIO MSF covers the whole range in one command; failing
    // that, PLAY AUDIO(10) plays the first 65535 frames of it.
    Trace("PLAY AUDIO(12) refused; playing by MSF");
    cdbLength = BuildPlay(cdb, from, len, true);
    if (ExecScsi(device, 0, 0, nullptr, cdbLength, cdb)) return true;
    Trace("PLAY AUDIO MSF refused; playing the first 65535 frames");
    cdbLength = BuildPlay(cdb, from, 0xFFFF);
    return ExecScsi(device, 0, 0, nullptr, cdbLength, cdb);
}

bool CAspiManager::PlayTrackFrom(int device, int track, int percent) {
    if (!m_initialised) return Refuse("Unable to perform an operation!");
    if (track < 1 || track > m_lastTrack || percent < 0 || percent > 100) return Refuse("Impropper arguments !");
    Stop(device);
    std::uint32_t start = m_toc[std::size_t(track)].lba, end = m_toc[std::size_t(track + 1)].lba;
    std::uint32_t from = start + std::uint32_t(percent) * ((end - start) / 100);
    if (!SendPlay(device, from, end - from)) return false;
    m_currentTrack = track;
    SetCdState(kCdPlaying);
    return true;
}

bool CAspiManager::Stop(int device) {
    if (!m_initialised) return Refuse("Unable to perform an operation!");
    std::uint8_t cdb[12] = {0x4E};
    if (!ExecScsi(device, 0, 0, nullptr, 12, cdb)) return false;
    SetCdState(kCdIdle);
    return true;
}

bool CAspiManager::PauseResume(int device, bool resume) {
    if (!m_initialised) return Refuse("Unable to perform an operation!");
    std::uint8_t cdb[12] = {0x4B};
    cdb[8] = resume ? 1 : 0;
    if (!ExecScsi(device, 0, 0, nullptr, resume ? 10 : 12, cdb)) return false;
    SetCdState(resume ? kCdPlaying : kCdPaused);
    return true;
}

bool CAspiManager::SetReadSpeed(int speedIndex) {
    if (!m_initialised) return Refuse("Unable to perform an operation!");
    if (speedIndex < 0 || speedIndex >= int(kAspiSpeedTable.size())) return Refuse("Impropper argument !");
    std::uint16_t speed = kAspiSpeedTable[std::size_t(speedIndex)];
    std::uint8_t cdb[12] = {0xBB, 0, std::uint8_t(speed >> 8), std::uint8_t(speed), 0xFF, 0xFF};
    if (ExecScsi(m_lastDevice, aspi::SRB_DIR_OUT, 0, nullptr, 12, cdb)) {
        Trace("SET READ SPEED 0xBB is supported by device");
        return true;
    }
    cdb[0] = 0xDA;
    cdb[4] = cdb[5] = 0;
    if (ExecScsi(m_lastDevice, aspi::SRB_DIR_OUT, 0, nullptr, 12, cdb)) {
        Trace("SET READ SPEED 0xDA is supported by device");
        return true;
    }
    Trace("SET READ SPEED 0xBB and 0xDA are unsupported by device");
    Trace("Probarly firmware-specific command shold be used to set read speed.");
    return false;
}

int CAspiManager::TrackSeconds(int trackIndex) {
    if (m_lastTrack == 0 || trackIndex < 1 || trackIndex > m_lastTrack) {
        SetText("Impropper arguments!");
        return -1;
    }
    const auto& row = m_toc[std::size_t(trackIndex)];
    return int(row.minutes * 60 + row.seconds);
}

void CAspiManager::Disable() {
    m_devices.clear();
    m_initialised = false;
}

void CAspiManager::UnloadAspi() {
    if (m_stopExtraction) m_stopExtraction();
    if (m_bufferDesc.AB_BufPointer && m_entry.freeBuffer) {
        Trace(m_entry.freeBuffer(&m_bufferDesc) ? "ASPI buffer freed successfuly" : "FreeASPIBuffer FAILED!");
    }
    m_bufferDesc = aspi::ASPI32BUFF{};
    m_buffer = nullptr;
    m_ownBuffer.clear();
    m_bufferSize = 0;
    m_initialised = false;
    m_devices.clear();
    m_entry = AspiEntryPoints{};
    m_library.reset();
    Trace("ASPI unloaded successfuly");
}

} // namespace lyb
