#include "platform/message_target.h"

namespace lyb {

struct SendSlot {
    std::mutex mutex;
    std::condition_variable cv;
    bool done = false;
    std::intptr_t answer = 0;
};

QueueMessageTarget::QueueMessageTarget(MessageHandler handler)
    : m_handler(std::move(handler)), m_owner(std::this_thread::get_id()) {}

QueueMessageTarget::~QueueMessageTarget() { Close(); }

bool QueueMessageTarget::Post(Message message) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_closed)
            return false;
        m_queue.push_back(Entry{std::move(message), nullptr});
    }
    m_cv.notify_all();
    return true;
}

std::intptr_t QueueMessageTarget::Send(Message message, std::intptr_t closedAnswer) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_closed)
            return closedAnswer;
        if (std::this_thread::get_id() == m_owner) {
            // Same thread: deliver at once, as a window procedure call would.
            return m_handler ? m_handler(message) : 0;
        }
    }
    auto slot = std::make_shared<SendSlot>();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_closed)
            return closedAnswer;
        slot->answer = closedAnswer;
        m_queue.push_back(Entry{std::move(message), slot});
    }
    m_cv.notify_all();
    std::unique_lock<std::mutex> lock(slot->mutex);
    slot->cv.wait(lock, [&] { return slot->done; });
    return slot->answer;
}

size_t QueueMessageTarget::Pump() {
    size_t delivered = 0;
    for (;;) {
        Entry entry;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_owner = std::this_thread::get_id();
            if (m_queue.empty())
                break;
            entry = std::move(m_queue.front());
            m_queue.pop_front();
        }
        std::intptr_t answer = m_handler ? m_handler(entry.message) : 0;
        if (entry.slot) {
            std::lock_guard<std::mutex> lock(entry.slot->mutex);
            entry.slot->answer = answer;
            entry.slot->done = true;
            entry.slot->cv.notify_all();
        }
        ++delivered;
    }
    return delivered;
}

size_t QueueMessageTarget::PumpFor(int timeoutMs) {
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_cv.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                      [&] { return !m_queue.empty() || m_closed; });
    }
    return Pump();
}

void QueueMessageTarget::Close() {
    std::deque<Entry> dropped;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_closed = true;
        dropped.swap(m_queue);
    }
    for (auto& e : dropped) {
        if (e.slot) {
            std::lock_guard<std::mutex> lock(e.slot->mutex);
            e.slot->done = true; // answer stays the closed answer
            e.slot->cv.notify_all();
        }
    }
    m_cv.notify_all();
}

} // namespace lyb
