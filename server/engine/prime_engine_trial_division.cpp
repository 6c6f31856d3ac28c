// PrimeEngine's trial division by the odd numbers 3, 5, 7, ... up to the square root,
// 64-bit and big.
#include <cmath>
#include <string>

#include "server/engine/decimal_value.h"
#include "server/engine/prime_engine.h"
#include "server/interface/call_cancelled.h"
#include "server/interface/call_progress.h"

namespace {

// The stop token is read once per 2^20 of divisor range (2^19 hardware divisions, a few
// milliseconds).
constexpr std::uint64_t kDivisorsPerCheck = std::uint64_t{1} << 20;
// Big divisions are slower; the progress clock is read once per this many.
constexpr long kZZDivisorsPerReport = 1024;

constexpr char kActivity[] = "trial division";
constexpr char kUnit[] = "divisors";

// 1 when no odd number from 3 up to the square root divides the odd value `a`.
long DividesByNoOddNumber(std::uint64_t a, const std::stop_token& stop) {
    // The double square root is never below floor(sqrt(a)) for a < 2^63; at worst it adds
    // one divisor. One hardware division per candidate.
    const auto bound = static_cast<std::uint64_t>(std::sqrt(static_cast<double>(a))) + 1;
    const double expected = bound > 3 ? static_cast<double>((bound - 3) / 2) : 0.0;
    ProgressReport::Begin(kActivity, kUnit, expected);
    for (std::uint64_t i = 3; i < bound; i += 2) {
        if (a % i == 0)
            return 0;
        if (i % kDivisorsPerCheck == 1) {
            ThrowIfCancelled(stop);
            ProgressReport::Advance(static_cast<double>((i - 3) / 2), expected,
                                    [i] { return std::to_string(i); });
        }
    }
    return 1;
}

}  // namespace

long PrimeEngine::IsPrimeTrialDivision64(std::uint64_t a, const std::stop_token& stop) {
    const std::optional<long> known = KnownAnswer64(a);
    return RecordAnswer64(a, known ? *known : DividesByNoOddNumber(a, stop));
}

long PrimeEngine::IsPrimeTrialDivisionZZ(const NTL::ZZ& n, const std::stop_token& stop) {
    if (m_setPrimesZZ.contains(n))
        return 1;
    if (m_setCompositesZZ.contains(n))
        return 0;
    if (!NTL::IsOdd(n))
        return 0;
    // The divisors run while i * i <= n. No square root is taken: for a number of a hundred
    // million digits it is one GMP call of seconds that no stop token can interrupt. An i of
    // at most (bits - 1) / 2 bits is below 2^floor((bits - 1) / 2), which is at most sqrt(n),
    // and needs no check; a longer one has its square compared, a small product per division.
    const long rootBitsAtLeast = (NTL::NumBits(n) - 1) / 2;
    NTL::ZZ remainder;
    NTL::ZZ square;
    // sqrt(n) / 2 odd divisors; beyond a double's range there is no estimate.
    const double root = std::exp(NTL::log(n) / 2);
    const double expected = std::isfinite(root) ? root / 2 : 0.0;
    ProgressReport::Begin(kActivity, kUnit, expected);
    long sinceReport = 0;
    double tried = 0;
    // A ZZ division costs far more than the token's one atomic read.
    for (NTL::ZZ i(3);; i += 2) {
        if (NTL::NumBits(i) > rootBitsAtLeast) {
            NTL::sqr(square, i);
            if (square > n)
                break;
        }
        ThrowIfCancelled(stop);
        if (++sinceReport == kZZDivisorsPerReport) {
            sinceReport = 0;
            ProgressReport::Advance(tried, expected, [&i] { return DecimalText(i); });
        }
        tried += 1;
        NTL::rem(remainder, n, i);
        if (NTL::IsZero(remainder))
            return 0;
    }
    return 1;
}
