// MessageTarget delivered through the Qt event loop of the thread that
// created it (the user-interface thread in the program).
#pragma once

#include "platform/message_target.h"

#include <memory>

namespace lyb {

class QtMessageTarget final : public MessageTarget {
public:
    /// Must be constructed on the thread whose event loop delivers.
    explicit QtMessageTarget(MessageHandler handler);
    ~QtMessageTarget() override;

    bool Post(Message message) override;
    std::intptr_t Send(Message message, std::intptr_t closedAnswer = -1) override;
    using MessageTarget::Post;
    using MessageTarget::Send;

    /// Refuses further messages and releases waiting senders with their
    /// closed answer. Called by the destructor.
    void Close();

    struct Shared; ///< state shared with the event receiver (defined in the .cpp)

private:
    std::shared_ptr<Shared> m_shared;
};

} // namespace lyb
