#pragma once
// Products modulo a fixed odd n on GMP integers, for the engine's own ladders: those that
// must look at a stop flag between products, or take a product GMP has no call for.
#include <gmp.h>

#include "server/engine/mpz.h"

// Barrett's reduction: a multiple of the precomputed 2^2k / n takes the place of a division,
// which GMP would otherwise redo for every product. Its scratch values make one instance one
// thread's.
class BarrettModulus {
  public:
    explicit BarrettModulus(mpz_srcptr n) : m_n(n), m_bits(mpz_sizeinbase(n, 2)) {
        mpz_setbit(m_mu.get(), 2 * m_bits);
        mpz_tdiv_q(m_mu.get(), m_mu.get(), n);
    }

    // r = a * b modulo n, both in [0, n); r may be a or b.
    void Mul(mpz_ptr r, mpz_srcptr a, mpz_srcptr b) {
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
        mpz_swap(r, x);
    }

    // r = a * b - c modulo n, all of them in [0, n); r may be a or b.
    void MulSub(mpz_ptr r, mpz_srcptr a, mpz_srcptr b, mpz_srcptr c) {
        Mul(r, a, b);
        mpz_sub(r, r, c);
        if (mpz_sgn(r) < 0)
            mpz_add(r, r, m_n);
    }

  private:
    mpz_srcptr m_n;
    mp_bitcnt_t m_bits;
    Mpz m_mu, m_x, m_q;
};
