// What one client connection may give back: only the server locks and objects it holds.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/socket.h>

#include <thread>

#include "platform/ole/channel.h"
#include "platform/ole/wire.h"
#include "platform/os/runtime_dir.h"
#include "platform/win32.h"
#include "server/interface/iprime.h"
#include "tests/support/kiv_process.h"

namespace {

using namespace std::chrono_literals;
using comrt::wire::Op;

class KivLockAccounting : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { kivtest::AdoptOrphans(); }
    void SetUp() override {
        ASSERT_EQ(kivtest::RunKiv({"-RegServerPerUser"}), 0);
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        ASSERT_EQ(CoCreateInstance(CLSID_Prime, nullptr, CLSCTX_ALL, IID_IPrime,
                                   reinterpret_cast<void**>(&other_client_)),
                  S_OK);
        server_ = kivtest::ServerPid();
        ASSERT_GT(server_, 0);
    }
    void TearDown() override {
        other_client_.Release();
        if (!kivtest::WaitExit(server_, 5s)) {
            ::kill(server_, SIGKILL);
            kivtest::WaitExit(server_, 2s);
        }
        CoUninitialize();
    }
    // The object of another connection still answers and keeps the server.
    void ExpectOtherClientServed() {
        LONG ret = 0;
        _bstr_t n(u"97");
        EXPECT_EQ(other_client_->IsPrime(n.GetBSTR(), kivRabin_Miller, 0, &ret), S_OK);
        EXPECT_EQ(ret, 1);
        EXPECT_TRUE(kivtest::Running(server_));
    }
    CComPtr<IPrime> other_client_;
    pid_t server_ = 0;
};

TEST_F(KivLockAccounting, UnlockBeyondTheConnectionsOwnLocksFailsAndChangesNothing) {
    struct Row {
        const char* what;
        std::vector<BOOL> sequence;
        std::vector<HRESULT> expected;
    };
    const Row rows[] = {
        {"unlock without a lock", {FALSE}, {E_UNEXPECTED}},
        {"second unlock of one lock", {TRUE, FALSE, FALSE}, {S_OK, S_OK, E_UNEXPECTED}},
        {"two locks, three unlocks",
         {TRUE, TRUE, FALSE, FALSE, FALSE},
         {S_OK, S_OK, S_OK, S_OK, E_UNEXPECTED}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        CComPtr<IClassFactory> factory;  // a connection of its own
        ASSERT_EQ(CoGetClassObject(CLSID_Prime, CLSCTX_LOCAL_SERVER, nullptr, IID_IClassFactory,
                                   reinterpret_cast<void**>(&factory)),
                  S_OK);
        for (std::size_t i = 0; i < row.sequence.size(); ++i)
            EXPECT_EQ(factory->LockServer(row.sequence[i]), row.expected[i]) << "step " << i;
        std::this_thread::sleep_for(100ms);
        ExpectOtherClientServed();
    }
}

TEST_F(KivLockAccounting, ReleaseOfAnObjectTheConnectionDoesNotHoldChangesNothing) {
    std::string path =
        comrt::class_endpoint_path(comrt::runtime_dir_path(), guid_to_string(CLSID_Prime), ".sock");
    comrt::unique_fd raw = comrt::connect_unix(path);
    ASSERT_TRUE(raw);
    timeval limit{5, 0};
    ::setsockopt(raw.get(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    auto request_class_object = [&] {
        comrt::wire::Writer request;
        request.put(Op::GetClassObject);
        request.put_guid(CLSID_Prime);
        EXPECT_TRUE(comrt::send_message(raw.get(), request.bytes()));
        return comrt::receive_message(raw.get());
    };
    auto first = request_class_object();
    ASSERT_TRUE(first);
    // Ids this connection never got (its class object is 1; the other client's object lives on
    // another connection).
    for (std::uint32_t foreign : {1000u, 0u, 2u}) {
        comrt::wire::Writer release;
        release.put(Op::Release);
        release.put<std::uint32_t>(foreign);
        ASSERT_TRUE(comrt::send_message(raw.get(), release.bytes()));
    }
    auto after = request_class_object();
    ASSERT_TRUE(after) << "the connection was dropped with what it held";
    comrt::wire::Reader in(*after);
    EXPECT_EQ(in.get<HRESULT>(), S_OK);
    ExpectOtherClientServed();
}

}  // namespace
