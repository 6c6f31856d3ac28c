#pragma once
// CandidateSieve: the candidates p of a Goldbach search of n, in increasing order, without the
// ones a small prime q proves useless: q divides p (p != q) or q divides n - p (n - p != q).
// Such a p or n - p is composite, and a composite fails the search's confirmation, so skipping
// it never changes the answer; it only spares a worker (and, for n - p, the trial division and
// often a modular exponentiation).
//
// The residues n mod q are computed once per search: those of the first primes at once, the
// deeper ones by a thread of the sieve's own once the search has run a little while, so a short
// search never waits for them or shares the processors with them, and a long one soon sieves
// the candidates still ahead with all of them. The bounds and the wait are the tuning
// constants below, each documented there only.
#include <NTL/ZZ.h>
#include <gmp.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>
#include <vector>

class CandidateSieve {
  public:
    // The residues of the primes below kFirstBound are ready from the start.
    static constexpr std::uint32_t kFirstBound = 1u << 16;
    // From kLargeNBits bits on, the first residues go up to kLargeNBound: one exponentiation
    // of such an n outlasts them, and they strike a fifth of the candidates that the first
    // ones let through, from the first window on.
    static constexpr long kLargeNBits = 2048;
    static constexpr std::uint32_t kLargeNBound = 1u << 20;
    // Largest prime whose residue the sieve will use.
    static constexpr std::uint32_t kDeepBound = 1u << 24;
    // When the deeper residues start in a search whose exponentiations run in GMP: a search
    // still running then is worth them (measured: later costs a 1,000-digit search more
    // exponentiations than their thread takes). The search picks another wait where the IFMA
    // lanes take n (DeepResiduesAfter in goldbach_search.cpp).
    static constexpr std::chrono::milliseconds kDeepAfter{30};
    // Candidates first, first + 2, ... up to largest. `n` is read, never copied: it must
    // outlive the sieve (the search's n does). The deeper residues are started for once
    // `deepAfter` has passed at a call of Next. Once `stop` has fired, no more of the first
    // residues are computed (they take seconds for an n of millions of digits): the sieve then
    // passes more candidates, and the search that stopped ends anyway.
    CandidateSieve(const NTL::ZZ& n, const NTL::ZZ& first, const NTL::ZZ& largest,
                   std::chrono::milliseconds deepAfter = kDeepAfter,
                   const std::stop_token& stop = {});
    CandidateSieve(NTL::ZZ&& n, const NTL::ZZ& first, const NTL::ZZ& largest,
                   std::chrono::milliseconds deepAfter = kDeepAfter,
                   const std::stop_token& stop = {}) = delete;  // n would not outlive it
    ~CandidateSieve();  // stops and joins the residue thread
    CandidateSieve(const CandidateSieve&) = delete;
    CandidateSieve& operator=(const CandidateSieve&) = delete;

    // Sets `p` to the next candidate that no small prime rules out; false after the last.
    bool Next(NTL::ZZ& p);
    // False when a residue that became ready after `p` was handed out rules it out: a worker
    // asks before it starts, since a window of workers is handed its candidates long before
    // the deeper residues exist. Safe from any thread. `freeBelow`, when given, is set to a
    // bound below which no prime divides n - p (0 when the sieve cannot tell), so that the
    // worker's trial division of n - p need not repeat the sieve's.
    bool StillViable(const NTL::ZZ& p, long* freeBelow = nullptr);

    // How many residues are ready (all of them: every odd prime below kDeepBound).
    std::size_t ResiduesReady() const { return m_ready.load(std::memory_order_acquire); }
    static constexpr std::size_t kDeepPrimes = 1077870;  // pi(2^24) - 1
    // The bound below which every odd prime's residue is ready (3 when none is): what the
    // candidates still ahead are sieved with. Safe from any thread.
    std::uint32_t SievedBelow() const {
        const std::size_t ready = ResiduesReady();
        return ready == 0 ? 3 : m_residues[ready - 1].q + 1;
    }

  private:
    struct Residue {
        std::uint32_t q;
        std::uint32_t r;  // n mod q
    };
    // out[i] = {primes[i], n mod primes[i]} for i < the count returned: `count`, or fewer
    // once `stop` has fired.
    static std::size_t StoreResidues(mpz_srcptr n, const std::uint32_t* primes, std::size_t count,
                                     Residue* out, const std::stop_token& stop = {});
    void ComputeDeepResidues(std::stop_token stop);
    void SieveSegment();
    // Applies the residues that became ready since the last time to the candidates ahead.
    void ApplyReadyResidues();

    const NTL::ZZ& m_n;  // the search's, shared with its workers
    NTL::ZZ m_largest;
    bool m_smallN;                             // n < 2^63: n - p may equal some q
    std::uint32_t m_firstBound = kFirstBound;  // the primes below it are ready at once
    std::uint64_t m_n64 = 0;                   // n, when m_smallN
    // Sized once for every prime below kDeepBound and never reallocated: the residue thread
    // fills entries and publishes how many are ready; the sieving thread reads only those.
    // (Not zeroed: a short search never touches most of it.)
    std::unique_ptr<Residue[]> m_residues;
    std::atomic<std::size_t> m_ready{0};

    std::mutex m_lock;  // the segment below, shared by the search and its workers
    // The current segment: candidates m_segmentFirst + 2i, i < m_out.size(); false = keep.
    bool m_sieving;  // false once candidates pass 2^62: they go unsieved
    NTL::ZZ m_next;  // next candidate when unsieved
    std::uint64_t m_segmentFirst = 0;
    std::uint64_t m_last = 0;  // last candidate, capped
    std::vector<bool> m_out;
    std::size_t m_index = 0;
    std::size_t m_applied = 0;  // residues applied to the current segment
    bool m_done = false;
    std::chrono::steady_clock::time_point m_started;
    std::chrono::milliseconds m_deepAfter;

    std::jthread m_residueThread;  // last: it uses everything above
};
