// PrimeEngine's trial division by the odd numbers 3, 5, 7, ... up to the square root,
// 64-bit and big.
#include <cmath>

#include "server/engine/prime_engine.h"

long PrimeEngine::IsPrimeTrialDivision64(std::uint64_t a) {
    long bPrime = 0;
    if (a < 2) {
        bPrime = 0;
    } else if (a < 4) {
        bPrime = 1;
    } else if (a % 2 == 0) {
        bPrime = 0;
    } else if (m_bSieveBuilt && a <= kSieveLimit) {
        bPrime = m_sieve.test(a) ? 1 : 0;
    } else if (m_setPrimes64.contains(a)) {
        bPrime = 1;
    } else if (m_setComposites64.contains(a)) {
        bPrime = 0;
    } else {
        // The double square root is never below floor(sqrt(a)) for a < 2^63; at worst it
        // adds one divisor. One hardware division per candidate.
        const auto bound = static_cast<std::uint64_t>(std::sqrt(static_cast<double>(a))) + 1;
        bPrime = 1;
        for (std::uint64_t i = 3; i < bound; i += 2) {
            if (a % i == 0) {
                bPrime = 0;
                break;
            }
        }
    }
    return RecordAnswer64(a, bPrime);
}

long PrimeEngine::IsPrimeTrialDivisionZZ(const NTL::ZZ& n) {
    if (m_setPrimesZZ.contains(n))
        return 1;
    if (m_setCompositesZZ.contains(n))
        return 0;
    if (!NTL::IsOdd(n))
        return 0;
    const NTL::ZZ bound = NTL::SqrRoot(n) + 1;
    NTL::ZZ remainder;
    for (NTL::ZZ i(3); i < bound; i += 2) {
        NTL::rem(remainder, n, i);
        if (NTL::IsZero(remainder))
            return 0;
    }
    return 1;
}
