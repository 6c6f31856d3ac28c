#include "server/engine/strong_lucas.h"

#include <gmp.h>

#include "server/engine/barrett_modulus.h"
#include "server/engine/mpz.h"

namespace {

// Selfridge's D for odd n > 2 that is not a square; 0 when some D shares a factor with n.
long SelfridgeD(mpz_srcptr n) {
    for (long d = 5;; d = d > 0 ? -(d + 2) : -d + 2) {
        const int jacobi = mpz_si_kronecker(d, n);
        if (jacobi == -1)
            return d;
        if (jacobi == 0)
            return 0;
    }
}

bool IsSmallCase(mpz_srcptr n, unsigned long bound) {
    return mpz_cmp_ui(n, bound) <= 0;
}

bool StrongLucas(mpz_srcptr n, const std::atomic<bool>* stop) {
    if (mpz_cmp_ui(n, 2) < 0)
        return false;
    if (mpz_even_p(n))
        return mpz_cmp_ui(n, 2) == 0;
    if (mpz_perfect_square_p(n))
        return false;  // no D would ever have Jacobi -1
    const long d = SelfridgeD(n);
    const long q = (1 - d) / 4;
    const unsigned long qAbs = q < 0 ? -q : q;
    if (d == 0 || mpz_gcd_ui(nullptr, n, qAbs) != 1) {
        // n shares a factor with D or Q: composite, unless n is that small factor itself,
        // which GMP settles exactly.
        const unsigned long dAbs = d < 0 ? -d : d;
        return IsSmallCase(n, d == 0 ? 1000 : dAbs) && mpz_probab_prime_p(n, 24) != 0;
    }

    // n + 1 = odd * 2^s; the ladder runs to m = (odd - 1) / 2.
    Mpz odd, m, pPrime, two, a, b, t;
    mpz_add_ui(odd.get(), n, 1);
    const mp_bitcnt_t s = mpz_scan1(odd.get(), 0);
    mpz_tdiv_q_2exp(odd.get(), odd.get(), s);
    mpz_sub_ui(m.get(), odd.get(), 1);
    mpz_tdiv_q_2exp(m.get(), m.get(), 1);
    // P' = 1 / Q - 2 (P = 1).
    mpz_set_si(t.get(), q);
    mpz_mod(t.get(), t.get(), n);
    mpz_invert(pPrime.get(), t.get(), n);
    mpz_sub_ui(pPrime.get(), pPrime.get(), 2);
    mpz_mod(pPrime.get(), pPrime.get(), n);
    mpz_set_ui(two.get(), 2);
    BarrettModulus modulus(n);

    // (a, b) = (V'_k, V'_k+1), from k = 0 up to m: V'_2k = V'_k^2 - 2,
    // V'_2k+1 = V'_k V'_k+1 - P'.
    mpz_set_ui(a.get(), 2);
    mpz_set(b.get(), pPrime.get());
    for (mp_bitcnt_t bit = mpz_sizeinbase(m.get(), 2); bit-- > 0;) {
        if (stop != nullptr && stop->load(std::memory_order_relaxed))
            return false;
        if (mpz_tstbit(m.get(), bit)) {
            modulus.MulSub(a.get(), a.get(), b.get(), pPrime.get());
            modulus.MulSub(b.get(), b.get(), b.get(), two.get());
        } else {
            modulus.MulSub(b.get(), a.get(), b.get(), pPrime.get());
            modulus.MulSub(a.get(), a.get(), a.get(), two.get());
        }
    }
    // D U_odd = Q^(m+1) (V'_m+1 - V'_m) and V_odd = Q^(m+1) (V'_m+1 + V'_m).
    if (mpz_cmp(a.get(), b.get()) == 0)
        return true;
    mpz_add(t.get(), a.get(), b.get());
    if (mpz_cmp(t.get(), n) == 0)
        return true;
    // V_(odd 2^r) = Q^(odd 2^(r-1)) V'_(odd 2^(r-1)) for r = 1 .. s - 1.
    modulus.MulSub(t.get(), a.get(), b.get(), pPrime.get());  // V'_odd
    for (mp_bitcnt_t r = 1; r < s; ++r) {
        if (mpz_sgn(t.get()) == 0)
            return true;
        if (stop != nullptr && stop->load(std::memory_order_relaxed))
            return false;
        modulus.MulSub(t.get(), t.get(), t.get(), two.get());
    }
    return false;
}

}  // namespace

bool IsStrongLucasProbablePrime(const NTL::ZZ& n, const std::atomic<bool>& stop) {
    if (n < 2)
        return false;
    const MpzView view(n);
    return StrongLucas(view.value, &stop);
}

bool IsStrongLucasProbablePrime(const NTL::ZZ& n) {
    if (n < 2)
        return false;
    const MpzView view(n);
    return StrongLucas(view.value, nullptr);
}
