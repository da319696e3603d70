// Messages from worker threads to the user-interface thread.
//
// A worker never touches a page; it posts (fire and forget) or sends (waits
// for the handler's answer) a numbered message to a MessageTarget. Message
// numbers are the program's private ones, counted from kUserMessageBase.
// Delivery always happens on the thread that owns the target: the Qt event
// loop in the program, the thread that calls Pump() in tests.
#pragma once

#include <any>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace lyb {

/// The platform's user-message base; private messages are kUserMessageBase + n.
constexpr unsigned kUserMessageBase = 0x400;

struct Message {
    unsigned id = 0;
    std::uintptr_t wparam = 0;
    std::intptr_t lparam = 0;
    std::any payload; ///< owned by the message; copied data only, never a borrowed pointer
};

/// The handler's answer is the result of Send (ignored for Post).
using MessageHandler = std::function<std::intptr_t(const Message&)>;

class MessageTarget {
public:
    virtual ~MessageTarget() = default;
    /// Queues the message and returns at once. Returns false when the target is closed.
    virtual bool Post(Message message) = 0;
    /// Delivers the message on the owning thread and waits for the answer.
    /// Called on the owning thread itself it runs the handler directly.
    /// Returns `closedAnswer` when the target is closed before delivery.
    virtual std::intptr_t Send(Message message, std::intptr_t closedAnswer = -1) = 0;

    bool Post(unsigned id, std::uintptr_t w = 0, std::intptr_t l = 0, std::any payload = {}) {
        return Post(Message{id, w, l, std::move(payload)});
    }
    std::intptr_t Send(unsigned id, std::uintptr_t w = 0, std::intptr_t l = 0,
                       std::any payload = {}) {
        return Send(Message{id, w, l, std::move(payload)});
    }
};

/// A queue that the owning thread drains with Pump(): the simulated backend
/// used by tests and by headless front ends.
class QueueMessageTarget final : public MessageTarget {
public:
    explicit QueueMessageTarget(MessageHandler handler);
    ~QueueMessageTarget() override;

    bool Post(Message message) override;
    std::intptr_t Send(Message message, std::intptr_t closedAnswer = -1) override;
    using MessageTarget::Post;
    using MessageTarget::Send;

    /// Delivers every queued message (on the calling thread, which becomes
    /// the owner). Returns how many were delivered.
    size_t Pump();
    /// Waits up to `timeoutMs` for at least one message, then pumps.
    size_t PumpFor(int timeoutMs);
    /// Refuses further messages and releases waiting senders.
    void Close();

private:
    struct Entry {
        Message message;
        std::shared_ptr<struct SendSlot> slot; ///< non-null for Send
    };
    MessageHandler m_handler;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<Entry> m_queue;
    bool m_closed = false;
    std::thread::id m_owner;
};

} // namespace lyb
