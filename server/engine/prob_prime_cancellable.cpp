#include "server/engine/prob_prime_cancellable.h"

#include <NTL/sp_arith.h>

#include "server/interface/call_cancelled.h"

namespace {

// NTL's single-precision ProbPrime, step for step, with a stop check per witness.
long ProbPrimeSmall(long n, long numTrials, const std::stop_token& stop) {
    if (n <= 1)
        return 0;
    for (long d : {2L, 3L, 5L, 7L, 11L, 13L}) {
        if (n == d)
            return 1;
        if (n % d == 0)
            return 0;
    }
    if (n >= NTL_SP_BOUND)
        return ProbPrimeCancellable(NTL::ZZ(n), numTrials, stop);

    long m = n - 1;
    long k = 0;
    while ((m & 1) == 0) {
        m >>= 1;
        ++k;
    }
    // n - 1 = 2^k m with m odd; the witness 2 first, then numTrials random ones.
    for (long i = 0; i < numTrials + 1; ++i) {
        ThrowIfCancelled(stop);
        long x = 2;
        if (i > 0) {
            do {
                x = NTL::RandomBnd(n);
            } while (x == 0);
        }
        long z = NTL::PowerMod(x, m, n);
        if (z == 1)
            continue;
        long y = 0;
        long j = 0;
        do {
            y = z;
            z = NTL::MulMod(y, y, n);
            ++j;
        } while (j != k && z != 1);
        if (z != 1 || y != n - 1)
            return 0;
    }
    return 1;
}

}  // namespace

long ProbPrimeCancellable(const NTL::ZZ& n, long numTrials, const std::stop_token& stop) {
    if (numTrials < 0)
        numTrials = 0;
    if (n <= 1)
        return 0;
    if (n.SinglePrecision())
        return ProbPrimeSmall(NTL::conv<long>(n), numTrials, stop);

    ThrowIfCancelled(stop);
    // NTL's own trial division and witness 2; with no trials it draws nothing.
    if (!NTL::ProbPrime(n, 0))
        return 0;
    NTL::ZZ witness;
    for (long i = 0; i < numTrials; ++i) {
        ThrowIfCancelled(stop);
        do {
            NTL::RandomBnd(witness, n);
        } while (NTL::IsZero(witness));
        if (NTL::MillerWitness(n, witness))
            return 0;
    }
    return 1;
}
