#include "platform/message_target.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

using namespace lyb;

TEST(MessageTarget, PostsFromWorkersAreDeliveredInOrderOnThePumpingThread) {
    std::vector<unsigned> ids;
    std::thread::id deliveredOn;
    QueueMessageTarget target([&](const Message& m) {
        ids.push_back(m.id);
        deliveredOn = std::this_thread::get_id();
        return 0;
    });
    std::thread worker([&] {
        for (unsigned i = 0; i < 5; ++i)
            target.Post(kUserMessageBase + i, i, 0, std::string("p"));
    });
    worker.join();
    EXPECT_EQ(target.Pump(), 5u);
    EXPECT_EQ(deliveredOn, std::this_thread::get_id());
    EXPECT_EQ(ids, (std::vector<unsigned>{0x400, 0x401, 0x402, 0x403, 0x404}));
}

TEST(MessageTarget, SendWaitsForTheAnswerAndCloseReleasesSenders) {
    QueueMessageTarget target([](const Message& m) { return static_cast<std::intptr_t>(m.wparam * 2); });
    std::atomic<std::intptr_t> answer{0};
    std::thread worker([&] { answer = target.Send(kUserMessageBase, 21); });
    while (target.PumpFor(50) == 0) {
    }
    worker.join();
    EXPECT_EQ(answer.load(), 42);
    EXPECT_EQ(target.Send(kUserMessageBase, 5), 10); // same thread: direct call

    std::atomic<std::intptr_t> closed{0};
    std::thread late([&] { closed = target.Send(Message{kUserMessageBase, 1, 0, {}}, -7); });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    target.Close();
    late.join();
    EXPECT_EQ(closed.load(), -7);
    EXPECT_FALSE(target.Post(1));
}
