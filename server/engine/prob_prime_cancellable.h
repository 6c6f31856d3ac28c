#pragma once
// ProbPrimeCancellable: NTL's ProbPrime (trial division by small primes, the witness 2, then
// `numTrials` random witnesses) with the call's stop token read before every random witness.
// Without a stop request it answers as ProbPrime does and draws the same witnesses from
// NTL's per-thread random stream. Raises CallCancelled when the token has fired.
#include <NTL/ZZ.h>

#include <stop_token>

long ProbPrimeCancellable(const NTL::ZZ& n, long numTrials, const std::stop_token& stop);
