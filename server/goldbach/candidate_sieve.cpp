#include "server/goldbach/candidate_sieve.h"

#include <gmp.h>

#include <algorithm>
#include <chrono>
#include <limits>

#include "server/engine/mpz.h"
#include "server/engine/odd_primes.h"

namespace {

// Odd candidates per segment: enough to spread the cost of a pass over every residue.
constexpr std::uint64_t kSegment = 1 << 15;
// Candidates from here on are handed out unsieved (a search never gets that far in practice;
// below it every product in SieveSegment fits 64 bits).
constexpr std::uint64_t kSieveLimit = std::uint64_t{1} << 62;
// Numbers per block of the residue thread, between two looks at its stop token.
constexpr std::uint32_t kBlock = 1 << 16;
// Limbs of n divided between two looks at a stop token: some milliseconds, whatever the size
// of n (a fixed count of divisions took half a second for an n of ten million digits).
constexpr std::size_t kLimbsPerStopCheck = std::size_t{1} << 22;

// A value from 0 to 2^64 - 1 and back, through its bytes: NTL's conversions to and from
// `unsigned long` hold 32 bits where long does (Win64).
std::uint64_t ToUint64(const NTL::ZZ& n) {
    unsigned char bytes[8] = {};
    NTL::BytesFromZZ(bytes, n, sizeof bytes);  // least significant first
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i)
        value = value << 8 | bytes[i];
    return value;
}

void SetUint64(NTL::ZZ& n, std::uint64_t value) {
    unsigned char bytes[8];
    for (unsigned char& byte : bytes) {
        byte = static_cast<unsigned char>(value & 0xFF);
        value >>= 8;
    }
    NTL::ZZFromBytes(n, bytes, sizeof bytes);
}

NTL::ZZ ZZOf(std::uint64_t value) {
    NTL::ZZ n;
    SetUint64(n, value);
    return n;
}

}  // namespace

CandidateSieve::CandidateSieve(const NTL::ZZ& n, const NTL::ZZ& first, const NTL::ZZ& largest,
                               std::chrono::milliseconds deepAfter, const std::stop_token& stop)
    : m_n(n),
      m_largest(largest),
      m_smallN(n < NTL::conv<NTL::ZZ>("9223372036854775807")),
      m_residues(std::make_unique_for_overwrite<Residue[]>(kDeepPrimes)) {
    if (m_smallN)
        m_n64 = ToUint64(n);
    const MpzView view(m_n);
    std::size_t k = 0;
    // Computed once per process: many small searches (TestKIV of few digits) each need them.
    static const std::vector<std::uint32_t> firstPrimes = OddPrimesBelow(kFirstBound);
    const std::vector<std::uint32_t>* primes = &firstPrimes;
    if (NTL::NumBits(n) >= kLargeNBits) {
        static const std::vector<std::uint32_t> largeNPrimes = OddPrimesBelow(kLargeNBound);
        primes = &largeNPrimes;
        m_firstBound = kLargeNBound;
    }
    std::size_t count = primes->size();
    if (m_smallN)  // a q above n divides neither p nor n - p, both below it
        count = std::upper_bound(primes->begin(), primes->end(), m_n64) - primes->begin();
    k += StoreResidues(view.value, primes->data(), count, &m_residues[k], stop);
    if (k < count)  // cut short: only the primes stored so far were divided out
        m_firstBound = k == 0 ? 2 : m_residues[k - 1].q + 1;
    m_ready.store(k, std::memory_order_release);

    m_done = first > largest;
    m_sieving = first >= 0 && first < ZZOf(kSieveLimit);
    m_next = first;
    if (m_done || !m_sieving)
        return;
    m_segmentFirst = ToUint64(first);
    const NTL::ZZ limit = ZZOf(kSieveLimit);
    const NTL::ZZ span = ((largest < limit ? largest : limit) - first) / 2;
    m_last = m_segmentFirst + 2 * ToUint64(span);
    SieveSegment();
    m_started = std::chrono::steady_clock::now();
    m_deepAfter = deepAfter;
}

CandidateSieve::~CandidateSieve() = default;  // the jthread asks its thread to stop and joins

std::size_t CandidateSieve::StoreResidues(mpz_srcptr n, const std::uint32_t* primes,
                                          std::size_t count, Residue* out,
                                          const std::stop_token& stop) {
    // A division of n costs the same whatever its one-word divisor: divide by the product of
    // as many primes as fit a word (four below 2^16, two or three above), then split. The word
    // is GMP's unsigned long: 64 bits here, 32 on Win64.
    constexpr std::uint64_t kWord = std::numeric_limits<unsigned long>::max();
    const std::size_t divisionsPerCheck =
        std::max<std::size_t>(1, kLimbsPerStopCheck / std::max<std::size_t>(1, mpz_size(n)));
    std::size_t i = 0;
    for (std::size_t divisions = 0; i < count; ++divisions) {
        if (divisions % divisionsPerCheck == 0 && stop.stop_requested())
            return i;
        std::size_t end = i + 1;
        std::uint64_t product = primes[i];
        while (end < count && product <= kWord / primes[end])
            product *= primes[end++];
        const std::uint64_t r = mpz_fdiv_ui(n, product);
        for (; i < end; ++i)
            out[i] = {primes[i], static_cast<std::uint32_t>(r % primes[i])};
    }
    return i;
}

void CandidateSieve::ComputeDeepResidues(std::stop_token stop) {
    const MpzView view(m_n);
    std::vector<std::uint32_t> primes;
    std::size_t k = m_ready.load(std::memory_order_relaxed);
    for (std::uint32_t from = m_firstBound + 1; from < kDeepBound && k < kDeepPrimes;
         from += kBlock) {
        if (stop.stop_requested())
            return;
        OddPrimesIn(from, std::min(from + kBlock, kDeepBound), primes);
        const std::size_t count = std::min(primes.size(), kDeepPrimes - k);
        k += StoreResidues(view.value, primes.data(), count, &m_residues[k], stop);
        m_ready.store(k, std::memory_order_release);
    }
}

void CandidateSieve::SieveSegment() {
    const std::uint64_t count = std::min(kSegment, (m_last - m_segmentFirst) / 2 + 1);
    m_out.assign(count, false);
    m_index = 0;
    m_applied = 0;
    ApplyReadyResidues();
}

void CandidateSieve::ApplyReadyResidues() {
    const std::size_t ready = m_ready.load(std::memory_order_acquire);
    // The whole segment: candidates handed out but not yet started are asked about too.
    const std::uint64_t lo = m_segmentFirst;
    const std::uint64_t count = m_out.size();
    for (std::size_t k = m_applied; k < ready; ++k) {
        const std::uint64_t q = m_residues[k].q;
        const std::uint64_t inverseOf2 = (q + 1) / 2;
        const std::uint64_t loModQ = lo % q;
        // p = lo + 2i with q | p, then with p = n (mod q), that is q | n - p.
        const std::uint64_t zeroAt = (q - loModQ) % q * inverseOf2 % q;
        const std::uint64_t nAt = (m_residues[k].r + q - loModQ) % q * inverseOf2 % q;
        for (std::uint64_t i = zeroAt; i < count; i += q)
            if (lo + 2 * i != q)  // q itself is prime
                m_out[i] = true;
        for (std::uint64_t i = nAt; i < count; i += q)
            if (!(m_smallN && m_n64 > q && lo + 2 * i == m_n64 - q))  // n - p = q is prime
                m_out[i] = true;
    }
    m_applied = ready;
}

bool CandidateSieve::StillViable(const NTL::ZZ& p, long* freeBelow) {
    if (freeBelow != nullptr)
        *freeBelow = 0;
    std::lock_guard guard(m_lock);
    if (!m_sieving || m_out.empty() || p < 0 || NTL::NumBits(p) > 62)
        return true;
    const std::uint64_t value = ToUint64(p);
    // Below 2^63, n - p may be one of the sieving primes, which the sieve lets through.
    const bool tells = freeBelow != nullptr && !m_smallN && m_applied > 0;
    if (value < m_segmentFirst || (value - m_segmentFirst) / 2 >= m_out.size()) {
        // An earlier segment's: no news about it, but every segment had the first residues.
        if (tells && value < m_segmentFirst)
            *freeBelow = m_firstBound;
        return true;
    }
    if (m_applied < m_ready.load(std::memory_order_relaxed))
        ApplyReadyResidues();
    if (tells)
        *freeBelow = m_residues[m_applied - 1].q + 1;  // the primes are applied in order
    return !m_out[(value - m_segmentFirst) / 2];
}

bool CandidateSieve::Next(NTL::ZZ& p) {
    std::lock_guard guard(m_lock);
    while (!m_done) {
        if (!m_sieving) {
            if (m_next > m_largest) {
                m_done = true;
                break;
            }
            p = m_next;
            m_next += 2;
            return true;
        }
        if (!m_residueThread.joinable() && !(m_smallN && m_n64 < kFirstBound) &&
            std::chrono::steady_clock::now() - m_started >= m_deepAfter)
            m_residueThread =
                std::jthread([this](std::stop_token stop) { ComputeDeepResidues(stop); });
        if (m_applied < m_ready.load(std::memory_order_relaxed))
            ApplyReadyResidues();
        while (m_index < m_out.size()) {
            const std::size_t i = m_index++;
            if (!m_out[i]) {
                SetUint64(p, m_segmentFirst + 2 * i);
                return true;
            }
        }
        const std::uint64_t after = m_segmentFirst + 2 * m_out.size();
        if (after <= m_last) {
            m_segmentFirst = after;
            SieveSegment();
        } else if (m_largest > ZZOf(m_last)) {
            m_sieving = false;  // past the sieve's range: the rest unsieved
            SetUint64(m_next, after);
        } else {
            m_done = true;
        }
    }
    return false;
}
