#include "server/engine/prime_engine.h"

#include <utility>

#include "server/engine/aks_test.h"
#include "server/engine/decimal_input.h"
#include "server/interface/call_progress.h"
#include "server/interface/iprime.h"
#include "server/interface/messages.h"
#include "server/interface/service_error.h"

long PrimeEngine::RecordAnswer64(std::uint64_t a, long bPrime) {
    if (bPrime != 0) {
        // The sieve answers primes up to its limit again at no cost; keep them out.
        if (a > kSieveLimit)
            Cache64(m_setPrimes64, a);
    } else {
        Cache64(m_setComposites64, a);
    }
    return bPrime;
}

std::optional<long> PrimeEngine::KnownAnswer64(std::uint64_t a) const {
    if (a < 2)
        return 0;
    if (a < 4)
        return 1;
    if (a % 2 == 0)
        return 0;
    if (m_bSieveBuilt && a <= kSieveLimit)
        return m_sieve[a] ? 1 : 0;
    if (m_setPrimes64.contains(a))
        return 1;
    if (m_setComposites64.contains(a))
        return 0;
    return std::nullopt;
}

long PrimeEngine::IsPrimeAKS64(std::uint64_t a, const NTL::ZZ& n) {
    if (a == 2 || a == 3)
        return 1;  // answered at once, never recorded
    const std::optional<long> known = KnownAnswer64(a);
    return RecordAnswer64(a, known ? *known : AKSTest(a, n));
}

long PrimeEngine::IsPrimeBody(std::string text, std::int32_t method, std::int32_t numTrials,
                              const std::stop_token& stop) {
    if (method < kivAKS || method > kivRabin_Miller || (method == kivRabin_Miller && numTrials < 0))
        throw ServiceError(kivmsg::InvalidParameters);

    // Rabin-Miller's reading names the number as it was given; its text is gone after parsing.
    std::string given =
        method == kivRabin_Miller && ProgressReport::Active() ? text : std::string();
    const DecimalInput input = ParseNaturalNumber(std::move(text), stop);
    const NTL::ZZ& value = input.value;

    switch (method) {
        case kivAKS: {
            // The limit itself is still a 64-bit value here.
            if (value > m_zzMaxInt64)
                throw ServiceError(kivmsg::MaxLimit);
            BuildSieve();
            const auto a = static_cast<std::uint64_t>(ToInt64(input));
            return IsPrimeAKS64(a, value);
        }
        case kivTrial_Division: {
            // The limit itself takes the big path.
            if (value < m_zzMaxInt64) {
                BuildSieve();
                return IsPrimeTrialDivision64(static_cast<std::uint64_t>(ToInt64(input)), stop);
            }
            const long bPrime = IsPrimeTrialDivisionZZ(value, stop);
            CacheZZ(value, bPrime);
            return bPrime;
        }
        default: {  // kivRabin_Miller
            long bPrime = 0;
            if (m_setPrimesZZ.contains(value)) {
                bPrime = 1;
            } else if (m_setCompositesZZ.contains(value)) {
                bPrime = 0;
            } else {
                // The witness 2, then the random ones.
                ProgressReport::Begin("Rabin-Miller test", "trials", 1.0 + numTrials,
                                      std::move(given));
                bPrime = m_pfnProbPrime(value, numTrials, stop) != 0 ? 1 : 0;
            }
            CacheZZ(value, bPrime);  // a hit is recorded again, as any answer
            return bPrime;
        }
    }
}
