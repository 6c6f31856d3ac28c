#include "server/engine/power_mod_stoppable.h"

#include <gmp.h>

#include <algorithm>
#include <array>

#include "server/engine/barrett_modulus.h"
#include "server/engine/mpz.h"
#include "server/interface/call_progress.h"

namespace {

// Window of the ladder: the odd powers x, x^3, ..., x^31 are precomputed, and one product
// by one of them serves up to five bits of the exponent.
constexpr long kWindowBits = 5;

bool Stopped(const std::atomic<bool>& stop) {
    return stop.load(std::memory_order_relaxed);
}

}  // namespace

bool PowerModStoppable(NTL::ZZ& z, const NTL::ZZ& x, const NTL::ZZ& e, const NTL::ZZ& n,
                       const std::atomic<bool>& stop) {
    if (NTL::NumBits(n) < kStoppableBits || e <= 1) {
        NTL::PowerMod(z, x, e, n);
        return !Stopped(stop);
    }
    const MpzView modulus(n), base(x), exponent(e);
    BarrettModulus barrett(modulus.value);
    std::array<Mpz, std::size_t{1} << (kWindowBits - 1)> odd;  // odd[i] = x^(2i + 1)
    Mpz square, result;
    mpz_set(odd[0].get(), base.value);
    barrett.Mul(square.get(), base.value, base.value);
    for (std::size_t i = 1; i < odd.size(); ++i) {
        if (Stopped(stop))
            return false;
        barrett.Mul(odd[i].get(), odd[i - 1].get(), square.get());
    }

    // Left to right: each window starts at a set bit and ends at the lowest set bit within
    // kWindowBits of it.
    bool started = false;
    for (long bit = NTL::NumBits(e) - 1; bit >= 0;) {
        if (Stopped(stop))
            return false;
        // One product of such a number takes milliseconds: the caller of a long test still
        // hears from it (and may stop it) while one exponentiation runs.
        ProgressReport::Point();
        if (!mpz_tstbit(exponent.value, bit)) {
            barrett.Mul(result.get(), result.get(), result.get());
            --bit;
            continue;
        }
        long low = std::max(bit - kWindowBits + 1, 0L);
        while (!mpz_tstbit(exponent.value, low))
            ++low;
        unsigned long window = 0;
        for (long b = bit; b >= low; --b) {
            window = window << 1 | mpz_tstbit(exponent.value, b);
            if (started) {
                if (Stopped(stop))
                    return false;
                barrett.Mul(result.get(), result.get(), result.get());
            }
        }
        if (started)
            barrett.Mul(result.get(), result.get(), odd[window >> 1].get());
        else
            mpz_set(result.get(), odd[window >> 1].get());
        started = true;
        bit = low - 1;
    }
    NTL::ZZ_limbs_set(z, mpz_limbs_read(result.get()), mpz_size(result.get()));
    return true;
}
