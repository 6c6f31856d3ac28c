// Activation and lifetime of the real kiv server, from real client processes.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

#include "platform/win32.h"
#include "server/interface/iprime.h"
#include "tests/support/kiv_process.h"
#include "tests/support/registered_server.h"

namespace {

using namespace std::chrono_literals;

class KivActivation : public kivtest::RegisteredServerTest {
  protected:
    static CComPtr<IPrime> Activate() {
        CComPtr<IPrime> prime;
        EXPECT_EQ(CoCreateInstance(CLSID_Prime, nullptr, CLSCTX_ALL, IID_IPrime,
                                   reinterpret_cast<void**>(&prime)),
                  S_OK);
        return prime;
    }
};

TEST_F(KivActivation, FirstClientStartsTheServerWhichExitsWithZeroAfterTheLastRelease) {
    EXPECT_EQ(kivtest::ServerPid(), 0);
    CComPtr<IPrime> prime = Activate();
    ASSERT_NE(prime, nullptr);
    pid_t server = kivtest::ServerPid();
    ASSERT_GT(server, 0);
    EXPECT_NE(server, ::getpid());
    prime.Release();
    EXPECT_EQ(kivtest::WaitExit(server, 5s), 0);
}

TEST_F(KivActivation, TwoObjectsOneProcessExitAfterTheSecondRelease) {
    CComPtr<IPrime> first = Activate(), second = Activate();
    pid_t server = kivtest::ServerPid();
    ASSERT_GT(server, 0);
    EXPECT_NE(static_cast<void*>(first.get()), static_cast<void*>(second.get()));
    first.Release();
    std::this_thread::sleep_for(200ms);
    EXPECT_TRUE(kivtest::Running(server)) << "one object is still alive";
    second.Release();
    EXPECT_EQ(kivtest::WaitExit(server, 5s), 0);
}

TEST_F(KivActivation, EightClientsAtOnceShareOneServer) {
    constexpr int kClients = 8;
    int to_parent[2], go[2];
    ASSERT_EQ(::pipe(to_parent), 0);
    ASSERT_EQ(::pipe(go), 0);
    std::vector<pid_t> clients;
    for (int i = 0; i < kClients; ++i) {
        pid_t pid = ::fork();
        if (pid == 0) {
            CoInitialize(nullptr);
            IPrime* prime = nullptr;
            HRESULT hr = CoCreateInstance(CLSID_Prime, nullptr, CLSCTX_ALL, IID_IPrime,
                                          reinterpret_cast<void**>(&prime));
            pid_t server = SUCCEEDED(hr) ? kivtest::ServerPid() : -1;
            [[maybe_unused]] auto w = ::write(to_parent[1], &server, sizeof server);
            char byte;
            [[maybe_unused]] auto r = ::read(go[0], &byte, 1);
            if (prime != nullptr)
                prime->Release();
            CoUninitialize();
            ::_exit(0);
        }
        clients.push_back(pid);
    }
    std::vector<pid_t> servers(kClients);
    for (auto& s : servers)
        ASSERT_EQ(::read(to_parent[0], &s, sizeof s), ssize_t(sizeof s));
    for (pid_t s : servers)
        EXPECT_EQ(s, servers[0]);
    EXPECT_GT(servers[0], 0);
    char bytes[kClients] = {};
    ASSERT_EQ(::write(go[1], bytes, kClients), kClients);
    for (pid_t c : clients)
        ::waitpid(c, nullptr, 0);
    EXPECT_EQ(kivtest::WaitExit(servers[0], 5s), 0);
    for (int fd : {to_parent[0], to_parent[1], go[0], go[1]})
        ::close(fd);
}

TEST_F(KivActivation, LockServerKeepsTheServerWithoutObjects) {
    CComPtr<IClassFactory> factory;
    ASSERT_EQ(CoGetClassObject(CLSID_Prime, CLSCTX_LOCAL_SERVER, nullptr, IID_IClassFactory,
                               reinterpret_cast<void**>(&factory)),
              S_OK);
    pid_t server = kivtest::ServerPid();
    ASSERT_GT(server, 0);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    std::this_thread::sleep_for(200ms);
    EXPECT_TRUE(kivtest::Running(server));
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(kivtest::WaitExit(server, 5s), 0);
}

TEST_F(KivActivation, AggregationIsRefusedAndChangesNothing) {
    CComPtr<IPrime> keeper = Activate();
    pid_t server = kivtest::ServerPid();
    CComPtr<IUnknown> outer = keeper.get();  // any non-null unknown
    IUnknown* inner = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_Prime, outer, CLSCTX_ALL, IID_IUnknown,
                               reinterpret_cast<void**>(&inner)),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(inner, nullptr);
    outer.Release();
    keeper.Release();
    EXPECT_EQ(kivtest::WaitExit(server, 5s), 0) << "the refused activation left no reference";
}

TEST_F(KivActivation, UnregisteredClassIsClassNotRegistered) {
    ASSERT_EQ(kivtest::RunKiv({"-UnregServerPerUser"}), 0);
    IUnknown* object = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_Prime, nullptr, CLSCTX_ALL, IID_IUnknown,
                               reinterpret_cast<void**>(&object)),
              REGDB_E_CLASSNOTREG);
}

TEST_F(KivActivation, KilledClientReleasesItsObjects) {
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    pid_t client = ::fork();
    if (client == 0) {
        CoInitialize(nullptr);
        IPrime* prime = nullptr;
        CoCreateInstance(CLSID_Prime, nullptr, CLSCTX_ALL, IID_IPrime,
                         reinterpret_cast<void**>(&prime));
        pid_t server = kivtest::ServerPid();
        [[maybe_unused]] auto w = ::write(ready[1], &server, sizeof server);
        ::pause();
    }
    pid_t server = 0;
    ASSERT_EQ(::read(ready[0], &server, sizeof server), ssize_t(sizeof server));
    ASSERT_GT(server, 0);
    ::kill(client, SIGKILL);
    ::waitpid(client, nullptr, 0);
    EXPECT_TRUE(kivtest::WaitExit(server, kivtest::kOneSecond).has_value())
        << "server outlived its only client";
    ::close(ready[0]);
    ::close(ready[1]);
}

TEST_F(KivActivation, ServerKilledDuringACallGivesDisconnectedAtOnce) {
    CComPtr<IPrime> prime = Activate();
    pid_t server = kivtest::ServerPid();
    std::thread killer([server] {
        std::this_thread::sleep_for(300ms);
        ::kill(server, SIGKILL);
    });
    // Trial division of 2^61 - 1 runs for seconds.
    _bstr_t big(u"2305843009213693951");
    LONG ret = 0;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(prime->IsPrime(big.GetBSTR(), kivTrial_Division, 0, &ret), RPC_E_DISCONNECTED);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    killer.join();
    EXPECT_EQ(prime->GetSysInfo(nullptr), RPC_E_DISCONNECTED) << "and every later call";
    kivtest::WaitExit(server, 2s);
}

}  // namespace
