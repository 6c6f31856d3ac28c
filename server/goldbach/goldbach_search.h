#pragma once
// The batched Goldbach pair search shared by GetGBPairUsingRM and TestKIV.
//
// The odd candidates p = first, first + 2, ... up to the largest, less those a small prime
// proves useless for p or n - p (CandidateSieve), go to GoldbachGroupWorker in
// batches of `workersPerBatch`, on a pool of threads sized to the machine: in groups of up to
// eight consecutive candidates, whose base-2 witnesses share the IFMA lanes, where the lanes
// take n (LanesTake), one by one elsewhere. Every launched
// worker has its own stop flag, result slot and future; results are collected in launch
// order, so the answer is the smallest candidate whose pair passes, however the threads are
// scheduled. A pair is confirmed with Baillie-PSW before it is accepted (a base-2 strong
// pseudoprime such as 2047 passes the 0-trial Rabin-Miller test): the worker that found it
// adds the strong Lucas test to the base-2 test it has run, while the others go on; a pair
// that fails counts as a worker that found nothing. After the winner the later workers of the
// batch are stopped and waited for. Nothing of a search outlives the call, on any path.
// When the call's stop token fires, every worker is stopped and waited for, and the search
// raises CallCancelled.
//
// Memory: every worker reads the one n and the other inputs of the call, which nobody writes
// while the search runs; a launched worker owns only its candidates (a few words each), its
// flags and its result slot, and a running one their n - p (up to eight of them only where
// the lanes take n, so n is short). So a search holds n, the sieve and (pool threads) x (the
// size of n), whatever the worker count. The window of launched workers is
// filled one launch at a time, with the stop token and the front worker read between
// launches: a cancelled or decided search launches nothing more.
#include <NTL/ZZ.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stop_token>
#include "server/goldbach/goldbach_worker.h"

struct GoldbachSearch {
    const NTL::ZZ* n = nullptr;         // the even number: the caller's, outlives the search
    NTL::ZZ firstCandidate;             // odd, usually 3
    NTL::ZZ largestCandidate;           // usually n / 2
    std::uint64_t workersPerBatch = 0;  // 0 counts as 1
    long numTrials = 0;
    std::size_t poolThreads = 0;  // 0: the machine's logical processors
    std::stop_token stop;         // the call's; fired when its caller has gone
};

// The pair, or nullopt when no candidate passes. Rethrows the first exception of a worker
// that is collected before any winner.
std::optional<GoldbachPair> SearchGoldbachPair(const GoldbachSearch& search);

// Workers per batch: cores x numThreadsPerCore, or (logical processors / 2) x
// numThreadsPerCore without a core count; when that is 0 (one logical processor), one
// core's worth, so that the search still advances.
std::uint64_t GoldbachWorkerCount(std::uint32_t cores, std::uint32_t logicalProcessors,
                                  std::uint32_t numThreadsPerCore);

// The search of n from 3 to n / 2 as the two methods run it: traces the threads per core and
// the worker count, then searches. `cores` comes from BuildSystemInfo (0 when it found none).
std::optional<GoldbachPair> FindGoldbachPair(const NTL::ZZ& n, long numTrials,
                                             std::uint32_t numThreadsPerCore, std::uint32_t cores,
                                             std::size_t poolThreads = 0,
                                             std::stop_token stop = {});

// True when `value` passes GMP's Baillie-PSW test (exact below 2^64).
bool IsConfirmedPrime(const NTL::ZZ& value);
