// The strong Lucas test: every prime passes; of the composites only the strong Lucas
// pseudoprimes do, and with the base-2 strong test it answers as GMP's Baillie-PSW.
#include "server/engine/strong_lucas.h"

#include <NTL/ZZ_limbs.h>
#include <gmp.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

using NTL::ZZ;

bool GmpBailliePsw(const ZZ& n) {
    mpz_t view;
    mpz_roinit_n(view, NTL::ZZ_limbs_get(n), n.size());
    return mpz_probab_prime_p(view, 24) != 0;
}

TEST(StrongLucas, KnownNumbers) {
    struct Case {
        long n;
        bool passes;
    };
    const Case cases[] = {
        // primes, among them ones whose D comes late or whose Q shares nothing with them
        {2, true},
        {3, true},
        {5, true},
        {7, true},
        {11, true},
        {13, true},
        {1000003, true},
        // strong Lucas pseudoprimes
        {5459, true},
        {5777, true},
        {10877, true},
        {16109, true},
        {18971, true},
        // base-2 strong pseudoprimes, Carmichael numbers, squares, small oddities
        {2047, false},
        {3277, false},
        {4033, false},
        {561, false},
        {1105, false},
        {1729, false},
        {2465, false},
        {8911, false},
        {9, false},
        {25, false},
        {5777 * 5777, false},
        {1, false},
        {0, false},
        {4, false},
        {15, false},
        {-7, false}};
    for (const Case& c : cases)
        EXPECT_EQ(IsStrongLucasProbablePrime(ZZ(c.n)), c.passes) << c.n;
}

TEST(StrongLucas, PseudoprimesBelowOneHundredThousandAreTheKnownOnes) {
    const std::vector<long> known = {5459,  5777,  10877, 16109, 18971, 22499,
                                     24569, 25199, 40309, 58519, 75077, 97439};
    std::vector<long> found;
    for (long n = 3; n < 100000; n += 2) {
        const bool prime = NTL::ProbPrime(ZZ(n), 10) != 0;
        const bool passes = IsStrongLucasProbablePrime(ZZ(n));
        if (prime)
            EXPECT_TRUE(passes) << n;
        else if (passes)
            found.push_back(n);
    }
    EXPECT_EQ(found, known);
}

TEST(StrongLucas, WithTheBase2TestItIsGmpsBailliePsw) {
    NTL::SetSeed(ZZ(20261208));
    for (int i = 0; i < 600; ++i) {
        ZZ n = NTL::RandomBits_ZZ(64 + i % 700) | 1;
        if (i % 3 == 0)
            n = NTL::NextPrime(n);
        const bool base2 = NTL::MillerWitness(n, ZZ(2)) == 0;
        EXPECT_EQ(base2 && IsStrongLucasProbablePrime(n), GmpBailliePsw(n)) << n;
    }
}

TEST(StrongLucas, AStopRequestEndsItWithFalse) {
    const std::atomic<bool> stop{true};
    EXPECT_FALSE(IsStrongLucasProbablePrime(NTL::NextPrime(NTL::power2_ZZ(512)), stop));
}

}  // namespace
