#include "server/engine/prob_prime_stoppable.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "server/interface/ntl_errors.h"
#include "tests/support/time_to_stop.h"

namespace {

using kivtest::LargeProthPrime;
using kivtest::TimeToStop;
using NTL::ZZ;

const std::atomic<bool> kGo{false};

// Both tests from the same point of the thread's random stream; they must agree on the
// answer and leave the stream at the same point (so they drew the same witnesses).
template <class Number>
void ExpectSameAsNtl(const Number& n, long numTrials, long seed) {
    NTL::SetSeed(ZZ(seed));
    long expected = NTL::ProbPrime(n, numTrials);
    long expectedNext = NTL::RandomBnd(1L << 40);
    NTL::SetSeed(ZZ(seed));
    long actual = ProbPrimeStoppable(n, kGo, numTrials);
    long actualNext = NTL::RandomBnd(1L << 40);
    ASSERT_EQ(actual, expected) << n << " with " << numTrials << " trials";
    ASSERT_EQ(actualNext, expectedNext) << n << ": a different number of witnesses was drawn";
}

// Strong pseudoprimes to base 2; the last two pass bases 2 to 23 and 2 to 37.
const long kPseudoprimes[] = {2047,  3277,  4033,  4681,  8321,  15841,      29341,
                              42799, 49141, 52633, 65281, 74665, 3215031751, 3825123056546413051};

TEST(ProbPrimeStoppable, EdgeCasesAnswerAsNtl) {
    for (long n : {2L, 3L, 13L, 1000000007L}) {
        EXPECT_EQ(ProbPrimeStoppable(n, kGo, 10), 1) << n;
        EXPECT_EQ(ProbPrimeStoppable(ZZ(n), kGo, 10), 1) << n;
    }
    for (long n : {0L, 1L, 15L, 1000000008L, -7L}) {
        EXPECT_EQ(ProbPrimeStoppable(n, kGo, 10), 0) << n;
        EXPECT_EQ(ProbPrimeStoppable(ZZ(n), kGo, 10), 0) << n;
    }
    for (long n : {2047L, 3215031751L}) {
        EXPECT_EQ(ProbPrimeStoppable(n, kGo, 0), 1) << n << " passes base 2";
        EXPECT_EQ(ProbPrimeStoppable(n, kGo, -5), 1) << "a negative count counts as 0";
    }
}

TEST(ProbPrimeStoppable, SinglePrecisionFormAgreesWithNtl) {
    NTL::SetSeed(ZZ(20240501));
    std::vector<long> values;
    for (long n = 0; n < 1200; ++n)
        values.push_back(n);
    for (long p : kPseudoprimes)
        values.push_back(p);
    for (int i = 0; i < 800; ++i) {
        long bits = 2 + NTL::RandomBnd(NTL_SP_NBITS - 2);
        long n = NTL::RandomLen_long(bits) | 1;
        values.push_back(n);
        values.push_back(NTL::NextPrime(ZZ(n)) < NTL_SP_BOUND ? NTL::to_long(NTL::NextPrime(ZZ(n)))
                                                              : n);
    }
    values.push_back(NTL_SP_BOUND - 1);
    values.push_back(NTL_SP_BOUND + 1);  // handed on to the multi-precision form
    values.push_back(NTL_SP_BOUND * 3 + 7);
    long seed = 1;
    for (long n : values)
        for (long trials : {0L, 1L, 4L, -2L})
            ExpectSameAsNtl(n, trials, ++seed);
}

TEST(ProbPrimeStoppable, MultiPrecisionFormAgreesWithNtl) {
    NTL::SetSeed(ZZ(77));
    std::vector<ZZ> values;
    for (long p : kPseudoprimes)
        values.push_back(ZZ(p));
    values.push_back(ZZ(NTL_SP_BOUND) - 1);
    values.push_back(ZZ(NTL_SP_BOUND));
    for (int i = 0; i < 600; ++i) {
        long bits = 61 + NTL::RandomBnd(400);
        ZZ n = NTL::RandomLen_ZZ(bits);
        values.push_back(n);
        values.push_back(n | 1);
        if (i % 4 == 0)
            values.push_back(NTL::NextPrime(n, 5));
        if (i % 4 == 1) {  // survives trial division, fails a witness
            values.push_back(NTL::NextPrime(NTL::RandomLen_ZZ(bits / 2 + 1)) *
                             NTL::NextPrime(NTL::RandomLen_ZZ(bits / 2 + 1)));
        }
    }
    long seed = 1000;
    for (const ZZ& n : values)
        for (long trials : {0L, 3L})
            ExpectSameAsNtl(n, trials, ++seed);
}

TEST(ProbPrimeStoppable, StopAlreadySetGivesZeroExceptForTheSmallestPrimes) {
    const std::atomic<bool> stop{true};
    for (long n = -3; n < 400; ++n) {
        bool decidedBeforeTheFlag = n == 2 || n == 3 || n == 5 || n == 7 || n == 11 || n == 13;
        EXPECT_EQ(ProbPrimeStoppable(n, stop, 5), decidedBeforeTheFlag ? 1 : 0) << n;
        EXPECT_EQ(ProbPrimeStoppable(ZZ(n), stop, 5), decidedBeforeTheFlag ? 1 : 0) << n;
    }
    for (long p : kPseudoprimes)
        EXPECT_EQ(ProbPrimeStoppable(ZZ(p), stop, 0), 0) << p;
    ZZ bigPrime = NTL::NextPrime(NTL::power2_ZZ(300));
    EXPECT_EQ(ProbPrimeStoppable(bigPrime, stop, 0), 0);
    EXPECT_EQ(ProbPrimeStoppable(bigPrime, kGo, 0), 1);
}

TEST(MillerWitnessStoppable, AgreesWithNtlWithoutAStop) {
    NTL::SetSeed(ZZ(5));
    for (int i = 0; i < 300; ++i) {
        ZZ n = NTL::RandomLen_ZZ(64 + i) | 1;
        ZZ x = NTL::RandomBnd(n);
        EXPECT_EQ(MillerWitnessStoppable(n, x, kGo), NTL::MillerWitness(n, x)) << n << " " << x;
    }
    for (long p : kPseudoprimes)
        EXPECT_EQ(MillerWitnessStoppable(ZZ(p), ZZ(2), kGo), 0) << p;
    EXPECT_EQ(MillerWitnessStoppable(ZZ(3825123056546413051L), ZZ(41), kGo), 1);
}

TEST(ProbPrimeStoppable, StopEndsATestOfAHugeNumberAtOnce) {
    const ZZ n = LargeProthPrime();
    long answer = -1;
    auto latency = TimeToStop([&](const std::atomic<bool>& stop) {
        answer = ProbPrimeStoppable(n, stop, 40);  // some forty seconds without a stop
        return answer;
    });
    EXPECT_EQ(answer, 0) << "a stopped test answers 0";
    EXPECT_LT(latency.count(), 2000) << "took " << latency.count() << " ms";
}

}  // namespace
