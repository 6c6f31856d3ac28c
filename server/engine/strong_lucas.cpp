#include "server/engine/strong_lucas.h"

#include <NTL/ZZ_limbs.h>
#include <gmp.h>

namespace {

// An mpz_t owned for a scope.
class Mpz {
  public:
    Mpz() { mpz_init(m_value); }
    ~Mpz() { mpz_clear(m_value); }
    Mpz(const Mpz&) = delete;
    Mpz& operator=(const Mpz&) = delete;
    mpz_ptr get() { return m_value; }

  private:
    mpz_t m_value;
};

// Products modulo n by Barrett's reduction: a multiple of the precomputed 2^2k / n takes the
// place of a division, which GMP would otherwise redo for every product of the ladder.
class BarrettModulus {
  public:
    explicit BarrettModulus(mpz_srcptr n) : m_n(n), m_bits(mpz_sizeinbase(n, 2)) {
        mpz_setbit(m_mu.get(), 2 * m_bits);
        mpz_tdiv_q(m_mu.get(), m_mu.get(), n);
    }

    // r = a * b - c modulo n, all of them in [0, n); r may be a or b.
    void MulSub(mpz_ptr r, mpz_srcptr a, mpz_srcptr b, mpz_srcptr c) {
        mpz_ptr x = m_x.get();
        mpz_ptr q = m_q.get();
        if (a == b)
            mpz_mul(x, a, a);  // GMP squares faster than it multiplies
        else
            mpz_mul(x, a, b);
        // q = floor(floor(x / 2^(k-1)) mu / 2^(k+1)) is floor(x / n) or at most 2 below it.
        mpz_tdiv_q_2exp(q, x, m_bits - 1);
        mpz_mul(q, q, m_mu.get());
        mpz_tdiv_q_2exp(q, q, m_bits + 1);
        mpz_submul(x, q, m_n);
        while (mpz_cmp(x, m_n) >= 0)
            mpz_sub(x, x, m_n);
        mpz_sub(r, x, c);
        if (mpz_sgn(r) < 0)
            mpz_add(r, r, m_n);
    }

  private:
    mpz_srcptr m_n;
    mp_bitcnt_t m_bits;
    Mpz m_mu, m_x, m_q;
};

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
    mpz_t view;
    mpz_roinit_n(view, NTL::ZZ_limbs_get(n), n.size());
    return StrongLucas(view, &stop);
}

bool IsStrongLucasProbablePrime(const NTL::ZZ& n) {
    if (n < 2)
        return false;
    mpz_t view;
    mpz_roinit_n(view, NTL::ZZ_limbs_get(n), n.size());
    return StrongLucas(view, nullptr);
}
