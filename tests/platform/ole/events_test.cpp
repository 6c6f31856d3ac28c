// Objects and callbacks across processes, against the served Calc: an object as a result and
// its lifetime, a sink called back during a call (a by-reference flag back, a call back into
// the server from inside the callback), a connection point, and peers that die, hang or
// leave while the server holds their objects.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "tests/support/calc_server.h"
#include "tests/support/process.h"
#include "tests/support/scoped_env.h"
#include "tests/support/tick_sink.h"

namespace {

using namespace std::chrono_literals;
using calctest::CLSID_Calc;
using calctest::DIID__ICalcEvents;
using calctest::ICalc;
using calctest::IID_ICalc;
using Clock = std::chrono::steady_clock;

using Events = kivtest::CalcServerTest;

CComPtr<ICalc> NewCalc() {
    CComPtr<ICalc> calc;
    EXPECT_EQ(CoCreateInstance(CLSID_Calc, nullptr, CLSCTX_LOCAL_SERVER, IID_ICalc,
                               reinterpret_cast<void**>(&calc)),
              S_OK);
    return calc;
}

LONG Objects(ICalc* calc) {
    LONG objects = -1, locks = -1;
    EXPECT_EQ(calc->Counts(&objects, &locks), S_OK);
    return objects;
}

TEST_F(Events, AnObjectComesOutAndLivesAsLongAsItsProxy) {
    CComPtr<ICalc> calc = NewCalc();
    ASSERT_NE(calc, nullptr);
    ASSERT_EQ(Objects(calc), 1);
    CComPtr<ICalc> child;
    ASSERT_EQ(calc->Child(&child), S_OK);
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(Objects(calc), 2);
    LONG twice = 0;
    EXPECT_EQ(child->Twice(21, &twice), S_OK);
    EXPECT_EQ(twice, 42);

    // Handed back, the caller's own object arrives as itself, not as a proxy of a proxy.
    kivtest::TickSink local([](LONG) { return false; });
    CComPtr<IUnknown> echoed;
    ASSERT_EQ(calc->Echo(&local, &echoed), S_OK);
    EXPECT_EQ(echoed.get(), static_cast<IUnknown*>(&local));
    echoed.Release();
    CComPtr<IUnknown> child_again;
    ASSERT_EQ(calc->Echo(child, &child_again), S_OK);
    EXPECT_EQ(Objects(calc), 2) << "the server's own object came back, not a new one";

    child.Release();
    child_again.Release();
    EXPECT_EQ(Objects(calc), 1) << "the last proxy's release reached the server";
    EXPECT_EQ(local.refs(), 1u) << "the server gave back its reference to the caller's object";
}

// A derived interface's proxy takes its base's slots from the base's own type information.
TEST_F(Events, ADerivedInterfaceCallsItsBasesMethodsToo) {
    CComPtr<ICalc> calc = NewCalc();
    ASSERT_NE(calc, nullptr);
    CComPtr<calctest::ICalc2> calc2;
    ASSERT_EQ(calc.QueryInterface(&calc2), S_OK);
    LONG value = 0;
    EXPECT_EQ(calc2->Twice(5, &value), S_OK);  // slot 11, ICalc's
    EXPECT_EQ(value, 10);
    EXPECT_EQ(calc2->Square(5, &value), S_OK);  // slot 18, ICalc2's own
    EXPECT_EQ(value, 25);
    LONG sum = 0;
    EXPECT_EQ(calc2->Add(2, 3, &sum), S_OK);
    EXPECT_EQ(sum, 5);
}

TEST_F(Events, ASinkIsCalledBackDuringTheCallAndMayCallBackIn) {
    CComPtr<ICalc> calc = NewCalc();
    ASSERT_NE(calc, nullptr);
    LONG inner = 0;
    HRESULT inner_hr = E_FAIL;
    kivtest::TickSink sink([&](LONG n) {
        if (n == 2)
            inner_hr = calc->Twice(21, &inner);  // into the server that waits for us
        return n == 3;                           // the by-reference flag stops the run
    });
    LONG ticks = 0;
    ASSERT_EQ(calc->Notify(&sink, 10, &ticks), S_OK);
    EXPECT_EQ(ticks, 3);
    EXPECT_EQ(sink.ticks, (std::vector<LONG>{1, 2, 3}));
    EXPECT_EQ(inner_hr, S_OK);
    EXPECT_EQ(inner, 42);
    Objects(calc);  // the server's release of the sink follows its reply; it is read by now
    EXPECT_EQ(sink.refs(), 1u);
}

TEST_F(Events, AConnectionPointCallsItsAdvisedSinks) {
    CComPtr<ICalc> calc = NewCalc();
    ASSERT_NE(calc, nullptr);
    CComPtr<IConnectionPointContainer> container;
    ASSERT_EQ(calc.QueryInterface(&container), S_OK);
    CComPtr<IConnectionPoint> point;
    ASSERT_EQ(container->FindConnectionPoint(DIID__ICalcEvents, &point), S_OK);
    IID source{};
    ASSERT_EQ(point->GetConnectionInterface(&source), S_OK);
    EXPECT_EQ(source, DIID__ICalcEvents);
    CComPtr<IConnectionPoint> none;
    EXPECT_EQ(container->FindConnectionPoint(IID_ICalc, &none), CONNECT_E_NOCONNECTION);

    kivtest::TickSink sink([](LONG) { return false; });
    DWORD cookie = 0;
    ASSERT_EQ(point->Advise(&sink, &cookie), S_OK);
    LONG ticks = 0, last = 0;
    ASSERT_EQ(calc->Fire(2, &ticks, &last), S_OK);
    EXPECT_EQ(ticks, 2);
    EXPECT_EQ(last, S_OK);
    EXPECT_EQ(sink.ticks, (std::vector<LONG>{1, 2}));
    ASSERT_EQ(point->Unadvise(cookie), S_OK);
    EXPECT_EQ(point->Unadvise(cookie), CONNECT_E_NOCONNECTION);
    ASSERT_EQ(calc->Fire(2, &ticks, &last), S_OK);
    EXPECT_EQ(ticks, 0);
    EXPECT_EQ(sink.refs(), 1u);
}

// comrt call --events subscribes to the class's default source while the call runs.
TEST_F(Events, ComrtCallPrintsTheEventsAsTheyArrive) {
    const std::string key = "Software\\Classes\\Calc.Events\\CLSID";
    ASSERT_EQ(comrt::reg_set_string(HKEY_CURRENT_USER, key, "", guid_to_string(CLSID_Calc)),
              ERROR_SUCCESS);
    auto run =
        kivtest::RunCaptured(COMRT_EXECUTABLE, {"call", "--events", "Calc.Events", "Fire", "2"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "event Tick(1, False)\nevent Tick(2, False)\n");
    EXPECT_EQ(run.out, "pTicks=2\nresult=0\nhr=0x00000000\n");
    // Without the switch nobody listens.
    run = kivtest::RunCaptured(COMRT_EXECUTABLE, {"call", "Calc.Events", "Fire", "2"});
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, "pTicks=0\nresult=0\nhr=0x00000000\n");
}

// A client of the same server whose sink misbehaves; the test's own call must still be
// answered promptly, whatever the sink does.
TEST_F(Events, ADeadOrStuckPeerNeverHoldsTheServer) {
    struct Case {
        const char* what;
        std::vector<std::string> client;  // --comrt-test-sink arguments
        bool kill_it;                     // killed while its sink is called
        const char* client_says;          // its output, when it ends by itself
        HRESULT fire_result;              // what Fire's last delivery then returns
    };
    const Case cases[] = {
        {"killed during a callback", {"sleep", "600000"}, true, nullptr, S_OK},
        {"unresponsive past the time-out",
         {"sleep", "2500"},
         false,
         "tick\nhr=0x80010108 ticks=0\n",
         S_OK},
        {"gone after advising", {"advise"}, false, "advised\n", RPC_E_DISCONNECTED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        kivtest::ScopedEnv timeout("COMRT_CALLBACK_TIMEOUT_MS", "300");
        CComPtr<ICalc> calc = NewCalc();  // starts the server, with the time-out
        ASSERT_NE(calc, nullptr);
        std::vector<std::string> args{kivtest::kTestSinkSwitch};
        args.insert(args.end(), c.client.begin(), c.client.end());
        kivtest::Child client(kivtest::SelfPath(), args);
        if (c.fire_result == S_OK) {
            std::this_thread::sleep_for(kivtest::kOneSecond / 5);  // its sink is being called
        } else {
            EXPECT_EQ(client.Output(3 * kivtest::kOneSecond), c.client_says);
        }
        if (c.kill_it)
            client.Kill();
        auto start = Clock::now();
        LONG twice = 0;
        EXPECT_EQ(calc->Twice(4, &twice), S_OK);
        EXPECT_EQ(twice, 8);
        EXPECT_LT(Clock::now() - start, kivtest::kOneSecond) << "the server was held";
        if (c.fire_result != S_OK) {
            LONG ticks = -1, last = 0;
            start = Clock::now();
            EXPECT_EQ(calc->Fire(1, &ticks, &last), S_OK);
            EXPECT_EQ(last, c.fire_result);
            EXPECT_EQ(ticks, 0);
            EXPECT_LT(Clock::now() - start, kivtest::kOneSecond / 2) << "a dead sink fails at once";
        } else if (!c.kill_it) {
            EXPECT_EQ(client.Output(5 * kivtest::kOneSecond), c.client_says);
        }
        calc.Release();
        TearDown();  // the next case starts its own server
        SetUp();
    }
}

}  // namespace
