#include "device/usb_manager.h"

#include "library/media_context.h"
#include "outside/usb/usb_device.h"
#include "platform/prompt.h"
#include "platform/system_version.h"
#include "platform/trace.h"
#include "platform/volumes.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

namespace lyb {

namespace {

// The records DeviceEnumProc collects while an enumeration runs; empty
// between enumerations. One enumeration at a time in the process.
std::mutex g_enumerationMutex;
std::vector<DeviceRecord> g_collected;

std::string Field(const char* field, size_t width) {
    return std::string(field, strnlen(field, width));
}

std::string Upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

IUSBRoot* RootOf(void* const* slot) {
    return slot && *slot ? static_cast<IUSBRoot*>(*slot) : nullptr;
}

} // namespace

// --- The device library's callbacks ---------------------------------------

int DeviceFilterProc(std::uint32_t, std::uint32_t) {
    return 1;
}

bool MatchDevice(IUSBDevice& device, DeviceRecord& record) {
    const std::string mount = Field(device.mountPoint, sizeof device.mountPoint);
    record.rootPath = mount.empty() || mount.back() == '/' ? mount : mount + "/";
    record.manufacturer = Field(device.manufacturer, sizeof device.manufacturer);
    record.product = Field(device.product, sizeof device.product);
    const std::string maker = Upper(record.manufacturer);
    const std::string model = Upper(record.product);
    if (device.IsStorage() == 0 || mount.empty())
        return false;
    if (maker.find("ORVIK") == std::string::npos)
        return false;
    for (const char* word : {"Q-TARN", "QRX-4", "6620"})
        if (model.find(word) != std::string::npos)
            return true;
    return false;
}

int DeviceEnumProc(IUSBDevice* device, std::uintptr_t) {
    if (!device)
        return 0;
    DeviceRecord record;
    if (!MatchDevice(*device, record))
        return 0;
    TraceFormat("Found device Vid %s, Pid %s", Upper(record.manufacturer).c_str(), Upper(record.product).c_str());
    g_collected.push_back(std::move(record));
    return 0;
}

// --- The manager ----------------------------------------------------------------

CUSBManager::CUSBManager(const std::string& programFolder) {
    const SystemVersion v = CurrentSystemVersion();
    m_major = (v.version >> 8) & 0xFF;
    m_minor = v.version & 0xFF;
    // The version word as the system reports it: major in the low byte,
    // minor in the next; the top bit marks the consumer line.
    m_versionWord = m_major | (m_minor << 8) | (v.line == OsLine::Consumer ? 0x80000000u : 0u);
    m_space = [](const std::string& path, std::uint64_t& total, std::uint64_t& free) {
        return CurrentVolumeSource().Space(path, total, free);
    };
    if (!m_iadi.Open(programFolder + "/" + kIadiLibraryFile))
        return; // the manager works without it
    m_iadiTable.enumDevices = m_iadi.Symbol("IADI_EnumDevices");
    m_iadiTable.registerNotifyProc = m_iadi.Symbol("IADI_RegisterNotifyProc");
    m_iadiTable.openDevice = m_iadi.Symbol("IADI_OpenDevice");
    m_iadiTable.closeDevice = reinterpret_cast<int (*)(std::uint32_t)>(m_iadi.Symbol("IADI_CloseDevice"));
    m_iadiTable.getDescriptor = m_iadi.Symbol("IADI_GetDescriptor");
    m_iadiTable.getLogicalDrives = m_iadi.Symbol("IADI_GetLogicalDrives");
    m_iadiTable.controlTransfer = m_iadi.Symbol("IADI_ControlTransfer");
    Trace("IADI initialized successfully");
}

CUSBManager::~CUSBManager() {
    Release();
}

void CUSBManager::SetPrompt(Prompt* prompt, const CLocalize* localize) {
    m_prompt = prompt;
    m_localize = localize;
}

void CUSBManager::TraceOsVersion() const {
    TraceFormat("OS version 0x%x", m_versionWord);
}

void CUSBManager::DestroyTable(std::vector<DeviceRecord>& table) {
    for (DeviceRecord& r : table) {
        if (r.deviceHandle != 0 && m_iadiTable.closeDevice)
            m_iadiTable.closeDevice(r.deviceHandle);
        r.deviceHandle = 0;
    }
    table.clear();
}

std::uint8_t CUSBManager::EnumerateDevices() {
    Trace("generic usb enumeration started");
    IUSBRoot* root = RootOf(m_rootSlot);
    if (!root) {
        Trace("IUSBRoot not initialized");
        return 0;
    }
    std::vector<DeviceRecord> found;
    {
        std::lock_guard<std::mutex> lock(g_enumerationMutex);
        g_collected.clear();
        root->SetDeviceFilter(0, &DeviceFilterProc);
        root->EnumDevices(&DeviceEnumProc, 0);
        found.swap(g_collected);
    }
    // The table holds at most 255 phones (its count is one byte).
    if (found.size() > 255)
        found.resize(255);
    std::vector<DeviceRecord> old;
    {
        std::lock_guard<std::mutex> lock(m_tableMutex);
        old.swap(m_table);
        m_table = std::move(found);
    }
    DestroyTable(old);
    return DeviceCount();
}

std::uint8_t CUSBManager::DeviceCount() const {
    std::lock_guard<std::mutex> lock(m_tableMutex);
    return static_cast<std::uint8_t>(m_table.size());
}

DeviceRecord CUSBManager::Device(int index) const {
    std::lock_guard<std::mutex> lock(m_tableMutex);
    if (index < 0 || static_cast<size_t>(index) >= m_table.size())
        return {};
    return m_table[static_cast<size_t>(index)];
}

std::vector<DeviceRecord> CUSBManager::Devices() const {
    std::lock_guard<std::mutex> lock(m_tableMutex);
    return m_table;
}

std::uint64_t CUSBManager::GetDeviceSpaceKB(int index, int mode) const {
    const DeviceRecord record = Device(index);
    if (record.rootPath.empty() || !m_space)
        return 0;
    std::uint64_t total = 0, free = 0;
    if (!m_space(record.rootPath, total, free))
        return 0;
    std::uint64_t bytes = 0;
    switch (mode) {
    case kSpaceTotal: bytes = total; break;
    case kSpaceFree: bytes = free; break;
    case kSpaceUsed: bytes = total >= free ? total - free : 0; break;
    default: return 0;
    }
    return bytes / 1024;
}

bool CUSBManager::CardPresent(int index) const {
    const DeviceRecord record = Device(index);
    std::error_code ec;
    return !record.rootPath.empty() && std::filesystem::is_directory(record.rootPath, ec);
}

int CUSBManager::CreateTargetFile(const std::string& name) {
    const int selected = SelectedDevice();
    if (DeviceCount() == 0 || selected < 0)
        return 0;
    const DeviceRecord record = Device(selected);
    if (record.rootPath.empty())
        return 0;
    // A bare name only: nothing written may land outside the card's root folder.
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos ||
        name.find('\0') != std::string::npos)
        return 0;
    m_targetPath = record.rootPath + name;

    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_status st = fs::symlink_status(m_targetPath, ec);
    if (fs::exists(st)) {
        if (fs::is_directory(st))
            return 0;
        const LibraryContext texts{FormatEnabled{}, nullptr, nullptr, m_localize};
        const std::string question = texts.Text(328, "File") + " " + m_targetPath + " " +
                                     texts.Text(329, "already exists") + "\n" +
                                     texts.Text(330, "Do you want to overwrite it?");
        if (!m_prompt || m_prompt->Ask(question, texts.Text(271, "Lyrabox 3.0"), PromptButtons::YesNo,
                                       PromptIcon::Question) != PromptAnswer::Yes)
            return -1;
    }
    return m_target.Create(m_targetPath) ? 1 : 0;
}

long CUSBManager::WriteTarget(const void* data, std::size_t count) {
    return m_target.Write(data, count);
}

bool CUSBManager::FlushTarget() {
    return m_target.Flush();
}

bool CUSBManager::CommitTargetFile() {
    return m_target.Commit();
}

bool CUSBManager::DiscardTargetFile(int handle) {
    if (handle < 0 || handle != m_target.Handle())
        return false;
    return m_target.Discard();
}

void CUSBManager::Release() {
    if (m_released)
        return;
    m_released = true;
    if (m_target.IsOpen())
        m_target.Discard();
    std::vector<DeviceRecord> old;
    {
        std::lock_guard<std::mutex> lock(m_tableMutex);
        old.swap(m_table);
    }
    DestroyTable(old);
    m_iadiTable = IadiTable{};
    m_iadi.Close();
    Trace("USB manager closed successfuly");
}

} // namespace lyb
