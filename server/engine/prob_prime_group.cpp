#include "server/engine/prob_prime_group.h"

#include <algorithm>
#include <cstddef>

#include "server/engine/multi_lane_powm.h"
#include "server/engine/prob_prime_stoppable.h"

namespace {

// The base-2 witness of numbers[i] for every i in `pending`, at most kPowmLanes of them:
// verdicts[i] true when it passes. False once `stop` was seen true.
bool Base2Witnesses(std::span<const NTL::ZZ> numbers, std::span<const std::size_t> pending,
                    const std::atomic<bool>& stop, std::vector<bool>& verdicts) {
    long bits = 0;
    for (std::size_t i : pending)
        bits = std::max(bits, NTL::NumBits(numbers[i]));
    if (pending.size() == 1 || !LanesTake(bits)) {
        for (std::size_t i : pending) {
            const long witness = MillerWitnessStoppable(numbers[i], NTL::ZZ(2), stop);
            if (stop.load())
                return false;
            verdicts[i] = witness == 0;
        }
        return true;
    }
    // Copies, so that the lanes get them side by side: numbers the lanes take are short.
    std::vector<NTL::ZZ> group;
    for (std::size_t i : pending)
        group.push_back(numbers[i]);
    std::vector<bool> passed;
    if (!StrongProbablePrimesBase2(group, passed, stop))
        return false;
    for (std::size_t k = 0; k < pending.size(); ++k)
        verdicts[pending[k]] = passed[k];
    return true;
}

}  // namespace

bool ProbPrimesStoppable(std::span<const NTL::ZZ> numbers, std::span<const long> freeBelow,
                         const std::atomic<bool>& stop, long numTrials,
                         std::vector<bool>& verdicts) {
    numTrials = std::max(numTrials, 0L);
    verdicts.assign(numbers.size(), false);
    std::vector<std::size_t> pending;  // past their trial division, waiting for base 2
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        const NTL::ZZ& n = numbers[i];
        if (n < NTL_SP_BOUND) {
            verdicts[i] = ProbPrimeStoppable(n, stop, numTrials) == 1;  // n <= 1 included
        } else if (PassesTrialDivisionStoppable(n, stop, freeBelow.empty() ? 0 : freeBelow[i])) {
            pending.push_back(i);
        }
        if (stop.load())
            return false;
    }
    for (std::size_t first = 0; first < pending.size(); first += kPowmLanes) {
        const std::size_t count = std::min<std::size_t>(kPowmLanes, pending.size() - first);
        if (!Base2Witnesses(numbers, std::span(pending).subspan(first, count), stop, verdicts))
            return false;
    }
    for (std::size_t i : pending) {
        if (verdicts[i])
            verdicts[i] = RandomTrialsStoppable(numbers[i], stop, numTrials) == 1;
        if (stop.load())
            return false;
    }
    return true;
}
