#pragma once
// The Rabin-Miller test of NTL's ProbPrime and MillerWitness, step for step, with a stop flag
// read between the steps: once it reads true the test gives up and answers 0. Without a stop
// request the answers, and the random witnesses drawn from the calling thread's NTL stream,
// are exactly those of ProbPrime(n, numTrials).
#include <NTL/ZZ.h>

#include <atomic>

// 1 for a probable prime; 0 for a composite, for n <= 1, or once `stop` was seen true. The
// fixed witness 2 is tried besides the numTrials random ones (a negative count counts as 0).
// `freeBelow`: the caller knows that no prime below it divides n (a sieve did that trial
// division already), so it is not repeated; the answer is the same.
long ProbPrimeStoppable(const NTL::ZZ& n, const std::atomic<bool>& stop, long numTrials,
                        long freeBelow = 0);
// The single-precision form; numbers from NTL_SP_BOUND on go to the form above.
long ProbPrimeStoppable(long n, const std::atomic<bool>& stop, long numTrials);

// The steps of the first form for n >= NTL_SP_BOUND, for callers that run the base-2 witness
// of several numbers at once (StrongProbablePrimesBase2): the trial division (true when no
// prime below the bound divides n; false once `stop` was seen true), and the numTrials random
// witnesses after the fixed one (1 when none proves n composite; 0 once `stop` was seen true).
bool PassesTrialDivisionStoppable(const NTL::ZZ& n, const std::atomic<bool>& stop,
                                  long freeBelow = 0);
long RandomTrialsStoppable(const NTL::ZZ& n, const std::atomic<bool>& stop, long numTrials);

// 1 when x proves the odd number n composite, as NTL's MillerWitness. Once it has seen
// `stop` true its answer means nothing; the caller reads the flag and discards it.
long MillerWitnessStoppable(const NTL::ZZ& n, const NTL::ZZ& x, const std::atomic<bool>& stop);
