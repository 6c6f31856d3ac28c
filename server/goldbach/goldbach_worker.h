#pragma once
// GoldbachWorker: tests one candidate p of the pair search of n.
#include <NTL/ZZ.h>

#include <atomic>

// A Goldbach pair first + second = n, first <= second; also a worker's result slot.
struct GoldbachPair {
    NTL::ZZ first;
    NTL::ZZ second;
};

// 0 when p and n - p both pass ProbPrimeStoppable with numTrials and `result` now holds
// (p, n - p); 1 when either fails or `stop` was seen true, `result` then left as it was.
// Only reads `stop`: stopping is the search's business. `freeBelow`: no prime below it
// divides n - p (the candidate sieve has seen to it), so n - p's trial division starts there.
long GoldbachWorker(long numTrials, const NTL::ZZ& p, const NTL::ZZ& n, GoldbachPair& result,
                    const std::atomic<bool>& stop, long freeBelow = 0);
