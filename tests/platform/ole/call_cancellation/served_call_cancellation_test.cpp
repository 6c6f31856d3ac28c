// A served call ends when its client is killed, so the client waiting behind it is served and
// the server, its objects gone, exits; a client that lives keeps its call running to the end.
#include <gtest/gtest.h>

#include <signal.h>

#include <string>
#include <thread>

#include "tests/support/calc_server.h"
#include "tests/support/process.h"

namespace {

using namespace std::chrono_literals;
using calctest::CLSID_Calc;

// A relaunched test program that calls Spin(ms) of a served Calc.
struct SpinClient : kivtest::Child {
    explicit SpinClient(int ms)
        : Child(kivtest::SelfPath(), {kivtest::kTestClientSwitch, std::to_string(ms)}) {}
};

using ServedCallCancellation = kivtest::CalcServerTest;

TEST_F(ServedCallCancellation, KilledClientsCallEndsAndTheWaitingClientIsServed) {
    SpinClient first(600'000);
    auto deadline = std::chrono::steady_clock::now() + 5 * kivtest::kOneSecond;
    pid_t server = 0;
    while ((server = kivtest::ClassServerPid(CLSID_Calc)) == 0) {
        ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the server did not start";
        std::this_thread::sleep_for(5ms);
    }
    std::this_thread::sleep_for(kivtest::kOneSecond / 3);  // the first call is under way

    SpinClient second(0);
    ASSERT_FALSE(second.Output(300ms)) << "the second client must wait for the first call";
    first.Kill();
    EXPECT_EQ(second.Output(kivtest::kOneSecond * 3), "cancelled=0 hr=0x00000000\n");
    // Both clients gone: so are their objects, and with them the server.
    EXPECT_EQ(kivtest::WaitExit(server, kivtest::kOneSecond * 3), 0);
}

TEST_F(ServedCallCancellation, LiveClientsLongCallRunsToItsEnd) {
    SpinClient client(1500);
    EXPECT_EQ(client.Output(60s), "cancelled=0 hr=0x00000000\n");
}

}  // namespace
