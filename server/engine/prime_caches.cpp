#include "server/engine/prime_caches.h"

#include <gmp.h>

#include <iterator>

#include "server/engine/odd_primes.h"

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
    std::vector<bool> sieve(kSieveLimit + 1, false);
    sieve[2] = true;
    for (std::uint32_t p : OddPrimesBelow(kSieveLimit + 1))
        sieve[p] = true;
    m_sieve = std::move(sieve);
    m_bSieveBuilt = true;
}

void PrimeCaches::Cache64(Set64& target, std::uint64_t value) {
    RecordBounded(target, value);
}

std::size_t PrimeCaches::EntryBytes(const NTL::ZZ& value) noexcept {
    constexpr std::size_t kNodeBytes = 64;  // tree node, the ZZ handle, allocator overhead
    const auto limbs = static_cast<std::size_t>(value.size());
    return kNodeBytes + sizeof(mp_limb_t) * ((limbs + 3) / 4 * 4 + 2);
}

void PrimeCaches::EraseSmallestZZ(SetZZ& set) {
    m_zzBytes -= EntryBytes(*set.begin());
    set.erase(set.begin());
}

void PrimeCaches::CacheZZ(const NTL::ZZ& value, long bPrime) {
    SetZZ& target = bPrime != 0 ? m_setPrimesZZ : m_setCompositesZZ;
    SetZZ& other = bPrime != 0 ? m_setCompositesZZ : m_setPrimesZZ;
    const std::size_t bytes = EntryBytes(value);
    if (bytes > kCacheBytes)
        return;  // would push out everything and still not fit
    if (target.size() >= kCacheCapacity) {
        for (std::size_t i = 0; i < kEvictedOnFull; ++i)
            EraseSmallestZZ(target);
    }
    while (m_zzBytes + bytes > kCacheBytes && !(target.empty() && other.empty()))
        EraseSmallestZZ(!target.empty() ? target : other);
    if (target.insert(value).second)
        m_zzBytes += bytes;
}
