#pragma once
// The AKS-based primality test for values up to 2^63 - 1: a perfect-power test, then the
// congruences (X + j)^n = X^n + j in (Z/nZ)[X]/(X^3 - 1) for j = 1..K.
//
// With the modulus fixed at X^3 - 1 the congruences alone are not a proof: every Carmichael
// number whose prime factors are all 1 mod 3 satisfies them (56052361 = 211 x 421 x 631).
// So a value that passes is confirmed by a test that is exact below 2^64 before it is
// called prime.
#include <NTL/ZZ.h>

#include <cstdint>

// 1 when `a` is a perfect power a = c^b with b >= 2 (tested in doubles, as the congruence
// test needs it), else 0.
long IsPerfectPower64(std::uint64_t a);

// The perfect-power test and the K congruences, without the confirmation: 1 when `a` is no
// perfect power and satisfies every congruence. `a` and `n` are the same value, at least 2.
// Leaves the calling thread's ZZ_p modulus set to n.
long AKSCongruencesHold(std::uint64_t a, const NTL::ZZ& n);

// GMP's Baillie-PSW test: exact for every value below 2^64. 1 when `a` is prime.
long ConfirmPrime64(std::uint64_t a);

// 1 when `a` (equal to `n`, at least 2, at most 2^63 - 1) is prime, else 0: the congruence
// test, and for a value that passes it, the confirmation. Uses no cache; leaves the calling
// thread's ZZ_p modulus set to n.
long AKSTest(std::uint64_t a, const NTL::ZZ& n);
