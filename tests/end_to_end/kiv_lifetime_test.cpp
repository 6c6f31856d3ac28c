// How long a server lives: a client waiting behind another's long call is served however long
// it waited, and a server nobody uses ends, whichever way its clients left.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <future>
#include <thread>

#include "platform/win32.h"
#include "server/interface/iprime.h"
#include "tests/support/kiv_process.h"
#include "tests/support/registered_server.h"
#include "tests/support/scoped_env.h"

namespace {

using namespace std::chrono_literals;

class KivLifetime : public kivtest::RegisteredServerTest {};

TEST_F(KivLifetime, AClientWaitingBehindALongCallIsServedWhenThatCallsClientDies) {
    // The wait behind the long call lasts longer than activation may spend finding a server.
    kivtest::ScopedEnv retry("COMRT_ACTIVATION_RETRY_MS", "300");
    pid_t busy =
        kivtest::Start(COMRT_EXECUTABLE, {"call", "kiv.Prime", "IsPrime", "97", "3", "2147483647"});
    ASSERT_GT(busy, 0);
    for (auto deadline = std::chrono::steady_clock::now() + 5 * kivtest::kOneSecond;
         kivtest::ServerPid() == 0 && std::chrono::steady_clock::now() < deadline;)
        std::this_thread::sleep_for(10ms);
    std::this_thread::sleep_for(200ms);  // its call is running
    auto waiting = std::async(std::launch::async, [] {
        return kivtest::RunCaptured(COMRT_EXECUTABLE,
                                    {"call", "kiv.Prime", "IsPrime", "97", "3", "0"});
    });
    std::this_thread::sleep_for(1s);
    ::kill(busy, SIGKILL);
    kivtest::WaitExit(busy, 2s);
    ASSERT_EQ(waiting.wait_for(10 * kivtest::kOneSecond), std::future_status::ready);
    kivtest::Captured served = waiting.get();
    EXPECT_EQ(served.status, 0) << served.err;
    EXPECT_EQ(served.out, "pbRet=1\nhr=0x00000000\n");
}

// A client process that activates the class its own way and then exits without releasing.
pid_t ClientThatLeaves(bool lock) {
    pid_t pid = ::fork();
    if (pid != 0)
        return pid;
    CoInitialize(nullptr);
    IClassFactory* factory = nullptr;
    HRESULT hr = CoGetClassObject(CLSID_Prime, CLSCTX_LOCAL_SERVER, nullptr, IID_IClassFactory,
                                  reinterpret_cast<void**>(&factory));
    if (SUCCEEDED(hr) && lock)
        hr = factory->LockServer(TRUE);
    ::_exit(SUCCEEDED(hr) ? 0 : 1);
}

TEST_F(KivLifetime, AServerNobodyUsesEnds) {
    kivtest::ScopedEnv grace("KIV_IDLE_EXIT_MS", "300");
    struct Case {
        const char* name;
        pid_t (*start)();  // returns the server's pid
    };
    const Case cases[] = {
        {"started, its client gone before it connected",
         [] { return kivtest::StartKiv({"-Embedding"}); }},
        {"its client took the class object and left",
         [] {
             pid_t client = ClientThatLeaves(false);
             kivtest::WaitExit(client, 10 * kivtest::kOneSecond);
             return kivtest::ServerPid();
         }},
        {"its client locked it and left",
         [] {
             pid_t client = ClientThatLeaves(true);
             kivtest::WaitExit(client, 10 * kivtest::kOneSecond);
             return kivtest::ServerPid();
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        pid_t server = c.start();
        if (server == 0)
            continue;  // already gone
        EXPECT_TRUE(kivtest::WaitExit(server, 300ms + 2 * kivtest::kOneSecond)) << "it stays";
        if (kivtest::Running(server))
            ::kill(server, SIGKILL);
    }

    // One that is held lives on.
    CComPtr<IClassFactory> factory;
    ASSERT_EQ(CoGetClassObject(CLSID_Prime, CLSCTX_LOCAL_SERVER, nullptr, IID_IClassFactory,
                               reinterpret_cast<void**>(&factory)),
              S_OK);
    pid_t server = kivtest::ServerPid();
    std::this_thread::sleep_for(1s);
    EXPECT_TRUE(kivtest::Running(server)) << "a held class object did not keep its server";
    CComPtr<IPrime> prime;
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IPrime, reinterpret_cast<void**>(&prime)), S_OK);
}

}  // namespace
