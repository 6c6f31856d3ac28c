#pragma once
// PrimeCaches: what one Prime object has learnt about primality. A sieve over 0..7,000,000
// built on first need, four bounded ordered sets of values already judged (64-bit values and
// big values kept apart) and the largest value the 64-bit paths accept. Every set holds at
// most 701 values; the two sets of big values together also hold at most 16 MiB, so an
// object fed numbers of millions of digits stays as small as one fed small ones.
//
// The object lives in a single-threaded apartment: one thread touches it at a time, so
// nothing here is locked. The sieve's 875 KB are allocated by its first build, so an object
// that never needs it stays small.
#include <NTL/ZZ.h>

#include <cstddef>
#include <cstdint>
#include <set>
#include <vector>

// Orders ZZ values numerically.
struct ZZLess {
    bool operator()(const NTL::ZZ& a, const NTL::ZZ& b) const { return NTL::compare(a, b) < 0; }
};

class PrimeCaches {
  public:
    static constexpr std::uint64_t kSieveLimit = 7'000'000;  // largest index of the sieve
    static constexpr std::size_t kCacheCapacity = 701;       // a set never holds more
    static constexpr std::size_t kEvictedOnFull = 600;       // smallest elements dropped
    // Both ZZ sets together never hold more bytes (EntryBytes); a value that alone exceeds
    // it is not recorded.
    static constexpr std::size_t kCacheBytes = std::size_t{16} << 20;

    using Set64 = std::set<std::uint64_t>;
    using SetZZ = std::set<NTL::ZZ, ZZLess>;

    PrimeCaches();
    PrimeCaches(const PrimeCaches&) = delete;
    PrimeCaches& operator=(const PrimeCaches&) = delete;

    // The primes of 0..7,000,000 as a bitset (from OddPrimesBelow); does nothing after the
    // first time. Throws std::bad_alloc when its storage cannot be had (the sieve then stays
    // unbuilt).
    void BuildSieve();
    // Records `value` in `target` (one of the two 64-bit sets), evicting first when full.
    void Cache64(Set64& target, std::uint64_t value);
    // Records `value` in m_setPrimesZZ when `bPrime` is non-zero, else in m_setCompositesZZ:
    // a full set first drops its 600 smallest values, as a 64-bit one does; then, while the
    // value does not fit the byte budget, the smallest values go, from that set first.
    void CacheZZ(const NTL::ZZ& value, long bPrime);
    // What a recorded ZZ costs: its limbs as NTL allocates them and the set's node, near
    // enough (the allocation is the size rounded up to four limbs, and a header).
    static std::size_t EntryBytes(const NTL::ZZ& value) noexcept;
    // Bytes of both ZZ sets, by EntryBytes.
    std::size_t CachedZZBytes() const noexcept { return m_zzBytes; }

    bool m_bSieveBuilt = false;
    std::vector<bool> m_sieve;  // empty until BuildSieve; then bit i set exactly when i is prime
    Set64 m_setPrimes64;        // prime values above the sieve
    Set64 m_setComposites64;    // values judged not prime, of any size
    SetZZ m_setPrimesZZ;        // by Rabin-Miller, or by trial division from 2^63 - 1
    SetZZ m_setCompositesZZ;
    NTL::ZZ m_zzMaxInt64;  // 9223372036854775807

  private:
    // Drops the smallest value of `set`, keeping m_zzBytes.
    void EraseSmallestZZ(SetZZ& set);

    std::size_t m_zzBytes = 0;  // of m_setPrimesZZ and m_setCompositesZZ; only CacheZZ adds
};
