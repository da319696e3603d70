#include "platform/cdrom/volume_watcher.h"

#include "platform/cdrom/cdrom_device.h"
#include "platform/message_target.h"

#include <algorithm>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace lyb {

namespace {

// The volumes a device change concerns: local ones, fixed or removable.
bool Watched(const Volume& v) {
    return v.type == VolumeType::Fixed || v.type == VolumeType::Removable;
}

} // namespace

VolumeWatcher::VolumeWatcher(std::vector<std::string> cdNodes, MessageTarget* target,
                             std::chrono::milliseconds interval, MediumProbe probe)
    : m_nodes(std::move(cdNodes)), m_target(target), m_interval(interval), m_probe(std::move(probe)),
      m_present(m_nodes.size(), -1) {
    if (!m_probe) {
        m_probe = [](const std::string& node) {
            auto dev = OpenCdromDevice(node);
            bool present = false;
            return dev && dev->MediumPresent(present) == 0 && present;
        };
    }
}

VolumeWatcher::~VolumeWatcher() {
    Stop();
    if (m_wake >= 0)
        ::close(m_wake);
}

void VolumeWatcher::WatchVolumes(std::function<std::vector<Volume>()> list) {
    m_watchVolumes = true;
    m_listVolumes = list ? std::move(list) : [] { return ListVolumes(false); };
}

void VolumeWatcher::Start() {
    if (m_thread.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = false;
    }
    if (m_watchVolumes && m_wake < 0)
        m_wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    m_thread = std::thread(&VolumeWatcher::Run, this);
}

void VolumeWatcher::Stop() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_cv.notify_all();
    if (m_wake >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(m_wake, &one, sizeof one);
    }
    if (m_thread.joinable()) m_thread.join();
    if (m_wake >= 0) {
        std::uint64_t drained = 0;
        [[maybe_unused]] ssize_t n = ::read(m_wake, &drained, sizeof drained);
    }
}

std::vector<VolumeChange> VolumeWatcher::PollOnce() {
    VolumeChange arrived{true, 0, true, {}}, removed{false, 0, true, {}};
    for (std::size_t i = 0; i < m_nodes.size() && i < 32; ++i) {
        int now = m_probe(m_nodes[i]) ? 1 : 0;
        if (m_present[i] >= 0 && now != m_present[i]) (now ? arrived : removed).unitMask |= 1u << i;
        m_present[i] = now;
    }
    std::vector<VolumeChange> changes;
    for (const VolumeChange& c : {removed, arrived}) {
        if (!c.unitMask) continue;
        changes.push_back(c);
    }
    if (m_watchVolumes) {
        std::vector<std::string> now;
        for (const Volume& v : m_listVolumes())
            if (Watched(v)) now.push_back(v.mountPoint);
        std::sort(now.begin(), now.end());
        now.erase(std::unique(now.begin(), now.end()), now.end());
        if (m_volumesKnown) {
            std::vector<std::string> gone, came;
            std::set_difference(m_volumes.begin(), m_volumes.end(), now.begin(), now.end(), std::back_inserter(gone));
            std::set_difference(now.begin(), now.end(), m_volumes.begin(), m_volumes.end(), std::back_inserter(came));
            for (const std::string& m : gone) changes.push_back(VolumeChange{false, 0, false, m});
            for (const std::string& m : came) changes.push_back(VolumeChange{true, 0, false, m});
        }
        m_volumes = std::move(now);
        m_volumesKnown = true;
    }
    if (m_target)
        for (const VolumeChange& c : changes)
            m_target->Post(Message{kMsgDeviceChange, c.arrival ? kDeviceArrival : kDeviceRemoveComplete,
                                   std::intptr_t(c.unitMask), c});
    return changes;
}

void VolumeWatcher::Run() {
    // The mount table wakes the thread when it changes; without it the
    // rounds alone find the volumes.
    const int mounts = m_watchVolumes && m_wake >= 0 ? ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC) : -1;
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_stop) {
        lock.unlock();
        PollOnce();
        if (mounts >= 0) {
            pollfd fds[2] = {{mounts, POLLPRI, 0}, {m_wake, POLLIN, 0}};
            ::poll(fds, 2, static_cast<int>(m_interval.count()));
            lock.lock();
            continue;
        }
        lock.lock();
        m_cv.wait_for(lock, m_interval, [this] { return m_stop; });
    }
    lock.unlock();
    if (mounts >= 0)
        ::close(mounts);
}

} // namespace lyb
