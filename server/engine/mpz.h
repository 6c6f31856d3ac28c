#pragma once
// GMP integers beside NTL's: an owned mpz_t, and a read-only view of a ZZ's limbs, so that
// GMP's routines read an NTL number without a copy.
#include <NTL/ZZ.h>
#include <NTL/ZZ_limbs.h>
#include <gmp.h>

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

// A read-only GMP view of a non-negative ZZ's limbs; valid while the ZZ is unchanged.
struct MpzView {
    mpz_t value;
    explicit MpzView(const NTL::ZZ& n) {
        mpz_roinit_n(value, NTL::ZZ_limbs_get(n), static_cast<mp_size_t>(n.size()));
    }
};
