#include "server/engine/odd_primes.h"

#include <NTL/ZZ.h>

#include <algorithm>

void OddPrimesIn(std::uint32_t from, std::uint32_t to, std::vector<std::uint32_t>& out) {
    out.clear();
    NTL::PrimeSeq primes;
    primes.reset(std::max<long>(from, 3));
    for (long p = primes.next(); p != 0 && p < static_cast<long>(to); p = primes.next())
        out.push_back(static_cast<std::uint32_t>(p));
}

std::vector<std::uint32_t> OddPrimesBelow(std::uint32_t bound) {
    std::vector<std::uint32_t> primes;
    OddPrimesIn(3, bound, primes);
    return primes;
}
