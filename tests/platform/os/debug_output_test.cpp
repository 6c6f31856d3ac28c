#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/win32.h"

namespace {

using namespace std::chrono_literals;

TEST(DebugOutput, EachTextArrivesWholeAndInOrder) {
    comrt::DebugOutputListener listener;
    const std::string long_line = "kiv: " + std::string(100000, '7') + "\n";
    OutputDebugStringA("kiv: one\n");
    OutputDebugStringA(long_line.c_str());
    OutputDebugStringA("kiv: three\n");
    EXPECT_EQ(listener.receive(1s), "kiv: one\n");
    EXPECT_EQ(listener.receive(1s), long_line);
    EXPECT_EQ(listener.receive(1s), "kiv: three\n");
    EXPECT_EQ(listener.receive(10ms), std::nullopt);
}

TEST(DebugOutput, LinesFromManyThreadsAreNeverTorn) {
    comrt::DebugOutputListener listener;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t] {
            std::string line = "kiv: thread " + std::to_string(t) + std::string(500, 'x') + "\n";
            for (int i = 0; i < 50; ++i)
                OutputDebugStringA(line.c_str());
        });
    int received = 0;
    while (auto line = listener.receive(500ms)) {
        EXPECT_EQ(line->size(), 13u + 500u + 1u);
        ++received;
    }
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(received, 200) << "a listener that keeps up loses nothing";
}

TEST(DebugOutput, WithoutListenerTextIsDroppedAtOnce) {
    errno = 0;
    OutputDebugStringA("kiv: nobody hears this\n");
    EXPECT_EQ(errno, 0);
    comrt::DebugOutputListener late;
    EXPECT_EQ(late.receive(10ms), std::nullopt) << "nothing was kept for a later listener";
}

TEST(DebugOutput, OnlyOneListenerAtATime) {
    comrt::DebugOutputListener first;
    EXPECT_THROW(comrt::DebugOutputListener second, std::system_error);
}

}  // namespace
