#include "server/engine/prime_engine.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>

#include "server/interface/messages.h"
#include "server/interface/ntl_errors.h"
#include "tests/support/zz_values.h"

namespace {

using kivtest::ZZOf;

constexpr std::uint64_t kMaxInt64 = 9223372036854775807ull;

std::unique_ptr<PrimeEngine> NewEngine(bool sieve = true) {
    UseNtlExceptions();
    auto engine = std::make_unique<PrimeEngine>();
    if (sieve)
        engine->BuildSieve();
    return engine;
}

// Where a 64-bit answer ended up.
enum class Recorded { Nowhere, Primes64, Composites64 };

Recorded WhereRecorded(const PrimeEngine& engine, std::uint64_t a) {
    const bool prime = engine.m_setPrimes64.contains(a);
    const bool composite = engine.m_setComposites64.contains(a);
    EXPECT_FALSE(prime && composite) << a << " is in both sets";
    if (prime)
        return Recorded::Primes64;
    if (composite)
        return Recorded::Composites64;
    return Recorded::Nowhere;
}

struct Case64 {
    std::uint64_t a;
    long expected;
    Recorded recorded;
};

// Cases that both 64-bit tests answer alike (trial division only below 2^63 - 1).
const Case64 kCommonCases[] = {
    {0, 0, Recorded::Composites64},
    {1, 0, Recorded::Composites64},
    {2, 1, Recorded::Nowhere},
    {3, 1, Recorded::Nowhere},
    {4, 0, Recorded::Composites64},
    {9, 0, Recorded::Composites64},
    {6'999'997, 1, Recorded::Nowhere},
    {6'999'999, 0, Recorded::Composites64},
    {7'000'001, 0, Recorded::Composites64},  // 197 x 35,533
    {7'000'003, 1, Recorded::Primes64},
    {1'000'000'007, 1, Recorded::Primes64},
    {56'052'361, 0, Recorded::Composites64},  // 211 x 421 x 631, a Carmichael number
    {4'611'686'014'132'420'609ull, 0, Recorded::Composites64},  // 2147483647^2
    {9'223'372'036'854'775'806ull, 0, Recorded::Composites64},  // even
};

TEST(PrimeEngine, AKSAnswersAndRecords) {
    auto engine = NewEngine();
    for (const Case64& c : kCommonCases) {
        EXPECT_EQ(engine->IsPrimeAKS64(c.a, ZZOf(c.a)), c.expected) << c.a;
        EXPECT_EQ(WhereRecorded(*engine, c.a), c.recorded) << c.a;
    }
    const Case64 aks_only[] = {
        {14'348'907, 0, Recorded::Composites64},                // 3^15
        {2'305'843'009'213'693'951ull, 1, Recorded::Primes64},  // 2^61 - 1
        {kMaxInt64, 0, Recorded::Composites64},                 // 7^2 x 73 x ...
    };
    for (const Case64& c : aks_only) {
        EXPECT_EQ(engine->IsPrimeAKS64(c.a, ZZOf(c.a)), c.expected) << c.a;
        EXPECT_EQ(WhereRecorded(*engine, c.a), c.recorded) << c.a;
    }
    EXPECT_TRUE(engine->m_setPrimesZZ.empty());
    EXPECT_TRUE(engine->m_setCompositesZZ.empty());
}

TEST(PrimeEngine, TrialDivisionAnswersAndRecords) {
    auto engine = NewEngine();
    for (const Case64& c : kCommonCases) {
        EXPECT_EQ(engine->IsPrimeTrialDivision64(c.a), c.expected) << c.a;
        EXPECT_EQ(WhereRecorded(*engine, c.a), c.recorded) << c.a;
    }
    EXPECT_TRUE(engine->m_setPrimesZZ.empty());
    EXPECT_TRUE(engine->m_setCompositesZZ.empty());
}

TEST(PrimeEngine, WithoutTheSieveSmallValuesAreComputedAndStillNotRecordedWhenPrime) {
    auto engine = NewEngine(false);
    EXPECT_EQ(engine->IsPrimeTrialDivision64(6'999'997), 1);
    EXPECT_EQ(engine->IsPrimeTrialDivision64(25), 0);
    EXPECT_EQ(engine->IsPrimeTrialDivision64(5), 1);
    EXPECT_TRUE(engine->m_setPrimes64.empty());
    EXPECT_TRUE(engine->m_setComposites64.contains(25));
    EXPECT_FALSE(engine->m_bSieveBuilt);
}

TEST(PrimeEngine, CachedValuesAreTrustedAndRecordedAgain) {
    // A planted answer is returned as it stands: the caches are looked up before computing.
    auto engine = NewEngine();
    const std::uint64_t composite = 7'000'001, prime = 7'000'003;
    engine->Cache64(engine->m_setPrimes64, composite);
    engine->Cache64(engine->m_setComposites64, prime);
    EXPECT_EQ(engine->IsPrimeAKS64(composite, ZZOf(composite)), 1);
    EXPECT_EQ(engine->IsPrimeTrialDivision64(prime), 0);

    // A hit is recorded again, so a full set is evicted by it.
    for (std::uint64_t v = 7'000'005; engine->m_setPrimes64.size() < 701; v += 2)
        engine->Cache64(engine->m_setPrimes64, v);
    EXPECT_EQ(engine->IsPrimeTrialDivision64(composite), 1);
    EXPECT_EQ(engine->m_setPrimes64.size(), 102u);
    EXPECT_EQ(*engine->m_setPrimes64.begin(), composite);
}

TEST(PrimeEngine, BigTrialDivision) {
    struct Case {
        const char* n;
        long expected;
    };
    const Case cases[] = {
        {"9223372036854775807", 0},   // divisor 7
        {"9223372036854775808", 0},   // even
        {"9223372036854775809", 0},   // divisor 3
        {"27670116110564327421", 0},  // 3 x (2^63 - 1)
        {"1000006000009", 0},         // 1000003^2: the loop reaches the square root itself
        {"25", 0},
        {"49", 0},  // the exact square root is a divisor
        {"5", 1},
        {"1000000007", 1},
    };
    auto engine = NewEngine();
    for (const Case& c : cases) {
        EXPECT_EQ(engine->IsPrimeTrialDivisionZZ(NTL::conv<NTL::ZZ>(c.n)), c.expected) << c.n;
    }
    EXPECT_TRUE(engine->m_setPrimesZZ.empty()) << "the caller records";
    EXPECT_TRUE(engine->m_setCompositesZZ.empty());
    EXPECT_TRUE(engine->m_setComposites64.empty());
}

}  // namespace
