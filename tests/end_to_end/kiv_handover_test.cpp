// Activation while servers come and go: clients that meet a stopping server find the next
// one, and a client stuck behind another's start gives up in bounded time, saying why.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <future>
#include <thread>

#include "platform/ole/channel.h"
#include "platform/os/runtime_dir.h"
#include "platform/win32.h"
#include "server/interface/iprime.h"
#include "tests/support/error_info_probe.h"
#include "tests/support/kiv_process.h"
#include "tests/support/registered_server.h"

namespace {

using namespace std::chrono_literals;

class KivHandover : public kivtest::RegisteredServerTest {};

// One churning client: each round activates, calls and releases, so servers keep stopping
// and starting under the other clients. Returns the number of failed rounds.
int Churn(int rounds) {
    int failures = 0;
    CoInitialize(nullptr);
    for (int i = 0; i < rounds; ++i) {
        CComPtr<IPrime> prime;
        HRESULT hr = CoCreateInstance(CLSID_Prime, nullptr, CLSCTX_ALL, IID_IPrime,
                                      reinterpret_cast<void**>(&prime));
        LONG ret = 0;
        _bstr_t n(u"97");
        if (SUCCEEDED(hr))
            hr = prime->IsPrime(n.GetBSTR(), kivAKS, 0, &ret);
        if (FAILED(hr) || ret != 1)
            ++failures;
    }
    CoUninitialize();
    return failures;
}

TEST_F(KivHandover, ChurnedActivationsFromConcurrentClientsAllSucceed) {
    constexpr int kClients = 4, kRounds = 50;
    std::vector<pid_t> clients;
    for (int c = 0; c < kClients; ++c) {
        pid_t pid = ::fork();
        if (pid == 0)
            ::_exit(std::min(Churn(kRounds), 100));
        clients.push_back(pid);
    }
    int failures = 0;
    for (pid_t c : clients) {
        auto status = kivtest::WaitExit(c, kivtest::kOneSecond * 120);
        if (!status) {
            ::kill(c, SIGKILL);
            kivtest::WaitExit(c, 2s);
            ADD_FAILURE() << "a churning client hung";
            continue;
        }
        failures += *status;
    }
    EXPECT_EQ(failures, 0) << "of " << kClients * kRounds << " activations";
}

TEST_F(KivHandover, SpawnLockHeldTooLongFailsNamingTheLockFile) {
    std::string dir = comrt::runtime_dir_path();
    std::string lock_path =
        comrt::class_endpoint_path(dir, guid_to_string(CLSID_Prime), ".spawn.lock");
    ASSERT_TRUE(comrt::ensure_runtime_dir());
    comrt::unique_fd held{::open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)};
    ASSERT_TRUE(held);
    ASSERT_EQ(::flock(held.get(), LOCK_EX), 0);  // a starter that never finishes
    ::setenv("COMRT_SPAWN_LOCK_TIMEOUT_MS", "300", 1);
    auto activation = std::async(std::launch::async, [] {
        CoInitialize(nullptr);
        IUnknown* object = nullptr;
        HRESULT hr = CoCreateInstance(CLSID_Prime, nullptr, CLSCTX_ALL, IID_IUnknown,
                                      reinterpret_cast<void**>(&object));
        auto seen = kivtest::TakeErrorInfo();
        if (object != nullptr)
            object->Release();
        CoUninitialize();
        return std::make_pair(hr, seen);
    });
    bool bounded = activation.wait_for(10s) == std::future_status::ready;
    ::unsetenv("COMRT_SPAWN_LOCK_TIMEOUT_MS");
    held.reset();  // lets an unbounded wait finish, so the test ends either way
    ASSERT_TRUE(bounded) << "the wait for the lock file is not bounded";
    auto [hr, seen] = activation.get();
    EXPECT_EQ(hr, CO_E_SERVER_EXEC_FAILURE);
    ASSERT_TRUE(seen);
    EXPECT_NE(seen->description.find(kivtest::U16(lock_path.c_str())), std::u16string::npos)
        << comrt::utf16_to_ansi(seen->description);
}

}  // namespace
