// The USB device manager: finds the supported phones among the devices the
// device library reports, keeps their table, answers questions about the
// card's space, and creates and discards the file a transfer writes on the
// card.
//
// One instance per process, owned by the application object from the first
// start-up step to the end. Enumeration runs on the user-interface thread;
// the transfer worker calls GetDeviceSpaceKB, CreateTargetFile, the target
// writes and DiscardTargetFile while the transfer dialog is open (the page
// defers device refreshes until the transfer has ended). The table is
// guarded, so a stray refresh can never pull a record from under a reader.
#pragma once

#include "platform/shared_library.h"
#include "platform/staged_file.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

class IUSBDevice;

namespace lyb {

class CLocalize;
class Prompt;

/// One supported phone.
struct DeviceRecord {
    std::string manufacturer; ///< as the device library reports it
    /// Handle of an open device of the "iadi" library; 0 = none. A non-zero
    /// handle is closed with IADI_CloseDevice when the record goes.
    std::uint32_t deviceHandle = 0;
    std::string product;      ///< the device's label in the device tree
    std::uint32_t classCode = 8;
    std::string rootPath;     ///< the card's mount point with a trailing '/'
};

/// The seven entry points of the "iadi" library, each null when missing.
/// Only CloseDevice is ever called (with one handle argument).
struct IadiTable {
    void* enumDevices = nullptr;
    void* registerNotifyProc = nullptr;
    void* openDevice = nullptr;
    int (*closeDevice)(std::uint32_t handle) = nullptr;
    void* getDescriptor = nullptr;
    void* getLogicalDrives = nullptr;
    void* controlTransfer = nullptr;
};

/// The "iadi" library's file in the program's folder.
inline constexpr const char* kIadiLibraryFile = "libiadi.so";

/// Modes of GetDeviceSpaceKB.
enum DeviceSpaceMode : int { kSpaceTotal = 0, kSpaceFree = 1, kSpaceUsed = 2 };

class CUSBManager {
public:
    /// Loads the "iadi" library from `programFolder` and resolves its table
    /// (a missing library leaves the table empty; the manager works without it).
    explicit CUSBManager(const std::string& programFolder);
    ~CUSBManager();
    CUSBManager(const CUSBManager&) = delete;
    CUSBManager& operator=(const CUSBManager&) = delete;

    /// The device library's root slot: the application's device-interface
    /// slot, read at every enumeration (null or an empty slot: no library).
    void SetRootSlot(void* const* slot) { m_rootSlot = slot; }
    /// Where the overwrite question goes (null: the answer is No).
    void SetPrompt(Prompt* prompt, const CLocalize* localize);

    /// Traces "OS version 0x%x" with the version word.
    void TraceOsVersion() const;
    std::uint32_t VersionWord() const { return m_versionWord; }
    std::uint32_t MajorVersion() const { return m_major; }
    std::uint32_t MinorVersion() const { return m_minor; }

    /// Rebuilds the device table from the device library; returns the count
    /// (0 and the old table kept when there is no library).
    std::uint8_t EnumerateDevices();
    std::uint8_t DeviceCount() const;
    /// A copy of the record (an empty one for an index outside the table).
    DeviceRecord Device(int index) const;
    std::vector<DeviceRecord> Devices() const;

    /// The device chosen on the Mobile Device page; -1 when none.
    int SelectedDevice() const { return m_selected.load(); }
    void SetSelectedDevice(int index) { m_selected.store(index); }

    /// Kilobytes of the card of device `index`: mode 0 total, 1 free, 2 used;
    /// 0 for another mode, an index outside the table or a failed query.
    std::uint64_t GetDeviceSpaceKB(int index, int mode) const;
    /// True when the card of device `index` is still there (its folder exists).
    bool CardPresent(int index) const;

    /// Creates the file `name` (a bare file name) on the selected device's
    /// card: 1 created, 0 failed, -1 the user declined to overwrite the file
    /// of that name. The bytes are staged beside the final name until
    /// CommitTargetFile, so an existing file stays untouched until then.
    int CreateTargetFile(const std::string& name);
    /// Handle of the file open for writing (-1 when none).
    int TargetFileHandle() const { return m_target.Handle(); }
    /// Full path of the file the current transfer writes.
    const std::string& TargetPath() const { return m_targetPath; }
    /// Writes to the target file: the count, -1 on failure, -101 when the
    /// card is gone.
    long WriteTarget(const void* data, std::size_t count);
    /// Flushes the target file to the card.
    bool FlushTarget();
    /// Puts the complete file in place under its name. False on failure (then
    /// nothing of it stays on the card).
    bool CommitTargetFile();
    /// Closes `handle` when it is the target file's and removes the file
    /// being written. True when a file was deleted.
    bool DiscardTargetFile(int handle);
    /// errno of the last target-file failure (the "last error" of messages).
    int LastError() const { return m_target.LastError(); }

    /// Release at exit: the table destroyed, the "iadi" library freed.
    void Release();

    bool IadiLoaded() const { return m_iadi.IsOpen(); }
    const IadiTable& Iadi() const { return m_iadiTable; }

    /// Space of a folder (total, free bytes); the volume source's by default.
    using SpaceQuery = std::function<bool(const std::string& path, std::uint64_t& total, std::uint64_t& free)>;
    void SetSpaceQuery(SpaceQuery query) { m_space = std::move(query); }

private:
    void DestroyTable(std::vector<DeviceRecord>& table);

    std::string m_targetPath;
    SharedLibrary m_iadi;
    IadiTable m_iadiTable;
    std::uint32_t m_versionWord = 0;
    std::uint32_t m_major = 0;
    std::uint32_t m_minor = 0;
    mutable std::mutex m_tableMutex;
    std::vector<DeviceRecord> m_table;
    StagedFile m_target;
    std::atomic<int> m_selected{-1};

    void* const* m_rootSlot = nullptr;
    Prompt* m_prompt = nullptr;
    const CLocalize* m_localize = nullptr;
    SpaceQuery m_space;
    bool m_released = false;
};

/// Handed to the device library: keeps every device (returns 1).
int DeviceFilterProc(std::uint32_t vendorId, std::uint32_t productId);
/// Handed to the device library: takes a supported phone into the list being
/// collected (manufacturer with the maker's word, product with a model word,
/// both compared in upper case). Returns 0.
int DeviceEnumProc(IUSBDevice* device, std::uintptr_t context);

/// The record DeviceEnumProc makes of a device, when the device is taken.
bool MatchDevice(IUSBDevice& device, DeviceRecord& record);

} // namespace lyb
