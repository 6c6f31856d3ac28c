#include "server/engine/prime_caches.h"

#include <iterator>

namespace {

// A full set drops its smallest elements before every insertion, the re-insertion of a
// present value included, so it keeps the largest values and stays bounded.
template <class Set, class Value>
void RecordBounded(Set& target, const Value& value) {
    if (target.size() >= PrimeCaches::kCacheCapacity) {
        target.erase(target.begin(), std::next(target.begin(), PrimeCaches::kEvictedOnFull));
    }
    target.insert(value);
}

}  // namespace

PrimeCaches::PrimeCaches() {
    NTL::conv(m_zzMaxInt64, "9223372036854775807");
}

void PrimeCaches::BuildSieve() {
    if (m_bSieveBuilt)
        return;
    std::vector<bool> sieve(kSieveLimit + 1, true);
    sieve[0] = false;
    sieve[1] = false;
    for (std::size_t a = 2; a * a <= kSieveLimit; ++a) {
        if (!sieve[a])
            continue;
        for (std::size_t multiple = 2 * a; multiple <= kSieveLimit; multiple += a)
            sieve[multiple] = false;
    }
    m_sieve = std::move(sieve);
    m_bSieveBuilt = true;
}

void PrimeCaches::Cache64(Set64& target, std::uint64_t value) {
    RecordBounded(target, value);
}

void PrimeCaches::CacheZZ(const NTL::ZZ& value, long bPrime) {
    RecordBounded(bPrime != 0 ? m_setPrimesZZ : m_setCompositesZZ, value);
}
