#include "platform/qt/qt_message_target.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>

#include <atomic>
#include <thread>

using namespace lyb;

TEST(QtMessageTarget, WorkersPostAndSendAndDeliveryIsOnTheUiThread) {
    int argc = 1;
    char name[] = "qt_message_target_test";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    const auto uiThread = std::this_thread::get_id();
    std::atomic<int> wrongThread{0};
    std::vector<unsigned> seen;
    QtMessageTarget target([&](const Message& m) -> std::intptr_t {
        if (std::this_thread::get_id() != uiThread)
            ++wrongThread;
        seen.push_back(m.id);
        return static_cast<std::intptr_t>(m.wparam) * 2;
    });
    std::intptr_t sendAnswer = 0;
    std::thread worker([&] {
        target.Post(kUserMessageBase + 1, 1);
        target.Post(kUserMessageBase + 2, 2);
        sendAnswer = target.Send(kUserMessageBase + 3, 21);
        QMetaObject::invokeMethod(&app, [&] { app.quit(); }, Qt::QueuedConnection);
    });
    QTimer::singleShot(5000, &app, [&] { app.quit(); });
    app.exec();
    worker.join();
    EXPECT_EQ(wrongThread.load(), 0);
    EXPECT_EQ(seen, (std::vector<unsigned>{kUserMessageBase + 1, kUserMessageBase + 2, kUserMessageBase + 3}));
    EXPECT_EQ(sendAnswer, 42);
    // Send on the owning thread runs at once.
    EXPECT_EQ(target.Send(kUserMessageBase + 4, 5), 10);
    // A closed target refuses and releases senders with their closed answer.
    target.Close();
    EXPECT_FALSE(target.Post(kUserMessageBase + 5));
    std::intptr_t closed = 0;
    std::thread late([&] { closed = target.Send(Message{kUserMessageBase + 6, 0, 0, {}}, -7); });
    late.join();
    EXPECT_EQ(closed, -7);
}

TEST(QtMessageTarget, CloseReleasesASenderThatIsWaiting) {
    int argc = 1;
    char name[] = "qt_message_target_test";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    QtMessageTarget target([](const Message&) -> std::intptr_t { return 1; });
    std::atomic<bool> started{false};
    std::intptr_t answer = 0;
    std::thread worker([&] {
        started = true;
        answer = target.Send(Message{kUserMessageBase, 0, 0, {}}, -3); // never delivered: no loop runs
    });
    while (!started)
        std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    target.Close();
    worker.join();
    EXPECT_EQ(answer, -3);
}
