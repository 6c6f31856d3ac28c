// CallCancellation on its own: a socket pair stands for a caller's connection.
#include "platform/ole/call_cancellation.h"

#include <gtest/gtest.h>

#include <sys/socket.h>

#include <chrono>
#include <thread>

#include "platform/base/hresult.h"
#include "platform/base/unique_fd.h"
#include "tests/support/process.h"

namespace {

using namespace std::chrono_literals;

struct SocketPair {
    comrt::unique_fd server, client;
    SocketPair() {
        int fds[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) == 0) {
            server.reset(fds[0]);
            client.reset(fds[1]);
        }
    }
};

bool FiresWithin(const comrt::CallCancellation& call, std::chrono::milliseconds limit) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (!call.cancelled()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

TEST(CallCancellation, FiresWhenTheCallerGoesAndOnlyThen) {
    EXPECT_FALSE(comrt::current_call_stop_token().stop_possible());
    EXPECT_EQ(CoTestCancel(), S_OK);

    SocketPair gone, live;
    ASSERT_TRUE(gone.server && live.server);
    {
        comrt::CallCancellation outer(live.server.get());
        {
            comrt::CallCancellation inner(gone.server.get());
            EXPECT_EQ(CoTestCancel(), S_OK);
            EXPECT_TRUE(comrt::current_call_stop_token().stop_possible());
            // Data from a live caller is no reason to cancel.
            ASSERT_EQ(::send(live.client.get(), "x", 1, 0), 1);
            gone.client.reset();
            ASSERT_TRUE(FiresWithin(inner, kivtest::kOneSecond));
            EXPECT_TRUE(comrt::current_call_stop_token().stop_requested());
            EXPECT_EQ(CoTestCancel(), RPC_E_CALL_CANCELED);
        }
        // The outer call is current again, and its caller is still there.
        EXPECT_EQ(CoTestCancel(), S_OK);
        EXPECT_FALSE(outer.cancelled());
        EXPECT_FALSE(comrt::current_call_stop_token().stop_requested());
    }
    EXPECT_EQ(CoTestCancel(), S_OK);
    EXPECT_FALSE(comrt::current_call_stop_token().stop_possible());
}

TEST(CallCancellation, CallsOnManyThreadsAreWatchedAtOnce) {
    constexpr int kThreads = 4;
    SocketPair pairs[kThreads];
    bool fired[kThreads] = {};
    std::thread threads[kThreads];
    for (int i = 0; i < kThreads; ++i)
        threads[i] = std::thread([&, i] {
            comrt::CallCancellation call(pairs[i].server.get());
            fired[i] = FiresWithin(call, kivtest::kOneSecond * 5);
        });
    for (auto& pair : pairs)
        pair.client.reset();
    for (auto& thread : threads)
        thread.join();
    for (bool f : fired)
        EXPECT_TRUE(f);
}

}  // namespace
