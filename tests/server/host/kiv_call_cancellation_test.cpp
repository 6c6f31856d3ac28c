// A call of the real kiv server ends when its client is killed, and a client that lives keeps
// its call running to the end.
#include <gtest/gtest.h>

#include <NTL/ZZ.h>
#include <signal.h>

#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/kiv_process.h"

namespace {

using namespace std::chrono_literals;

// A `comrt call` client of kiv.Prime.
struct Client : kivtest::Child {
    explicit Client(const std::vector<std::string>& args) : Child(COMRT_EXECUTABLE, args) {}
};

class KivCallCancellation : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { kivtest::AdoptOrphans(); }
    void SetUp() override { ASSERT_EQ(kivtest::RunKiv({"-RegServerPerUser"}), 0); }
    void TearDown() override {
        if (pid_t pid = kivtest::ServerPid()) {  // never leave a server behind
            ::kill(pid, SIGKILL);
            kivtest::WaitExit(pid, 5s);
        }
    }
};

TEST_F(KivCallCancellation, KilledClientsCallEndsAndTheWaitingClientIsServed) {
    const std::string digits4000 = "1" + std::string(3999, '0');
    // 2^86243 - 1, a prime of 25,962 digits: its one exponentiation would take half a minute.
    std::ostringstream mersenne;
    mersenne << NTL::power2_ZZ(86243) - 1;
    struct Case {
        std::vector<std::string> call;
        std::chrono::milliseconds runFor;
    };
    const Case cases[] = {
        {{"IsPrime", "170141183460469231731687303715884105727", "2", "0"}, 1000ms},
        {{"IsPrime", "97", "3", "2147483647"}, 1000ms},
        {{"GetGBPairUsingRM", digits4000, "0"}, 2000ms},
        {{"TestKIV", "2147483647", "0"}, 1000ms},
        {{"IsPrime", mersenne.str(), "3", "0"}, 2000ms},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.call[0] + " " + c.call[1].substr(0, 40));
        std::vector<std::string> args{"call", "kiv.Prime"};
        args.insert(args.end(), c.call.begin(), c.call.end());
        Client first(args);
        std::this_thread::sleep_for(c.runFor);
        pid_t server = kivtest::ServerPid();
        ASSERT_GT(server, 0);

        Client second({"call", "kiv.Prime", "IsPrime", "7", "1", "0"});
        ASSERT_FALSE(second.Output(300ms)) << "the second client must wait for the first call";
        first.Kill();
        // A modular exponentiation below 16,384 bits is not interrupted (a 4000-digit one
        // takes about a third of a second); the bound leaves room for it on a busy machine.
        EXPECT_EQ(second.Output(kivtest::kOneSecond * 3), "pbRet=1\nhr=0x00000000\n");
        // Both clients gone: so are their objects, and with them the server.
        EXPECT_EQ(kivtest::WaitExit(server, kivtest::kOneSecond * 3), 0);
    }
}

TEST_F(KivCallCancellation, LiveClientsLongCallRunsToItsEnd) {
    const std::vector<std::string> calls[] = {
        {"IsPrime", "400000000000000013", "2", "0"},  // about 3 x 10^8 divisions
        {"IsPrime", "97", "3", "10000000"},           // ten million witnesses
    };
    for (const auto& call : calls) {
        SCOPED_TRACE(call[0] + " " + call[1]);
        std::vector<std::string> args{"call", "kiv.Prime"};
        args.insert(args.end(), call.begin(), call.end());
        Client client(args);
        EXPECT_EQ(client.Output(120s), "pbRet=1\nhr=0x00000000\n");
    }
}

}  // namespace
