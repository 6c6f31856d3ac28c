#include "server/goldbach/goldbach_worker.h"

#include <utility>

#include "server/engine/prob_prime_group.h"

bool GoldbachGroupWorker(long numTrials, std::span<const NTL::ZZ> ps,
                         std::span<const long> freeBelow, const NTL::ZZ& n,
                         std::vector<bool>& passes, const std::atomic<bool>& stop) {
    passes.assign(ps.size(), false);
    std::vector<bool> primeP;
    if (!ProbPrimesStoppable(ps, {}, stop, numTrials, primeP))
        return false;
    // n - p only for the p that passed: a running group holds at most eight of them.
    std::vector<NTL::ZZ> qs;
    std::vector<long> qFreeBelow;
    std::vector<std::size_t> index;
    for (std::size_t i = 0; i < ps.size(); ++i) {
        if (!primeP[i])
            continue;
        qs.push_back(n - ps[i]);
        qFreeBelow.push_back(freeBelow.empty() ? 0 : freeBelow[i]);
        index.push_back(i);
    }
    std::vector<bool> primeQ;
    if (!ProbPrimesStoppable(qs, qFreeBelow, stop, numTrials, primeQ))
        return false;
    for (std::size_t k = 0; k < qs.size(); ++k)
        passes[index[k]] = primeQ[k];
    return true;
}

long GoldbachWorker(long numTrials, const NTL::ZZ& p, const NTL::ZZ& n, GoldbachPair& result,
                    const std::atomic<bool>& stop, long freeBelow) {
    std::vector<bool> passes;
    if (!GoldbachGroupWorker(numTrials, std::span(&p, 1), std::span(&freeBelow, 1), n, passes,
                             stop) ||
        !passes[0])
        return 1;
    result.first = p;
    result.second = n - p;
    return 0;
}
