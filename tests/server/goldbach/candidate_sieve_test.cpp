#include "server/goldbach/candidate_sieve.h"

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <thread>
#include <vector>

#include "server/goldbach/goldbach_search.h"

namespace {

using namespace std::chrono_literals;

std::vector<bool> PrimesUpTo(std::size_t n) {
    std::vector<bool> prime(n + 1, true);
    prime[0] = prime[1] = false;
    for (std::size_t i = 2; i * i <= n; ++i)
        if (prime[i])
            for (std::size_t j = i * i; j <= n; j += i)
                prime[j] = false;
    return prime;
}

// Below the deep bound, n - p and p can be the very primes whose residues sieve: no p of a
// prime pair may be lost, neither handed out by Next nor refused by StillViable once every
// residue is ready. Several segments, and the ends of both residue ranges.
TEST(CandidateSieve, NeverRejectsAPrimePairBelowTheBound) {
    for (unsigned long n : {6ul, 8ul, 100ul, 131074ul, 131076ul, 1000000ul, 2000002ul}) {
        SCOPED_TRACE(n);
        const std::vector<bool> prime = PrimesUpTo(n);
        CandidateSieve sieve(NTL::ZZ(n), NTL::ZZ(3), NTL::ZZ(n / 2), 0ms);
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

// The sieved search and the plain one find the same pair, numbers of 20 to 200 digits.
TEST(CandidateSieve, SievedAndPlainSearchesAgree) {
    std::mt19937 engine(2024);
    for (int round = 0; round < 200; ++round) {
        const long digits = 20 + static_cast<long>(engine() % 181);
        NTL::ZZ n = NTL::power(NTL::ZZ(10), digits - 1);
        for (int limb = 0; limb < 24; ++limb)
            n += NTL::to_ZZ(static_cast<unsigned long>(engine())) << (32 * limb) % (3 * digits);
        n += n % 2;
        SCOPED_TRACE(n);
        GoldbachSearch search;
        search.n = n;
        search.firstCandidate = 3;
        search.largestCandidate = n / 2;
        search.workersPerBatch = 8;
        search.poolThreads = 2;
        const auto sieved = SearchGoldbachPair(search);
        search.sieve = false;
        const auto plain = SearchGoldbachPair(search);
        ASSERT_TRUE(sieved && plain);
        EXPECT_EQ(sieved->first, plain->first);
    }
}

}  // namespace
