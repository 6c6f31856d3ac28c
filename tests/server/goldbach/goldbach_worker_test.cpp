#include "server/goldbach/goldbach_worker.h"

#include <gtest/gtest.h>

#include <atomic>

#include "tests/support/time_to_stop.h"

namespace {

using kivtest::LargeProthPrime;
using kivtest::TimeToStop;
using NTL::ZZ;

const std::atomic<bool> kGo{false};

TEST(GoldbachWorker, StopEndsAWorkerDeepInAHugeTest) {
    const ZZ p = LargeProthPrime();
    const ZZ n = 2 * p;
    GoldbachPair result{ZZ(-1), ZZ(-1)};
    auto latency = TimeToStop(
        [&](const std::atomic<bool>& stop) { return GoldbachWorker(40, p, n, result, stop); });
    EXPECT_EQ(result.first, -1) << "a stopped worker leaves its slot alone";
    EXPECT_LT(latency.count(), 2000) << "took " << latency.count() << " ms";
}

TEST(GoldbachWorker, WritesThePairOnlyWhenBothPass) {
    struct Case {
        long p, n;
        long expected;
    };
    const Case cases[] = {{3, 100, 0}, {5, 100, 1},   {3, 2050, 0} /* 2047 passes base 2 */,
                          {9, 100, 1}, {11, 2050, 0}, {7, 100, 1}};
    for (const Case& c : cases) {
        GoldbachPair result{ZZ(-1), ZZ(-1)};
        EXPECT_EQ(GoldbachWorker(0, ZZ(c.p), ZZ(c.n), result, kGo), c.expected) << c.p;
        if (c.expected == 0) {
            EXPECT_EQ(result.first, c.p);
            EXPECT_EQ(result.second, c.n - c.p);
        } else {
            EXPECT_EQ(result.first, -1);
        }
    }
    const std::atomic<bool> stop{true};
    GoldbachPair result{ZZ(-1), ZZ(-1)};
    EXPECT_EQ(GoldbachWorker(0, ZZ(3), ZZ(10), result, stop), 1)
        << "3 passes before the flag is read; the flag is read before 7 is tested";
    EXPECT_EQ(result.first, -1);
}

}  // namespace
