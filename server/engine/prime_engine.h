#pragma once
// PrimeEngine: the primality tests of the Prime object over its PrimeCaches: the AKS-based
// entry, 64-bit and big trial division, and the body of IsPrime that picks among them and
// Rabin-Miller. Knows nothing of COM: the method narrows its arguments first. The long
// loops (trial division, the Rabin-Miller witnesses) read the call's stop token and raise
// CallCancelled once it has fired.
#include <NTL/ZZ.h>

#include <cstdint>
#include <optional>
#include <stop_token>
#include <string>

#include "server/engine/prime_caches.h"
#include "server/engine/prob_prime_cancellable.h"

class PrimeEngine : public PrimeCaches {
  public:
    // NTL's Rabin-Miller test: trial division by small primes, the witness 2, then
    // `lNumTrials` random witnesses; cancellable between witnesses.
    using ProbPrimeFunction = long (*)(const NTL::ZZ& n, long lNumTrials,
                                       const std::stop_token& stop);

    PrimeEngine() = default;

    // 1 when `a` (equal to `n`, at most 2^63 - 1) is prime, else 0; answers small, even,
    // sieved and cached values first and records what it learns in the 64-bit sets.
    long IsPrimeAKS64(std::uint64_t a, const NTL::ZZ& n);
    // Exact trial division by the odd numbers up to the square root, for `a` below
    // 2^63 - 1; records its answer in the 64-bit sets.
    long IsPrimeTrialDivision64(std::uint64_t a, const std::stop_token& stop = {});
    // The same for any value, on ZZ; looks the ZZ sets up but records nothing.
    long IsPrimeTrialDivisionZZ(const NTL::ZZ& n, const std::stop_token& stop = {});

    // IsPrime's answer for the decimal `text` (the BSTR narrowed): 1 when prime, else 0, by
    // `method` (kivAKS, kivTrial_Division or kivRabin_Miller; the trials count only for the
    // last). Raises ServiceError for refused arguments and input, and lets NTL's and the
    // library's exceptions through.
    long IsPrimeBody(std::string text, std::int32_t method, std::int32_t numTrials,
                     const std::stop_token& stop = {});

    // Replaces the Rabin-Miller test of method 3; for tests that count its runs.
    void UseProbPrime(ProbPrimeFunction pfnProbPrime) noexcept { m_pfnProbPrime = pfnProbPrime; }

  private:
    // The answer that the small-value rules, the sieve or the 64-bit sets already give.
    std::optional<long> KnownAnswer64(std::uint64_t a) const;
    // Records a 64-bit answer: primes above the sieve and every non-prime.
    long RecordAnswer64(std::uint64_t a, long bPrime);

    ProbPrimeFunction m_pfnProbPrime = &ProbPrimeCancellable;
};
