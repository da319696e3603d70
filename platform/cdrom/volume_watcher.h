// VolumeWatcher: tells the program when a medium arrives in or leaves a CD
// drive, and when a volume (a memory card, a stick) is mounted or unmounted,
// as the system's device-change notification does.
//
// A thread asks each drive for its medium every interval and posts
// kMsgDeviceChange to the target on a change: wparam kDeviceArrival or
// kDeviceRemoveComplete, lparam the unit mask (bit i: drive i of the list),
// payload a VolumeChange. With WatchVolumes it also compares the mounted
// volumes (fixed and removable ones; not CDs, network or kernel file
// systems) and posts each mount point that came or went, with isMedia false
// and lparam 0; the thread then also wakes as soon as the mount table
// changes (poll() on /proc/self/mountinfo). The first round only learns the
// current state.
#pragma once

#include "platform/volumes.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace lyb {

class MessageTarget;

/// The device-change message and its two events (WM_DEVICECHANGE with
/// DBT_DEVICEARRIVAL / DBT_DEVICEREMOVECOMPLETE).
constexpr unsigned kMsgDeviceChange = 0x0219;
constexpr std::uintptr_t kDeviceArrival = 0x8000;
constexpr std::uintptr_t kDeviceRemoveComplete = 0x8004;

struct VolumeChange {
    bool arrival = false;
    std::uint32_t unitMask = 0;
    bool isMedia = true;
    std::string mountPoint; ///< the volume's mount point (isMedia false)
};

class VolumeWatcher {
public:
    /// Whether a medium is in drive `node`; false when it cannot be asked.
    using MediumProbe = std::function<bool(const std::string& node)>;

    /// `probe` defaults to asking the drive through the CD-ROM layer.
    VolumeWatcher(std::vector<std::string> cdNodes, MessageTarget* target,
                  std::chrono::milliseconds interval = std::chrono::milliseconds(1000), MediumProbe probe = {});
    ~VolumeWatcher();
    VolumeWatcher(const VolumeWatcher&) = delete;
    VolumeWatcher& operator=(const VolumeWatcher&) = delete;

    /// Also reports mounted volumes coming and going; `list` gives the
    /// volumes (default: ListVolumes of the current volume source). Call
    /// before Start.
    void WatchVolumes(std::function<std::vector<Volume>()> list = {});

    void Start();
    void Stop();
    /// One round now (tests; the thread need not run). Returns the changes posted.
    std::vector<VolumeChange> PollOnce();

private:
    void Run();

    std::vector<std::string> m_nodes;
    MessageTarget* m_target;
    std::chrono::milliseconds m_interval;
    MediumProbe m_probe;
    std::vector<int> m_present; ///< -1 unknown, 0 no, 1 yes
    bool m_watchVolumes = false;
    std::function<std::vector<Volume>()> m_listVolumes;
    bool m_volumesKnown = false;
    std::vector<std::string> m_volumes; ///< mount points of the last round, sorted
    int m_wake = -1;                    ///< an eventfd that ends the thread's wait on the mount table
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_stop = false;
    std::thread m_thread;
};

} // namespace lyb
