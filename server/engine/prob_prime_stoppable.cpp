#include "server/engine/prob_prime_stoppable.h"

#include <NTL/sp_arith.h>

#include <algorithm>
#include <cmath>

#include "server/engine/power_mod_stoppable.h"
#include "server/interface/call_progress.h"

namespace {

bool Stopped(const std::atomic<bool>& stop) {
    return stop.load();
}

// The trial-division bound of NTL's ProbPrime for a number of `bn` bits.
long ComputePrimeBound(long bn) {
    long wn = (bn + NTL_ZZ_NBITS - 1) / NTL_ZZ_NBITS;
    long fn;
    if (wn <= 36)
        fn = wn / 4 + 1;
    else
        fn = static_cast<long>(1.67 * std::sqrt(static_cast<double>(wn)));
    if (NTL::NumBits(bn) + NTL::NumBits(fn) > NTL_SP_NBITS)
        return NTL_SP_BOUND;
    return bn * fn;
}

}  // namespace

long MillerWitnessStoppable(const NTL::ZZ& n, const NTL::ZZ& x, const std::atomic<bool>& stop) {
    NTL::ZZ n1 = n - 1;
    NTL::ZZ m = n1;
    long k = NTL::MakeOdd(m);  // n - 1 = 2^k * m, m odd
    NTL::ZZ z;
    if (!PowerModStoppable(z, x, m, n, stop))
        return 0;  // the caller reads the flag too and drops this answer
    if (z == 1)
        return 0;
    NTL::ZZ y;
    long j = 0;
    do {
        if (Stopped(stop))
            break;  // the caller reads the flag too and drops this answer
        y = z;
        NTL::SqrMod(z, y, n);
        ++j;
    } while (j != k && z != 1);
    return z != 1 || y != n1;
}

bool PassesTrialDivisionStoppable(const NTL::ZZ& n, const std::atomic<bool>& stop, long freeBelow) {
    long primeBound = ComputePrimeBound(NTL::NumBits(n));
    NTL::PrimeSeq primes;
    if (freeBelow > 2)
        primes.reset(std::min(freeBelow, primeBound));
    for (long p = primes.next(); p != 0 && p < primeBound; p = primes.next()) {
        if (Stopped(stop))
            return false;
        if (NTL::rem(n, p) == 0)
            return false;
    }
    return true;
}

long RandomTrialsStoppable(const NTL::ZZ& n, const std::atomic<bool>& stop, long numTrials) {
    NTL::ZZ x;
    for (long i = 0; i < numTrials; ++i) {
        if (Stopped(stop))
            return 0;
        do {
            if (Stopped(stop))
                return 0;
            NTL::RandomBnd(x, n);
        } while (x == 0);  // 0 proves nothing
        const long witness = MillerWitnessStoppable(n, x, stop);
        if (Stopped(stop) || witness == 1)
            return 0;
        ProgressReport::Advance(static_cast<double>(i + 2));  // the witness 2 came first
    }
    return 1;
}

long ProbPrimeStoppable(const NTL::ZZ& n, const std::atomic<bool>& stop, long numTrials,
                        long freeBelow) {
    if (numTrials < 0)
        numTrials = 0;
    if (n <= 1)
        return 0;
    if (n < NTL_SP_BOUND)
        return ProbPrimeStoppable(NTL::to_long(n), stop, numTrials);
    if (!PassesTrialDivisionStoppable(n, stop, freeBelow))
        return 0;
    const long witness = MillerWitnessStoppable(n, NTL::ZZ(2), stop);
    if (Stopped(stop) || witness == 1)
        return 0;
    ProgressReport::Advance(1);
    return RandomTrialsStoppable(n, stop, numTrials);
}

long ProbPrimeStoppable(long n, const std::atomic<bool>& stop, long numTrials) {
    if (n <= 1)
        return 0;
    for (long d : {2L, 3L, 5L, 7L, 11L, 13L}) {
        if (n == d)
            return 1;
        if (n % d == 0)
            return 0;
    }
    if (numTrials < 0)
        numTrials = 0;
    if (n >= NTL_SP_BOUND)
        return ProbPrimeStoppable(NTL::ZZ(n), stop, numTrials);

    long m = n - 1;
    long k = 0;
    for (;;) {
        if (Stopped(stop))
            return 0;
        if ((m & 1) != 0)
            break;
        m >>= 1;
        ++k;
    }

    for (long i = 0; i <= numTrials; ++i) {
        if (Stopped(stop))
            return 0;
        long x = 2;
        if (i != 0) {
            do {
                if (Stopped(stop))
                    return 0;
                x = NTL::RandomBnd(n);
            } while (x == 0);
        }
        long z = NTL::PowerMod(x, m, n);
        if (z == 1)
            continue;
        long y;
        long j = 0;
        do {
            if (Stopped(stop))
                return 0;
            y = z;
            z = NTL::MulMod(y, y, n);
            ++j;
        } while (j != k && z != 1);
        if (z != 1 || y != n - 1)
            return 0;
    }
    return 1;
}
