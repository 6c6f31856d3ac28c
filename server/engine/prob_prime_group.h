#pragma once
// ProbPrimeStoppable for several numbers at once, so that their base-2 witnesses share one
// exponentiation in the IFMA lanes: each number's trial division as there, then the fixed
// witness 2 of the numbers left, up to kPowmLanes at a time (StrongProbablePrimesBase2; a
// lone number goes to GMP, which is faster for one), then each survivor's random witnesses.
// The verdicts are ProbPrimeStoppable's.
#include <NTL/ZZ.h>

#include <atomic>
#include <span>
#include <vector>

// verdicts[i] = (ProbPrimeStoppable(numbers[i], stop, numTrials, freeBelow[i]) == 1);
// `freeBelow` is empty (0 for all) or as long as `numbers`. False once `stop` was seen true
// (the verdicts are then unspecified).
bool ProbPrimesStoppable(std::span<const NTL::ZZ> numbers, std::span<const long> freeBelow,
                         const std::atomic<bool>& stop, long numTrials,
                         std::vector<bool>& verdicts);
