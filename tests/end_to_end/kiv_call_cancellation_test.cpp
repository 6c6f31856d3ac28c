// A call of the real kiv server ends when its client is killed, and a client that lives keeps
// its call running to the end.
#include <gtest/gtest.h>

#include <NTL/ZZ.h>
#include <signal.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "server/engine/decimal_value.h"
#include "tests/support/kiv_process.h"
#include "tests/support/registered_server.h"

namespace {

using namespace std::chrono_literals;

// A `comrt call` client of kiv.Prime.
struct Client : kivtest::Child {
    explicit Client(const std::vector<std::string>& args) : Child(COMRT_EXECUTABLE, args) {}
};

using KivCallCancellation = kivtest::RegisteredServerTest;

// "@path" of a file in the test's private HOME holding `value` in decimal (a command-line
// argument holds at most 128 KB).
std::string NumberFile(const char* name, const NTL::ZZ& value) {
    const std::string path = std::string(std::getenv("HOME")) + "/" + name;
    std::ofstream(path) << DecimalText(value);
    return "@" + path;
}

// About `digits` digits without a prime factor below 10^19: trial division never ends early.
NTL::ZZ NoSmallFactor(long digits) {
    const NTL::ZZ p = NTL::NextPrime(NTL::power(NTL::ZZ(10), 19));
    return NTL::power(p, digits / 20);
}

TEST_F(KivCallCancellation, KilledClientsCallEndsAndTheWaitingClientIsServed) {
    const std::string digits4000 = "1" + std::string(3999, '0');
    // 2^86243 - 1, a prime of 25,962 digits: its one exponentiation would take half a minute.
    std::ostringstream mersenne;
    mersenne << NTL::power2_ZZ(86243) - 1;
    const std::string million = NumberFile("million.txt", 2 * NoSmallFactor(1000000));
    const std::string threeMillion = NumberFile("three-million.txt", NoSmallFactor(3000000));
    struct Case {
        std::vector<std::string> call;
        std::chrono::milliseconds runFor;
        std::chrono::milliseconds servedWithin;  // from the kill to the second client's answer
    };
    // A modular exponentiation below 16,384 bits is not interrupted (a 4000-digit one takes
    // about a third of a second): those calls get room for it on a busy machine.
    const Case cases[] = {
        {{"IsPrime", "170141183460469231731687303715884105727", "2", "0"}, 1000ms, 3 * 1000ms},
        {{"IsPrime", "97", "3", "2147483647"}, 1000ms, 3 * 1000ms},
        {{"GetGBPairUsingRM", digits4000, "0"}, 2000ms, 3 * 1000ms},
        {{"TestKIV", "2147483647", "0"}, 1000ms, 3 * 1000ms},
        {{"IsPrime", mersenne.str(), "3", "0"}, 2000ms, 3 * 1000ms},
        // Big numbers and huge worker counts: every step looks at the stop within a second.
        {{"GetGBPairUsingRM", million, "0", "2147483647"}, 2000ms, 1000ms},
        {{"TestKIV", "3482739", "0", "1509999490"}, 3000ms, 1000ms},
        {{"IsPrime", threeMillion, "2", "0"}, 1500ms, 1000ms},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.call[0] + " " + c.call[1].substr(0, 40) + " " + c.call.back());
        std::vector<std::string> args{"call", "kiv.Prime"};
        args.insert(args.end(), c.call.begin(), c.call.end());
        Client first(args);
        std::this_thread::sleep_for(c.runFor);
        pid_t server = kivtest::ServerPid();
        ASSERT_GT(server, 0);

        Client second({"call", "kiv.Prime", "IsPrime", "7", "1", "0"});
        ASSERT_FALSE(second.Output(300ms)) << "the second client must wait for the first call";
        first.Kill();
        EXPECT_EQ(second.Output(c.servedWithin * (kivtest::kOneSecond / 1000ms)),
                  "pbRet=1\nhr=0x00000000\n");
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
