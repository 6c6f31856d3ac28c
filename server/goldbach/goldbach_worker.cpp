#include "server/goldbach/goldbach_worker.h"

#include <utility>

#include "server/engine/prob_prime_stoppable.h"

long GoldbachWorker(long numTrials, const NTL::ZZ& p, const NTL::ZZ& n, GoldbachPair& result,
                    const std::atomic<bool>& stop, long freeBelow) {
    if (ProbPrimeStoppable(p, stop, numTrials) != 1)
        return 1;
    if (stop.load())
        return 1;
    NTL::ZZ q = n - p;
    if (ProbPrimeStoppable(q, stop, numTrials, freeBelow) != 1)
        return 1;
    if (stop.load())
        return 1;
    result.first = p;
    result.second = std::move(q);
    return 0;
}
