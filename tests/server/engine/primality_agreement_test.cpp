// AKS (with its confirmation) and trial division agree: on a whole range just above the
// sieve, on a stride through the values above it, on every odd perfect power there, on random
// 40- to 63-bit values and on the Carmichael numbers that the congruences modulo X^3 - 1 let
// through. Counts known from elsewhere check both at once. Values are chosen so that trial
// division ends quickly.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "server/engine/prime_engine.h"
#include "server/interface/ntl_errors.h"
#include "tests/support/zz_values.h"

namespace {

using kivtest::ZZOf;

// The low 64 bits of n: conv<unsigned long> keeps only 32 where long is 32 bits (Win64).
std::uint64_t Low64(const NTL::ZZ& n) {
    unsigned char bytes[8];
    NTL::BytesFromZZ(bytes, n, sizeof bytes);  // least significant first
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i)
        value = value << 8 | bytes[i];
    return value;
}

// Two engines, so that neither answers from what the other has recorded.
class Agreement : public ::testing::Test {
  protected:
    void SetUp() override {
        UseNtlExceptions();
        aks_ = std::make_unique<PrimeEngine>();
        division_ = std::make_unique<PrimeEngine>();
        aks_->BuildSieve();
        division_->BuildSieve();
    }

    // Both answers for `a`, which must agree; returns the answer.
    long Compare(std::uint64_t a) {
        const long by_aks = aks_->IsPrimeAKS64(a, ZZOf(a));
        const long by_division = division_->IsPrimeTrialDivision64(a);
        EXPECT_EQ(by_aks, by_division) << a;
        return by_division;
    }

    std::unique_ptr<PrimeEngine> aks_, division_;
};

// Smallest odd divisor of odd `a` up to `limit`, or 0.
std::uint64_t SmallOddDivisor(std::uint64_t a, std::uint64_t limit) {
    for (std::uint64_t d = 3; d <= limit && d * d <= a; d += 2)
        if (a % d == 0)
            return d;
    return 0;
}

bool IsSmallPrime(std::uint64_t a) {
    return a == 2 || (a > 2 && a % 2 == 1 && SmallOddDivisor(a, a) == 0);
}

TEST_F(Agreement, OddValuesAboveTheSieve) {
    // Every one just above the sieve, where the 64-bit paths take over.
    long primes = 0;
    for (std::uint64_t a = 7'000'001; a <= 7'003'001; a += 2)
        primes += Compare(a);
    EXPECT_EQ(primes, 184);  // pi(7,003,001) - pi(7,000,000)
    // Then a stride through the next 30 million, whose step is odd, so every residue class
    // of a small divisor comes round.
    primes = 0;
    std::uint64_t last = 0;
    for (std::uint64_t k = 0; k < 1000; ++k)
        primes += Compare(last = 7'003'003 + 2 * 15'013 * k);
    EXPECT_EQ(primes, 113);
    // Every odd perfect power among them: prime squares are the values whose only divisor
    // is the last one trial division reaches, and the congruences need the power test.
    long powers = 0;
    for (std::uint64_t c = 3; c * c <= last; c += 2) {
        for (std::uint64_t power = c * c; power <= last; power *= c) {
            if (power >= 7'000'001) {
                EXPECT_EQ(Compare(power), 0) << power;
                ++powers;
            }
        }
    }
    EXPECT_EQ(powers, 1811);  // counted with repeats: 3^16 is also 9^8
}

TEST_F(Agreement, RandomValuesOf40To63Bits) {
    std::mt19937_64 random(20240601);
    auto odd_of_bits = [&](int bits) {
        const std::uint64_t top = std::uint64_t{1} << (bits - 1);
        return (top | (random() & (top - 1))) | 1;
    };
    long primes = 0, composites = 0;
    // Up to 44 bits anything goes: a prime costs at most about two million divisions.
    for (int i = 0; i < 150; ++i)
        (Compare(odd_of_bits(40 + i % 5)) != 0 ? primes : composites)++;
    // Above, only values with an odd divisor below 2^20, so trial division stops early.
    for (int kept = 0; kept < 200;) {
        const std::uint64_t a = odd_of_bits(45 + static_cast<int>(random() % 19));
        if (SmallOddDivisor(a, 1u << 20) == 0)
            continue;
        EXPECT_EQ(Compare(a), 0) << a;
        ++kept;
    }
    // Semiprimes p x q with a small prime p: the hardest composites for a Fermat-like test
    // among random ones, and still quick to divide.
    for (int kept = 0; kept < 100;) {
        const std::uint64_t p = 3 + 2 * (random() % 50'000);
        if (!IsSmallPrime(p))
            continue;
        const int bits = 40 + static_cast<int>(random() % 24);
        const NTL::ZZ q = NTL::NextPrime(NTL::RandomBits_ZZ(bits - NTL::NumBits(NTL::ZZ(p))));
        const NTL::ZZ n = q * p;
        if (NTL::NumBits(n) > 63 || NTL::NumBits(n) < 40)
            continue;
        EXPECT_EQ(Compare(Low64(n)), 0) << n;
        ++kept;
    }
    EXPECT_GT(primes, 0);
    EXPECT_GT(composites, 0);
}

// Chernick numbers (6k + 1)(12k + 1)(18k + 1) with three prime factors are Carmichael
// numbers whose factors are all 1 mod 3: the congruences hold for them.
std::vector<std::uint64_t> ChernickNumbers() {
    std::vector<std::uint64_t> found;
    for (std::uint64_t k = 1;; ++k) {
        const unsigned __int128 n =
            static_cast<unsigned __int128>((6 * k + 1) * (12 * k + 1)) * (18 * k + 1);
        if (n > INT64_MAX)
            break;
        const auto first = static_cast<long>(6 * k + 1);  // below 2^31 throughout
        if (n > 7'000'000 && NTL::ProbPrime(first) && NTL::ProbPrime(2 * first - 1) &&
            NTL::ProbPrime(3 * first - 2))
            found.push_back(static_cast<std::uint64_t>(n));
    }
    return found;
}

TEST_F(Agreement, CarmichaelNumbersWithFactorsOneModThree) {
    const std::vector<std::uint64_t> values = ChernickNumbers();
    ASSERT_EQ(values.size(), 1394u);
    EXPECT_EQ(values.front(), 56'052'361u);  // 211 x 421 x 631, k = 35
    // The smallest ones, a stride through the rest and the largest: the congruences admit
    // each of them, so each is a test of the confirmation.
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i < 8 || i % 61 == 0 || i + 4 >= values.size()) {
            EXPECT_EQ(Compare(values[i]), 0) << values[i];
        }
    }
}

}  // namespace
