// What one client connection may give back: only the server locks and objects it holds. The
// served Calc takes every unlock it is given, so the runtime's accounting is all that stands.
#include <gtest/gtest.h>

#include <sys/socket.h>

#include <thread>
#include <utility>
#include <vector>

#include "platform/ole/channel.h"
#include "platform/ole/wire.h"
#include "tests/support/calc_server.h"
#include "tests/support/process.h"

namespace {

using namespace std::chrono_literals;
using calctest::CLSID_Calc;
using calctest::IID_ICalc;
using comrt::wire::Op;

class LockAccounting : public kivtest::CalcServerTest {
  protected:
    void SetUp() override {
        CalcServerTest::SetUp();
        ASSERT_EQ(CoCreateInstance(CLSID_Calc, nullptr, CLSCTX_ALL, IID_ICalc,
                                   reinterpret_cast<void**>(&other_client_)),
                  S_OK);
        server_ = kivtest::ClassServerPid(CLSID_Calc);
        ASSERT_GT(server_, 0);
    }
    void TearDown() override {
        other_client_.Release();
        EXPECT_EQ(kivtest::WaitExit(server_, 5 * kivtest::kOneSecond), 0)
            << "the server did not stop with its last object";
        CalcServerTest::TearDown();
    }
    // The server's locks once the connections that held them are gone (a closed connection's
    // locks are given back when the server gets to it); -1 when the server does not answer.
    LONG LocksSettledAt(LONG expected) {
        LONG objects = 0, locks = -1;
        for (auto deadline = std::chrono::steady_clock::now() + 5 * kivtest::kOneSecond;;) {
            if (FAILED(other_client_->Counts(&objects, &locks)))
                return -1;
            if (locks == expected || std::chrono::steady_clock::now() > deadline)
                return locks;
            std::this_thread::sleep_for(5ms);
        }
    }
    // The object of another connection still answers, is the server's only one, and the
    // server holds `locks` locks.
    void ExpectOtherClientServed(LONG locks) {
        LONG objects = -1, held = -1;
        EXPECT_EQ(other_client_->Counts(&objects, &held), S_OK);
        EXPECT_EQ(objects, 1);
        EXPECT_EQ(held, locks);
        EXPECT_TRUE(kivtest::Running(server_));
    }
    CComPtr<calctest::ICalc> other_client_;
    pid_t server_ = 0;
};

TEST_F(LockAccounting, UnlockBeyondTheConnectionsOwnLocksFailsAndChangesNothing) {
    struct Step {
        int connection;
        BOOL lock;
        HRESULT expected;
    };
    struct Row {
        const char* what;
        std::vector<Step> steps;
        LONG locks_after;
    };
    const Row rows[] = {
        {"unlock without a lock", {{0, FALSE, E_UNEXPECTED}}, 0},
        {"second unlock of one lock",
         {{0, TRUE, S_OK}, {0, FALSE, S_OK}, {0, FALSE, E_UNEXPECTED}},
         0},
        {"two locks, three unlocks",
         {{0, TRUE, S_OK},
          {0, TRUE, S_OK},
          {0, FALSE, S_OK},
          {0, FALSE, S_OK},
          {0, FALSE, E_UNEXPECTED}},
         0},
        {"unlock of another connection's lock", {{1, TRUE, S_OK}, {0, FALSE, E_UNEXPECTED}}, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ASSERT_EQ(LocksSettledAt(0), 0) << "the previous row's locks were not given back";
        CComPtr<IClassFactory> factories[2];  // a connection each
        for (auto& factory : factories)
            ASSERT_EQ(CoGetClassObject(CLSID_Calc, CLSCTX_LOCAL_SERVER, nullptr, IID_IClassFactory,
                                       reinterpret_cast<void**>(&factory)),
                      S_OK);
        for (std::size_t i = 0; i < row.steps.size(); ++i) {
            const Step& step = row.steps[i];
            EXPECT_EQ(factories[step.connection]->LockServer(step.lock), step.expected)
                << "step " << i;
        }
        ExpectOtherClientServed(row.locks_after);
    }
    EXPECT_EQ(LocksSettledAt(0), 0) << "a closed connection's locks were not given back";
}

TEST_F(LockAccounting, ReleaseOfAnObjectTheConnectionDoesNotHoldChangesNothing) {
    comrt::unique_fd raw = comrt::connect_unix(kivtest::ClassSocket(CLSID_Calc));
    ASSERT_TRUE(raw);
    timeval limit{5, 0};
    ::setsockopt(raw.get(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    auto request_class_object = [&] {
        comrt::wire::Writer request;
        request.put(Op::GetClassObject);
        request.put_guid(CLSID_Calc);
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
    ExpectOtherClientServed(0);
}

}  // namespace
