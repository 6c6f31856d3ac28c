#include "server/engine/aks_test.h"

#include <NTL/ZZ_p.h>
#include <NTL/ZZ_pX.h>
#include <gmp.h>

#include <cmath>

namespace {

// c^b modulo 2^64; the wrap is harmless: only an exact match with a counts.
std::uint64_t PowerWrapping(std::uint64_t c, std::uint64_t b) {
    std::uint64_t result = 1;
    while (b != 0) {
        if ((b & 1) != 0)
            result *= c;
        c *= c;
        b >>= 1;
    }
    return result;
}

// One GMP integer, cleared on every path.
class Mpz {
  public:
    // Imported as one 64-bit word: mpz_init_set_ui takes an unsigned long, 32 bits on Win64.
    explicit Mpz(std::uint64_t value) {
        mpz_init(value_);
        mpz_import(value_, 1, -1, sizeof value, 0, 0, &value);
    }
    ~Mpz() { mpz_clear(value_); }
    Mpz(const Mpz&) = delete;
    Mpz& operator=(const Mpz&) = delete;
    mpz_srcptr get() const { return value_; }

  private:
    mpz_t value_;
};

// From GMP 6.2 on, Baillie-PSW takes the place of the first 24 Miller-Rabin rounds; with 24
// no random round is added. Older releases ran plain Miller-Rabin, which is not exact.
static_assert(__GNU_MP_RELEASE >= 60200, "the confirmation needs GMP's Baillie-PSW test");
constexpr int kBailliePswReps = 24;

}  // namespace

long IsPerfectPower64(std::uint64_t a) {
    if (a < 2)
        return 0;  // keeps the logarithm finite
    const double x = static_cast<double>(a);
    const auto limit = static_cast<std::uint64_t>(std::log(x) / std::log(2.0) + 1.0);
    for (std::uint64_t b = 2; b <= limit; ++b) {
        const double y = std::pow(x, 1.0 / static_cast<double>(b));
        const auto c = static_cast<std::uint64_t>(std::floor(y + 0.5));
        if (PowerWrapping(c, b) == a)
            return 1;
    }
    return 0;
}

long AKSCongruencesHold(std::uint64_t a, const NTL::ZZ& n) {
    using NTL::ZZ_p;
    using NTL::ZZ_pX;
    if (IsPerfectPower64(a) != 0)
        return 0;

    ZZ_p::init(n);
    ZZ_pX f;  // X^3 - 1
    NTL::SetCoeff(f, 3);
    NTL::SetCoeff(f, 0, NTL::conv<ZZ_p>(-1));
    const NTL::ZZ_pXModulus F(f);

    ZZ_pX x;
    NTL::SetX(x);
    ZZ_pX g;  // X^n mod F
    NTL::PowerMod(g, x, n, F);

    const double logx = std::log(static_cast<double>(a));
    const auto K = static_cast<std::int32_t>((2.0 * std::sqrt(3.0)) * logx / std::log(2.0));
    if (K < 1)
        return 1;

    ZZ_pX h;
    for (std::int32_t j = 1; j <= K; ++j) {
        const ZZ_p zj = NTL::conv<ZZ_p>(static_cast<long>(j));
        NTL::clear(h);
        NTL::SetCoeff(h, 1);
        NTL::SetCoeff(h, 0, zj);
        NTL::PowerMod(h, h, n, F);  // (X + j)^n mod F
        NTL::SetCoeff(h, 0, NTL::coeff(h, 0) - zj);
        if (h != g)
            return 0;
    }
    return 1;
}

long ConfirmPrime64(std::uint64_t a) {
    const Mpz value(a);
    return mpz_probab_prime_p(value.get(), kBailliePswReps) != 0 ? 1 : 0;
}

long AKSTest(std::uint64_t a, const NTL::ZZ& n) {
    if (AKSCongruencesHold(a, n) == 0)
        return 0;
    return ConfirmPrime64(a);
}
