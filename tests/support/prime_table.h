#pragma once
// The primes up to a limit as a table, from NTL's prime sequence: the reference the search
// and sieve tests compare with, made without the code they test.
#include <NTL/ZZ.h>

#include <cstddef>
#include <vector>

namespace kivtest {

// table[i] is true exactly when i is prime, for i <= limit (below NTL_SP_BOUND).
inline std::vector<bool> PrimeTable(long limit) {
    std::vector<bool> table(static_cast<std::size_t>(limit) + 1, false);
    NTL::PrimeSeq primes;
    for (long p = primes.next(); p != 0 && p <= limit; p = primes.next())
        table[static_cast<std::size_t>(p)] = true;
    return table;
}

}  // namespace kivtest
