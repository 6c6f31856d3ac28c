#include "server/goldbach/candidate_sieve.h"

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <stop_token>
#include <thread>
#include <vector>

#include "server/goldbach/goldbach_search.h"
#include "tests/support/prime_table.h"

namespace {

using namespace std::chrono_literals;

// Below the deep bound, n - p and p can be the very primes whose residues sieve: no p of a
// prime pair may be lost, neither handed out by Next nor refused by StillViable once every
// residue is ready. Several segments, and the ends of both residue ranges.
TEST(CandidateSieve, NeverRejectsAPrimePairBelowTheBound) {
    for (unsigned long n : {6ul, 8ul, 100ul, 131074ul, 131076ul, 1000000ul, 2000002ul}) {
        SCOPED_TRACE(n);
        const std::vector<bool> prime = kivtest::PrimeTable(static_cast<long>(n));
        const NTL::ZZ even(n);
        CandidateSieve sieve(even, NTL::ZZ(3), NTL::ZZ(n / 2), 0ms);
        std::vector<unsigned long> handedOut;
        NTL::ZZ p;
        while (sieve.Next(p))
            handedOut.push_back(NTL::conv<unsigned long>(p));
        // (Below the first bound there are no deeper residues to wait for.)
        for (auto deadline = std::chrono::steady_clock::now() + 60s;
             n > CandidateSieve::kFirstBound && sieve.ResiduesReady() < CandidateSieve::kDeepPrimes;
             std::this_thread::sleep_for(5ms))
            ASSERT_LT(std::chrono::steady_clock::now(), deadline);
        std::size_t next = 0;
        for (unsigned long q = 3; q <= n / 2; q += 2) {
            if (!prime[q] || !prime[n - q])
                continue;
            while (next < handedOut.size() && handedOut[next] < q)
                ++next;
            ASSERT_TRUE(next < handedOut.size() && handedOut[next] == q) << q << " not handed out";
            EXPECT_TRUE(sieve.StillViable(NTL::ZZ(q))) << q;
        }
    }
}

// What StillViable reports as sieved really is: no prime below the bound divides n - p, for
// candidates of the first segment and of later ones, before and after the deeper residues.
TEST(CandidateSieve, ReportsABoundOnlyWhereItSieved) {
    const NTL::ZZ n = NTL::power(NTL::ZZ(10), 120) + 123456;
    CandidateSieve sieve(n, NTL::ZZ(3), n / 2, 0ms);
    std::vector<NTL::ZZ> early;
    NTL::ZZ p;
    for (int i = 0; i < 20000 && sieve.Next(p); ++i)
        if (i % 2000 == 0)
            early.push_back(p);
    for (auto deadline = std::chrono::steady_clock::now() + 60s;
         sieve.ResiduesReady() < CandidateSieve::kDeepPrimes; std::this_thread::sleep_for(5ms))
        ASSERT_LT(std::chrono::steady_clock::now(), deadline);
    ASSERT_TRUE(sieve.Next(p));
    early.push_back(p);  // of the current segment, with every residue applied
    for (const NTL::ZZ& candidate : early) {
        long freeBelow = -1;
        ASSERT_TRUE(sieve.StillViable(candidate, &freeBelow)) << candidate;
        EXPECT_GE(freeBelow, long{CandidateSieve::kFirstBound}) << candidate;
        const NTL::ZZ q = n - candidate;
        NTL::PrimeSeq primes;
        for (long prime = primes.next(); prime != 0 && prime < freeBelow; prime = primes.next())
            ASSERT_NE(NTL::rem(q, prime), 0) << candidate << " has the factor " << prime;
    }
    long freeBelow = -1;
    sieve.StillViable(p, &freeBelow);
    EXPECT_GT(freeBelow, long{CandidateSieve::kFirstBound}) << "the deeper residues count";
    const NTL::ZZ million(1000000);
    CandidateSieve small(million, NTL::ZZ(3), NTL::ZZ(500000));
    ASSERT_TRUE(small.Next(p));
    small.StillViable(p, &freeBelow);
    EXPECT_EQ(freeBelow, 0) << "below 2^63, n - p may be a sieving prime itself";
}

// Once every residue is ready, a segment hands out exactly the candidates p for which neither
// p nor n - p has a prime factor below the deep bound (n large, p above the bound): each
// residue n mod q is right, however many primes shared its division.
TEST(CandidateSieve, DeepSegmentsKeepExactlyTheCandidatesFreeOfSmallFactors) {
    const NTL::ZZ n = NTL::power(NTL::ZZ(7), 700) + 1;
    const unsigned long first = CandidateSieve::kDeepBound + 1;
    const unsigned long span = 1ul << 18;  // several segments
    CandidateSieve sieve(n, NTL::ZZ(first), NTL::ZZ(first + span), 0ms);
    NTL::ZZ p;
    ASSERT_TRUE(sieve.Next(p));  // starts the residue thread
    for (auto deadline = std::chrono::steady_clock::now() + 60s;
         sieve.ResiduesReady() < CandidateSieve::kDeepPrimes; std::this_thread::sleep_for(5ms))
        ASSERT_LT(std::chrono::steady_clock::now(), deadline);
    std::vector<bool> expected(span / 2 + 1, true);  // first + 2i
    NTL::PrimeSeq primes;
    for (long q = primes.next(); q < static_cast<long>(CandidateSieve::kDeepBound);
         q = primes.next()) {
        if (q == 2)
            continue;
        const unsigned long r = NTL::rem(n, q);
        for (unsigned long m : {0ul, r}) {  // q | p, q | n - p
            unsigned long i = (m + q - first % q) % q;
            i = i % 2 == 0 ? i / 2 : (i + q) / 2;  // p = first + 2i, p = m (mod q)
            for (; i < expected.size(); i += q)
                expected[i] = false;
        }
    }
    std::vector<unsigned long> handedOut, wanted;
    while (sieve.Next(p))
        handedOut.push_back(NTL::conv<unsigned long>(p));
    // The first segment was sieved before the deeper residues existed.
    const unsigned long checkedFrom = first + (1ul << 16);
    std::erase_if(handedOut, [&](unsigned long v) { return v < checkedFrom; });
    for (std::size_t i = 0; i < expected.size(); ++i)
        if (expected[i] && first + 2 * i >= checkedFrom)
            wanted.push_back(first + 2 * i);
    EXPECT_EQ(handedOut, wanted);
}

// A search stopped before its sieve was made gets one without residues (an n of millions of
// digits would take seconds over them), which claims no sieving and passes every candidate.
TEST(CandidateSieve, AStoppedSearchGetsNoResidues) {
    const NTL::ZZ n = NTL::power2_ZZ(CandidateSieve::kLargeNBits) + 1234;
    std::stop_source stopped;
    stopped.request_stop();
    CandidateSieve sieve(n, NTL::ZZ(3), n / 2, 1h, stopped.get_token());
    EXPECT_EQ(sieve.ResiduesReady(), 0u);
    NTL::ZZ p;
    for (long expected = 3; expected < 30; expected += 2) {
        ASSERT_TRUE(sieve.Next(p));
        EXPECT_EQ(p, expected);
        long freeBelow = -1;
        EXPECT_TRUE(sieve.StillViable(p, &freeBelow));
        EXPECT_LE(freeBelow, 2);
    }
}

// A large n has the residues up to 2^20 from the start, before any deeper ones.
TEST(CandidateSieve, LargeNumbersStartWithTheMiddlePrimes) {
    const NTL::ZZ n = NTL::power2_ZZ(CandidateSieve::kLargeNBits) + 1234;
    CandidateSieve sieve(n, NTL::ZZ(3), n / 2, 1h);  // no deeper residues in this test
    EXPECT_EQ(sieve.ResiduesReady(), 82024u);        // pi(2^20) - 1
    std::vector<NTL::ZZ> handedOut;
    NTL::ZZ p;
    for (int i = 0; i < 3000 && sieve.Next(p); ++i)
        handedOut.push_back(p);
    for (std::size_t i = 0; i < handedOut.size(); i += 100) {
        long freeBelow = -1;
        ASSERT_TRUE(sieve.StillViable(handedOut[i], &freeBelow));
        EXPECT_GT(freeBelow, 1000000) << handedOut[i];
        NTL::PrimeSeq primes;
        for (long q = primes.next(); q < freeBelow; q = primes.next())
            ASSERT_NE(NTL::rem(n - handedOut[i], q), 0) << handedOut[i] << " has the factor " << q;
    }
}

// The search, sieved, finds the smallest pair of numbers of 20 to 200 digits: no smaller
// candidate has a pair of probable primes.
TEST(CandidateSieve, SievedSearchesFindTheSmallestPair) {
    std::mt19937 engine(2024);
    for (int round = 0; round < 200; ++round) {
        const long digits = 20 + static_cast<long>(engine() % 181);
        NTL::ZZ n = NTL::power(NTL::ZZ(10), digits - 1);
        for (int limb = 0; limb < 24; ++limb)
            n += NTL::to_ZZ(static_cast<unsigned long>(engine())) << (32 * limb) % (3 * digits);
        n += n % 2;
        SCOPED_TRACE(n);
        GoldbachSearch search;
        search.n = &n;
        search.firstCandidate = 3;
        search.largestCandidate = n / 2;
        search.workersPerBatch = 8;
        search.poolThreads = 2;
        const auto pair = SearchGoldbachPair(search);
        ASSERT_TRUE(pair);
        for (NTL::ZZ p(3); p < pair->first; p += 2)
            ASSERT_FALSE(NTL::ProbPrime(p) && NTL::ProbPrime(n - p)) << p;
    }
}

}  // namespace
