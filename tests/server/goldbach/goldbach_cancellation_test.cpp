// The Goldbach search and the test run end with CallCancelled when the call's token fires,
// before they start or while their workers run, and leave no worker behind.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <stop_token>
#include <thread>

#include "server/engine/decimal_value.h"
#include "server/goldbach/goldbach_search.h"
#include "server/goldbach/q_draw.h"
#include "server/goldbach/test_run.h"
#include "server/interface/call_cancelled.h"
#include "server/interface/ntl_errors.h"

namespace {

using namespace std::chrono_literals;

// Fires `source` after `delay` unless the test has ended first.
class DelayedStop {
  public:
    DelayedStop(std::stop_source source, std::chrono::milliseconds delay)
        : thread_([source, delay](std::stop_token ended) mutable {
              auto deadline = std::chrono::steady_clock::now() + delay;
              while (!ended.stop_requested() && std::chrono::steady_clock::now() < deadline)
                  std::this_thread::sleep_for(1ms);
              source.request_stop();
          }) {}

  private:
    std::jthread thread_;
};

TEST(GoldbachCancellation, FiredTokenEndsTheSearchAndTheRun) {
    UseNtlExceptions();
    const NTL::ZZ digits4000 = NTL::power(NTL::ZZ(10), 3999);  // its search takes many seconds
    const std::string twentyMillionDigits(20000000, '7');
    struct Case {
        const char* name;
        std::chrono::milliseconds fireAfter;  // 0: fired before the call
        std::function<void(std::stop_token)> run;
    };
    const Case cases[] = {
        {"search, fired before", 0ms,
         [&](std::stop_token stop) { FindGoldbachPair(digits4000, 0, 2, 1, 2, stop); }},
        {"search, fired while workers run", 300ms,
         [&](std::stop_token stop) { FindGoldbachPair(digits4000, 0, 2, 1, 2, stop); }},
        {"draw of 2^31 - 1 digits, fired before", 0ms,
         [](std::stop_token stop) {
             std::mt19937 engine(1);
             DrawQText(2147483647, engine, stop);
         }},
        {"run of 2^31 - 1 digits, fired while drawing", 300ms,
         [](std::stop_token stop) {
             TestRunRequest request;
             request.numDigits = 2147483647;
             request.poolThreads = 2;
             request.stop = stop;
             std::int32_t found = 0;
             RunGoldbachTest(request, found);
         }},
        {"conversion of 20 million digits, fired while converting", 50ms,
         [&](std::stop_token stop) { DecimalValue(twentyMillionDigits, stop); }},
        {"run of 4000 digits, fired while searching", 1000ms,
         [](std::stop_token stop) {
             TestRunRequest request;
             request.numDigits = 4000;
             request.numThreadsPerCore = 2;
             request.poolThreads = 2;
             request.stop = stop;
             std::int32_t found = 0;
             RunGoldbachTest(request, found);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::stop_source source;
        if (c.fireAfter == 0ms)
            source.request_stop();
        DelayedStop stopper(source, c.fireAfter);
        EXPECT_THROW(c.run(source.get_token()), CallCancelled);
    }
}

}  // namespace
