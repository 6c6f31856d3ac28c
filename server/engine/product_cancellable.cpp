#include "server/engine/product_cancellable.h"

#include <algorithm>

#include "server/engine/mpz.h"
#include "server/interface/call_cancelled.h"

namespace {

// low = x mod 2^bits, high = x div 2^bits.
void Split(mpz_srcptr x, mp_bitcnt_t bits, Mpz& low, Mpz& high) {
    mpz_tdiv_r_2exp(low.get(), x, bits);
    mpz_tdiv_q_2exp(high.get(), x, bits);
}

// r = high * 2^bits + low, where r may share nothing with high or low.
void Join(mpz_ptr r, Mpz& high, mp_bitcnt_t bits, Mpz& low) {
    mpz_mul_2exp(high.get(), high.get(), bits);
    mpz_add(r, high.get(), low.get());
}

}  // namespace

void MultiplyCancellable(mpz_ptr r, mpz_srcptr a, mpz_srcptr b, const std::stop_token& stop,
                         mp_size_t stepLimbs) {
    ThrowIfCancelled(stop);
    const mp_size_t longer = std::max(mpz_size(a), mpz_size(b));
    if (longer <= stepLimbs) {
        mpz_mul(r, a, b);  // one step
        return;
    }
    // Split both at half the longer operand: a = a1 2^k + a0, b = b1 2^k + b0.
    const mp_bitcnt_t k = static_cast<mp_bitcnt_t>(longer / 2) * GMP_NUMB_BITS;
    const bool square = a == b;
    Mpz a0, a1, b0, b1, z0, z1, z2;
    Split(a, k, a0, a1);
    if (square) {
        MultiplyCancellable(z0.get(), a0.get(), a0.get(), stop, stepLimbs);
        MultiplyCancellable(z2.get(), a1.get(), a1.get(), stop, stepLimbs);
        mpz_add(a0.get(), a0.get(), a1.get());
        MultiplyCancellable(z1.get(), a0.get(), a0.get(), stop, stepLimbs);
        mpz_sub(z1.get(), z1.get(), z0.get());
        mpz_sub(z1.get(), z1.get(), z2.get());
    } else {
        Split(b, k, b0, b1);
        MultiplyCancellable(z0.get(), a0.get(), b0.get(), stop, stepLimbs);
        MultiplyCancellable(z2.get(), a1.get(), b1.get(), stop, stepLimbs);
        if (mpz_sgn(z2.get()) == 0) {
            // One operand below 2^k (a shorter one is not split further): a * b1 or a1 * b
            // is 0, and the middle term is the cross product alone.
            MultiplyCancellable(z1.get(), mpz_sgn(a1.get()) == 0 ? a0.get() : a1.get(),
                                mpz_sgn(a1.get()) == 0 ? b1.get() : b0.get(), stop, stepLimbs);
        } else {
            mpz_add(a0.get(), a0.get(), a1.get());
            mpz_add(b0.get(), b0.get(), b1.get());
            MultiplyCancellable(z1.get(), a0.get(), b0.get(), stop, stepLimbs);
            mpz_sub(z1.get(), z1.get(), z0.get());
            mpz_sub(z1.get(), z1.get(), z2.get());
        }
    }
    // r = z2 2^2k + z1 2^k + z0; a and b are no longer read.
    mpz_mul_2exp(z2.get(), z2.get(), k);
    mpz_add(z1.get(), z1.get(), z2.get());
    Join(r, z1, k, z0);
}
