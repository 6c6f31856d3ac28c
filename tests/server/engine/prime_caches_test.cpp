#include "server/engine/prime_caches.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "server/interface/ntl_errors.h"

namespace {

std::unique_ptr<PrimeCaches> NewCaches() {
    UseNtlExceptions();
    return std::make_unique<PrimeCaches>();
}

TEST(PrimeCaches, StartsEmptyWithTheLimit) {
    auto caches = NewCaches();
    EXPECT_FALSE(caches->m_bSieveBuilt);
    // A fresh object is small: the sieve's storage comes with its first build.
    EXPECT_LT(sizeof(PrimeCaches), 16u * 1024);
    EXPECT_EQ(caches->m_sieve.capacity(), 0u);
    EXPECT_TRUE(caches->m_setPrimes64.empty());
    EXPECT_TRUE(caches->m_setComposites64.empty());
    EXPECT_TRUE(caches->m_setPrimesZZ.empty());
    EXPECT_TRUE(caches->m_setCompositesZZ.empty());
    EXPECT_EQ(caches->m_zzMaxInt64, NTL::conv<NTL::ZZ>("9223372036854775807"));
}

TEST(PrimeCaches, SieveMarksExactlyThePrimes) {
    auto caches = NewCaches();
    caches->BuildSieve();
    ASSERT_TRUE(caches->m_bSieveBuilt);
    ASSERT_EQ(caches->m_sieve.size(), 7'000'001u);
    struct Bit {
        std::size_t index;
        bool set;
    };
    const Bit bits[] = {
        {0, false},        {1, false},         {2, true},          {3, true},
        {4, false},        {5, true},          {6, false},         {7, true},
        {9, false},        {25, false},        {49, false},        {2645, false},
        {2647, true},      {999'983, true},    {1'000'001, false},  // 101 x 9901
        {6'999'997, true}, {6'999'999, false}, {7'000'000, false},
    };
    for (const Bit& b : bits)
        EXPECT_EQ(caches->m_sieve[b.index], b.set) << b.index;
    EXPECT_EQ(std::count(caches->m_sieve.begin(), caches->m_sieve.end(), true), 476'648);
}

TEST(PrimeCaches, SieveIsBuiltOnce) {
    auto caches = NewCaches();
    caches->BuildSieve();
    caches->m_sieve[7] = false;  // a second build would set it again
    caches->BuildSieve();
    EXPECT_FALSE(caches->m_sieve[7]);
}

// Fills `target` with first, first + 1, ..., first + count - 1.
void Fill(PrimeCaches& caches, PrimeCaches::Set64& target, std::uint64_t first, int count) {
    for (int i = 0; i < count; ++i)
        caches.Cache64(target, first + i);
}

TEST(PrimeCaches, FullSetKeepsItsLargestValuesAndTheNewOne) {
    struct Case {
        const char* what;
        std::uint64_t recorded;  // recorded into a set holding 1000..1700
        std::size_t size_after;
        std::uint64_t smallest_after;
    };
    const Case cases[] = {
        {"a new largest value", 5000, 102, 1600},
        {"a new smallest value", 7, 102, 7},
        {"the smallest element again", 1000, 102, 1000},
        {"an element among the 600 removed", 1599, 102, 1599},
        {"an element among the kept ones", 1650, 101, 1600},
    };
    for (const Case& c : cases) {
        auto caches = NewCaches();
        Fill(*caches, caches->m_setComposites64, 1000, 701);
        ASSERT_EQ(caches->m_setComposites64.size(), 701u);
        caches->Cache64(caches->m_setComposites64, c.recorded);
        const auto& set = caches->m_setComposites64;
        EXPECT_EQ(set.size(), c.size_after) << c.what;
        EXPECT_EQ(*set.begin(), c.smallest_after) << c.what;
        EXPECT_TRUE(set.contains(c.recorded)) << c.what;
        EXPECT_TRUE(set.contains(1700)) << c.what;
        EXPECT_TRUE(caches->m_setPrimes64.empty()) << c.what;
    }
}

TEST(PrimeCaches, SetsBelowCapacityOnlyGrow) {
    auto caches = NewCaches();
    Fill(*caches, caches->m_setPrimes64, 7'000'001, 700);
    caches->Cache64(caches->m_setPrimes64, 7'000'001);  // already present
    EXPECT_EQ(caches->m_setPrimes64.size(), 700u);
    caches->Cache64(caches->m_setPrimes64, 1);
    EXPECT_EQ(caches->m_setPrimes64.size(), 701u);
    EXPECT_EQ(*caches->m_setPrimes64.begin(), 1u);
}

TEST(PrimeCaches, ZZSetsAreOrderedByValueAndBoundedTheSameWay) {
    auto caches = NewCaches();
    // Values of different lengths: a textual order would put 10^30 before 9.
    const NTL::ZZ big = NTL::power_ZZ(10, 30);
    for (long i = 0; i < 701; ++i)
        caches->CacheZZ(big + i, 1);
    caches->CacheZZ(NTL::ZZ(9), 1);
    caches->CacheZZ(NTL::ZZ(9), 0);
    const auto& primes = caches->m_setPrimesZZ;
    ASSERT_EQ(primes.size(), 102u);
    EXPECT_EQ(*primes.begin(), NTL::ZZ(9));
    EXPECT_EQ(*std::next(primes.begin()), big + 600);
    EXPECT_EQ(*primes.rbegin(), big + 700);
    ASSERT_EQ(caches->m_setCompositesZZ.size(), 1u);
    EXPECT_EQ(*caches->m_setCompositesZZ.begin(), NTL::ZZ(9));
}

// Values of about a megabyte each: the count bound alone would let the sets reach 1.4 GB.
TEST(PrimeCaches, BigValueSetsStayWithinTheByteBudget) {
    const NTL::ZZ megabyte = NTL::power2_ZZ(8 << 20);
    struct Case {
        const char* what;
        long primes, composites;  // recorded, in increasing order, alternately
        std::size_t primesAfter, compositesAfter;
    };
    // 15 entries of a megabyte and some bookkeeping fit 16 MiB; 16 do not.
    const Case cases[] = {
        {"a few", 4, 3, 4, 3},
        {"more than fit, one set", 40, 0, 15, 0},
        {"more than fit, both sets: the recording set gives", 20, 20, 8, 7},
        {"one prime among many composites", 1, 15, 1, 14},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto caches = NewCaches();
        for (long i = 0; i < std::max(c.primes, c.composites); ++i) {
            if (i < c.primes)
                caches->CacheZZ(megabyte + 2 * i, 1);
            if (i < c.composites)
                caches->CacheZZ(megabyte + 2 * i + 1, 0);
            ASSERT_LE(caches->CachedZZBytes(), PrimeCaches::kCacheBytes);
        }
        EXPECT_EQ(caches->m_setPrimesZZ.size(), c.primesAfter);
        EXPECT_EQ(caches->m_setCompositesZZ.size(), c.compositesAfter);
        EXPECT_EQ(*caches->m_setPrimesZZ.rbegin(), megabyte + 2 * (c.primes - 1))
            << "the newest (largest) value is kept";
    }
    // A value larger than the whole budget is not recorded, and pushes nothing out.
    auto caches = NewCaches();
    caches->CacheZZ(NTL::ZZ(9), 1);
    caches->CacheZZ(NTL::power2_ZZ(8 * PrimeCaches::kCacheBytes), 1);
    ASSERT_EQ(caches->m_setPrimesZZ.size(), 1u);
    EXPECT_EQ(*caches->m_setPrimesZZ.begin(), NTL::ZZ(9));
}

}  // namespace
