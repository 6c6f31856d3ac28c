#pragma once
// GoldbachWorker: tests candidates p of the pair search of n, one or a group at once.
#include <NTL/ZZ.h>

#include <atomic>
#include <span>
#include <vector>

// A Goldbach pair first + second = n, first <= second; also a worker's result slot.
struct GoldbachPair {
    NTL::ZZ first;
    NTL::ZZ second;
};

// passes[i]: p_i and n - p_i both pass ProbPrimeStoppable with numTrials, for candidates of
// any count; the base-2 witnesses of the p_i, then of the n - p_i whose p_i passed, run up to
// eight at a time (ProbPrimesStoppable). False once `stop` was seen true (the verdicts are
// then unspecified). Only reads `stop`: stopping is the search's business. `freeBelow`, empty
// or one per candidate: no prime below it divides n - p_i (the candidate sieve has seen to
// it), so n - p_i's trial division starts there.
bool GoldbachGroupWorker(long numTrials, std::span<const NTL::ZZ> ps,
                         std::span<const long> freeBelow, const NTL::ZZ& n,
                         std::vector<bool>& passes, const std::atomic<bool>& stop);

// 0 when p and n - p both pass ProbPrimeStoppable with numTrials and `result` now holds
// (p, n - p); 1 when either fails or `stop` was seen true, `result` then left as it was.
long GoldbachWorker(long numTrials, const NTL::ZZ& p, const NTL::ZZ& n, GoldbachPair& result,
                    const std::atomic<bool>& stop, long freeBelow = 0);
