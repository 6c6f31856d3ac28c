// Eight base-2 exponentiations at once answer as GMP, lane by lane, for odd moduli of mixed
// sizes, on the lanes and on the one-at-a-time path alike; the strong test's verdicts are
// NTL's MillerWitness ones, and a raised stop ends a call.
#include "server/engine/multi_lane_powm.h"

#include <NTL/ZZ_limbs.h>
#include <gmp.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "server/engine/mpz.h"
#include "server/engine/prob_prime_stoppable.h"

namespace {

using NTL::ZZ;

// Runs the body on each path this machine has: the lanes (when the processor has them) and
// the forced GMP one.
template <class Body>
void OnEachPath(Body body) {
    for (const bool gmp : {false, true}) {
        if (!gmp && !LanesSupported())
            continue;
        ForceGmpPowm(gmp);
        EXPECT_EQ(LanesInUse(), !gmp);
        SCOPED_TRACE(gmp ? "GMP path" : "lanes");
        body();
    }
    ForceGmpPowm(false);
}

ZZ RandomOddOfDigits(long digits) {
    const ZZ low = NTL::power(ZZ(10), digits - 1);
    return (low + NTL::RandomBnd(9 * low)) | 1;
}

ZZ GmpPowerOfTwo(const ZZ& m) {
    const ZZ e = m - 1;
    const MpzView mv(m);
    const MpzView ev(e);
    Mpz two;
    Mpz r;
    mpz_set_ui(two.get(), 2);
    mpz_powm(r.get(), two.get(), ev.value, mv.value);
    ZZ z;
    NTL::ZZ_limbs_set(z, mpz_limbs_read(r.get()), static_cast<long>(mpz_size(r.get())));
    return z;
}

TEST(MultiLanePowm, EveryLaneAnswersAsGmp) {
    if (!LanesSupported())
        GTEST_SKIP() << "this processor has no AVX-512 IFMA";  // GMP against itself says little
    NTL::SetSeed(ZZ(20260122));
    std::vector<std::vector<ZZ>> groups;
    // Random groups of random sizes and counts, the sizes mixed within a group.
    for (int g = 0; g < 4; ++g) {
        std::vector<ZZ> group(1 + NTL::RandomBnd(kPowmLanes));
        for (ZZ& m : group)
            m = RandomOddOfDigits(20 + NTL::RandomBnd(2981));
        groups.push_back(group);
    }
    // The extremes of a limb count: all ones, and one bit past a limb's edge.
    std::vector<ZZ> edges;
    for (long bits : {64L, 101L, 102L, 103L, 104L, 105L, 1037L, 1040L, 9965L})
        edges.push_back(NTL::power2_ZZ(bits) - 1);
    edges.push_back(NTL::power2_ZZ(1040) + 1);
    for (std::size_t first = 0; first < edges.size(); first += kPowmLanes)
        groups.emplace_back(edges.begin() + first,
                            edges.begin() + std::min(first + kPowmLanes, edges.size()));
    std::vector<std::vector<ZZ>> expected;
    for (const std::vector<ZZ>& group : groups) {
        expected.emplace_back();
        for (const ZZ& m : group)
            expected.back().push_back(GmpPowerOfTwo(m));
    }
    OnEachPath([&] {
        const std::atomic<bool> stop{false};
        for (std::size_t g = 0; g < groups.size(); ++g) {
            std::vector<ZZ> residues;
            ASSERT_TRUE(PowersOfTwoModuli(groups[g], residues, stop));
            ASSERT_EQ(residues.size(), groups[g].size());
            for (std::size_t i = 0; i < groups[g].size(); ++i)
                EXPECT_EQ(residues[i], expected[g][i])
                    << "lane " << i << " of " << groups[g].size() << ", "
                    << NTL::NumBits(groups[g][i]) << " bits";
        }
    });
}

TEST(MultiLanePowm, StrongTestAnswersAsMillerWitness) {
    NTL::SetSeed(ZZ(20260123));
    // Strong pseudoprimes to base 2, primes, and composites of both kinds of size.
    std::vector<ZZ> numbers = {ZZ(3), ZZ(2047), ZZ(3277), ZZ(4033), ZZ(4681), ZZ(8321), ZZ(15841)};
    for (long bits : {80L, 700L, 3000L}) {
        const ZZ p = NTL::RandomPrime_ZZ(bits);
        numbers.push_back(p);
        numbers.push_back(p * NTL::RandomPrime_ZZ(bits / 2));
        numbers.push_back(NTL::RandomLen_ZZ(bits) | 1);
    }
    OnEachPath([&] {
        const std::atomic<bool> stop{false};
        for (std::size_t first = 0; first < numbers.size(); first += kPowmLanes) {
            const std::size_t count = std::min<std::size_t>(kPowmLanes, numbers.size() - first);
            const std::span<const ZZ> group(numbers.data() + first, count);
            std::vector<bool> verdicts;
            ASSERT_TRUE(StrongProbablePrimesBase2(group, verdicts, stop));
            for (std::size_t i = 0; i < count; ++i)
                EXPECT_EQ(verdicts[i], MillerWitnessStoppable(group[i], ZZ(2), stop) == 0)
                    << group[i];
        }
    });
}

TEST(MultiLanePowm, RaisedStopEndsTheCall) {
    const std::vector<ZZ> group = {NTL::power2_ZZ(3000) - 1, NTL::power2_ZZ(1000) + 3};
    OnEachPath([&] {
        const std::atomic<bool> stop{true};
        std::vector<ZZ> residues;
        std::vector<bool> verdicts;
        EXPECT_FALSE(PowersOfTwoModuli(group, residues, stop));
        EXPECT_FALSE(StrongProbablePrimesBase2(group, verdicts, stop));
    });
}

}  // namespace
