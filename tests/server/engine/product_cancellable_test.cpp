// The stepwise product equals GMP's for every shape of operands, and a fired token leaves
// its result alone.
#include "server/engine/product_cancellable.h"

#include <gtest/gtest.h>

#include "server/engine/mpz.h"
#include "server/interface/call_cancelled.h"

namespace {

// A number of `limbs` limbs with a pattern that makes carries happen.
void Pattern(Mpz& x, mp_size_t limbs, unsigned long seed) {
    mpz_set_ui(x.get(), 0);
    if (limbs > 0) {
        mpz_ui_pow_ui(x.get(), 3, static_cast<unsigned long>(limbs) * 40 + seed);
        mpz_tdiv_r_2exp(x.get(), x.get(), static_cast<mp_bitcnt_t>(limbs) * GMP_NUMB_BITS);
        mpz_setbit(x.get(), static_cast<mp_bitcnt_t>(limbs) * GMP_NUMB_BITS - 1);
    }
}

TEST(MultiplyCancellable, EqualsGmpsProduct) {
    struct Case {
        const char* what;
        mp_size_t aLimbs, bLimbs;
        bool square;  // b is a itself
    };
    const Case cases[] = {
        {"one step", 3, 3, false},         {"balanced", 40, 37, false},
        {"b much shorter", 100, 2, false}, {"a much shorter", 1, 90, false},
        {"square", 61, 61, true},          {"a factor 0", 50, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Mpz a, b, expected, product;
        Pattern(a, c.aLimbs, 1);
        Pattern(b, c.bLimbs, 2);
        mpz_srcptr right = c.square ? a.get() : b.get();
        mpz_mul(expected.get(), a.get(), right);
        MultiplyCancellable(product.get(), a.get(), right, {}, 4);  // steps of 4 limbs
        EXPECT_EQ(mpz_cmp(product.get(), expected.get()), 0);
        MultiplyCancellable(a.get(), a.get(), right, {}, 4);  // into an operand
        EXPECT_EQ(mpz_cmp(a.get(), expected.get()), 0);
    }
}

TEST(MultiplyCancellable, FiredTokenLeavesTheResult) {
    std::stop_source source;
    source.request_stop();
    Mpz a, r;
    Pattern(a, 64, 3);
    mpz_set_ui(r.get(), 7);
    EXPECT_THROW(MultiplyCancellable(r.get(), a.get(), a.get(), source.get_token(), 4),
                 CallCancelled);
    EXPECT_EQ(mpz_cmp_ui(r.get(), 7), 0);
}

}  // namespace
