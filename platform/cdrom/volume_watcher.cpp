#include "platform/cdrom/volume_watcher.h"

#include "platform/cdrom/cdrom_device.h"
#include "platform/message_target.h"

namespace lyb {

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

VolumeWatcher::~VolumeWatcher() { Stop(); }

void VolumeWatcher::Start() {
    if (m_thread.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = false;
    }
    m_thread = std::thread(&VolumeWatcher::Run, this);
}

void VolumeWatcher::Stop() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_cv.notify_all();
    if (m_thread.joinable()) m_thread.join();
}

std::vector<VolumeChange> VolumeWatcher::PollOnce() {
    VolumeChange arrived{true, 0, true}, removed{false, 0, true};
    for (std::size_t i = 0; i < m_nodes.size() && i < 32; ++i) {
        int now = m_probe(m_nodes[i]) ? 1 : 0;
        if (m_present[i] >= 0 && now != m_present[i]) (now ? arrived : removed).unitMask |= 1u << i;
        m_present[i] = now;
    }
    std::vector<VolumeChange> changes;
    for (const VolumeChange& c : {removed, arrived}) {
        if (!c.unitMask) continue;
        changes.push_back(c);
        if (m_target)
            m_target->Post(Message{kMsgDeviceChange, c.arrival ? kDeviceArrival : kDeviceRemoveComplete,
                                   std::intptr_t(c.unitMask), c});
    }
    return changes;
}

void VolumeWatcher::Run() {
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_stop) {
        lock.unlock();
        PollOnce();
        lock.lock();
        m_cv.wait_for(lock, m_interval, [this] { return m_stop; });
    }
}

} // namespace lyb
