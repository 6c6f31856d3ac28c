#include "server/goldbach/goldbach_search.h"

#include <gmp.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <deque>
#include <future>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "server/engine/decimal_value.h"
#include "server/engine/mpz.h"
#include "server/engine/multi_lane_powm.h"
#include "server/engine/strong_lucas.h"
#include "server/goldbach/candidate_sieve.h"
#include "server/goldbach/worker_pool.h"
#include "server/interface/call_cancelled.h"
#include "server/interface/call_progress.h"
#include "server/interface/trace_log.h"

namespace {

// GMP 6.2 runs Baillie-PSW and then (reps - 24) Miller-Rabin rounds.
constexpr int kConfirmationReps = 24;

// Workers in flight at once: all of a batch when it is small (the default 130 per core is),
// otherwise enough to keep every pool thread busy while the collector waits in launch
// order. Bounds the memory of a huge batch without changing the answer.
std::size_t MaxInFlight(std::size_t poolThreads) {
    return std::max<std::size_t>(4096, 64 * poolThreads);
}

// What every worker of one search reads: set up before the first launch and not written
// until the last worker has been waited for, so the workers share it without locks (and n
// is never copied per worker).
struct SearchInputs {
    const NTL::ZZ& n;
    long numTrials;
    CandidateSieve& sieve;
};

// One launched worker: a group of consecutive candidates, tested together so that their
// base-2 witnesses share the IFMA lanes. Shared with its task: `stop` (atomic; stored only by
// the search), `result` and `confirmed` (written only by the task, read by the search only
// after `done` delivered); `candidates` are written before the task is queued and only read
// after.
struct LaunchedWorker {
    std::vector<NTL::ZZ> candidates;  // small: candidates never get far from 3
    std::atomic<bool> stop{false};
    GoldbachPair result;
    bool confirmed = false;
    std::future<long> done;
};

// Baillie-PSW for a number that has passed the worker's base-2 strong test: its strong Lucas
// half, or GMP's whole (and exact) test where that costs nothing.
bool ConfirmAfterBase2(const NTL::ZZ& value, const std::atomic<bool>& stop) {
    if (NTL::NumBits(value) <= 64)
        return IsConfirmedPrime(value);
    return IsStrongLucasProbablePrime(value, stop);
}

// A worker's task: its candidates, less those the sieve has ruled out since they were
// launched, unless the search has stopped it. The smallest candidate whose pair passes is
// confirmed at once, alongside the other workers, rather than by the collector alone after
// them; when its confirmation fails, the next one that passed is, and so on.
long RunWorker(const SearchInputs& inputs, LaunchedWorker& worker) {
    if (worker.stop.load())
        return 1;  // stopped before it started: a cancelled search empties its queue at once
    std::vector<NTL::ZZ> viable;
    std::vector<long> freeBelow;
    for (const NTL::ZZ& candidate : worker.candidates) {
        long bound = 0;
        if (!inputs.sieve.StillViable(candidate, &bound))
            continue;  // proven useless since it was launched
        viable.push_back(candidate);
        freeBelow.push_back(bound);
    }
    std::vector<bool> passes;
    if (!GoldbachGroupWorker(inputs.numTrials, viable, freeBelow, inputs.n, passes, worker.stop))
        return 1;
    for (std::size_t i = 0; i < viable.size(); ++i) {
        if (!passes[i])
            continue;
        GoldbachPair pair{viable[i], inputs.n - viable[i]};
        if (ConfirmAfterBase2(pair.first, worker.stop) &&
            ConfirmAfterBase2(pair.second, worker.stop)) {
            worker.result = std::move(pair);
            worker.confirmed = true;
            return 0;
        }
        if (worker.stop.load())
            return 1;
    }
    return 1;
}

// The launched, not yet collected workers of one batch, in launch order. However the batch
// ends, its destructor stops and waits for every worker still listed, so no task is left
// running with references into it or into the inputs.
class Batch {
  public:
    Batch(WorkerPool& pool, const SearchInputs& inputs) : m_pool(pool), m_inputs(inputs) {}
    ~Batch() { StopAndWaitAll(); }
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;

    void Launch(std::vector<NTL::ZZ>&& candidates) {
        LaunchedWorker& worker = m_workers.emplace_back();
        worker.candidates = std::move(candidates);
        try {
            worker.done = m_pool.Submit(
                [&inputs = m_inputs, &worker]() -> long { return RunWorker(inputs, worker); });
        } catch (...) {
            m_workers.pop_back();  // never queued
            throw;
        }
    }

    bool Empty() const noexcept { return m_workers.empty(); }
    std::size_t Size() const noexcept { return m_workers.size(); }
    LaunchedWorker& Front() noexcept { return m_workers.front(); }
    void PopFront() noexcept { m_workers.pop_front(); }

    // Raises the stop flags of all listed workers, in launch order, then waits for each.
    void StopAndWaitAll() noexcept {
        for (LaunchedWorker& worker : m_workers)
            worker.stop.store(true);
        for (LaunchedWorker& worker : m_workers)
            if (worker.done.valid())
                worker.done.wait();
        m_workers.clear();
    }

  private:
    WorkerPool& m_pool;
    const SearchInputs& m_inputs;
    std::deque<LaunchedWorker> m_workers;
};

// True when the oldest listed worker has ended with a confirmed pair: the answer is decided,
// and launching more would only give the stop something to wait for. (`confirmed` is set only
// with a found pair, and a ready future makes the task's writes visible.)
bool FrontIsTheWinner(Batch& batch) {
    if (batch.Empty())
        return false;
    LaunchedWorker& front = batch.Front();
    return front.done.wait_for(std::chrono::seconds(0)) == std::future_status::ready &&
           front.confirmed;
}

// When the sieve's deeper residues start. They cost about 0.1 s of a processor at 1,000-2,000
// digits and spare about a seventh of the exponentiations still ahead. In GMP that pays in any
// search of CandidateSieve::kDeepAfter. In the lanes, where an exponentiation costs a sixth to
// an eighth as much, it pays from kLanesPayFromBits (about 1,500 digits; measured at 2,000: 16
// of 99 spared, 0.2 s; at 1,000: 8 of 61, 18 ms), and then in a search that has run
// kLanesDeepAfter; below, only in an unusually long one (kLanesShortNDeepAfter).
constexpr long kLanesPayFromBits = 5000;
constexpr std::chrono::milliseconds kLanesDeepAfter{100};
constexpr std::chrono::milliseconds kLanesShortNDeepAfter{1000};

std::chrono::milliseconds DeepResiduesAfter(bool lanes, long bits) {
    if (!lanes)
        return CandidateSieve::kDeepAfter;
    return bits >= kLanesPayFromBits ? kLanesDeepAfter : kLanesShortNDeepAfter;
}

// How often a collector that waits for a worker looks at the call's stop token.
constexpr std::chrono::milliseconds kStopPollInterval{20};

// How far the search has come, told from the collector's thread (the method's): candidates
// collected in launch order, the one being waited for, and an estimate of how many it takes.
// Hardy-Littlewood: a prime p gives a pair with probability about 2 C2 prod_{q | n, q odd
// prime} (q - 1) / (q - 2) / ln n. The candidates the search tests have passed the sieve up to
// B (p and n - p free of odd primes below B, so small p are prime): conditioned on that, each
// odd q < B contributes q / (q - 1) whether or not it divides n (the C2 and n's factors cancel
// against the sieve), beyond B nearly 1, so a candidate gives a pair with probability about
// (2 / ln n) prod_{3 <= q < B} q / (q - 1), by Mertens e^gamma ln B / ln n. The deeper
// residues raise B while the search runs, and the estimate with it.
class SearchProgress {
  public:
    SearchProgress(const NTL::ZZ& n, const CandidateSieve& sieve)
        : m_lnN(NTL::log(n)), m_sieve(sieve) {
        if (ProgressReport::Active())
            ProgressReport::Begin("Goldbach pair search", "candidates", Expected());
    }

    void Collected(const LaunchedWorker& worker) {
        m_tested += static_cast<double>(worker.candidates.size());
    }

    void Waiting(const LaunchedWorker& worker) const {
        ProgressReport::Advance(m_tested, Expected(), [&worker] {
            return worker.candidates.empty() ? std::string() : DecimalText(worker.candidates[0]);
        });
    }

  private:
    double Expected() const {
        constexpr double kEulerGammaExp = 1.7810724179901979;  // e^gamma
        const double lnB = std::log(static_cast<double>(m_sieve.SievedBelow()));
        const double perCandidate = std::min(1.0, kEulerGammaExp * lnB / m_lnN);
        const double total = 1.0 / perCandidate;
        // Past the estimate without a pair, the search is as far from one as at its start.
        return m_tested < total ? total : m_tested + total;
    }

    double m_lnN;
    const CandidateSieve& m_sieve;
    double m_tested = 0;
};

// The result of `worker`, rethrowing what escaped it. Raises CallCancelled when the call's
// token fires first; the batch's destructor then stops and waits for every worker.
long Collect(LaunchedWorker& worker, const std::stop_token& stop, SearchProgress& progress) {
    ThrowIfCancelled(stop);
    progress.Waiting(worker);
    ThrowIfCancelled(stop);
    if (stop.stop_possible()) {
        while (worker.done.wait_for(kStopPollInterval) != std::future_status::ready) {
            ThrowIfCancelled(stop);
            progress.Waiting(worker);
            ThrowIfCancelled(stop);  // a handler may have asked to stop
        }
    }
    progress.Collected(worker);
    return worker.done.get();
}

std::size_t PoolSizeFor(const GoldbachSearch& search, std::uint64_t workersPerBatch) {
    std::size_t threads = search.poolThreads != 0 ? search.poolThreads : WorkerPool::MachineSize();
    // No more threads than workers can ever run at once.
    NTL::ZZ candidates = (search.largestCandidate - search.firstCandidate) / 2 + 1;
    if (candidates < NTL::ZZ(threads))
        threads = NTL::conv<long>(candidates);
    if (workersPerBatch < threads)
        threads = static_cast<std::size_t>(workersPerBatch);
    return std::max<std::size_t>(threads, 1);
}

}  // namespace

bool IsConfirmedPrime(const NTL::ZZ& value) {
    if (value < 2)
        return false;
    const MpzView view(value);
    return mpz_probab_prime_p(view.value, kConfirmationReps) != 0;
}

std::optional<GoldbachPair> SearchGoldbachPair(const GoldbachSearch& search) {
    if (search.largestCandidate < search.firstCandidate)
        return std::nullopt;
    const NTL::ZZ& n = *search.n;
    const std::uint64_t workersPerBatch = std::max<std::uint64_t>(search.workersPerBatch, 1);
    WorkerPool pool(PoolSizeFor(search, workersPerBatch));
    const std::size_t maxInFlight = MaxInFlight(pool.Size());

    // A batch of W workers is a window that slides in launch order: when the oldest worker
    // has been collected, the next candidate is launched at once, so the pool never idles at
    // a batch boundary. Collection stays in launch order, so the answer is the smallest
    // candidate whatever the timing, and a winner still stops and waits for every later
    // worker.
    const std::size_t window =
        static_cast<std::size_t>(std::min<std::uint64_t>(workersPerBatch, maxInFlight));
    // The window's candidates go out in groups of consecutive ones, eight where the lanes
    // take n (one exponentiation in the lanes costs about what one costs in GMP), while
    // every pool thread keeps a group of its own; one at a time where they do not. A group is
    // formed at once (the sieve hands out candidates far faster than they are tested), so no
    // candidate ever waits for a group to fill.
    const bool lanes = LanesTake(NTL::NumBits(n));
    const std::size_t groupSize =
        lanes ? std::clamp<std::size_t>(window / pool.Size(), 1, kPowmLanes) : 1;
    const std::size_t windowGroups = (window + groupSize - 1) / groupSize;
    // A short search never shares the processors with the deeper residues (DeepResiduesAfter).
    CandidateSieve sieve(n, search.firstCandidate, search.largestCandidate,
                         DeepResiduesAfter(lanes, NTL::NumBits(n)), search.stop);
    const SearchInputs inputs{n, search.numTrials, sieve};
    SearchProgress progress(n, sieve);
    NTL::ZZ candidate;
    bool more = true;  // candidates left to launch
    Batch batch(pool, inputs);
    // Tops the window up, one group at a time; stops early once the call is cancelled or the
    // oldest worker has won.
    auto fillWindow = [&] {
        while (more && batch.Size() < windowGroups) {
            ThrowIfCancelled(search.stop);
            if (FrontIsTheWinner(batch))
                return;
            std::vector<NTL::ZZ> group;
            while (group.size() < groupSize) {
                more = sieve.Next(candidate);
                if (!more)
                    break;
                group.push_back(candidate);
            }
            if (!group.empty())
                batch.Launch(std::move(group));
        }
    };

    fillWindow();
    while (!batch.Empty()) {
        LaunchedWorker& worker = batch.Front();
        long found = Collect(worker, search.stop, progress);
        if (found == 0 && worker.confirmed) {
            GoldbachPair pair = std::move(worker.result);
            TraceLog("kiv: Found P1 and P2.\n");
            TraceLog("kiv: Waiting for all running threads to exit.\n");
            batch.PopFront();
            batch.StopAndWaitAll();
            return pair;
        }
        batch.PopFront();
        fillWindow();
    }
    return std::nullopt;
}

std::uint64_t GoldbachWorkerCount(std::uint32_t cores, std::uint32_t logicalProcessors,
                                  std::uint32_t numThreadsPerCore) {
    std::uint64_t workers = cores >= 1 ? std::uint64_t{cores} * numThreadsPerCore
                                       : std::uint64_t{logicalProcessors / 2} * numThreadsPerCore;
    if (workers == 0)
        workers = numThreadsPerCore;  // a single logical processor: one core
    return workers;
}

std::optional<GoldbachPair> FindGoldbachPair(const NTL::ZZ& n, long numTrials,
                                             std::uint32_t numThreadsPerCore, std::uint32_t cores,
                                             std::size_t poolThreads, std::stop_token stop) {
    std::string line =
        "kiv: Num threads to use per core is: " + std::to_string(numThreadsPerCore) + "\n";
    TraceLog(line.c_str());

    SYSTEM_INFO systemInfo{};
    GetNativeSystemInfo(&systemInfo);
    GoldbachSearch search;
    search.workersPerBatch =
        GoldbachWorkerCount(cores, systemInfo.dwNumberOfProcessors, numThreadsPerCore);
    line = "kiv: Num workers is: " + std::to_string(search.workersPerBatch) + "\n";
    TraceLog(line.c_str());

    search.n = &n;
    search.firstCandidate = 3;
    search.largestCandidate = n / 2;
    search.numTrials = numTrials;
    search.poolThreads = poolThreads;
    search.stop = std::move(stop);
    return SearchGoldbachPair(search);
}
