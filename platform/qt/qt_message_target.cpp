#include "platform/qt/qt_message_target.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QThread>

#include <condition_variable>
#include <mutex>
#include <optional>

namespace lyb {

namespace {

const QEvent::Type kDeliverEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

struct Reply {
    std::mutex mutex;
    std::condition_variable cv;
    std::optional<std::intptr_t> answer;
    bool abandoned = false;
};

} // namespace

struct QtMessageTarget::Shared {
    std::mutex mutex;
    bool closed = false;
    MessageHandler handler;
    QThread* owner = nullptr;
    std::unique_ptr<QObject> receiver;
    std::vector<std::shared_ptr<Reply>> waiting;
};

namespace {

class DeliverEvent final : public QEvent {
public:
    DeliverEvent(Message m, std::shared_ptr<Reply> r)
        : QEvent(kDeliverEvent), message(std::move(m)), reply(std::move(r)) {}
    Message message;
    std::shared_ptr<Reply> reply;
};

class Receiver final : public QObject {
public:
    explicit Receiver(std::weak_ptr<QtMessageTarget::Shared> shared) : m_shared(std::move(shared)) {}
    bool event(QEvent* e) override;

private:
    std::weak_ptr<QtMessageTarget::Shared> m_shared;
};

} // namespace

bool Receiver::event(QEvent* e) {
    if (e->type() != kDeliverEvent)
        return QObject::event(e);
    auto* d = static_cast<DeliverEvent*>(e);
    auto shared = m_shared.lock();
    MessageHandler handler;
    if (shared) {
        std::lock_guard<std::mutex> lock(shared->mutex);
        if (!shared->closed)
            handler = shared->handler;
    }
    std::optional<std::intptr_t> answer;
    if (handler)
        answer = handler(d->message);
    if (d->reply) {
        std::lock_guard<std::mutex> lock(d->reply->mutex);
        if (answer)
            d->reply->answer = *answer;
        else
            d->reply->abandoned = true;
        d->reply->cv.notify_all();
    }
    return true;
}

QtMessageTarget::QtMessageTarget(MessageHandler handler) : m_shared(std::make_shared<Shared>()) {
    m_shared->handler = std::move(handler);
    m_shared->owner = QThread::currentThread();
    m_shared->receiver = std::make_unique<Receiver>(m_shared);
}

QtMessageTarget::~QtMessageTarget() {
    Close();
    // Events still queued for the receiver are dropped with it.
    m_shared->receiver.reset();
}

void QtMessageTarget::Close() {
    std::vector<std::shared_ptr<Reply>> waiting;
    {
        std::lock_guard<std::mutex> lock(m_shared->mutex);
        m_shared->closed = true;
        waiting.swap(m_shared->waiting);
    }
    for (auto& r : waiting) {
        std::lock_guard<std::mutex> lock(r->mutex);
        r->abandoned = true;
        r->cv.notify_all();
    }
}

bool QtMessageTarget::Post(Message message) {
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    if (m_shared->closed || !m_shared->receiver)
        return false;
    QCoreApplication::postEvent(m_shared->receiver.get(), new DeliverEvent(std::move(message), nullptr));
    return true;
}

std::intptr_t QtMessageTarget::Send(Message message, std::intptr_t closedAnswer) {
    if (QThread::currentThread() == m_shared->owner) {
        MessageHandler handler;
        {
            std::lock_guard<std::mutex> lock(m_shared->mutex);
            if (m_shared->closed)
                return closedAnswer;
            handler = m_shared->handler;
        }
        return handler ? handler(message) : closedAnswer;
    }
    auto reply = std::make_shared<Reply>();
    {
        std::lock_guard<std::mutex> lock(m_shared->mutex);
        if (m_shared->closed || !m_shared->receiver)
            return closedAnswer;
        m_shared->waiting.push_back(reply);
        QCoreApplication::postEvent(m_shared->receiver.get(), new DeliverEvent(std::move(message), reply));
    }
    std::unique_lock<std::mutex> lock(reply->mutex);
    reply->cv.wait(lock, [&] { return reply->answer.has_value() || reply->abandoned; });
    std::intptr_t result = reply->answer ? *reply->answer : closedAnswer;
    lock.unlock();
    std::lock_guard<std::mutex> l2(m_shared->mutex);
    std::erase(m_shared->waiting, reply);
    return result;
}

} // namespace lyb
